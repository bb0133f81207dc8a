#include "helpwindow.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace korvane {

HelpWindow::HelpWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Korvane-S Help"));
    auto *side = new QVBoxLayout;
    auto *label = new QLabel(QStringLiteral("&Type a keyword to find a topic:"));
    keyword_ = new QLineEdit;
    keyword_->setObjectName(QStringLiteral("HelpKeyword"));
    keyword_->setClearButtonEnabled(true);
    label->setBuddy(keyword_);
    topicList_ = new QListWidget;
    topicList_->setObjectName(QStringLiteral("HelpTopics"));
    side->addWidget(label);
    side->addWidget(keyword_);
    side->addWidget(topicList_, 1);

    browser_ = new QTextBrowser;
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    browser_->setOpenExternalLinks(false);

    auto *layout = new QHBoxLayout(this);
    layout->addLayout(side, 0);
    layout->addWidget(browser_, 1);
    topicList_->setMinimumWidth(200);
    resize(820, 560);

    connect(keyword_, &QLineEdit::textChanged, this, [this] { refreshList(); });
    connect(keyword_, &QLineEdit::returnPressed, this, [this] {
        if (!listed_.empty())
            showTopic(listed_.front().anchor);
    });
    connect(topicList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(listed_.size()))
            showTopic(listed_[static_cast<size_t>(row)].anchor);
    });
    connect(browser_, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) {
        if (url.isRelative() && url.path().isEmpty() && url.hasFragment())
            showTopic(url.fragment());
    });
}

bool HelpWindow::loadDocument(const QString &path, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Unable to open the help file %1: %2")
                         .arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    const QString html = QString::fromUtf8(f.readAll());
    topics_ = ParseHelpTopics(html);
    browser_->setSearchPaths({QFileInfo(path).absolutePath()});
    browser_->setHtml(html);
    refreshList();
    return true;
}

void HelpWindow::showContents()
{
    currentAnchor_.clear();
    browser_->scrollToAnchor(QStringLiteral("contents"));
    browser_->moveCursor(QTextCursor::Start);
    browser_->ensureCursorVisible();
}

void HelpWindow::showSearch(const QString &keyword)
{
    keyword_->setText(keyword);
    refreshList();
    keyword_->setFocus();
}

void HelpWindow::showTopic(const QString &anchor)
{
    currentAnchor_ = anchor;
    browser_->scrollToAnchor(anchor);
}

QStringList HelpWindow::listedTopicTitles() const
{
    QStringList out;
    for (const HelpTopic &t : listed_)
        out << t.title;
    return out;
}

void HelpWindow::refreshList()
{
    listed_ = FindHelpTopics(topics_, keyword_->text());
    const QSignalBlocker block(topicList_);
    topicList_->clear();
    for (const HelpTopic &t : listed_)
        topicList_->addItem(t.title);
}

} // namespace korvane
