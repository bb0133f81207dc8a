#include "spectraleditor.h"

#include "config/stagelimits.h"
#include "labelformulas/labelformulas.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QButtonGroup>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

namespace korvane {

using G = SpectralPlotGeometry;

// ---------------------------------------------------------------- drop-trace dialog

EDGEDrop::EDGEDrop(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("EDGEDrop"));
    setWindowTitle(QStringLiteral("Spectral Graphic Edit"));
    setModal(true);
    auto *v = new QVBoxLayout(this);
    auto *text = new QLabel(
        QStringLiteral("Select amount in dB by which to drop the trace prior to editing.  Click on Proceed to drop "
                       "trace and continue edit, or click on Cancel to abort.   NOTE:  If you select Proceed, you "
                       "will next need to define the portion of the trace to be edited by clicking on the left and "
                       "right edges of the edit region."),
        this);
    text->setObjectName(QStringLiteral("Label1"));
    text->setWordWrap(true);
    text->setMinimumWidth(360);
    v->addWidget(text);

    auto *grid = new QGridLayout;
    choices_ = new QButtonGroup(this);
    // Eight amounts drawn from a few digits: each takes a key of its own (Alt+N, 5, 1, D, 2,
    // B, 0, 3), and the arrows move between them.
    const char *const texts[8] = {"0dB (&No Drop)", "&5dB", "&10dB", "15&dB", "&20dB", "25d&B", "3&0dB", "&35dB"};
    for (int i = 0; i < 8; ++i) {
        auto *b = new QRadioButton(QString::fromLatin1(texts[i]), this);
        b->setObjectName(QStringLiteral("DropSelect%1").arg(i));
        choices_->addButton(b, i);
        grid->addWidget(b, i % 4, i / 4);
    }
    choices_->button(0)->setChecked(true);
    // The keyboard starts on the amount: the arrows choose, Enter proceeds (the default button).
    choices_->button(0)->setFocus();
    connect(choices_, &QButtonGroup::idClicked, this, [this](int id) { dropDb_ = float(id * 5); });
    v->addLayout(grid);

    auto *row = new QHBoxLayout;
    row->addStretch(1);
    auto *proceed = new QPushButton(QStringLiteral("&Proceed"), this);
    proceed->setObjectName(QStringLiteral("Command1"));
    proceed->setToolTip(QStringLiteral("Proceed with edit"));
    proceed->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    cancel->setToolTip(QStringLiteral("Cancel edit"));
    cancel->setAutoDefault(false);
    connect(proceed, &QPushButton::clicked, this, [this] {
        proceed_ = true;
        accept();
    });
    connect(cancel, &QPushButton::clicked, this, [this] {
        proceed_ = false;
        reject();
    });
    row->addWidget(proceed);
    row->addWidget(cancel);
    v->addLayout(row);
}

void EDGEDrop::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (screen()) {
        const QRect s = screen()->geometry();
        move(s.x() + (s.width() - width()) / 2, s.y() + (s.height() - height()) / 2);
    }
}

// ---------------------------------------------------------------- plot

namespace {

// Whole decibels without a decimal, others with one: "-12 dB", "-12.5 dB".
QString spokenDb(float dB)
{
    QString t = FormatFixed(dB, 1);
    if (t.endsWith(QLatin1String(".0")))
        t.chop(2);
    return t == QLatin1String("-0") ? QStringLiteral("0") : t;
}

// The plot as a slider: value = the cursor's level in dB, value text = pointText().
class SpectralPlotAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SpectralPlotAccessible(QWidget *w) : QAccessibleWidget(w, QAccessible::Slider) { }

    [[nodiscard]] QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value || t == QAccessible::Description)
            return plot()->pointText();
        return QAccessibleWidget::text(t);
    }
    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    [[nodiscard]] QVariant currentValue() const override { return double(plot()->trace().cursorDb()); }
    void setCurrentValue(const QVariant &) override { } // changed by keys, which keep the undo
    [[nodiscard]] QVariant maximumValue() const override { return double(kSpectralGainHighDb); }
    [[nodiscard]] QVariant minimumValue() const override { return double(kSpectralGainLowDb); }
    [[nodiscard]] QVariant minimumStepSize() const override { return 1.0; }

private:
    [[nodiscard]] const SpectralPlot *plot() const { return static_cast<const SpectralPlot *>(widget()); }
};

QAccessibleInterface *spectralPlotAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("korvane::SpectralPlot") && object && object->isWidgetType())
        return new SpectralPlotAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

SpectralPlot::SpectralPlot(const SpectralTrace &trace, QWidget *parent) : QWidget(parent), trace_(trace)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(spectralPlotAccessible);
        return true;
    }();
    (void)factoryInstalled;
    setObjectName(QStringLiteral("FilterDisplay"));
    setAccessibleName(QStringLiteral("Gain curve"));
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize((G::kWidth + G::kUnitsPerPixel - 1) / G::kUnitsPerPixel,
                 (G::kHeight + G::kUnitsPerPixel - 1) / G::kUnitsPerPixel);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpectralPlot::setCursorLine(std::optional<int> x)
{
    if (x == cursorX_)
        return;
    cursorX_ = x;
    update();
}

QString SpectralPlot::pointText() const
{
    const TraceReadout r = trace_.readout(trace_.cursor(), trace_.cursorDb(), sampleRate_);
    QString t = FormatFixed(r.hz, 0) + QStringLiteral(" Hz, ") + spokenDb(r.dB) + QStringLiteral(" dB");
    const auto [first, last] = trace_.selection();
    if (first != last)
        t += QStringLiteral(", range %1 to %2 Hz selected")
                 .arg(FormatFixed(double(first) * sampleRate_ / 256.0, 0),
                      FormatFixed(double(last) * sampleRate_ / 256.0, 0));
    if (trace_.editActive())
        t += trace_.definingEdges() ? QStringLiteral(", choosing the edges of the part to redraw")
                                    : QStringLiteral(", placing points");
    return t;
}

void SpectralPlot::cursorChanged()
{
    update();
    QAccessibleValueChangeEvent value(this, double(trace_.cursorDb()));
    QAccessible::updateAccessibility(&value);
    QAccessibleEvent described(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&described);
}

void SpectralPlot::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void SpectralPlot::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

// With the focus: the selected points on a faint band, the cursor point as a white ring at
// its level (the level the next point takes while drawing) on a dotted line.
void SpectralPlot::paintKeyCursor(QPainter &p)
{
    const auto [first, last] = trace_.selection();
    const int x0 = G::pointX(first);
    const int x1 = G::pointX(last);
    p.fillRect(QRect(x0 - 20, G::kGridTop, x1 - x0 + 40, G::kBottom - G::kGridTop), QColor(255, 255, 255, 48));
    const int x = G::pointX(trace_.cursor());
    p.setPen(QPen(Qt::white, 0, Qt::DotLine));
    p.drawLine(x, G::kGridTop, x, G::kBottom);
    p.setPen(QPen(Qt::white, 0, Qt::SolidLine));
    p.setBrush(Qt::NoBrush);
    const int r = 4 * G::kUnitsPerPixel;
    p.drawEllipse(QPoint(x, G::dBToVideo(trace_.cursorDb())), r, r);
}

void SpectralPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.scale(1.0 / G::kUnitsPerPixel, 1.0 / G::kUnitsPerPixel);

    auto pen = [](QColor c, Qt::PenStyle style) {
        QPen pen(c, 0, style); // cosmetic: one pixel wide at any scale
        return pen;
    };
    p.setPen(pen(Qt::white, Qt::SolidLine));
    const QPoint frame[5] = {{499, 90}, {499, 2470}, {6901, 2470}, {6901, 90}, {499, 90}};
    p.drawPolyline(frame, 5);

    p.setPen(pen(QColor(0, 128, 0), Qt::DashLine));
    for (int y : {685, 1280, 1875})
        p.drawLine(500, y, 6900, y);
    for (int x = 1300; x <= 6100; x += 800)
        p.drawLine(x, G::kGridTop, x, G::kBottom);

    const TraceValues &t = trace_.trace();
    auto polyline = [&](int from, int to) {
        if (to <= from)
            return;
        QPolygon line;
        for (int k = from; k <= to; ++k)
            line << QPoint(G::pointX(k), G::dBToVideo(t[std::size_t(k)]));
        p.drawPolyline(line);
    };
    p.setPen(pen(Qt::cyan, Qt::SolidLine));
    if (trace_.fullDrawing()) {
        polyline(0, kLastPoint);
    } else {
        const int left = trace_.drawnEditLeft();
        const int right = trace_.drawnEditRight();
        if (left > 0) {
            polyline(0, left);
            p.setPen(pen(Qt::red, Qt::DotLine));
            p.drawLine(G::pointX(left), G::kGridTop, G::pointX(left), G::kBottom);
        }
        if (right < kLastPoint) {
            p.setPen(pen(Qt::red, Qt::DotLine));
            p.drawLine(G::pointX(right + 1), G::kGridTop, G::pointX(right + 1), G::kBottom);
            p.setPen(pen(Qt::cyan, Qt::SolidLine));
            if (right <= kLastPoint - 2)
                polyline(right + 1, kLastPoint);
        }
    }

    p.setPen(pen(Qt::yellow, Qt::SolidLine));
    for (const auto &[a, b] : trace_.enteredLines())
        p.drawLine(G::pointX(a), G::dBToVideo(t[std::size_t(a)]), G::pointX(b), G::dBToVideo(t[std::size_t(b)]));
    if (trace_.firstPointMarked()) {
        // Radius 10 units, but never less than two pixels so the point stays visible.
        const int r = std::max(10, 2 * G::kUnitsPerPixel);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::red);
        p.drawEllipse(QPoint(G::pointX(0), G::dBToVideo(t[0])), r, r);
        p.setBrush(Qt::NoBrush);
    }

    if (cursorX_) {
        p.setPen(pen(Qt::red, Qt::SolidLine));
        p.drawLine(*cursorX_, G::kGridTop, *cursorX_, G::kBottom);
    }
    if (hasFocus()) {
        paintKeyCursor(p);
        p.resetTransform();
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void SpectralPlot::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit pointerPressed(G::toUnits(event->position()));
}

void SpectralPlot::mouseMoveEvent(QMouseEvent *event) { emit pointerMoved(G::toUnits(event->position())); }

void SpectralPlot::mouseReleaseEvent(QMouseEvent *event) { emit pointerReleased(G::toUnits(event->position())); }

void SpectralPlot::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    emit pointerLeft();
}

// ---------------------------------------------------------------- editor

namespace {
QLabel *plotLabel(const QString &name, const QString &text, QWidget *parent, QColor colour = Qt::white)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, colour);
    l->setPalette(pal);
    return l;
}

// The plot's left margin on the panel, in pixels: room for the level labels.
constexpr int kPlotMargin = 44;
} // namespace

CtlSGE::CtlSGE(QWidget *parent, Model &model, UserDialog &dialog)
    : EditorWindow(parent, model, dialog, QStringLiteral("Spectral Graphic Equalizer"), true),
      trace_(model.currentStage().SpectralGain)
{
    setObjectName(QStringLiteral("CtlSGE"));
    // The plot of the curve is wide: the response goes under it, so the window fits a
    // 1024 x 768 screen.
    setResponsePlotBelow(true);
    auto *row = new QHBoxLayout(controls());
    row->setContentsMargins(0, 0, 0, 0);
    auto *left = new QVBoxLayout;
    left->addWidget(buildPlotPanel());
    left->addLayout(buildGainRow());
    row->addLayout(left);
    row->addLayout(buildButtons());
    plot_->setSampleRate(sampleRate());
    plot_->installEventFilter(this);
    connectCommands();
    clearMarker();
    refreshButtons();
}

// Under the plot: the gain of the cursor point, or of the selected points, typed in dB.
QHBoxLayout *CtlSGE::buildGainRow()
{
    auto *row = new QHBoxLayout;
    gainField_ = new QLineEdit(controls());
    gainField_->setObjectName(QStringLiteral("txtPointGain"));
    gainField_->setAccessibleName(QStringLiteral("Gain of the selected points"));
    gainField_->setToolTip(QStringLiteral("Type a gain from -40 to 0 dB for the cursor point or the selected "
                                          "points and press Enter"));
    auto *validator = new QDoubleValidator(kSpectralGainLowDb, kSpectralGainHighDb, 1, gainField_);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    gainField_->setValidator(validator);
    gainField_->setMaximumWidth(72);
    gainField_->installEventFilter(this);
    QLabel *label = makeLabel(QStringLiteral("lblPointGain"), QStringLiteral("&Gain:"), controls());
    label->setBuddy(gainField_);
    row->addWidget(label);
    row->addWidget(gainField_);
    row->addWidget(makeLabel(QStringLiteral("lblPointGainUnit"), QStringLiteral("dB"), controls()));
    row->addSpacing(12);
    row->addWidget(makeLabel(QStringLiteral("lblKeys"),
                             QStringLiteral("On the curve: arrows move and raise or lower, Shift+arrows select, "
                                            "Enter types a gain"),
                             controls()),
                   1);
    return row;
}

// The plot with its axis labels and the readout row on a black panel.
QWidget *CtlSGE::buildPlotPanel()
{
    auto *panel = new QWidget(controls());
    panel->setObjectName(QStringLiteral("plotPanel"));
    panel->setAutoFillBackground(true);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, Qt::black);
    panel->setPalette(pal);
    plot_ = new SpectralPlot(trace_, panel);
    plot_->move(kPlotMargin, 4);
    // The readout row sits in the plot's own black margin under the -40 dB line.
    const int plotBottom = 4 + (G::kBottom + 60) / G::kUnitsPerPixel;
    panel->setFixedSize(kPlotMargin + plot_->width() + 8, 4 + plot_->height() + 4);

    const char *const levels[5] = {"0dB", "-10", "-20", "-30", "-40"};
    for (int i = 0; i < 5; ++i) {
        QLabel *l = plotLabel(QStringLiteral("AxesLabel%1").arg(i), QString::fromLatin1(levels[i]), panel);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const int y = 4 + (G::kTop + i * (G::kBottom - G::kTop) / 4) / G::kUnitsPerPixel;
        l->setGeometry(0, y - 9, kPlotMargin + G::kLeft / G::kUnitsPerPixel - 4, 18);
    }
    QLabel *zero = plotLabel(QStringLiteral("AxesLabel7"), QStringLiteral("0"), panel);
    zero->setGeometry(kPlotMargin + G::kLeft / G::kUnitsPerPixel - 4, plotBottom + 2, 20, 20);

    auto *readout = new QWidget(panel);
    readout->setGeometry(kPlotMargin + G::kLeft / G::kUnitsPerPixel + 20, plotBottom,
                         (G::kRight - G::kLeft) / G::kUnitsPerPixel, 24);
    buildReadout(readout);
    return panel;
}

// Under the plot: the pointer's frequency and attenuation, and the bandwidth the curve spans.
void CtlSGE::buildReadout(QWidget *readout)
{
    auto *rr = new QHBoxLayout(readout);
    rr->setContentsMargins(0, 0, 0, 0);
    rr->addStretch(1);
    rr->addWidget(plotLabel(QStringLiteral("AxesLabel8"), QStringLiteral("Freq:"), readout));
    markerX_ = plotLabel(QStringLiteral("MarkerXLabel"), QString(), readout);
    markerX_->setMinimumWidth(40);
    markerX_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rr->addWidget(markerX_);
    rr->addWidget(plotLabel(QStringLiteral("AxesLabel9"), QStringLiteral("Hz"), readout));
    rr->addSpacing(24);
    rr->addWidget(plotLabel(QStringLiteral("AxesLabel10"), QStringLiteral("Atten:"), readout));
    markerY_ = plotLabel(QStringLiteral("MarkerYLabel"), QString(), readout, Qt::cyan);
    markerY_->setMinimumWidth(40);
    markerY_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rr->addWidget(markerY_);
    rr->addWidget(plotLabel(QStringLiteral("AxesLabel11"), QStringLiteral("dB"), readout, Qt::cyan));
    rr->addStretch(1);
    rr->addWidget(plotLabel(QStringLiteral("Bandwidth"), FormatFixed(sampleRate() * 115.0 / 256.0, 0), readout));
    rr->addWidget(plotLabel(QStringLiteral("AxesLabel12"), QStringLiteral("Hz"), readout));
}

QVBoxLayout *CtlSGE::buildButtons()
{
    auto *buttons = new QVBoxLayout;
    newButton_ = makeButton(QStringLiteral("NewButton"), QStringLiteral("&New"),
                            QStringLiteral("Create new equalizer"));
    abortButton_ = makeButton(QStringLiteral("AbortButton"), QStringLiteral("&Abort"),
                              QStringLiteral("Abort changes and restore previous"));
    editButton_ = makeButton(QStringLiteral("EditButton"), QStringLiteral("&Edit"),
                             QStringLiteral("Edit portion of equalizer"));
    normalizeButton_ = makeButton(QStringLiteral("AutoScaleButton"), QStringLiteral("No&rmalize"),
                                  QStringLiteral("Normalize equalizer"));
    undoButton_ = makeButton(QStringLiteral("UndoButton"), QStringLiteral("&Undo"), QStringLiteral("Undo changes"));
    cancelButton_ = makeCancelButton(QStringLiteral("CancelButton"), QStringLiteral("Discard filter settings"));
    okButton_ = makeOkButton(QStringLiteral("OKButton"), QStringLiteral("Saves filter settings"));
    for (QPushButton *b :
         {newButton_, abortButton_, editButton_, normalizeButton_, undoButton_, cancelButton_, okButton_})
        buttons->addWidget(b);
    buttons->addStretch(1);
    return buttons;
}

// The buttons' commands and the pointer on the plot.
void CtlSGE::connectCommands()
{
    connect(newButton_, &QPushButton::clicked, this, &CtlSGE::startNew);
    connect(editButton_, &QPushButton::clicked, this, &CtlSGE::startEdit);
    connect(normalizeButton_, &QPushButton::clicked, this, [this] {
        clearMarker();
        trace_.normalize();
        plot_->update();
        refreshButtons();
    });
    connect(undoButton_, &QPushButton::clicked, this, [this] {
        trace_.undo();
        plot_->update();
        refreshButtons();
    });
    connect(abortButton_, &QPushButton::clicked, this, [this] {
        trace_.abort();
        plot_->update();
        refreshButtons();
    });
    connect(plot_, &SpectralPlot::pointerPressed, this, [this](QPointF u) { track(u, false); });
    connect(plot_, &SpectralPlot::pointerMoved, this, [this](QPointF u) { track(u, true); });
    connect(plot_, &SpectralPlot::pointerReleased, this, &CtlSGE::released);
    connect(plot_, &SpectralPlot::pointerLeft, this, [this] {
        if (!trace_.editActive())
            plot_->setCursorLine(std::nullopt);
    });
}

void CtlSGE::clearMarker()
{
    markerX_->setText(QStringLiteral("-----"));
    markerY_->setText(QStringLiteral("----"));
}

void CtlSGE::refreshButtons()
{
    const bool idle = !trace_.editActive();
    for (QPushButton *b : {newButton_, editButton_, normalizeButton_, cancelButton_, okButton_}) {
        b->setEnabled(idle);
        b->setVisible(idle);
    }
    undoButton_->setEnabled(idle);
    undoButton_->setVisible(idle && trace_.undoOffered());
    abortButton_->setVisible(!idle);
    gainField_->setEnabled(idle);
    if (!gainField_->hasFocus())
        gainField_->setText(FormatFixed(trace_.trace()[std::size_t(trace_.cursor())], 1));
}

void CtlSGE::track(QPointF units, bool moved)
{
    const TraceReadout r = trace_.readout(G::pointIndex(units.x()), G::pointerDb(units.y()), sampleRate());
    markerX_->setText(FormatFixed(r.hz, 0));
    markerY_->setText(FormatFixed(r.dB, 1));
    if (moved && !trace_.editActive())
        plot_->setCursorLine(G::cursorX(units.x()));
}

void CtlSGE::released(QPointF units)
{
    const SpectralTrace::Release result = trace_.release(G::pointIndex(units.x()), G::pointerDb(units.y()));
    if (result == SpectralTrace::Release::Ignored)
        return;
    if (result == SpectralTrace::Release::Completed) {
        const int k = trace_.lastPoint();
        markerX_->setText(FormatFixed(double(k) * sampleRate() / 256.0, 0));
        markerY_->setText(FormatFixed(trace_.trace()[std::size_t(k)], 1));
        refreshButtons();
    }
    plot_->update();
}

void CtlSGE::startNew()
{
    plot_->setCursorLine(std::nullopt);
    trace_.startNew();
    refreshButtons();
    plot_->update();
    // The drawing goes on on the plot: the keys that place the points work there.
    plot_->setFocus(Qt::OtherFocusReason);
}

void CtlSGE::startEdit()
{
    float drop = 0.0f;
    {
        EDGEDrop ask(this);
        ask.exec();
        if (!ask.dropProceed())
            return;
        drop = ask.dropDb();
    }
    plot_->setCursorLine(std::nullopt);
    clearMarker();
    trace_.startEdit(drop);
    refreshButtons();
    plot_->update();
    plot_->setFocus(Qt::OtherFocusReason);
}

void CtlSGE::prepareClose()
{
    if (trace_.editActive()) {
        trace_.abort();
        refreshButtons();
        plot_->update();
    }
}

// The curve as it stands: whatever changed it (an interpolating edit, an edit of a single
// point, a drop, a Normalize) Cancel and the close box ask before storing. An unfinished New or
// Edit is no curve yet: until it completes, the value is the curve from before it, the one
// Abort brings back and a close stores.
StageConfig CtlSGE::controlsValue() const
{
    StageConfig r = record();
    r.SpectralGain = trace_.editActive() ? trace_.undoTrace() : trace_.trace();
    return r;
}

QString CtlSGE::liveNote() const
{
    return QStringLiteral("Drawing: the new curve shows once its last point is placed");
}

void CtlSGE::keyPressEvent(QKeyEvent *event)
{
    // While a curve is being drawn Esc is the Abort button: the drawing stops and the curve
    // comes back as it was; the window stays open.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && trace_.editActive()) {
        abortButton_->click();
        event->accept();
        return;
    }
    EditorWindow::keyPressEvent(event);
}

// ---------------------------------------------------------------- keyboard editing

bool CtlSGE::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return EditorWindow::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    if (watched == plot_)
        return plotKey(key);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (watched == gainField_ && mods == Qt::NoModifier) {
        // Enter applies the typed gain (never the window's OK); Esc drops what was typed and
        // goes back to the curve. The window stays open either way.
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            applyTypedGain();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            followCursor();
            plot_->setFocus(Qt::OtherFocusReason);
            return true;
        }
    }
    return EditorWindow::eventFilter(watched, event);
}

// Keys on the plot:
//   Left / Right             previous / next point       (Ctrl: 10 points; Home / End: the ends)
//   Shift with those         extend the selected range   (while idle)
//   Up / Down                1 dB up / down              (PageUp / PageDown: 5 dB)
//       idle: the selected points' gain; New or Edit running: the level of the next point
//   Enter                    idle: type a gain in the field under the plot
//                            New or Edit running: place the edge or point at the cursor
//   Space                    New or Edit running: as Enter
//   a digit, '-' or '.'      idle: starts typing a gain with that character
// Tab, Esc and the mnemonics are left to the window.
bool CtlSGE::plotKey(QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    if (mods & ~(Qt::ShiftModifier | Qt::ControlModifier))
        return false;
    const int c = trace_.cursor();
    const bool drawing = trace_.editActive();
    auto move = [&](int to) {
        trace_.moveCursor(to, shift);
        followCursor();
        return true;
    };
    switch (event->key()) {
    case Qt::Key_Left:
        return move(c - (ctrl ? 10 : 1));
    case Qt::Key_Right:
        return move(c + (ctrl ? 10 : 1));
    case Qt::Key_Home:
        return move(0);
    case Qt::Key_End:
        return move(kLastPoint);
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        if (shift || ctrl)
            return false;
        stepLevel((event->key() == Qt::Key_Up || event->key() == Qt::Key_PageUp ? 1.0f : -1.0f)
                  * (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown ? 5.0f : 1.0f));
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (mods != Qt::NoModifier)
            return false;
        if (drawing) {
            placeAtCursor();
        } else if (event->key() != Qt::Key_Space) {
            gainField_->setFocus(Qt::OtherFocusReason);
            gainField_->selectAll();
        }
        return true;
    default:
        break;
    }
    const QString text = event->text();
    if (!drawing && !ctrl && text.size() == 1
        && (text[0].isDigit() || text == QLatin1String("-") || text == QLatin1String("."))) {
        gainField_->setFocus(Qt::OtherFocusReason);
        gainField_->setText(text);
        return true;
    }
    return false;
}

void CtlSGE::stepLevel(float deltaDb)
{
    if (trace_.editActive())
        trace_.stepCursorLevel(deltaDb);
    else if (!trace_.nudgeSelection(deltaDb))
        dialog_.beep(); // at the end of the range already
    followCursor();
}

void CtlSGE::placeAtCursor()
{
    const SpectralTrace::Release result = trace_.placeAtCursor();
    if (result == SpectralTrace::Release::Completed)
        refreshButtons();
    followCursor();
}

void CtlSGE::applyTypedGain()
{
    bool ok = false;
    const float dB = QLocale::c().toFloat(gainField_->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')),
                                          &ok);
    if (!ok || !trace_.setSelectionGain(dB)) {
        dialog_.beep();
        return;
    }
    plot_->setFocus(Qt::OtherFocusReason);
    followCursor();
}

void CtlSGE::followCursor()
{
    const TraceReadout r = trace_.readout(trace_.cursor(), trace_.cursorDb(), sampleRate());
    markerX_->setText(FormatFixed(r.hz, 0));
    markerY_->setText(FormatFixed(r.dB, 1));
    refreshButtons();
    plot_->cursorChanged();
}

} // namespace korvane
