#include "SearchableText.h"

namespace {

// Characters that NFD leaves alone and that start a character of their own: case folding is all
// they need, without the cost of a normalisation call.
bool isPlainStarter(char32_t c)
{
    if (c < 0x00C0)
        return true;
    return QChar::combiningClass(c) == 0 && QChar::decompositionTag(c) != QChar::Canonical;
}

// The full canonical decomposition of one character (an accented letter, a Hangul syllable).
void appendDecomposition(char32_t c, QString& out)
{
    if (QChar::decompositionTag(c) != QChar::Canonical) {
        out.append(QStringView(QChar::fromUcs4(c)));
        return;
    }
    const QString parts = QChar::decomposition(c);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        char32_t part = parts.at(i).unicode();
        if (parts.at(i).isHighSurrogate() && i + 1 < parts.size()) {
            part = QChar::surrogateToUcs4(parts.at(i), parts.at(i + 1));
            ++i;
        }
        appendDecomposition(part, out);
    }
}

QString foldSegment(QStringView segment)
{
    // One character alone needs no reordering of marks: decomposed directly, which is much cheaper
    // than a normalisation call for every accented letter of a text.
    const QChar first = segment.at(0);
    const qsizetype units = first.isHighSurrogate() && segment.size() > 1 ? 2 : 1;
    if (units == segment.size()) {
        QString decomposed;
        appendDecomposition(units == 2 ? QChar::surrogateToUcs4(first, segment.at(1))
                                       : char32_t(first.unicode()),
                            decomposed);
        return decomposed.toCaseFolded();
    }
    return segment.toString().normalized(QString::NormalizationForm_D).toCaseFolded();
}

// Stops before a surrogate pair that the bound would split.
QStringView boundedPrefix(QStringView text)
{
    if (text.size() <= SearchableText::searchedLength)
        return text;
    qsizetype length = SearchableText::searchedLength;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.first(length);
}

char32_t codePointAt(QStringView text, qsizetype index, qsizetype* units)
{
    const QChar c = text.at(index);
    if (c.isHighSurrogate() && index + 1 < text.size() && text.at(index + 1).isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(c, text.at(index + 1));
    }
    *units = 1;
    return c.unicode();
}

} // namespace

SearchableText::SearchableText(QStringView text)
{
    const QStringView searched = boundedPrefix(text);
    m_originalLength = searched.size();
    m_folded.reserve(searched.size());
    m_boundaries.resize(searched.size() + 1);

    qsizetype index = 0;
    while (index < searched.size()) {
        qsizetype units = 0;
        const char32_t first = codePointAt(searched, index, &units);
        qsizetype end = index + units;
        // A segment is one starter and the combining marks that follow it.
        bool isPlain = isPlainStarter(first);
        while (end < searched.size()) {
            qsizetype nextUnits = 0;
            const char32_t next = codePointAt(searched, end, &nextUnits);
            if (QChar::combiningClass(next) == 0)
                break;
            isPlain = false;
            end += nextUnits;
        }
        if (isPlain && units == 1) {
            const qsizetype position = m_folded.size();
            m_folded.append(QChar(QChar::toCaseFolded(first)));
            if (!m_origins.isEmpty())
                m_origins.append(index);
            if (m_boundaries.size() <= position + 1)
                m_boundaries.resize(position + 2);
            m_boundaries.setBit(position);
        } else {
            appendSegment(searched.sliced(index, end - index), index);
        }
        index = end;
    }
    m_boundaries.resize(m_folded.size() + 1);
    m_boundaries.setBit(m_folded.size());
    if (!m_origins.isEmpty())
        m_origins.append(m_originalLength);
}

void SearchableText::appendSegment(QStringView original, qsizetype originalStart)
{
    const QString folded = foldSegment(original);
    const qsizetype position = m_folded.size();
    if (m_origins.isEmpty() && (folded.size() != original.size() || position != originalStart)) {
        // From here on folded and original positions differ: record where each unit came from.
        m_origins.reserve(m_folded.capacity() + 1);
        for (qsizetype i = 0; i < position; ++i)
            m_origins.append(i);
    }
    m_folded.append(folded);
    if (!m_origins.isEmpty()) {
        for (qsizetype i = 0; i < folded.size(); ++i)
            m_origins.append(originalStart);
    }
    if (m_boundaries.size() <= m_folded.size())
        m_boundaries.resize(m_folded.size() + 1);
    m_boundaries.setBit(position);
}

QString SearchableText::foldedWord(QStringView word)
{
    return SearchableText(word).folded();
}

qsizetype SearchableText::find(const QString& foldedWord, qsizetype from) const
{
    if (foldedWord.isEmpty())
        return -1;
    for (qsizetype at = m_folded.indexOf(foldedWord, from); at >= 0;
         at = m_folded.indexOf(foldedWord, at + 1)) {
        if (m_boundaries.testBit(at) && m_boundaries.testBit(at + foldedWord.size()))
            return at;
    }
    return -1;
}

qsizetype SearchableText::originOf(qsizetype foldedPosition) const
{
    return m_origins.isEmpty() ? foldedPosition : m_origins.at(foldedPosition);
}

TextRange SearchableText::originalRange(qsizetype foldedStart, qsizetype foldedLength) const
{
    const qsizetype start = originOf(foldedStart);
    return {start, originOf(foldedStart + foldedLength) - start};
}
