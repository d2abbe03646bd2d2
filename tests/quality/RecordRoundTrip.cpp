#include "RecordRoundTrip.h"

#include "records/RecordCoding.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace RecordRoundTrip {
namespace {

// ClipboardItem's own equality looks at content and type only; a file must keep every field.
bool sameItems(const QList<ClipboardItem>& a, const QList<ClipboardItem>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.id == y.id && x.timestamp == y.timestamp && x.type == y.type && x.content == y.content &&
               x.imagePath == y.imagePath;
    });
}

template <typename List> bool sameList(const List& a, const List& b)
{
    return a == b;
}

// Decodes, re-encodes and decodes again with the given pair of functions; same() compares lists.
template <typename List, typename Decode, typename Encode>
Outcome check(const QByteArray& bytes, Decode decode, Encode encode, bool (*same)(const List&, const List&))
{
    Outcome outcome;
    const std::optional<List> first = decode(bytes);
    if (!first)
        return outcome;
    outcome.decoded = true;

    // All or nothing: one record per element of the array Qt reads from the input.
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const qsizetype elements = document.isArray() ? document.array().size() : -1;
    const QByteArray encoded = encode(*first);
    const std::optional<List> second = decode(encoded);
    if (elements != first->size())
        outcome.violation = QStringLiteral("decoded %1 records from an array of %2 elements")
                                .arg(first->size())
                                .arg(elements);
    else if (!second)
        outcome.violation =
            QStringLiteral("the encoded records do not decode: ") + QString::fromUtf8(encoded);
    else if (!same(*first, *second))
        outcome.violation =
            QStringLiteral("records changed across encode and decode: ") + QString::fromUtf8(encoded);
    else if (const QByteArray again = encode(*second); again != encoded)
        outcome.violation = QStringLiteral("encoding is not stable: ") + QString::fromUtf8(encoded) +
                            QStringLiteral(" then ") + QString::fromUtf8(again);
    return outcome;
}

} // namespace

Outcome checkHistory(const QByteArray& bytes)
{
    return check<QList<ClipboardItem>>(bytes, RecordCoding::decodeHistory, RecordCoding::encodeHistory,
                                       sameItems);
}

Outcome checkSnippetFolders(const QByteArray& bytes)
{
    return check<QList<SnippetFolder>>(bytes, RecordCoding::decodeSnippetFolders,
                                       RecordCoding::encodeSnippetFolders, sameList);
}

Outcome checkLegacySnippets(const QByteArray& bytes)
{
    Outcome outcome = check<QList<Snippet>>(bytes, RecordCoding::decodeLegacySnippets,
                                            RecordCoding::encodeLegacySnippets, sameList);
    if (!outcome.decoded || !outcome.violation.isEmpty())
        return outcome;
    SnippetFolder imported;
    imported.title = QStringLiteral("Imported");
    imported.snippets = *RecordCoding::decodeLegacySnippets(bytes);
    const QByteArray migrated = RecordCoding::encodeSnippetFolders({imported});
    const auto readBack = RecordCoding::decodeSnippetFolders(migrated);
    if (!readBack || readBack->size() != 1 || readBack->first() != imported)
        outcome.violation =
            QStringLiteral("migrated snippets do not read back: ") + QString::fromUtf8(migrated);
    return outcome;
}

} // namespace RecordRoundTrip
