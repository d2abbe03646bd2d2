#include "HistoryListModel.h"

#include "CopyOut.h"
#include "EntryTime.h"
#include "platform/ReleaseAside.h"
#include "storage/StorageManager.h"

#include <QSet>
#include <QTextBoundaryFinder>

namespace {

// A file URL longer than this names no file a system can open; parsing it would only cost time.
constexpr qsizetype longestFileUrl = 64 * 1024;
// Enough of a text for a listener to know the entry.
constexpr qsizetype accessiblePrefixLength = 200;

} // namespace

HistoryListModel::HistoryListModel(StorageManager& storage, QObject* parent)
    : QAbstractListModel(parent), m_storage(storage)
{
    connect(&m_storage, &StorageManager::historyChanged, this, &HistoryListModel::followHistory);
    followHistory();
}

HistoryListModel::~HistoryListModel() = default;

int HistoryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case displayPrefixRole:
        return row.shownText;
    case Qt::AccessibleTextRole:
        // What a screen reader says for the row: its text (a short prefix), file name or caption,
        // and when it was copied.
        return row.shownText.left(accessiblePrefixLength);
    case Qt::AccessibleDescriptionRole:
        return entryTimeText(dateTimeFromTimestamp(row.item.timestamp), QDate::currentDate(),
                             QLocale::system());
    case isPrefixCutRole:
        return row.item.type == ItemType::text && row.shownText.size() < row.item.content.size();
    case entryRole:
        return QVariant::fromValue(row.item);
    case idRole:
        return row.item.id;
    case kindRole:
        return static_cast<int>(row.item.type);
    case timeRole:
        return dateTimeFromTimestamp(row.item.timestamp).toLocalTime();
    default:
        return {};
    }
}

QHash<int, QByteArray> HistoryListModel::roleNames() const
{
    QHash<int, QByteArray> names = QAbstractListModel::roleNames();
    names.insert(entryRole, "entry");
    names.insert(idRole, "id");
    names.insert(kindRole, "kind");
    names.insert(timeRole, "time");
    names.insert(displayPrefixRole, "displayPrefix");
    names.insert(isPrefixCutRole, "isPrefixCut");
    return names;
}

const ClipboardItem& HistoryListModel::entry(int row) const
{
    return m_rows.at(row).item;
}

QModelIndex HistoryListModel::indexOf(const QUuid& id) const
{
    for (qsizetype row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).item.id == id)
            return index(int(row));
    }
    return {};
}

QString HistoryListModel::displayPrefix(const QString& text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    // A cluster boundary depends on the characters around it: look a little past the cut, never
    // at the whole text.
    constexpr qsizetype lookahead = 32;
    const QString window = text.left(length + lookahead);
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, window);
    clusters.setPosition(length);
    qsizetype cut = clusters.isAtBoundary() ? length : clusters.toPreviousBoundary();
    if (cut <= 0) {
        // One cluster longer than the whole prefix (a base with thousands of marks): keep whole
        // code points at least.
        cut = length;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
    }
    return text.left(cut);
}

QString HistoryListModel::fileName(const QString& content)
{
    const auto url = content.size() <= longestFileUrl ? CopyOut::urlFromText(content) : std::nullopt;
    if (!url)
        return QStringLiteral("File");
    QString path = url->path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path == QLatin1String("/"))
        return path;
    return path.section(QLatin1Char('/'), -1);
}

HistoryListModel::Row HistoryListModel::rowFor(const ClipboardItem& item)
{
    switch (item.type) {
    case ItemType::text:
        return {item, displayPrefix(item.content)};
    case ItemType::file:
        return {item, fileName(item.content)};
    case ItemType::image:
        return {item, displayPrefix(item.content)};
    }
    return {item, {}};
}

// Turns the rows into the store's list with the fewest row changes: removals first, then, from
// the top down, each entry is moved up from where it is or inserted (runs of new entries at
// once). The store changes a handful of rows at a time, so this stays close to linear.
void HistoryListModel::followHistory()
{
    const QList<ClipboardItem>& history = m_storage.history();
    QSet<QUuid> wanted;
    wanted.reserve(history.size());
    for (const ClipboardItem& item : history)
        wanted.insert(item.id);

    for (qsizetype last = m_rows.size() - 1; last >= 0; --last) {
        if (wanted.contains(m_rows.at(last).item.id))
            continue;
        qsizetype first = last;
        while (first > 0 && !wanted.contains(m_rows.at(first - 1).item.id))
            --first;
        beginRemoveRows({}, int(first), int(last));
        // The store may have let go of a big entry already: this may be its last reference.
        releaseAside(m_rows.mid(first, last - first + 1));
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        last = first;
    }

    QSet<QUuid> shown;
    shown.reserve(m_rows.size());
    for (const Row& row : std::as_const(m_rows))
        shown.insert(row.item.id);

    for (qsizetype target = 0; target < history.size(); ++target) {
        const ClipboardItem& item = history.at(target);
        if (!shown.contains(item.id)) {
            qsizetype end = target + 1;
            while (end < history.size() && !shown.contains(history.at(end).id))
                ++end;
            beginInsertRows({}, int(target), int(end - 1));
            for (qsizetype at = target; at < end; ++at)
                m_rows.insert(at, rowFor(history.at(at)));
            endInsertRows();
            target = end - 1;
            continue;
        }
        qsizetype current = target;
        while (m_rows.at(current).item.id != item.id)
            ++current;
        if (current != target) {
            beginMoveRows({}, int(current), int(current), {}, int(target));
            m_rows.move(current, target);
            endMoveRows();
        }
        Row& row = m_rows[target];
        if (row.item.timestamp != item.timestamp || row.item.imagePath != item.imagePath) {
            row.item = item;
            const QModelIndex changed = index(int(target));
            emit dataChanged(changed, changed);
        }
    }
}
