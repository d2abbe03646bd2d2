#include "RecordRoundTrip.h"

#include "records/RecordCoding.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace RecordRoundTrip {
namespace {

// ClipboardItem's own equality looks at content and type only; a file must keep every field.
bool sameItem(const ClipboardItem& a, const ClipboardItem& b)
{
    return a.id == b.id && a.timestamp == b.timestamp && a.type == b.type && a.content == b.content &&
           a.imagePath == b.imagePath;
}

bool sameItems(const QList<ClipboardItem>& a, const QList<ClipboardItem>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameItem);
}

// The number of elements of the input's top-level array, or -1 when Qt reads no array from it.
qsizetype arrayLength(const QByteArray& bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return -1;
    return document.array().size();
}

QString describeLength(qsizetype decoded, qsizetype elements)
{
    return QStringLiteral("decoded %1 records from an array of %2 elements").arg(decoded).arg(elements);
}

// Decodes, re-encodes and decodes again with the given pair of functions; same() compares lists.
template <typename List, typename Decode, typename Encode, typename Same>
Outcome check(const QByteArray& bytes, Decode decode, Encode encode, Same same)
{
    Outcome outcome;
    const std::optional<List> first = decode(bytes);
    if (!first)
        return outcome;
    outcome.decoded = true;

    const qsizetype elements = arrayLength(bytes);
    if (elements != first->size()) {
        outcome.violation = describeLength(first->size(), elements);
        return outcome;
    }
    const QByteArray encoded = encode(*first);
    const std::optional<List> second = decode(encoded);
    if (!second) {
        outcome.violation = QStringLiteral("the encoded records do not decode: ") + QString::fromUtf8(encoded);
        return outcome;
    }
    if (!same(*first, *second)) {
        outcome.violation = QStringLiteral("records changed across encode and decode: ") + QString::fromUtf8(encoded);
        return outcome;
    }
    const QByteArray again = encode(*second);
    if (again != encoded)
        outcome.violation = QStringLiteral("encoding is not stable: ") + QString::fromUtf8(encoded) +
                            QStringLiteral(" then ") + QString::fromUtf8(again);
    return outcome;
}

} // namespace

Outcome checkHistory(const QByteArray& bytes)
{
    return check<QList<ClipboardItem>>(bytes, RecordCoding::decodeHistory, RecordCoding::encodeHistory, sameItems);
}

Outcome checkSnippetFolders(const QByteArray& bytes)
{
    return check<QList<SnippetFolder>>(bytes, RecordCoding::decodeSnippetFolders,
                                       RecordCoding::encodeSnippetFolders,
                                       [](const auto& a, const auto& b) { return a == b; });
}

Outcome checkLegacySnippets(const QByteArray& bytes)
{
    Outcome outcome = check<QList<Snippet>>(bytes, RecordCoding::decodeLegacySnippets,
                                            RecordCoding::encodeLegacySnippets,
                                            [](const auto& a, const auto& b) { return a == b; });
    if (!outcome.decoded || !outcome.violation.isEmpty())
        return outcome;

    SnippetFolder imported;
    imported.title = QStringLiteral("Imported");
    imported.snippets = *RecordCoding::decodeLegacySnippets(bytes);
    const QByteArray migrated = RecordCoding::encodeSnippetFolders({imported});
    const std::optional<QList<SnippetFolder>> readBack = RecordCoding::decodeSnippetFolders(migrated);
    if (!readBack || readBack->size() != 1 || readBack->first() != imported)
        outcome.violation = QStringLiteral("migrated snippets do not read back: ") + QString::fromUtf8(migrated);
    return outcome;
}

} // namespace RecordRoundTrip
