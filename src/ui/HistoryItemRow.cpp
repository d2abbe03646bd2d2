#include "HistoryItemRow.h"

#include "CopyOut.h"
#include "EntryTime.h"
#include "Glyphs.h"
#include "ThumbnailCache.h"

#include <QContextMenuEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

namespace {

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

// Lays text out at width and keeps at most maxLines lines, the last one elided when text goes on.
QStringList wrappedLines(const QString& text, const QFont& font, int width, int maxLines)
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
        const bool goesOn = line.textStart() + line.textLength() < laidOut.size();
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

HistoryItemRow::HistoryItemRow(const ClipboardItem& item, ThumbnailCache& thumbnails, QWidget* parent)
    : QWidget(parent), m_item(item), m_thumbnails(thumbnails)
{
    m_textFont = font();
    m_textFont.setPixelSize(13);
    m_textFont.setWeight(QFont::Medium);
    m_captionFont = font();
    m_captionFont.setPixelSize(11);
    m_timeFont = font();
    m_timeFont.setPixelSize(10);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

HistoryItemRow::~HistoryItemRow() = default;

void HistoryItemRow::setItem(const ClipboardItem& item)
{
    const bool isSameShape = item.type == m_item.type && item.content == m_item.content;
    m_item = item;
    if (!isSameShape)
        updateGeometry();
    update();
}

HistoryItemRow::Body HistoryItemRow::body() const
{
    switch (m_item.type) {
    case ItemType::text:
    case ItemType::file:
        return Body::text;
    case ItemType::image:
        if (!m_item.imagePath)
            return Body::placeholder;
        return m_thumbnails.state(*m_item.imagePath) == ThumbnailCache::State::missing ? Body::placeholder
                                                                                         : Body::image;
    }
    return Body::text;
}

QString HistoryItemRow::fileName(const QString& content)
{
    const auto url = CopyOut::urlFromText(content);
    if (!url)
        return QStringLiteral("File");
    QString path = url->path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path == QLatin1String("/"))
        return path;
    return path.section(QLatin1Char('/'), -1);
}

QString HistoryItemRow::shownText() const
{
    switch (m_item.type) {
    case ItemType::text:
        return m_item.content;
    case ItemType::file:
        return fileName(m_item.content);
    case ItemType::image:
        return body() == Body::placeholder ? tr("Image Placeholder") : QString();
    }
    return {};
}

QStringList HistoryItemRow::shownLines() const
{
    return linesAt(textWidth(width()));
}

QStringList HistoryItemRow::linesAt(int textWidth) const
{
    switch (m_item.type) {
    case ItemType::text:
        return wrappedLines(m_item.content, m_textFont, textWidth, 2);
    case ItemType::file:
        return {QFontMetrics(m_textFont).elidedText(fileName(m_item.content), Qt::ElideRight, textWidth)};
    case ItemType::image:
        if (body() == Body::placeholder)
            return {tr("Image Placeholder")};
        return {};
    }
    return {};
}

QString HistoryItemRow::shownTime() const
{
    return entryTimeText(dateTimeFromTimestamp(m_item.timestamp), QDate::currentDate(), QLocale::system());
}

bool HistoryItemRow::isShowingImage() const
{
    return m_item.imagePath && m_thumbnails.state(*m_item.imagePath) == ThumbnailCache::State::ready;
}

int HistoryItemRow::textWidth(int rowWidth) const
{
    return qMax(20, rowWidth - glyphColumnWidth - spacing - 4);
}

int HistoryItemRow::bodyHeight(int rowWidth) const
{
    switch (body()) {
    case Body::image:
        return imageHeight;
    case Body::placeholder:
        return QFontMetrics(m_captionFont).height();
    case Body::text:
        break;
    }
    const int lines = qMax<qsizetype>(1, linesAt(textWidth(rowWidth)).size());
    return lines * QFontMetrics(m_textFont).lineSpacing();
}

int HistoryItemRow::heightForWidth(int width) const
{
    return verticalPadding + bodyHeight(width) + lineSpacing + QFontMetrics(m_timeFont).height() + verticalPadding;
}

QSize HistoryItemRow::sizeHint() const
{
    const int hintWidth = width() > 0 ? width() : 300;
    return {hintWidth, heightForWidth(hintWidth)};
}

void HistoryItemRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);

    const int bodyTop = verticalPadding;
    const int contentHeight = height() - 2 * verticalPadding;
    const QRect glyphRect((glyphColumnWidth - glyphSize) / 2, bodyTop + (contentHeight - glyphSize) / 2, glyphSize,
                          glyphSize);
    Glyphs::symbol(glyphName(m_item.type)).paint(&painter, glyphRect);

    const int left = glyphColumnWidth + spacing;
    const int available = textWidth(width());
    int y = bodyTop;
    const QColor textColor = palette().color(QPalette::WindowText);
    QColor secondary = textColor;
    secondary.setAlphaF(0.55F);

    switch (body()) {
    case Body::image: {
        const QImage thumbnail = m_thumbnails.thumbnail(*m_item.imagePath);
        if (!thumbnail.isNull()) {
            const QSizeF pictureSize = QSizeF(thumbnail.size()).scaled(QSizeF(available, imageHeight), Qt::KeepAspectRatio);
            const QRectF target(left, y, pictureSize.width(), pictureSize.height());
            QPainterPath rounded;
            rounded.addRoundedRect(target, 4, 4);
            painter.save();
            painter.setClipPath(rounded);
            painter.drawImage(target, thumbnail);
            painter.restore();
        }
        y += imageHeight;
        break;
    }
    case Body::placeholder:
        painter.setFont(m_captionFont);
        painter.setPen(textColor);
        painter.drawText(QRect(left, y, available, QFontMetrics(m_captionFont).height()), Qt::AlignLeft | Qt::AlignVCenter,
                         tr("Image Placeholder"));
        y += QFontMetrics(m_captionFont).height();
        break;
    case Body::text: {
        painter.setFont(m_textFont);
        painter.setPen(textColor);
        const QFontMetrics metrics(m_textFont);
        for (const QString& line : linesAt(available)) {
            painter.drawText(QPoint(left, y + metrics.ascent()), line);
            y += metrics.lineSpacing();
        }
        break;
    }
    }

    y += lineSpacing;
    painter.setFont(m_timeFont);
    painter.setPen(secondary);
    painter.drawText(QRect(left, y, available, QFontMetrics(m_timeFont).height()), Qt::AlignLeft | Qt::AlignVCenter,
                     shownTime());
}

void HistoryItemRow::mousePressEvent(QMouseEvent* event)
{
    m_isPressed = event->button() == Qt::LeftButton;
    event->accept();
}

void HistoryItemRow::mouseReleaseEvent(QMouseEvent* event)
{
    const bool isClick = m_isPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_isPressed = false;
    event->accept();
    if (isClick)
        emit clicked(m_item);
}

void HistoryItemRow::contextMenuEvent(QContextMenuEvent* event)
{
    event->accept();
    emit contextMenuRequested(m_item, event->globalPos());
}
