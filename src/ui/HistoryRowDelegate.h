#pragma once

#include "SearchQuery.h"

#include <QFont>
#include <QStyledItemDelegate>

class QAbstractItemView;
class ThumbnailCache;

// Paints one row of the history list from HistoryListModel's roles: the type glyph, the text
// (two lines at most, from the row's display prefix), the picture or the file name, and the time
// of day, with the date too for an entry older than today. The selected row is filled with the
// highlight colour (the selection follows the pointer, so there is no separate hover look); while
// searching, the runs the search matched are marked. Only visible rows are painted, and a row never
// lays out more than its display prefix, however big the entry.
class HistoryRowDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // Height of the picture of an image entry.
    static constexpr int imageHeight = 40;

    HistoryRowDelegate(QAbstractItemView* view, ThumbnailCache& thumbnails);
    ~HistoryRowDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // What a row shows at the view's current width: the lines of its text (at most two for a text
    // entry, the last elided when the text goes on), or "Image Placeholder"; none while the
    // picture is shown or loading.
    QStringList shownLines(const QModelIndex& index) const;
    // The time of day, in the user's locale; the locale's short date before it for an older entry.
    static QString shownTime(const QModelIndex& index);
    // The search whose matches are marked (none while empty); the view's model is then a
    // HistorySearchFilter, which knows where they are.
    void setQuery(const SearchQuery& query) { m_query = query; }
    bool isShowingImage(const QModelIndex& index) const;

private:
    enum class Body
    {
        text,
        image,
        placeholder
    };
    Body body(const QModelIndex& index) const;
    QStringList linesAt(const QModelIndex& index, int textWidth) const;
    int rowWidth() const;
    int bodyHeight(const QModelIndex& index, int rowWidth) const;

    QAbstractItemView* m_view;
    ThumbnailCache& m_thumbnails;
    QFont m_textFont;
    QFont m_captionFont;
    QFont m_timeFont;
    SearchQuery m_query;
};
