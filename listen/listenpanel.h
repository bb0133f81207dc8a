#pragma once
// The Listen panel: a thin view over ListenTool. Open a clip, play it, switch between the
// original (A) and the filtered sound (B) with the button or Ctrl+B, loop a region, and see
// both spectrograms.

#include "listen/listentool.h"

#include <QImage>
#include <QWidget>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
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
    [[nodiscard]] QSize sizeHint() const override { return {420, 150}; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_title;
    QImage m_image;
    int m_sampleRate = 0;
    double m_playhead = -1, m_loopFrom = -1, m_loopTo = -1;
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
    QLabel *m_notes = nullptr;
    QLabel *m_message = nullptr;
    QTimer *m_timer = nullptr;
};

} // namespace korvane
