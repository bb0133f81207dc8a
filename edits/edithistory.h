#pragma once
// Undo and redo over the whole configuration. Every change the user makes to the 16 filter sets
// (a type picked, an editor saved, an import, AGC, noise filter, New, Open, a paste) is
// recorded as one named step holding the sets it changed, before and after. Undo writes the
// "before" copies back, redo the "after" copies, so a change undone and redone leaves the sets
// byte for byte as they were (and the coefficient image they build with them).
//
// Recording: open an EditStep before changing the model and let it go out of scope after; it
// compares the sets and records a step only when something changed.
//
// The clean marker remembers the sets as last opened or saved; isClean() tells whether the
// model still holds them (whatever undo and redo did in between).
//
// Only FilterData is recorded: the COM port, CurrentSet and the other run-time globals are not
// part of a step.

#include "config/model.h"

#include <QObject>
#include <QString>

#include <array>
#include <deque>
#include <vector>

namespace korvane {

class EditHistory : public QObject {
    Q_OBJECT
public:
    using Sets = std::array<FilterSet, kFilterSetCount>;

    // limit: the oldest steps are dropped beyond this many.
    explicit EditHistory(Model &model, int limit = 200, QObject *parent = nullptr);

    // Records the change from `before` to the model's sets as they stand now, named e.g.
    // "Lowpass settings of Filter 3 Stage 1"; `set` is the filter set the user was on (undo
    // and redo report it so the window can show it). Nothing is recorded when nothing changed.
    // Any steps that were undone are dropped. True when a step was recorded.
    bool record(const QString &name, int set, const Sets &before);

    [[nodiscard]] bool canUndo() const { return position_ > 0; }
    [[nodiscard]] bool canRedo() const { return position_ < steps_.size(); }
    // Names of the step undo or redo would act on; empty when there is none.
    [[nodiscard]] QString undoName() const;
    [[nodiscard]] QString redoName() const;
    [[nodiscard]] int stepCount() const { return static_cast<int>(steps_.size()); }

    // Undo or redo one step; the filter set of that step, or -1 when there was nothing to do.
    int undo();
    int redo();

    // Forgets every step (the start-up load).
    void clear();

    // The model's sets as they stand are the clean state (after Open and Save As).
    void setClean();
    [[nodiscard]] bool isClean() const;

signals:
    // Steps or the position changed (labels of Undo and Redo, the overview, the title).
    void changed();

private:
    struct SetChange {
        int set = 0;
        FilterSet before, after;
    };
    struct Step {
        QString name;
        int set = 0;
        std::vector<SetChange> changes;
    };

    Model &model_;
    size_t limit_;
    std::deque<Step> steps_;
    size_t position_ = 0; // steps before it are done, steps from it on are undone
    Sets clean_{};
};

// One change in the making: copies the sets when made, records the step when destroyed.
class EditStep {
public:
    EditStep(EditHistory &history, const Model &model, QString name, int set)
        : history_(history), name_(std::move(name)), set_(set), before_(model.FilterData)
    { }
    ~EditStep()
    {
        if (!cancelled_)
            history_.record(name_, set_, before_);
    }
    EditStep(const EditStep &) = delete;
    EditStep &operator=(const EditStep &) = delete;

    void rename(const QString &name) { name_ = name; }
    // The change is not the user's (e.g. a failed read that left nothing changed anyway).
    void cancel() { cancelled_ = true; }

private:
    EditHistory &history_;
    QString name_;
    int set_;
    EditHistory::Sets before_;
    bool cancelled_ = false;
};

// Step names, as shown after "Undo " and "Redo " (sets and stages are numbered as on screen:
// "Filter 0".."Filter 15", "Stage 1"/"Stage 2").
[[nodiscard]] QString StageStepName(const QString &what, int set, int stage); // "<what> of Filter 3 Stage 1"
[[nodiscard]] QString SetStepName(const QString &what, int set);              // "<what> of Filter 3"

} // namespace korvane
