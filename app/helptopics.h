#pragma once
// Topics of the help document: every <h2 id="anchor">Title</h2> starts a topic that runs to
// the next <h2>. The help window lists them and searches them by keyword.

#include <QString>

#include <vector>

namespace korvane {

struct HelpTopic {
    QString anchor;
    QString title;
    QString text; // the topic's plain text (tags removed, entities decoded), for searching
};

[[nodiscard]] std::vector<HelpTopic> ParseHelpTopics(const QString &html);

// Topics that match keyword, best first: titles starting with it, then titles containing
// it, then topics whose text contains it; case-insensitive. An empty keyword gives every
// topic in document order.
[[nodiscard]] std::vector<HelpTopic> FindHelpTopics(const std::vector<HelpTopic> &topics, const QString &keyword);

} // namespace korvane
