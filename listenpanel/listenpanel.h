#pragma once
// The Listen panel: a thin view over ListenTool. Open a clip, play it, switch between the
// original (A) and the filtered sound (B) with the button or Ctrl+B (level-matched unless
// "True levels" is ticked), loop a region, and see both spectrograms. Dragging across a
// spectrogram marks a noise-only region; "Design from noise" puts a curve into Stage 1, shown
// under the tone list, whose "Notch it" buttons put a Notch into Stage 2.

#include "listen/listentool.h"

#include <QImage>
#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace korvane {

// A spectrogram drawn as an image: time to the right, frequency up, -100..0 dB from dark to
// bright, with the playhead and the loop region over it.
class SpectrogramView : public QWidget {
    Q_OBJECT
public:
    explicit SpectrogramView(const QString &title, QWidget *parent = nullptr);
    void setSpectrogram(const Spectrogram &s);
    void setMarks(double playhead, double loopFrom, double loopTo); // fractions of the clip, <0 none
    void setNoise(double from, double to);                          // fractions of the clip, <0 none
    [[nodiscard]] QSize sizeHint() const override { return {420, 150}; }

signals:
    // The user dragged across the image from one fraction of the clip (0..1) to another.
    void regionDragged(double from, double to);

protected:
    void paintEvent(QPaintEvent *) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    [[nodiscard]] QRect imageArea() const;
    [[nodiscard]] double fractionAt(int x) const;

    QString m_title;
    QImage m_image;
    int m_sampleRate = 0;
    double m_playhead = -1, m_loopFrom = -1, m_loopTo = -1;
    double m_noiseFrom = -1, m_noiseTo = -1;
    double m_dragFrom = -1; // fraction where a drag started, <0 none
};

// A Spectral Graphic Equalizer curve: dB (0 at the top, -40 at the bottom) over 0..fs/2.
class CurveView : public QWidget {
    Q_OBJECT
public:
    explicit CurveView(QWidget *parent = nullptr);
    // 115 points, point k at k x sampleRate / 256 Hz; none when sampleRate is 0.
    void setCurve(const std::array<float, kSpectralPointCount> &curve, int sampleRate);
    [[nodiscard]] QSize sizeHint() const override { return {420, 80}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    std::array<float, kSpectralPointCount> m_curve{};
    int m_sampleRate = 0;
};

class ListenPanel : public QWidget {
    Q_OBJECT
public:
    explicit ListenPanel(QWidget *parent = nullptr);

    [[nodiscard]] ListenTool &tool() { return m_tool; }
    // Follows the main window's shown set; call after every change of its stages.
    void showModelSet(const Model &model, int set) { m_tool.showModelSet(model, set); }
    // Opens a clip without the file dialog (the Open button's work after the dialog).
    bool openFile(const QString &path);

private:
    void chooseFile();
    void playOrStop();
    void applyLoop();
    void refreshSpectrograms();
    void refreshState();
    void tick();
    void noiseDragged(double from, double to);
    void refreshDesign();

    ListenTool m_tool;
    QPushButton *m_open = nullptr;
    QPushButton *m_play = nullptr;
    QPushButton *m_ab = nullptr;
    QLabel *m_clip = nullptr;
    QLabel *m_position = nullptr;
    QCheckBox *m_loop = nullptr;
    QDoubleSpinBox *m_loopFrom = nullptr;
    QDoubleSpinBox *m_loopTo = nullptr;
    SpectrogramView *m_before = nullptr;
    SpectrogramView *m_after = nullptr;
    QCheckBox *m_trueLevels = nullptr;
    QLabel *m_match = nullptr;
    QLabel *m_noise = nullptr;
    QPushButton *m_design = nullptr;
    QTableWidget *m_tones = nullptr;
    CurveView *m_curve = nullptr;
    QLabel *m_notes = nullptr;
    QLabel *m_message = nullptr;
    QTimer *m_timer = nullptr;
};

} // namespace korvane
