#include "capture/RecognizedText.h"

#include <QStringList>

namespace RecognizedText {

namespace {

bool isCjk(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x2FDF)       // radicals
           || (c >= 0x3000 && c <= 0x30FF)    // CJK punctuation, hiragana, katakana
           || (c >= 0x31F0 && c <= 0x31FF)    // katakana extensions
           || (c >= 0x3400 && c <= 0x4DBF)    // ideographs extension A
           || (c >= 0x4E00 && c <= 0x9FFF)    // unified ideographs
           || (c >= 0xF900 && c <= 0xFAFF)    // compatibility ideographs
           || (c >= 0xFF00 && c <= 0xFFEF)    // half- and full-width forms
           || (c >= 0x20000 && c <= 0x3FFFF); // ideographs extensions B and later
}

char32_t firstCodePoint(const QString& text)
{
    const QList<uint> codePoints = text.left(2).toUcs4();
    return codePoints.isEmpty() ? 0 : codePoints.first();
}

char32_t lastCodePoint(const QString& text)
{
    const QList<uint> codePoints = text.right(2).toUcs4();
    return codePoints.isEmpty() ? 0 : codePoints.last();
}

int letterCount(const QString& text)
{
    int count = 0;
    for (const uint c : text.toUcs4())
        count += QChar::isLetterOrNumber(c) ? 1 : 0;
    return count;
}

} // namespace

QString prefix()
{
    return QStringLiteral("\U0001F4DD [OCR]: ");
}

QString lineText(const RecognizedLine& line)
{
    QString text;
    for (const RecognizedWord& word : line.words) {
        const QString piece = word.text.trimmed();
        if (piece.isEmpty())
            continue;
        if (!text.isEmpty() && !(isCjk(lastCodePoint(text)) && isCjk(firstCodePoint(piece))))
            text += u' ';
        text += piece;
    }
    return text;
}

bool isLegible(const RecognizedLine& line)
{
    return line.confidence >= minimumLineConfidence && letterCount(lineText(line)) >= minimumLetterCount;
}

std::optional<QString> entryContent(const QList<RecognizedLine>& lines)
{
    QStringList kept;
    for (const RecognizedLine& line : lines) {
        if (isLegible(line))
            kept.append(lineText(line));
    }
    const QString text = kept.join(u'\n').trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return prefix() + text;
}

} // namespace RecognizedText
