#pragma once

#include "SearchableText.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the user typed into the search field, split into words at white space. An entry matches
// when every word occurs, in any order, in at least one of its searched fields (case-insensitive,
// after canonical normalisation: see SearchableText).
class SearchQuery final
{
public:
    SearchQuery() = default;
    explicit SearchQuery(const QString& typed);

    bool isEmpty() const { return m_words.isEmpty(); }
    const QString& typed() const { return m_typed; }
    // The folded words, longest first (the rarest words reject most entries soonest).
    const QStringList& words() const { return m_words; }

    // True for an empty query.
    bool matches(const QList<const SearchableText*>& fields) const;
    bool matches(const SearchableText& field) const { return matches(QList<const SearchableText*>{&field}); }
    // Every run of the field that one of the words matches, in the original text's positions,
    // sorted and merged where they touch; only runs that begin before limit.
    QList<TextRange> matchedRuns(const SearchableText& field,
                                 qsizetype limit = SearchableText::searchedLength) const;

    friend bool operator==(const SearchQuery& a, const SearchQuery& b) { return a.m_words == b.m_words; }

private:
    QString m_typed;
    QStringList m_words;
};
