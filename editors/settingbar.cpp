#include "settingbar.h"

#include "config/stagelimits.h"

#include <QAccessibleWidget>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {
constexpr int kBreadth = 17;        // pixels across the bar
constexpr int kFirstRepeatMs = 300; // delay before a held arrow starts repeating
constexpr int kRepeatMs = 50;

// A slider with a value interface: the number is the stored setting, the text the label's.
class SettingBarAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SettingBarAccessible(SettingBar *bar) : QAccessibleWidget(bar, QAccessible::Slider) { }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    [[nodiscard]] QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return SettingBarCaption(*bar());
        case QAccessible::Value:
        case QAccessible::Description:
            return bar()->valueText();
        default:
            return QAccessibleWidget::text(t);
        }
    }
    [[nodiscard]] QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant &value) override { bar()->setValue(value.toInt()); }
    [[nodiscard]] QVariant maximumValue() const override { return std::max(bar()->minimum(), bar()->maximum()); }
    [[nodiscard]] QVariant minimumValue() const override { return std::min(bar()->minimum(), bar()->maximum()); }
    [[nodiscard]] QVariant minimumStepSize() const override { return bar()->smallChange(); }

private:
    [[nodiscard]] SettingBar *bar() const { return static_cast<SettingBar *>(widget()); }
};

QAccessibleInterface *settingBarAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(SettingBar::staticMetaObject.className()) && object && object->isWidgetType())
        return new SettingBarAccessible(static_cast<SettingBar *>(object));
    return nullptr;
}
} // namespace

QString SettingBarCaption(const SettingBar &bar)
{
    if (!bar.accessibleName().isEmpty())
        return bar.accessibleName();
    for (const QWidget *w = bar.parentWidget(); w; w = w->parentWidget())
        if (const auto *frame = qobject_cast<const QGroupBox *>(w); frame && !frame->title().isEmpty())
            return QString(frame->title()).remove(QLatin1Char('&'));
    return {};
}

SettingBar::SettingBar(Qt::Orientation orientation, QWidget *parent) : QWidget(parent), orientation_(orientation)
{
    static const bool factoryInstalled = (QAccessible::installFactory(settingBarAccessible), true);
    (void)factoryInstalled;
    setFocusPolicy(Qt::StrongFocus);
    if (orientation_ == Qt::Horizontal)
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    else
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    repeatTimer_.setSingleShot(false);
    connect(&repeatTimer_, &QTimer::timeout, this, &SettingBar::runRepeat);
}

void SettingBar::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = maximum;
    setValue(value_);
    update();
}

void SettingBar::setSteps(int smallChange, int largeChange)
{
    smallChange_ = std::max(1, smallChange);
    largeChange_ = std::max(1, largeChange);
}

void ApplyStageLimit(SettingBar &bar, const StageLimit &limit, int maxFrequency)
{
    bar.setObjectName(QString::fromLatin1(limit.bar));
    bar.setRange(limit.barMinimum(maxFrequency), limit.barMaximum(maxFrequency));
    bar.setSteps(limit.smallStep, limit.largeStep);
}

void SettingBar::setValue(int value) { moveTo(value, false); }

void SettingBar::moveTo(int value, bool byDrag)
{
    const int clamped = std::clamp(value, lowest(), highest());
    if (clamped == value_)
        return;
    value_ = clamped;
    update();
    if (byDrag)
        emit scrolled(value_);
    else
        emit changed(value_);
    announceValue(); // after the window's handlers: a bar pushed by this one has moved too
}

void SettingBar::setValueText(std::function<QString(int)> text)
{
    valueText_ = std::move(text);
    announceValue();
}

QString SettingBar::valueText() const { return valueText_ ? valueText_(value_) : QString::number(value_); }

void SettingBar::announceValue()
{
    if (!QAccessible::isActive())
        return;
    const QString text = valueText();
    if (value_ == announcedValue_ && text == announcedText_)
        return;
    announcedValue_ = value_;
    announcedText_ = text;
    QAccessibleValueChangeEvent value(this, value_);
    QAccessible::updateAccessibility(&value);
    QAccessibleEvent description(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&description);
}

void SettingBar::stepTowardsMaximum(int steps, bool large)
{
    const int direction = maximum_ >= minimum_ ? 1 : -1;
    setValue(value_ + steps * direction * (large ? largeChange_ : smallChange_));
}

QSize SettingBar::sizeHint() const
{
    return orientation_ == Qt::Horizontal ? QSize(200, kBreadth) : QSize(kBreadth, 200);
}

QSize SettingBar::minimumSizeHint() const
{
    return orientation_ == Qt::Horizontal ? QSize(4 * kBreadth, kBreadth) : QSize(kBreadth, 4 * kBreadth);
}

int SettingBar::length() const { return orientation_ == Qt::Horizontal ? width() : height(); }
int SettingBar::breadth() const { return orientation_ == Qt::Horizontal ? height() : width(); }

int SettingBar::along(const QPoint &p) const { return orientation_ == Qt::Horizontal ? p.x() : p.y(); }

int SettingBar::thumbLength() const
{
    const int trough = std::max(0, length() - 2 * breadth());
    return std::min(breadth(), trough);
}

int SettingBar::thumbStart() const
{
    const int travel = std::max(0, length() - 2 * breadth() - thumbLength());
    const int span = maximum_ - minimum_;
    const double t = span == 0 ? 0.0 : double(value_ - minimum_) / span;
    return breadth() + int(std::lround(t * travel));
}

int SettingBar::valueAtThumbStart(int position) const
{
    const int travel = std::max(1, length() - 2 * breadth() - thumbLength());
    const double t = std::clamp(double(position - breadth()) / travel, 0.0, 1.0);
    return minimum_ + int(std::lround(t * (maximum_ - minimum_)));
}

static QRect alongRect(Qt::Orientation o, int start, int len, int breadth)
{
    return o == Qt::Horizontal ? QRect(start, 0, len, breadth) : QRect(0, start, breadth, len);
}

QRect SettingBar::decreaseArrowRect() const { return alongRect(orientation_, 0, breadth(), breadth()); }
QRect SettingBar::increaseArrowRect() const
{
    return alongRect(orientation_, length() - breadth(), breadth(), breadth());
}
QRect SettingBar::troughRect() const
{
    return alongRect(orientation_, breadth(), std::max(0, length() - 2 * breadth()), breadth());
}
QRect SettingBar::thumbRect() const { return alongRect(orientation_, thumbStart(), thumbLength(), breadth()); }

void SettingBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(isEnabled() ? QPalette::Midlight : QPalette::Window));

    auto drawButton = [&](const QRect &r, bool sunken) {
        QStyleOptionButton opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.state = (isEnabled() ? QStyle::State_Enabled : QStyle::State_None)
            | (sunken ? QStyle::State_Sunken : QStyle::State_Raised);
        style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &p, this);
    };
    auto drawArrow = [&](const QRect &r, QStyle::PrimitiveElement arrow, bool sunken) {
        drawButton(r, sunken);
        QStyleOption opt;
        opt.initFrom(this);
        opt.rect = r.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(arrow, &opt, &p, this);
    };
    const bool h = orientation_ == Qt::Horizontal;
    drawArrow(decreaseArrowRect(), h ? QStyle::PE_IndicatorArrowLeft : QStyle::PE_IndicatorArrowUp,
              repeat_ == Repeat::SmallDown);
    drawArrow(increaseArrowRect(), h ? QStyle::PE_IndicatorArrowRight : QStyle::PE_IndicatorArrowDown,
              repeat_ == Repeat::SmallUp);
    if (thumbLength() > 0)
        drawButton(thumbRect(), false);
    if (hasFocus()) {
        // The bar that takes the keys is framed in the selection colour however it got the
        // focus (a click, Tab, the program): a style's dotted focus rectangle on the thumb is
        // too small to see, and some styles draw it only after a key press.
        p.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
}

void SettingBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPoint pos = event->position().toPoint();
    const int a = along(pos);
    if (decreaseArrowRect().contains(pos)) {
        repeat_ = Repeat::SmallDown;
    } else if (increaseArrowRect().contains(pos)) {
        repeat_ = Repeat::SmallUp;
    } else if (thumbRect().contains(pos)) {
        dragging_ = true;
        dragOffset_ = a - thumbStart();
        dragStartValue_ = value_;
        return;
    } else {
        repeat_ = a < thumbStart() ? Repeat::LargeDown : Repeat::LargeUp;
        repeatTarget_ = a;
    }
    runRepeat();
    repeatTimer_.start(kFirstRepeatMs);
    update();
}

void SettingBar::runRepeat()
{
    if (repeatTimer_.isActive() && repeatTimer_.interval() != kRepeatMs)
        repeatTimer_.setInterval(kRepeatMs);
    switch (repeat_) {
    case Repeat::None:
        repeatTimer_.stop();
        break;
    case Repeat::SmallDown:
        stepTowardsMaximum(-1, false);
        break;
    case Repeat::SmallUp:
        stepTowardsMaximum(1, false);
        break;
    case Repeat::LargeDown:
        if (repeatTarget_ < thumbStart())
            stepTowardsMaximum(-1, true);
        break;
    case Repeat::LargeUp:
        if (repeatTarget_ >= thumbStart() + thumbLength())
            stepTowardsMaximum(1, true);
        break;
    }
}

void SettingBar::mouseMoveEvent(QMouseEvent *event)
{
    if (!dragging_)
        return;
    moveTo(valueAtThumbStart(along(event->position().toPoint()) - dragOffset_), true);
}

void SettingBar::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    repeatTimer_.stop();
    repeat_ = Repeat::None;
    if (dragging_) {
        dragging_ = false;
        if (value_ != dragStartValue_)
            emit changed(value_);
    }
    update();
}

void SettingBar::keyPressEvent(QKeyEvent *event)
{
    // Steps towards Maximum that raise the label's figure: the right end of a horizontal bar,
    // the top (Minimum) end of a vertical one.
    const int up = orientation_ == Qt::Horizontal ? 1 : -1;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Up:
        stepTowardsMaximum(up, false);
        break;
    case Qt::Key_Left:
    case Qt::Key_Down:
        stepTowardsMaximum(-up, false);
        break;
    case Qt::Key_PageUp:
        stepTowardsMaximum(up, true);
        break;
    case Qt::Key_PageDown:
        stepTowardsMaximum(-up, true);
        break;
    case Qt::Key_End:
        setValue(up > 0 ? maximum_ : minimum_);
        break;
    case Qt::Key_Home:
        setValue(up > 0 ? minimum_ : maximum_);
        break;
    default:
        QWidget::keyPressEvent(event); // Enter and Esc reach the dialog's buttons
        return;
    }
    event->accept();
}

void SettingBar::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y() != 0 ? event->angleDelta().y() : event->angleDelta().x();
    if (delta == 0) {
        event->ignore();
        return;
    }
    stepTowardsMaximum(delta > 0 ? -1 : 1, false);
    event->accept();
}

} // namespace korvane
