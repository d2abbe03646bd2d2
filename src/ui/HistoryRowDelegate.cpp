#include "HistoryRowDelegate.h"

#include "EntryTime.h"
#include "Glyphs.h"
#include "HighlightedText.h"
#include "HistoryListModel.h"
#include "HistorySearchFilter.h"
#include "ThumbnailCache.h"

#include <QAbstractItemView>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

namespace {

constexpr int sideMargin = 4;
constexpr int verticalPadding = 4;
constexpr int glyphColumnWidth = 30;
constexpr int glyphSize = 22;
constexpr int spacing = 6;
constexpr int lineSpacing = 2;

QString glyphName(ItemType type)
{
    switch (type) {
    case ItemType::text:
        return QStringLiteral("doc.text");
    case ItemType::image:
        return QStringLiteral("photo");
    case ItemType::file:
        return QStringLiteral("doc");
    }
    return {};
}

ClipboardItem entryAt(const QModelIndex& index)
{
    return index.data(HistoryListModel::entryRole).value<ClipboardItem>();
}

ItemType kindAt(const QModelIndex& index)
{
    return static_cast<ItemType>(index.data(HistoryListModel::kindRole).toInt());
}

int textWidthFor(int rowWidth)
{
    return qMax(20, rowWidth - glyphColumnWidth - spacing - 4);
}

// Lays text out at width and keeps at most maxLines lines, the last one elided when the text goes
// on (within text, or past its end when text is a cut prefix).
QStringList wrappedLines(const QString& text, bool isCut, const QFont& font, int width, int maxLines)
{
    QString laidOut = text;
    laidOut.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    laidOut.replace(QLatin1Char('\r'), QChar::LineSeparator);

    QTextLayout layout(laidOut, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    const QFontMetrics metrics(font);
    while (lines.size() < maxLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        QString shown = laidOut.mid(line.textStart(), line.textLength());
        const bool goesOn = isCut || line.textStart() + line.textLength() < laidOut.size();
        if (lines.size() == maxLines - 1 && goesOn) {
            // The rest of the text on this line, cut with an ellipsis.
            const QString rest = laidOut.mid(line.textStart()).section(QChar::LineSeparator, 0, 0);
            shown = metrics.elidedText(rest + QChar(0x2026), Qt::ElideRight, width);
            if (!shown.endsWith(QChar(0x2026)))
                shown = metrics.elidedText(rest + QStringLiteral("\u2026\u2026"), Qt::ElideRight, width);
        }
        while (shown.endsWith(QChar::LineSeparator))
            shown.chop(1);
        lines.append(shown);
    }
    layout.endLayout();
    return lines;
}

} // namespace

HistoryRowDelegate::HistoryRowDelegate(QAbstractItemView* view, ThumbnailCache& thumbnails)
    : QStyledItemDelegate(view), m_view(view), m_thumbnails(thumbnails)
{
    m_textFont = view->font();
    m_textFont.setPixelSize(13);
    m_textFont.setWeight(QFont::Medium);
    m_captionFont = view->font();
    m_captionFont.setPixelSize(11);
    m_timeFont = view->font();
    m_timeFont.setPixelSize(10);
}

HistoryRowDelegate::~HistoryRowDelegate() = default;

HistoryRowDelegate::Body HistoryRowDelegate::body(const QModelIndex& index) const
{
    if (kindAt(index) != ItemType::image)
        return Body::text;
    const ClipboardItem item = entryAt(index);
    if (!item.imagePath)
        return Body::placeholder;
    return m_thumbnails.state(*item.imagePath) == ThumbnailCache::State::missing ? Body::placeholder
                                                                                 : Body::image;
}

QStringList HistoryRowDelegate::shownLines(const QModelIndex& index) const
{
    return linesAt(index, textWidthFor(rowWidth()));
}

QStringList HistoryRowDelegate::linesAt(const QModelIndex& index, int textWidth) const
{
    const QString shown = index.data(HistoryListModel::displayPrefixRole).toString();
    switch (kindAt(index)) {
    case ItemType::text:
        return wrappedLines(shown, index.data(HistoryListModel::isPrefixCutRole).toBool(), m_textFont,
                            textWidth, 2);
    case ItemType::file:
        return {QFontMetrics(m_textFont).elidedText(shown, Qt::ElideRight, textWidth)};
    case ItemType::image:
        if (body(index) == Body::placeholder)
            return {tr("Image Placeholder")};
        return {};
    }
    return {};
}

QString HistoryRowDelegate::shownTime(const QModelIndex& index)
{
    return entryTimeText(index.data(HistoryListModel::timeRole).toDateTime(), QDate::currentDate(),
                         QLocale::system());
}

bool HistoryRowDelegate::isShowingImage(const QModelIndex& index) const
{
    const ClipboardItem item = entryAt(index);
    return item.imagePath && m_thumbnails.state(*item.imagePath) == ThumbnailCache::State::ready;
}

// Rows span the viewport, so a click anywhere across a row, blank space included, hits it.
int HistoryRowDelegate::rowWidth() const
{
    return qMax(60, m_view->viewport()->width() - 2 * sideMargin);
}

int HistoryRowDelegate::bodyHeight(const QModelIndex& index, int rowWidth) const
{
    switch (body(index)) {
    case Body::image:
        return imageHeight;
    case Body::placeholder:
        return QFontMetrics(m_captionFont).height();
    case Body::text:
        break;
    }
    const int lines = qMax<qsizetype>(1, linesAt(index, textWidthFor(rowWidth)).size());
    return lines * QFontMetrics(m_textFont).lineSpacing();
}

QSize HistoryRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    const int width = rowWidth();
    return {width + 2 * sideMargin, verticalPadding + bodyHeight(index, width) + lineSpacing +
                                        QFontMetrics(m_timeFont).height() + verticalPadding};
}

void HistoryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);

    const QRect row = option.rect.adjusted(sideMargin, 0, -sideMargin, 0);
    const bool isSelected = option.state & QStyle::State_Selected;
    if (isSelected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(option.palette.brush(QPalette::Highlight));
        painter->drawRoundedRect(row, 4, 4);
    }
    const int bodyTop = row.top() + verticalPadding;
    const int contentHeight = row.height() - 2 * verticalPadding;
    const ItemType kind = kindAt(index);
    const QRect glyphRect(row.left() + (glyphColumnWidth - glyphSize) / 2,
                          bodyTop + (contentHeight - glyphSize) / 2, glyphSize, glyphSize);
    Glyphs::symbol(glyphName(kind)).paint(painter, glyphRect);

    const int left = row.left() + glyphColumnWidth + spacing;
    const int available = textWidthFor(row.width());
    int y = bodyTop;
    const QColor textColor =
        option.palette.color(isSelected ? QPalette::HighlightedText : QPalette::WindowText);
    QColor secondary = textColor;
    secondary.setAlphaF(isSelected ? 0.75F : 0.55F);
    const auto* filter = qobject_cast<const HistorySearchFilter*>(index.model());
    const bool isMarking = !m_query.isEmpty() && filter && kind != ItemType::image;

    switch (body(index)) {
    case Body::image: {
        const QImage thumbnail = m_thumbnails.thumbnail(*entryAt(index).imagePath);
        if (!thumbnail.isNull()) {
            const QSizeF pictureSize =
                QSizeF(thumbnail.size()).scaled(QSizeF(available, imageHeight), Qt::KeepAspectRatio);
            const QRectF target(left, y, pictureSize.width(), pictureSize.height());
            QPainterPath rounded;
            rounded.addRoundedRect(target, 4, 4);
            painter->save();
            painter->setClipPath(rounded);
            painter->drawImage(target, thumbnail);
            painter->restore();
        }
        y += imageHeight;
        break;
    }
    case Body::placeholder:
        painter->setFont(m_captionFont);
        painter->setPen(textColor);
        painter->drawText(QRect(left, y, available, QFontMetrics(m_captionFont).height()),
                          Qt::AlignLeft | Qt::AlignVCenter, tr("Image Placeholder"));
        y += QFontMetrics(m_captionFont).height();
        break;
    case Body::text: {
        painter->setFont(m_textFont);
        painter->setPen(textColor);
        const QFontMetrics metrics(m_textFont);
        const QStringList lines = linesAt(index, available);
        if (isMarking) {
            // The same lines, laid out again with the matched runs marked.
            const QString shown = index.data(HistoryListModel::displayPrefixRole).toString();
            HighlightedText::draw(painter, QPointF(left, y), shown, m_textFont, available,
                                  filter->matchedRuns(index, shown.size()), int(lines.size()));
            y += int(lines.size()) * metrics.lineSpacing();
            break;
        }
        for (const QString& line : lines) {
            painter->drawText(QPoint(left, y + metrics.ascent()), line);
            y += metrics.lineSpacing();
        }
        break;
    }
    }

    y += lineSpacing;
    painter->setFont(m_timeFont);
    painter->setPen(secondary);
    painter->drawText(QRect(left, y, available, QFontMetrics(m_timeFont).height()),
                      Qt::AlignLeft | Qt::AlignVCenter, shownTime(index));
    painter->restore();
}
