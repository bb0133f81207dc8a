#include "listenpanel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

constexpr float kFloorDb = -100.0f;

// Dark blue through red to pale yellow.
QRgb heat(float db)
{
    const float t = std::clamp((db - kFloorDb) / -kFloorDb, 0.0f, 1.0f);
    const int r = static_cast<int>(255 * std::clamp(1.8f * t - 0.2f, 0.0f, 1.0f));
    const int g = static_cast<int>(255 * std::clamp(2.0f * t - 1.0f, 0.0f, 1.0f));
    const int b = static_cast<int>(255 * std::clamp(t < 0.4f ? 0.25f + t * 1.5f : 1.6f - 2.0f * t, 0.0f, 1.0f));
    return qRgb(r, g, b);
}

} // namespace

SpectrogramView::SpectrogramView(const QString &title, QWidget *parent) : QWidget(parent), m_title(title)
{
    setMinimumSize(300, 110);
}

void SpectrogramView::setSpectrogram(const Spectrogram &s)
{
    m_sampleRate = s.sampleRate;
    if (s.columns == 0) {
        m_image = {};
    } else {
        m_image = QImage(s.columns, s.bins, QImage::Format_RGB32);
        for (int c = 0; c < s.columns; ++c)
            for (int b = 0; b < s.bins; ++b)
                m_image.setPixel(c, s.bins - 1 - b, heat(s.at(c, b)));
    }
    update();
}

void SpectrogramView::setMarks(double playhead, double loopFrom, double loopTo)
{
    m_playhead = playhead;
    m_loopFrom = loopFrom;
    m_loopTo = loopTo;
    update();
}

void SpectrogramView::setNoise(double from, double to)
{
    m_noiseFrom = from;
    m_noiseTo = to;
    update();
}

QRect SpectrogramView::imageArea() const { return rect().adjusted(34, 16, -2, -2); }

double SpectrogramView::fractionAt(int x) const
{
    const QRect area = imageArea();
    return std::clamp(static_cast<double>(x - area.left()) / std::max(1, area.width()), 0.0, 1.0);
}

void SpectrogramView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || m_image.isNull())
        return QWidget::mousePressEvent(event);
    m_dragFrom = fractionAt(event->position().toPoint().x());
    setNoise(m_dragFrom, m_dragFrom);
}

void SpectrogramView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragFrom < 0)
        return QWidget::mouseMoveEvent(event);
    const double at = fractionAt(event->position().toPoint().x());
    setNoise(std::min(m_dragFrom, at), std::max(m_dragFrom, at));
}

void SpectrogramView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragFrom < 0 || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const double at = fractionAt(event->position().toPoint().x());
    const double from = std::min(m_dragFrom, at), to = std::max(m_dragFrom, at);
    m_dragFrom = -1;
    emit regionDragged(from, to);
}

void SpectrogramView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect area = imageArea();
    p.fillRect(rect(), palette().window());
    p.fillRect(area, Qt::black);
    p.setPen(palette().windowText().color());
    p.drawText(QRect(area.left(), 0, area.width(), 16), Qt::AlignLeft | Qt::AlignVCenter, m_title);
    if (m_image.isNull())
        return;
    p.drawImage(area, m_image);
    // Frequency marks every kHz, labelled every 2 kHz.
    const double top = m_sampleRate / 2.0;
    for (int khz = 0; khz * 1000 <= top; ++khz) {
        const int y = area.bottom() - static_cast<int>(area.height() * khz * 1000 / top);
        p.drawLine(area.left() - 4, y, area.left() - 1, y);
        if (khz % 2 == 0)
            p.drawText(QRect(0, y - 7, area.left() - 6, 14), Qt::AlignRight | Qt::AlignVCenter,
                       QStringLiteral("%1k").arg(khz));
    }
    if (m_loopTo > m_loopFrom && m_loopFrom >= 0) {
        const int x0 = area.left() + static_cast<int>(area.width() * m_loopFrom);
        const int x1 = area.left() + static_cast<int>(area.width() * m_loopTo);
        p.fillRect(QRect(x0, area.top(), x1 - x0, area.height()), QColor(255, 255, 255, 40));
        p.setPen(QPen(QColor(255, 255, 255, 160), 1, Qt::DashLine));
        p.drawLine(x0, area.top(), x0, area.bottom());
        p.drawLine(x1, area.top(), x1, area.bottom());
    }
    if (m_noiseTo > m_noiseFrom && m_noiseFrom >= 0) {
        // The noise region: an orange band along the top and bottom edges and a light tint.
        const int x0 = area.left() + static_cast<int>(area.width() * m_noiseFrom);
        const int x1 = area.left() + static_cast<int>(area.width() * m_noiseTo);
        const QColor orange(255, 150, 30);
        p.fillRect(QRect(x0, area.top(), x1 - x0, area.height()), QColor(255, 150, 30, 50));
        p.fillRect(QRect(x0, area.top(), x1 - x0, 4), orange);
        p.fillRect(QRect(x0, area.bottom() - 3, x1 - x0, 4), orange);
        p.setPen(orange);
        p.drawText(QRect(x0 + 3, area.top() + 5, std::max(40, x1 - x0), 14), Qt::AlignLeft | Qt::AlignTop,
                   QStringLiteral("noise"));
    }
    if (m_playhead >= 0) {
        const int x = area.left() + static_cast<int>(area.width() * m_playhead);
        p.setPen(QPen(Qt::green, 1));
        p.drawLine(x, area.top(), x, area.bottom());
    }
}

CurveView::CurveView(QWidget *parent) : QWidget(parent) { setMinimumSize(300, 70); }

void CurveView::setCurve(const std::array<float, kSpectralPointCount> &curve, int sampleRate)
{
    m_curve = curve;
    m_sampleRate = sampleRate;
    update();
}

void CurveView::paintEvent(QPaintEvent *)
{
    constexpr double kBottomDb = -40.0;
    QPainter p(this);
    const QRect area = rect().adjusted(34, 16, -2, -14);
    p.fillRect(rect(), palette().window());
    p.fillRect(area, palette().base());
    p.setPen(palette().windowText().color());
    p.drawText(QRect(area.left(), 0, area.width(), 16), Qt::AlignLeft | Qt::AlignVCenter,
               m_sampleRate > 0 ? QStringLiteral("Designed curve (Stage 1)")
                                : QStringLiteral("Designed curve (Stage 1): none yet"));
    if (m_sampleRate <= 0)
        return;
    const double top = m_sampleRate / 2.0;
    auto xAt = [&](double hz) { return area.left() + area.width() * hz / top; };
    auto yAt = [&](double db) { return area.top() + area.height() * std::clamp(db / kBottomDb, 0.0, 1.0); };
    p.setPen(palette().mid().color());
    for (double db = 0; db >= kBottomDb; db -= 20) {
        const int y = static_cast<int>(yAt(db));
        p.drawLine(area.left(), y, area.right(), y);
        p.drawText(QRect(0, y - 7, area.left() - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(static_cast<int>(db)));
    }
    for (int khz = 0; khz * 1000 <= top; khz += 2)
        p.drawText(QRect(static_cast<int>(xAt(khz * 1000.0)) - 15, area.bottom() + 1, 30, 13), Qt::AlignCenter,
                   QStringLiteral("%1k").arg(khz));
    QPolygonF line;
    for (int k = 0; k < kSpectralPointCount; ++k)
        line << QPointF(xAt(k * m_sampleRate / 256.0), yAt(m_curve[static_cast<size_t>(k)]));
    p.setRenderHint(QPainter::Antialiasing);
    // The selection colour stands out from the view colour in light, dark and high-contrast palettes.
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.drawPolyline(line);
}

ListenPanel::ListenPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ListenPanel"));
    auto *layout = new QVBoxLayout(this);

    auto *fileRow = new QHBoxLayout;
    m_open = new QPushButton(QStringLiteral("&Open Audio..."), this);
    m_open->setToolTip(QStringLiteral("Open a WAV, FLAC or Ogg file to listen to"));
    m_clip = new QLabel(QStringLiteral("No audio file"), this);
    fileRow->addWidget(m_open);
    fileRow->addWidget(m_clip, 1);
    layout->addLayout(fileRow);

    auto *playRow = new QHBoxLayout;
    m_play = new QPushButton(QStringLiteral("&Play"), this);
    // One key for both states of the switch: Alt+I.
    m_ab = new QPushButton(QStringLiteral("A: Or&iginal"), this);
    m_ab->setCheckable(true);
    m_ab->setToolTip(QStringLiteral("Switch between the original and the filtered sound (Ctrl+B)"));
    m_position = new QLabel(this);
    playRow->addWidget(m_play);
    playRow->addWidget(m_ab);
    playRow->addWidget(m_position, 1);
    m_match = new QLabel(this);
    playRow->addWidget(m_match);
    layout->addLayout(playRow);

    auto *loopRow = new QHBoxLayout;
    m_loop = new QCheckBox(QStringLiteral("&Loop from"), this);
    m_loopFrom = new QDoubleSpinBox(this);
    m_loopTo = new QDoubleSpinBox(this);
    for (QDoubleSpinBox *b : {m_loopFrom, m_loopTo}) {
        b->setDecimals(2);
        b->setSuffix(QStringLiteral(" s"));
        b->setSingleStep(0.1);
    }
    // The row reads "Loop from [start] to [end]": each box is named for a screen reader.
    m_loopFrom->setAccessibleName(QStringLiteral("Loop from"));
    m_loopTo->setAccessibleName(QStringLiteral("Loop to"));
    loopRow->addWidget(m_loop);
    loopRow->addWidget(m_loopFrom);
    loopRow->addWidget(new QLabel(QStringLiteral("to"), this));
    loopRow->addWidget(m_loopTo);
    loopRow->addStretch(1);
    m_trueLevels = new QCheckBox(QStringLiteral("T&rue levels"), this);
    m_trueLevels->setObjectName(QStringLiteral("ListenTrueLevels"));
    m_trueLevels->setToolTip(QStringLiteral("Off: B is played at the original's level (RMS over the loop region), so "
                                            "the comparison is of sound, not of loudness"));
    loopRow->addWidget(m_trueLevels);

    layout->addLayout(loopRow);

    m_before = new SpectrogramView(QStringLiteral("Original"), this);
    m_after = new SpectrogramView(QStringLiteral("Filtered"), this);
    layout->addWidget(m_before, 1);
    layout->addWidget(m_after, 1);

    auto *designRow = new QHBoxLayout;
    m_noise = new QLabel(this);
    m_noise->setObjectName(QStringLiteral("ListenNoise"));
    m_noise->setWordWrap(true);
    m_design = new QPushButton(QStringLiteral("&Design from noise"), this);
    m_design->setObjectName(QStringLiteral("ListenDesign"));
    m_design->setToolTip(QStringLiteral("Make Stage 1 a Spectral Graphic Equalizer curve that cuts this noise where "
                                        "the rest of the clip does not need the band (one undo step)"));
    designRow->addWidget(m_noise, 1);
    designRow->addWidget(m_design);
    layout->addLayout(designRow);
    m_tones = new QTableWidget(0, 4, this);
    m_tones->setObjectName(QStringLiteral("ListenTones"));
    m_tones->setAccessibleName(QStringLiteral("Steady tones"));
    m_tones->setHorizontalHeaderLabels(
        {QStringLiteral("Tone"), QStringLiteral("Level"), QStringLiteral("Steadiness"), QString()});
    m_tones->verticalHeader()->hide();
    m_tones->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tones->setSelectionMode(QAbstractItemView::NoSelection);
    m_tones->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_tones->setMaximumHeight(90);
    // Tab goes on to the next control; the table's own Tab would go round its cells for ever.
    m_tones->setTabKeyNavigation(false);
    m_curve = new CurveView(this);
    layout->addWidget(m_tones);
    layout->addWidget(m_curve);
    m_notes = new QLabel(this);
    m_notes->setWordWrap(true);
    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setObjectName(QStringLiteral("ListenMessage"));
    layout->addWidget(m_notes);
    layout->addWidget(m_message);

    auto *abKey = new QAction(this);
    abKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    abKey->setShortcutContext(Qt::WindowShortcut);
    addAction(abKey);
    connect(abKey, &QAction::triggered, this, [this] { m_tool.toggleFiltered(); });

    m_timer = new QTimer(this);
    m_timer->setInterval(50);
    connect(m_timer, &QTimer::timeout, this, &ListenPanel::tick);
    connect(m_open, &QPushButton::clicked, this, &ListenPanel::chooseFile);
    connect(m_play, &QPushButton::clicked, this, &ListenPanel::playOrStop);
    connect(m_ab, &QPushButton::toggled, this, [this](bool on) { m_tool.setFilteredOn(on); });
    connect(m_loop, &QCheckBox::toggled, this, &ListenPanel::applyLoop);
    connect(m_loopFrom, &QDoubleSpinBox::valueChanged, this, &ListenPanel::applyLoop);
    connect(m_loopTo, &QDoubleSpinBox::valueChanged, this, &ListenPanel::applyLoop);
    connect(&m_tool, &ListenTool::filteredChanged, this, &ListenPanel::refreshSpectrograms);
    connect(&m_tool, &ListenTool::clipChanged, this, [this] {
        m_clip->setText(m_tool.clipName());
        for (QDoubleSpinBox *b : {m_loopFrom, m_loopTo})
            b->setRange(0.0, m_tool.clipSeconds());
        m_loopTo->setValue(m_tool.clipSeconds());
        refreshState();
    });
    connect(&m_tool, &ListenTool::filteredOnChanged, this, [this](bool on) {
        m_ab->setChecked(on);
        refreshState();
    });
    connect(&m_tool, &ListenTool::playingChanged, this, [this](bool playing) {
        playing ? m_timer->start() : m_timer->stop();
        refreshState();
    });
    connect(&m_tool, &ListenTool::messageChanged, m_message, &QLabel::setText);
    connect(m_before, &SpectrogramView::regionDragged, this, &ListenPanel::noiseDragged);
    connect(m_after, &SpectrogramView::regionDragged, this, &ListenPanel::noiseDragged);
    connect(m_design, &QPushButton::clicked, this, [this] {
        // A minute of audio takes a few seconds to analyse.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_tool.designFromNoise();
        QApplication::restoreOverrideCursor();
    });
    connect(m_trueLevels, &QCheckBox::toggled, this, [this](bool on) { m_tool.setLevelMatched(!on); });
    connect(&m_tool, &ListenTool::designChanged, this, &ListenPanel::refreshDesign);
    connect(&m_tool, &ListenTool::levelMatchChanged, this, &ListenPanel::refreshState);
    refreshDesign();
    refreshState();
}

void ListenPanel::noiseDragged(double from, double to)
{
    const double length = m_tool.clipSeconds();
    m_tool.setNoiseRegion(from * length, to * length);
}

void ListenPanel::refreshDesign()
{
    const auto &noise = m_tool.noiseRegion();
    const double length = m_tool.clipSeconds();
    for (SpectrogramView *v : {m_before, m_after})
        v->setNoise(noise && length > 0 ? noise->fromSeconds / length : -1,
                    noise && length > 0 ? noise->toSeconds / length : -1);
    m_noise->setText(
        noise
            ? QStringLiteral("Noise: %1 s to %2 s").arg(noise->fromSeconds, 0, 'f', 2).arg(noise->toSeconds, 0, 'f', 2)
            : QStringLiteral("Noise: drag across a stretch of only noise"));
    m_design->setEnabled(noise.has_value());
    const auto &design = m_tool.design();
    m_curve->setCurve(design ? design->curve : std::array<float, kSpectralPointCount>{},
                      design ? design->sampleRate : 0);
    const int count = design ? static_cast<int>(design->tones.size()) : 0;
    m_tones->setRowCount(count);
    for (int i = 0; i < count; ++i) {
        const SteadyTone &t = design->tones[static_cast<size_t>(i)];
        m_tones->setItem(i, 0, new QTableWidgetItem(QStringLiteral("%1 Hz").arg(t.frequencyHz, 0, 'f', 1)));
        m_tones->setItem(i, 1, new QTableWidgetItem(QStringLiteral("%1 dBFS").arg(t.levelDb, 0, 'f', 1)));
        auto *steady = new QTableWidgetItem(QStringLiteral("%1%2 Hz, %3 %")
                                                .arg(QChar(0x00B1))
                                                .arg(t.frequencySpreadHz, 0, 'f', 2)
                                                .arg(static_cast<int>(std::lround(t.presence * 100))));
        steady->setToolTip(QStringLiteral("How far its frequency wanders, and how much of the clip it is heard in"));
        m_tones->setItem(i, 2, steady);
        auto *notch = new QPushButton(QStringLiteral("Notch it"), m_tones);
        notch->setObjectName(QStringLiteral("ListenNotch%1").arg(i));
        notch->setEnabled(m_tool.notchFor(i) != nullptr);
        notch->setToolTip(QStringLiteral("Make Stage 2 a Notch on this tone (Stage 1 holds the curve; one undo step)"));
        connect(notch, &QPushButton::clicked, &m_tool, [this, i] { m_tool.notchTone(i); });
        m_tones->setCellWidget(i, 3, notch);
    }
}

bool ListenPanel::openFile(const QString &path) { return m_tool.openFile(path); }

void ListenPanel::chooseFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Audio File"), QString(),
        QStringLiteral("Audio files (*.wav *.flac *.ogg *.oga *.aif *.aiff);;"
                       "All files (*)"));
    if (!path.isEmpty())
        openFile(path);
}

void ListenPanel::playOrStop()
{
    if (m_tool.isPlaying())
        m_tool.stop();
    else
        m_tool.play();
}

void ListenPanel::applyLoop()
{
    if (m_loop->isChecked())
        m_tool.setLoop(m_loopFrom->value(), m_loopTo->value());
    else
        m_tool.setLoop(0, 0);
    refreshState();
}

void ListenPanel::refreshSpectrograms()
{
    m_before->setSpectrogram(m_tool.originalSpectrogram());
    m_after->setSpectrogram(m_tool.filteredSpectrogram());
    QStringList lines = m_tool.notes();
    if (m_tool.hasClip())
        lines << QStringLiteral("Filtered sound rendered in %1 ms").arg(m_tool.lastRenderMilliseconds(), 0, 'f', 0);
    m_notes->setText(lines.join(QLatin1Char('\n')));
    refreshState();
}

void ListenPanel::refreshState()
{
    const bool clip = m_tool.hasClip();
    m_play->setEnabled(clip);
    m_ab->setEnabled(clip);
    m_play->setText(m_tool.isPlaying() ? QStringLiteral("&Stop") : QStringLiteral("&Play"));
    m_ab->setText(m_tool.filteredOn() ? QStringLiteral("B: F&iltered") : QStringLiteral("A: Or&iginal"));
    m_match->setText(m_tool.levelMatched() && clip
                         ? QStringLiteral("B matched: %1 dB").arg(m_tool.levelMatchDb(), 0, 'f', 1)
                         : QString());
    tick();
}

void ListenPanel::tick()
{
    const double length = m_tool.clipSeconds();
    m_position->setText(
        length > 0 ? QStringLiteral("%1 / %2 s").arg(m_tool.positionSeconds(), 0, 'f', 1).arg(length, 0, 'f', 1)
                   : QString());
    const double head = length > 0 ? m_tool.positionSeconds() / length : -1;
    const double from = m_tool.looping() ? m_loopFrom->value() / length : -1;
    const double to = m_tool.looping() ? m_loopTo->value() / length : -1;
    m_before->setMarks(head, from, to);
    m_after->setMarks(head, from, to);
}

} // namespace korvane
