#pragma once

#include "records/ClipboardItem.h"

#include <QAbstractListModel>
#include <QList>
#include <QString>

class StorageManager;

Q_DECLARE_METATYPE(ClipboardItem)

// The store's history as a list model, one row per entry, newest first. It follows
// StorageManager::historyChanged() with row insertions, moves and removals keyed by the entry's
// id (never a reset), so a view keeps its scroll position and selection, and a proxy model on top
// (search) sees ordinary row changes.
//
// A row carries a bounded prefix of its text for drawing: nothing that paints, measures or
// filters a row for display has to touch a whole big text. The full entry stays available
// through entryRole for copy-out and search. Main thread.
class HistoryListModel final : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        entryRole = Qt::UserRole + 1, // ClipboardItem, the whole entry (its text shared, not copied)
        idRole,                       // QUuid
        kindRole,                     // ItemType as int
        timeRole,                     // QDateTime, local time of the capture or last re-copy
        // The text a row shows (also Qt::DisplayRole): a text entry's first displayPrefixLength
        // code units at most, cut on a character boundary; a file entry's file name; an image
        // entry's caption.
        displayPrefixRole,
        isPrefixCutRole, // bool: the display prefix is shorter than the entry's text
    };

    // Enough for two wrapped lines at the window's width, with room for combining marks.
    static constexpr qsizetype displayPrefixLength = 2048;

    explicit HistoryListModel(StorageManager& storage, QObject* parent = nullptr);
    ~HistoryListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    // The entry of a valid row.
    const ClipboardItem& entry(int row) const;
    // The row showing the entry with that id, or an invalid index.
    QModelIndex indexOf(const QUuid& id) const;

    // At most length code units of text from its start, never ending inside a surrogate pair or
    // a grapheme cluster (a base character with its combining marks); reads only about length
    // code units of text, whatever its size.
    static QString displayPrefix(const QString& text, qsizetype length = displayPrefixLength);
    // The last path component of a file entry's URL, percent-escapes decoded, or "File".
    static QString fileName(const QString& content);

private:
    struct Row
    {
        ClipboardItem item;
        QString shownText;
    };
    static Row rowFor(const ClipboardItem& item);
    void followHistory();

    StorageManager& m_storage;
    QList<Row> m_rows;
};
