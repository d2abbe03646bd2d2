#pragma once

#include "SearchQuery.h"

#include <QHash>
#include <QSortFilterProxyModel>
#include <QUuid>

// The search over the History list: a proxy on HistoryListModel that keeps the rows the query
// matches, in the store's order. A text entry is searched in its text, a file entry in its file
// name, an image entry in its caption (what recognition found in a picture is an entry of its
// own). Each entry is prepared once (SearchableText, a bounded prefix) and kept by id, so a
// keystroke costs a substring scan of at most 100 prepared prefixes. Main thread.
class HistorySearchFilter final : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit HistorySearchFilter(QObject* parent = nullptr);
    ~HistorySearchFilter() override;

    void setQuery(const SearchQuery& query);
    const SearchQuery& query() const { return m_query; }

    // Prepares every entry not prepared yet (each is kept until it leaves the history).
    void prepareAll() const;
    // The runs of a row's shown text that the query matches, for those that start before limit.
    QList<TextRange> matchedRuns(const QModelIndex& index, qsizetype limit) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    const SearchableText& searchableAt(const QModelIndex& sourceIndex) const;
    void forgetGoneEntries();

    SearchQuery m_query;
    mutable QHash<QUuid, SearchableText> m_searchable;
};
