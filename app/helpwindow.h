#pragma once
// The help window: the help document in a browser, with a keyword field that finds topics.

#include "helptopics.h"

#include <QWidget>

class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace korvane {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // Loads the document; false when it cannot be read (nothing changes then).
    [[nodiscard]] bool loadDocument(const QString &path, QString *error);

    void showContents();                     // the top of the document
    void showSearch(const QString &keyword); // keyword field focused, matching topics listed
    void showTopic(const QString &anchor);

    [[nodiscard]] QStringList listedTopicTitles() const;
    [[nodiscard]] QString currentAnchor() const { return currentAnchor_; }

private:
    void refreshList();

    QLineEdit *keyword_;
    QListWidget *topicList_;
    QTextBrowser *browser_;
    std::vector<HelpTopic> topics_;
    std::vector<HelpTopic> listed_;
    QString currentAnchor_;
};

} // namespace korvane
