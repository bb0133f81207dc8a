#include "helptopics.h"

#include <QRegularExpression>
#include <QTextDocumentFragment>

namespace korvane {

namespace {

QString plainText(const QString &html) { return QTextDocumentFragment::fromHtml(html).toPlainText().simplified(); }

} // namespace

std::vector<HelpTopic> ParseHelpTopics(const QString &html)
{
    static const QRegularExpression heading(QStringLiteral(R"re(<h2\b[^>]*\bid\s*=\s*"([^"]+)"[^>]*>(.*?)</h2\s*>)re"),
                                            QRegularExpression::CaseInsensitiveOption
                                                | QRegularExpression::DotMatchesEverythingOption);
    std::vector<HelpTopic> topics;
    std::vector<qsizetype> bodyStart;
    std::vector<qsizetype> headStart;
    auto it = heading.globalMatch(html);
    while (it.hasNext()) {
        const auto m = it.next();
        topics.push_back({m.captured(1), plainText(m.captured(2)), {}});
        headStart.push_back(m.capturedStart());
        bodyStart.push_back(m.capturedEnd());
    }
    for (size_t i = 0; i < topics.size(); ++i) {
        const qsizetype end = i + 1 < topics.size() ? headStart[i + 1] : html.size();
        topics[i].text = plainText(html.mid(bodyStart[i], end - bodyStart[i]));
    }
    return topics;
}

std::vector<HelpTopic> FindHelpTopics(const std::vector<HelpTopic> &topics, const QString &keyword)
{
    const QString key = keyword.trimmed();
    if (key.isEmpty())
        return topics;
    std::vector<HelpTopic> starts, inTitle, inText;
    for (const HelpTopic &t : topics) {
        if (t.title.startsWith(key, Qt::CaseInsensitive))
            starts.push_back(t);
        else if (t.title.contains(key, Qt::CaseInsensitive))
            inTitle.push_back(t);
        else if (t.text.contains(key, Qt::CaseInsensitive))
            inText.push_back(t);
    }
    starts.insert(starts.end(), inTitle.begin(), inTitle.end());
    starts.insert(starts.end(), inText.begin(), inText.end());
    return starts;
}

} // namespace korvane
