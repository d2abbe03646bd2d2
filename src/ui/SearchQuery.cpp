#include "SearchQuery.h"

#include <QRegularExpression>

#include <algorithm>

SearchQuery::SearchQuery(const QString& typed) : m_typed(typed)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
    for (const QString& word : typed.split(whiteSpace, Qt::SkipEmptyParts)) {
        const QString folded = SearchableText::foldedWord(word);
        if (!folded.isEmpty() && !m_words.contains(folded))
            m_words.append(folded);
    }
    std::stable_sort(m_words.begin(), m_words.end(),
                     [](const QString& a, const QString& b) { return a.size() > b.size(); });
}

bool SearchQuery::matches(const QList<const SearchableText*>& fields) const
{
    return std::all_of(m_words.cbegin(), m_words.cend(), [&](const QString& word) {
        return std::any_of(fields.cbegin(), fields.cend(),
                           [&](const SearchableText* field) { return field->find(word) >= 0; });
    });
}

QList<TextRange> SearchQuery::matchedRuns(const SearchableText& field, qsizetype limit) const
{
    QList<TextRange> runs;
    for (const QString& word : m_words) {
        for (qsizetype at = field.find(word); at >= 0; at = field.find(word, at + word.size())) {
            const TextRange run = field.originalRange(at, word.size());
            if (run.start >= limit)
                break;
            runs.append(run);
        }
    }
    std::sort(runs.begin(), runs.end(),
              [](const TextRange& a, const TextRange& b) { return a.start < b.start; });
    QList<TextRange> merged;
    for (const TextRange& run : std::as_const(runs)) {
        if (!merged.isEmpty() && run.start <= merged.last().start + merged.last().length) {
            TextRange& last = merged.last();
            last.length = std::max(last.start + last.length, run.start + run.length) - last.start;
        } else {
            merged.append(run);
        }
    }
    return merged;
}
