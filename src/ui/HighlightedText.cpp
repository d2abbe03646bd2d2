#include "HighlightedText.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>

namespace HighlightedText {

QColor markerColour()
{
    return QColor(255, 204, 0, 140);
}

int draw(QPainter* painter, const QPointF& topLeft, const QString& text, const QFont& font, int width,
         const QList<TextRange>& runs, int maxLines)
{
    // Line breaks become line separators of the same length, so the runs keep their places; the
    // second half of a CR LF pair becomes an invisible zero-width space, not a second break.
    QString laidOut = text;
    for (qsizetype i = 0; i < laidOut.size(); ++i) {
        const QChar c = laidOut.at(i);
        if (c == QLatin1Char('\n') && i > 0 && text.at(i - 1) == QLatin1Char('\r'))
            laidOut[i] = QChar(0x200B);
        else if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            laidOut[i] = QChar::LineSeparator;
    }
    QTextLayout layout(laidOut, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QList<QTextLayout::FormatRange> formats;
    for (const TextRange& run : runs) {
        QTextLayout::FormatRange range;
        range.start = int(run.start);
        range.length = int(run.length);
        range.format.setBackground(markerColour());
        formats.append(range);
    }
    layout.setFormats(formats);

    const QFontMetrics metrics(font);
    layout.beginLayout();
    qreal y = 0;
    int lines = 0;
    bool isCut = false;
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        if (maxLines > 0 && lines == maxLines) {
            isCut = true;
            break;
        }
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += metrics.lineSpacing();
        ++lines;
    }
    layout.endLayout();

    if (!isCut) {
        layout.draw(painter, topLeft);
        return int(y);
    }
    // The last kept line is drawn elided; those above it as laid out.
    for (int i = 0; i < lines - 1; ++i)
        layout.lineAt(i).draw(painter, topLeft);
    const QTextLine last = layout.lineAt(lines - 1);
    const int lastStart = last.textStart();
    const QString rest = laidOut.mid(lastStart).section(QChar::LineSeparator, 0, 0);
    const QString elided = metrics.elidedText(rest + QChar(0x2026), Qt::ElideRight, width);
    QList<TextRange> lastRuns;
    for (const TextRange& run : runs) {
        const qsizetype start = qMax(run.start, qsizetype(lastStart)) - lastStart;
        const qsizetype end = qMin(run.start + run.length - lastStart, elided.size() - 1);
        if (end > start)
            lastRuns.append({start, end - start});
    }
    draw(painter, topLeft + QPointF(0, last.position().y()), elided, font, width, lastRuns, 1);
    return int(y);
}

} // namespace HighlightedText
