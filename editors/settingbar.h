#pragma once
// The scroll bar every editor uses for a stored setting. Its value() is the stored integer
// itself, with no scaling. Unlike QScrollBar it accepts a Minimum larger than its Maximum:
// the left (or top) end is always Minimum and the right (or bottom) end Maximum, so on a
// reversed bar moving right lowers the value.
//
// Mouse input, the same for normal and reversed bars ("towards Max" means towards the right
// or bottom end):
//   right/bottom arrow button, wheel down                     one small step towards Max
//   left/top arrow button,     wheel up                       one small step towards Min
//   trough click right/below the thumb                        one large step towards Max
//   trough click left/above the thumb                         one large step towards Min
//   dragging the thumb                                        scrolled() on every move,
//                                                             changed() on release
// Holding an arrow or the trough repeats the step.
//
// Keys raise or lower what the label shows, which is the right end of a horizontal bar and
// the top of a vertical one (the equalizer's 0 dB), whether the stored setting grows that way
// or not: Right/Up one small step up, Left/Down one down, PageUp/PageDown a large step,
// End/Home the highest/lowest end.
//
// Screen readers see a slider named after the caption of the frame the bar sits in (or its
// accessibleName), whose value is the stored setting and whose description and value text
// are valueText(): the figure as the window's label shows it, with its unit.

#include <QTimer>
#include <QWidget>

#include <functional>

namespace korvane {

struct StageLimit;

class SettingBar : public QWidget {
    Q_OBJECT
public:
    explicit SettingBar(Qt::Orientation orientation, QWidget *parent = nullptr);

    // Minimum is the value at the left/top end, Maximum at the right/bottom end; either may
    // be the larger. The value is clamped into the new range (raising changed() if it moves).
    void setRange(int minimum, int maximum);
    void setMinimum(int minimum) { setRange(minimum, maximum_); }
    void setMaximum(int maximum) { setRange(minimum_, maximum); }
    void setSteps(int smallChange, int largeChange);

    [[nodiscard]] int value() const { return value_; }
    [[nodiscard]] int minimum() const { return minimum_; }
    [[nodiscard]] int maximum() const { return maximum_; }
    [[nodiscard]] int smallChange() const { return smallChange_; }
    [[nodiscard]] int largeChange() const { return largeChange_; }
    [[nodiscard]] Qt::Orientation orientation() const { return orientation_; }
    [[nodiscard]] bool isDragging() const { return dragging_; }

    // Sets the value, clamped into the range; raises changed() when the value moves.
    void setValue(int value);

    // Moves by `steps` small (or large) steps; positive is towards Maximum.
    void stepTowardsMaximum(int steps, bool large);

    // How the window's label shows value n, with its unit ("3000 Hz", "137 dB/Octave"); read
    // from the same label formulas the window uses. Without it the bare setting is shown.
    void setValueText(std::function<QString(int value)> text);
    [[nodiscard]] QString valueText() const;
    // Tells assistive technology the value and its text when either has changed since it was
    // last told: the bar calls it on every move; call it when the text follows another bar
    // (a slope figure follows the cutoff).
    void announceValue();

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

    // Geometry in widget pixels, for painting and for tests that click a part of the bar.
    [[nodiscard]] QRect decreaseArrowRect() const; // left/top arrow (towards Min)
    [[nodiscard]] QRect increaseArrowRect() const; // right/bottom arrow (towards Max)
    [[nodiscard]] QRect thumbRect() const;
    [[nodiscard]] QRect troughRect() const;

signals:
    // The value moved by an arrow, a trough click, a key, the end of a drag or setValue().
    void changed(int value);
    // The value moved while the thumb is being dragged.
    void scrolled(int value);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    enum class Repeat { None, SmallDown, SmallUp, LargeDown, LargeUp };

    [[nodiscard]] int lowest() const { return std::min(minimum_, maximum_); }
    [[nodiscard]] int highest() const { return std::max(minimum_, maximum_); }
    [[nodiscard]] int length() const;  // along the bar, pixels
    [[nodiscard]] int breadth() const; // across the bar, pixels
    [[nodiscard]] int thumbLength() const;
    [[nodiscard]] int along(const QPoint &p) const;
    [[nodiscard]] int valueAtThumbStart(int position) const;
    [[nodiscard]] int thumbStart() const; // pixel offset of the thumb along the bar
    void moveTo(int value, bool byDrag);
    void runRepeat();

    Qt::Orientation orientation_;
    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
    int smallChange_ = 1;
    int largeChange_ = 10;
    bool dragging_ = false;
    int dragOffset_ = 0; // pointer position inside the thumb when the drag began
    int dragStartValue_ = 0;
    Repeat repeat_ = Repeat::None;
    int repeatTarget_ = 0; // trough repeats stop when the thumb reaches the pointer
    QTimer repeatTimer_;
    std::function<QString(int)> valueText_;
    int announcedValue_ = 0;
    QString announcedText_;
};

// The bar's name for screen readers: its accessibleName, else the caption of the nearest
// frame (QGroupBox) around it, without the mnemonic marker.
[[nodiscard]] QString SettingBarCaption(const SettingBar &bar);

// Names the bar after a row of the stage limits (config/stagelimits.h) and gives it the row's
// range, at the set's highest filter frequency maxFrequency (Hz), and steps.
void ApplyStageLimit(SettingBar &bar, const StageLimit &limit, int maxFrequency);

} // namespace korvane
