#include "spectraleditor.h"

#include "labelformulas/labelformulas.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
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
    const char *const texts[8] = {"0dB (No Drop)", "5dB", "10dB", "15dB", "20dB", "25dB", "30dB", "35dB"};
    for (int i = 0; i < 8; ++i) {
        auto *b = new QRadioButton(QString::fromLatin1(texts[i]), this);
        b->setObjectName(QStringLiteral("DropSelect%1").arg(i));
        choices_->addButton(b, i);
        grid->addWidget(b, i % 4, i / 4);
    }
    choices_->button(0)->setChecked(true);
    connect(choices_, &QButtonGroup::idClicked, this, [this](int id) { dropDb_ = float(id * 5); });
    v->addLayout(grid);

    auto *row = new QHBoxLayout;
    row->addStretch(1);
    auto *proceed = new QPushButton(QStringLiteral("Proceed"), this);
    proceed->setObjectName(QStringLiteral("Command1"));
    proceed->setToolTip(QStringLiteral("Proceed with edit"));
    proceed->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
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

SpectralPlot::SpectralPlot(const SpectralTrace &trace, QWidget *parent) : QWidget(parent), trace_(trace)
{
    setObjectName(QStringLiteral("FilterDisplay"));
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
    row->addWidget(buildPlotPanel());
    row->addLayout(buildButtons());
    connectCommands();
    clearMarker();
    refreshButtons();
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
    newButton_ = makeButton(QStringLiteral("NewButton"), QStringLiteral("New"), QStringLiteral("Create new equalizer"));
    abortButton_ = makeButton(QStringLiteral("AbortButton"), QStringLiteral("Abort"),
                              QStringLiteral("Abort changes and restore previous"));
    editButton_ = makeButton(QStringLiteral("EditButton"), QStringLiteral("Edit"),
                             QStringLiteral("Edit portion of equalizer"));
    normalizeButton_ = makeButton(QStringLiteral("AutoScaleButton"), QStringLiteral("Normalize"),
                                  QStringLiteral("Normalize equalizer"));
    undoButton_ = makeButton(QStringLiteral("UndoButton"), QStringLiteral("Undo"), QStringLiteral("Undo changes"));
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

} // namespace korvane
