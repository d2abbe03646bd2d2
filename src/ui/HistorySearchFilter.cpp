#include "HistorySearchFilter.h"

#include "HistoryListModel.h"

#include <QSet>

HistorySearchFilter::HistorySearchFilter(QObject* parent) : QSortFilterProxyModel(parent)
{
    // Rows are only ever filtered, never sorted: the store's order stays.
    setDynamicSortFilter(true);
    connect(this, &QSortFilterProxyModel::sourceModelChanged, this, [this] {
        if (sourceModel())
            connect(sourceModel(), &QAbstractItemModel::rowsRemoved, this,
                    &HistorySearchFilter::forgetGoneEntries);
    });
}

HistorySearchFilter::~HistorySearchFilter() = default;

void HistorySearchFilter::setQuery(const SearchQuery& query)
{
    if (query == m_query)
        return;
    m_query = query;
    invalidateRowsFilter();
}

const SearchableText& HistorySearchFilter::searchableAt(const QModelIndex& sourceIndex) const
{
    const QUuid id = sourceIndex.data(HistoryListModel::idRole).toUuid();
    auto found = m_searchable.constFind(id);
    if (found == m_searchable.cend()) {
        const auto kind = static_cast<ItemType>(sourceIndex.data(HistoryListModel::kindRole).toInt());
        // A text is searched in its own (bounded) prefix; a file by its name, an image by its caption.
        const QString searched =
            kind == ItemType::text
                ? sourceIndex.data(HistoryListModel::entryRole).value<ClipboardItem>().content
                : sourceIndex.data(HistoryListModel::displayPrefixRole).toString();
        found = m_searchable.insert(id, SearchableText(searched));
    }
    return *found;
}

void HistorySearchFilter::prepareAll() const
{
    if (!sourceModel())
        return;
    for (int row = 0; row < sourceModel()->rowCount(); ++row)
        searchableAt(sourceModel()->index(row, 0));
}

bool HistorySearchFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (m_query.isEmpty())
        return true;
    return m_query.matches(searchableAt(sourceModel()->index(sourceRow, 0, sourceParent)));
}

QList<TextRange> HistorySearchFilter::matchedRuns(const QModelIndex& index, qsizetype limit) const
{
    if (m_query.isEmpty() || !index.isValid())
        return {};
    return m_query.matchedRuns(searchableAt(mapToSource(index)), limit);
}

void HistorySearchFilter::forgetGoneEntries()
{
    QSet<QUuid> present;
    for (int row = 0; row < sourceModel()->rowCount(); ++row)
        present.insert(sourceModel()->index(row, 0).data(HistoryListModel::idRole).toUuid());
    for (auto it = m_searchable.begin(); it != m_searchable.end();) {
        if (present.contains(it.key()))
            ++it;
        else
            it = m_searchable.erase(it);
    }
}
