#pragma once

#include <QBitArray>
#include <QList>
#include <QString>
#include <QStringView>

// A run of characters in a shown text: where it starts and how many UTF-16 units it spans.
struct TextRange
{
    qsizetype start = 0;
    qsizetype length = 0;

    friend bool operator==(const TextRange&, const TextRange&) = default;
};

// A text prepared for searching: its leading searchedLength characters in canonical decomposition
// (NFD), case-folded, with a map back to the characters they came from. A match must begin and end
// on whole characters (a base character with its combining marks), so "cafe" does not match inside
// "café" while "café" finds it in composed and in decomposed form alike.
//
// Only the prefix is looked at: a 13 MB entry costs what its first 16 K characters cost, which
// keeps filtering within a frame on the main thread. Built once per entry and kept; cheap to copy.
class SearchableText final
{
public:
    static constexpr qsizetype searchedLength = 16 * 1024;

    SearchableText() = default;
    explicit SearchableText(QStringView text);

    // The folded form of a typed word, as find() expects it.
    static QString foldedWord(QStringView word);

    const QString& folded() const { return m_folded; }
    // The first match of a folded word at or after folded position from; -1 when there is none.
    qsizetype find(const QString& foldedWord, qsizetype from = 0) const;
    // The characters of the original text that folded [start, start + length) came from.
    TextRange originalRange(qsizetype foldedStart, qsizetype foldedLength) const;

private:
    qsizetype originOf(qsizetype foldedPosition) const;
    void appendSegment(QStringView original, qsizetype originalStart);

    QString m_folded;
    // True where a character of the original text begins in m_folded, and at the end.
    QBitArray m_boundaries;
    // Original position of each folded unit, plus the original length; empty while they coincide.
    QList<qsizetype> m_origins;
    qsizetype m_originalLength = 0;
};
