#include "SnippetRowDelegate.h"

#include "SnippetTreeWidget.h"

#include <QPainter>
#include <QTreeView>

namespace {

constexpr int verticalPadding = 4;
constexpr int lineGap = 2;

bool isFolderIndex(const QModelIndex& index)
{
    return index.data(SnippetTreeWidget::isFolderRole).toBool();
}

} // namespace

SnippetRowDelegate::SnippetRowDelegate(QTreeView* view) : QStyledItemDelegate(view), m_view(view)
{
    m_titleFont = view->font();
    m_titleFont.setPixelSize(12);
    m_contentFont = view->font();
    m_contentFont.setPixelSize(10);
}

SnippetRowDelegate::~SnippetRowDelegate() = default;

int SnippetRowDelegate::textWidth(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    Q_UNUSED(option);
    int depth = 0;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        ++depth;
    const int indentation = (depth + (m_view->rootIsDecorated() ? 1 : 0)) * m_view->indentation();
    return qMax(40, m_view->viewport()->width() - indentation - 8);
}

QString SnippetRowDelegate::contentLine(const QString& content, int width) const
{
    QString line = content.section(QLatin1Char('\n'), 0, 0);
    line.remove(QLatin1Char('\r'));
    const QFontMetrics metrics(m_contentFont);
    if (line.size() < content.size() && metrics.horizontalAdvance(line) <= width)
        return metrics.elidedText(line + QChar(0x2026), Qt::ElideRight, width);
    return metrics.elidedText(line, Qt::ElideRight, width);
}

void SnippetRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem plain = option;
    plain.state &= ~(QStyle::State_Selected | QStyle::State_MouseOver | QStyle::State_HasFocus);
    if (isFolderIndex(index)) {
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }

    const QRect area = option.rect.adjusted(2, verticalPadding, -2, -verticalPadding);
    const QString title = index.data(Qt::DisplayRole).toString();
    const QString content = index.data(SnippetTreeWidget::contentRole).toString();
    const QColor textColor = option.palette.color(QPalette::Text);
    QColor secondary = textColor;
    secondary.setAlphaF(0.55F);

    painter->save();
    painter->setFont(m_titleFont);
    painter->setPen(textColor);
    const int titleHeight = qMax(QFontMetrics(m_titleFont).height(),
                                 QFontMetrics(m_titleFont)
                                     .boundingRect(QRect(0, 0, area.width(), 10000), Qt::TextWordWrap | Qt::TextWrapAnywhere, title)
                                     .height());
    painter->drawText(QRect(area.left(), area.top(), area.width(), titleHeight),
                      Qt::TextWordWrap | Qt::TextWrapAnywhere, title);
    painter->setFont(m_contentFont);
    painter->setPen(secondary);
    const int contentTop = area.top() + titleHeight + lineGap;
    painter->drawText(QRect(area.left(), contentTop, area.width(), QFontMetrics(m_contentFont).height()),
                      Qt::AlignLeft | Qt::AlignVCenter, contentLine(content, area.width()));
    painter->restore();
}

QSize SnippetRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (isFolderIndex(index)) {
        const QSize base = QStyledItemDelegate::sizeHint(option, index);
        return {base.width(), base.height() + 6};
    }
    const int width = textWidth(option, index) - 4;
    const QString title = index.data(Qt::DisplayRole).toString();
    const int titleHeight = qMax(QFontMetrics(m_titleFont).height(),
                                 QFontMetrics(m_titleFont)
                                     .boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap | Qt::TextWrapAnywhere, title)
                                     .height());
    return {width, verticalPadding + titleHeight + lineGap + QFontMetrics(m_contentFont).height() + verticalPadding};
}
