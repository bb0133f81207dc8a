#include "filtersetpage.h"

#include "config/model.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace korvane {

namespace {

constexpr int px(int twips) { return PixelsFromTwips(twips); }

// A stage's type list. Turning the mouse wheel over a closed list would change the stage's
// type, and so reset its parameters, while the user only scrolls past it: the list takes the
// wheel only once it has the keyboard focus, and the wheel does not give it the focus.
class StageTypeList final : public QComboBox {
public:
    explicit StageTypeList(QWidget *parent) : QComboBox(parent) { setFocusPolicy(Qt::StrongFocus); }

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        if (!hasFocus()) {
            event->ignore();
            return;
        }
        QComboBox::wheelEvent(event);
    }
};

size_t indexOf(int stage) { return static_cast<size_t>(stage - 1); }

} // namespace

FilterSetPage::FilterSetPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("setPage"));
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(px(420), px(330), px(420), px(240));
    grid->setHorizontalSpacing(px(600));
    grid->setVerticalSpacing(px(480));
    for (int stage = 1; stage <= 2; ++stage)
        grid->addWidget(buildStageFrame(stage), stage - 1, 0, Qt::AlignTop);
    grid->addWidget(buildAgcFrame(), 0, 1, Qt::AlignTop | Qt::AlignLeft);

    NoiseCheck = new QCheckBox(QStringLiteral("&Broadband Noise Filter"), this);
    NoiseCheck->setObjectName(QStringLiteral("NoiseCheck"));
    NoiseCheck->setToolTip(QStringLiteral("Checking this box enables the Broadband Noise filter."));
    connect(NoiseCheck, &QCheckBox::toggled, this, &FilterSetPage::noiseToggled);
    grid->addWidget(NoiseCheck, 1, 1, Qt::AlignVCenter | Qt::AlignLeft);

    grid->addWidget(buildProgrammingNote(), 2, 0, 1, 2);
    grid->setRowStretch(3, 1);
    buildBandwidthFrame();

    // Tab follows the rows: Stage 1, AGC, then Stage 2, the noise box.
    setTabOrder(StageControlButton[0], AGCButton[0]);
    for (size_t i = 1; i < AGCButton.size(); ++i)
        setTabOrder(AGCButton[i - 1], AGCButton[i]);
    setTabOrder(AGCButton[3], FilterList[1]);
    setTabOrder(FilterList[1], StageControlButton[1]);
    setTabOrder(StageControlButton[1], NoiseCheck);
}

// The stage's frame: its type list, its Control button, its summary, and Copy and Paste on
// the frame's context menu.
QGroupBox *FilterSetPage::buildStageFrame(int stage)
{
    auto *frame = new QGroupBox(QStringLiteral("Stage %1").arg(stage), this);
    frame->setObjectName(QStringLiteral("StageFrame%1").arg(stage));
    frame->setMinimumWidth(px(3210));
    auto *v = new QVBoxLayout(frame);

    QStringList typeTexts;
    for (int t = 0; t < kFilterTypeCount; ++t)
        typeTexts << FilterTypeDisplayText(t);
    auto *list = new StageTypeList(frame);
    list->setObjectName(QStringLiteral("FilterList%1").arg(stage));
    list->setEditable(false);
    list->addItems(typeTexts);
    list->setMaxVisibleItems(kFilterTypeCount);
    list->setToolTip(QStringLiteral("Select Stage %1 filter").arg(stage));
    connect(list, &QComboBox::currentIndexChanged, this, [this, stage] { emit typeChanged(stage); });
    v->addWidget(list);

    // Two buttons of one caption: each its own key (Alt+C, Alt+T).
    auto *button = new QPushButton(stage == 1 ? QStringLiteral("&Control") : QStringLiteral("Con&trol"), frame);
    button->setObjectName(QStringLiteral("Stage%1ControlButton").arg(stage));
    button->setToolTip(QStringLiteral("Opens configuration window for Stage %1").arg(stage));
    connect(button, &QPushButton::clicked, this, [this, stage] { emit controlClicked(stage); });
    v->addWidget(button);

    // Under the Control button: two lines at most.
    auto *summary = new QLabel(frame);
    summary->setObjectName(QStringLiteral("StageSummary%1").arg(stage));
    summary->setWordWrap(true);
    summary->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    summary->setTextFormat(Qt::PlainText);
    summary->setMinimumHeight(2 * summary->fontMetrics().lineSpacing());
    v->addWidget(summary);

    frame->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto *copy = new QAction(QStringLiteral("&Copy Stage %1").arg(stage), frame);
    connect(copy, &QAction::triggered, this, [this, stage] { emit copyStageRequested(stage); });
    auto *paste = new QAction(QStringLiteral("&Paste into Stage %1").arg(stage), frame);
    connect(paste, &QAction::triggered, this, [this, stage] { emit pasteStageRequested(stage); });
    frame->addAction(copy);
    frame->addAction(paste);

    StageFrame[indexOf(stage)] = frame;
    FilterList[indexOf(stage)] = list;
    StageControlButton[indexOf(stage)] = button;
    StageSummary[indexOf(stage)] = summary;
    return frame;
}

QGroupBox *FilterSetPage::buildAgcFrame()
{
    fraAGC = new QGroupBox(QStringLiteral("AGC"), this);
    fraAGC->setObjectName(QStringLiteral("fraAGC"));
    fraAGC->setToolTip(QStringLiteral("Chose stage's Automatic Gain Control setting"));
    auto *agcLayout = new QVBoxLayout(fraAGC);
    agcGroup_ = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        // Alt+N, Alt+1, Alt+2, Alt+3: the first character of each.
        auto *b = new QRadioButton(QLatin1Char('&') + AgcDisplayText(i), fraAGC);
        b->setObjectName(QStringLiteral("AGCButton%1").arg(i));
        agcGroup_->addButton(b, i);
        agcLayout->addWidget(b);
        AGCButton[static_cast<size_t>(i)] = b;
    }
    connect(agcGroup_, &QButtonGroup::idToggled, this, &FilterSetPage::agcToggled);
    return fraAGC;
}

QGroupBox *FilterSetPage::buildProgrammingNote()
{
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *noteLayout = new QVBoxLayout(Frame1);
    Label1 = new QLabel(
        QStringLiteral("To program the Korvane once all the filters have been updated click on the Program Korvane "
                       "button on the toolbar or the Program Korvane option in the File Menu."),
        Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    noteLayout->addWidget(Label1);

    // The note wraps; a layout does not work out a wrapped text's height on its own. At the
    // frame's least width it needs the most lines, so that height is enough at any width.
    Frame1->setMinimumWidth(px(6555));
    const QMargins nm = noteLayout->contentsMargins();
    const int frameWidth = Frame1->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, Frame1);
    Label1->setMinimumHeight(Label1->heightForWidth(px(6555) - nm.left() - nm.right() - 2 * frameWidth));
    return Frame1;
}

// Out of the user's reach, as the window has always had it: not shown, so it takes no focus
// and no keys. Its signal still reaches whoever listens when a button is set from code.
void FilterSetPage::buildBandwidthFrame()
{
    fraBandwidth = new QGroupBox(QStringLiteral("Bandwidth"), this);
    fraBandwidth->setObjectName(QStringLiteral("fraBandwidth"));
    fraBandwidth->setToolTip(QStringLiteral("Choose stage's bandwidth setting"));
    bwGroup_ = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        auto *b = new QRadioButton(BandwidthDisplayText(i), fraBandwidth);
        b->setObjectName(QStringLiteral("BWFiltButton%1").arg(i));
        b->setFocusPolicy(Qt::NoFocus);
        bwGroup_->addButton(b, i);
        BWFiltButton[static_cast<size_t>(i)] = b;
    }
    BWFiltButton[2]->setChecked(true);
    connect(bwGroup_, &QButtonGroup::idToggled, this, &FilterSetPage::bandwidthToggled);
    fraBandwidth->hide();
}

int FilterSetPage::shownType(int stage) const { return FilterList[indexOf(stage)]->currentIndex(); }

void FilterSetPage::showType(int stage, int type)
{
    QComboBox *list = FilterList[indexOf(stage)];
    const QSignalBlocker block(list);
    list->setCurrentIndex(type >= 0 && type < kFilterTypeCount ? type : -1);
}

void FilterSetPage::showAgc(int agc)
{
    if (agc >= 0 && agc < 4)
        AGCButton[static_cast<size_t>(agc)]->setChecked(true);
}

void FilterSetPage::showNoise(bool on) { NoiseCheck->setChecked(on); }

void FilterSetPage::setControlEnabled(int stage, bool enabled)
{
    StageControlButton[indexOf(stage)]->setEnabled(enabled);
}

void FilterSetPage::showSummary(int stage, const QString &text)
{
    QLabel *label = StageSummary[indexOf(stage)];
    const QFontMetrics fm(label->font());
    // Before the first layout the label has no width yet: the frame's least width stands in.
    const int width = std::max(label->width(), StageFrame[indexOf(stage)]->minimumWidth() - 20);
    label->setText(fm.elidedText(text, Qt::ElideRight, width * 2 - fm.averageCharWidth() * 6));
    label->setToolTip(text);
}

void FilterSetPage::setInputsEnabled(bool enabled)
{
    for (QComboBox *list : FilterList)
        list->setEnabled(enabled);
    for (QPushButton *button : StageControlButton)
        button->setEnabled(enabled);
    for (QGroupBox *frame : StageFrame)
        frame->setEnabled(enabled);
    fraBandwidth->setEnabled(enabled);
    fraAGC->setEnabled(enabled);
    for (QRadioButton *b : AGCButton)
        b->setEnabled(enabled);
}

} // namespace korvane
