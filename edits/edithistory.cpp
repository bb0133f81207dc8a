#include "edithistory.h"

#include <algorithm>

namespace korvane {

EditHistory::EditHistory(Model &model, int limit, QObject *parent)
    : QObject(parent), model_(model), limit_(static_cast<size_t>(std::max(1, limit))), clean_(model.FilterData)
{ }

bool EditHistory::record(const QString &name, int set, const Sets &before)
{
    Step step{name, set, {}};
    for (int i = 0; i < kFilterSetCount; ++i)
        if (!(before[i] == model_.FilterData[i]))
            step.changes.push_back({i, before[i], model_.FilterData[i]});
    if (step.changes.empty())
        return false;
    steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(position_), steps_.end());
    steps_.push_back(std::move(step));
    while (steps_.size() > limit_)
        steps_.pop_front();
    position_ = steps_.size();
    emit changed();
    return true;
}

QString EditHistory::undoName() const { return canUndo() ? steps_[position_ - 1].name : QString(); }
QString EditHistory::redoName() const { return canRedo() ? steps_[position_].name : QString(); }

int EditHistory::undo()
{
    if (!canUndo())
        return -1;
    const Step &step = steps_[--position_];
    for (const SetChange &c : step.changes)
        model_.FilterData[c.set] = c.before;
    emit changed();
    return step.set;
}

int EditHistory::redo()
{
    if (!canRedo())
        return -1;
    const Step &step = steps_[position_++];
    for (const SetChange &c : step.changes)
        model_.FilterData[c.set] = c.after;
    emit changed();
    return step.set;
}

void EditHistory::clear()
{
    steps_.clear();
    position_ = 0;
    emit changed();
}

void EditHistory::setClean()
{
    clean_ = model_.FilterData;
    emit changed();
}

bool EditHistory::isClean() const { return clean_ == model_.FilterData; }

QString StageStepName(const QString &what, int set, int stage)
{
    return QStringLiteral("%1 of Filter %2 Stage %3").arg(what).arg(set).arg(stage);
}

QString SetStepName(const QString &what, int set) { return QStringLiteral("%1 of Filter %2").arg(what).arg(set); }

} // namespace korvane
