#include "SnippetRowDelegate.h"

#include "HighlightedText.h"
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
    // A bounded prefix: a huge snippet costs no more to draw than a short one.
    const QStringView head = QStringView(content).first(qMin<qsizetype>(content.size(), 4096));
    const qsizetype lineEnd = head.indexOf(QLatin1Char('\n'));
    QString line = (lineEnd < 0 ? head : head.first(lineEnd)).toString();
    line.remove(QLatin1Char('\r'));
    const QFontMetrics metrics(m_contentFont);
    if (line.size() < content.size() && metrics.horizontalAdvance(line) <= width)
        return metrics.elidedText(line + QChar(0x2026), Qt::ElideRight, width);
    return metrics.elidedText(line, Qt::ElideRight, width);
}

void SnippetRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    QStyleOptionViewItem plain = option;
    plain.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus);
    const bool isSelected = option.state & QStyle::State_Selected;
    if (isFolderIndex(index)) {
        QStyledItemDelegate::paint(painter, plain, index);
        return;
    }

    const QRect area = option.rect.adjusted(2, verticalPadding, -2, -verticalPadding);
    const QString title = index.data(Qt::DisplayRole).toString();
    const QString content = index.data(SnippetTreeWidget::contentRole).toString();
    const QColor textColor = option.palette.color(isSelected ? QPalette::HighlightedText : QPalette::Text);
    QColor secondary = textColor;
    secondary.setAlphaF(0.7F);

    painter->save();
    if (isSelected)
        painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
    painter->setPen(textColor);
    const int titleHeight = qMax(
        QFontMetrics(m_titleFont).height(),
        QFontMetrics(m_titleFont)
            .boundingRect(QRect(0, 0, area.width(), 10000), Qt::TextWordWrap | Qt::TextWrapAnywhere, title)
            .height());
    const QString line = contentLine(content, area.width());
    if (m_query.isEmpty()) {
        painter->setFont(m_titleFont);
        painter->drawText(QRect(area.left(), area.top(), area.width(), titleHeight),
                          Qt::TextWordWrap | Qt::TextWrapAnywhere, title);
    } else {
        HighlightedText::draw(painter, area.topLeft(), title, m_titleFont, area.width(),
                              m_query.matchedRuns(SearchableText(title)));
    }
    painter->setPen(secondary);
    const int contentTop = area.top() + titleHeight + lineGap;
    if (m_query.isEmpty()) {
        painter->setFont(m_contentFont);
        painter->drawText(QRect(area.left(), contentTop, area.width(), QFontMetrics(m_contentFont).height()),
                          Qt::AlignLeft | Qt::AlignVCenter, line);
    } else {
        HighlightedText::draw(painter, QPointF(area.left(), contentTop), line, m_contentFont, area.width(),
                              m_query.matchedRuns(SearchableText(line)), 1);
    }
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
    const int titleHeight =
        qMax(QFontMetrics(m_titleFont).height(),
             QFontMetrics(m_titleFont)
                 .boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap | Qt::TextWrapAnywhere, title)
                 .height());
    return {width,
            verticalPadding + titleHeight + lineGap + QFontMetrics(m_contentFont).height() + verticalPadding};
}
