#include "listenpanel.h"

#include <QAction>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
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

void SpectrogramView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QRect area = rect().adjusted(34, 16, -2, -2);
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
    if (m_playhead >= 0) {
        const int x = area.left() + static_cast<int>(area.width() * m_playhead);
        p.setPen(QPen(Qt::green, 1));
        p.drawLine(x, area.top(), x, area.bottom());
    }
}

ListenPanel::ListenPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ListenPanel"));
    auto *layout = new QVBoxLayout(this);

    auto *fileRow = new QHBoxLayout;
    m_open = new QPushButton(QStringLiteral("Open Audio..."), this);
    m_open->setToolTip(QStringLiteral("Open a WAV, FLAC or Ogg file to listen to"));
    m_clip = new QLabel(QStringLiteral("No audio file"), this);
    fileRow->addWidget(m_open);
    fileRow->addWidget(m_clip, 1);
    layout->addLayout(fileRow);

    auto *playRow = new QHBoxLayout;
    m_play = new QPushButton(QStringLiteral("Play"), this);
    m_ab = new QPushButton(QStringLiteral("A: Original"), this);
    m_ab->setCheckable(true);
    m_ab->setToolTip(QStringLiteral("Switch between the original and the filtered sound (Ctrl+B)"));
    m_position = new QLabel(this);
    playRow->addWidget(m_play);
    playRow->addWidget(m_ab);
    playRow->addWidget(m_position, 1);
    layout->addLayout(playRow);

    auto *loopRow = new QHBoxLayout;
    m_loop = new QCheckBox(QStringLiteral("Loop from"), this);
    m_loopFrom = new QDoubleSpinBox(this);
    m_loopTo = new QDoubleSpinBox(this);
    for (QDoubleSpinBox *b : {m_loopFrom, m_loopTo}) {
        b->setDecimals(2);
        b->setSuffix(QStringLiteral(" s"));
        b->setSingleStep(0.1);
    }
    loopRow->addWidget(m_loop);
    loopRow->addWidget(m_loopFrom);
    loopRow->addWidget(new QLabel(QStringLiteral("to"), this));
    loopRow->addWidget(m_loopTo);
    loopRow->addStretch(1);
    layout->addLayout(loopRow);

    m_before = new SpectrogramView(QStringLiteral("Original"), this);
    m_after = new SpectrogramView(QStringLiteral("Filtered"), this);
    layout->addWidget(m_before, 1);
    layout->addWidget(m_after, 1);
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
    refreshState();
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
    m_play->setText(m_tool.isPlaying() ? QStringLiteral("Stop") : QStringLiteral("Play"));
    m_ab->setText(m_tool.filteredOn() ? QStringLiteral("B: Filtered") : QStringLiteral("A: Original"));
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
