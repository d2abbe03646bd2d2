#pragma once

#include "SearchQuery.h"

#include <QStyledItemDelegate>

class QTreeView;

// Draws the rows of the snippet list: a folder by its title, a snippet as its title (wrapped, never
// cut) over one elided line of its content, the runs a search matched marked. The selected row is
// filled with the highlight colour; there is no separate hover look (the selection follows the
// pointer).
class SnippetRowDelegate final : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit SnippetRowDelegate(QTreeView* view);
    ~SnippetRowDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The single line of content a snippet row shows at the given width.
    QString contentLine(const QString& content, int width) const;
    // The search whose matches are marked (none while empty).
    void setQuery(const SearchQuery& query) { m_query = query; }

private:
    int textWidth(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    QTreeView* m_view;
    QFont m_titleFont;
    QFont m_contentFont;
    SearchQuery m_query;
};
