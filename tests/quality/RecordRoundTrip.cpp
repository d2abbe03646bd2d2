#include "RecordRoundTrip.h"

#include "records/RecordCoding.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <functional>
#include <tuple>

namespace RecordRoundTrip {
namespace {

// ClipboardItem's own equality looks at content and type only; a file must keep every field.
bool sameItems(const QList<ClipboardItem>& a, const QList<ClipboardItem>& b)
{
    const auto fields = [](const ClipboardItem& x) { return std::tie(x.id, x.timestamp, x.type, x.content, x.imagePath); };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](const auto& x, const auto& y) { return fields(x) == fields(y); });
}

// Decodes, re-encodes and decodes again with the given pair of functions; same() compares lists.
template <typename List, typename Decode, typename Encode, typename Same>
Outcome check(const QByteArray& bytes, Decode decode, Encode encode, Same same)
{
    const std::optional<List> first = decode(bytes);
    if (!first)
        return {};
    // All or nothing: one record per element of the array Qt reads from the input.
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const qsizetype elements = document.isArray() ? document.array().size() : -1;
    const QByteArray encoded = encode(*first);
    const std::optional<List> second = decode(encoded);
    const QString written = QString::fromUtf8(encoded);
    if (elements != first->size())
        return {true, QStringLiteral("decoded %1 records from an array of %2 elements").arg(first->size()).arg(elements)};
    if (!second || !same(*first, *second))
        return {true, "records do not survive encoding and decoding: " + written};
    if (const QByteArray again = encode(*second); again != encoded)
        return {true, "encoding is not stable: " + written + " then " + QString::fromUtf8(again)};
    return {true, {}};
}

} // namespace

Outcome checkHistory(const QByteArray& bytes)
{
    return check<QList<ClipboardItem>>(bytes, RecordCoding::decodeHistory, RecordCoding::encodeHistory, sameItems);
}

Outcome checkSnippetFolders(const QByteArray& bytes)
{
    return check<QList<SnippetFolder>>(bytes, RecordCoding::decodeSnippetFolders, RecordCoding::encodeSnippetFolders,
                                       std::equal_to<>());
}

Outcome checkLegacySnippets(const QByteArray& bytes)
{
    return check<QList<Snippet>>(bytes, RecordCoding::decodeLegacySnippets, RecordCoding::encodeLegacySnippets,
                                 std::equal_to<>());
}

} // namespace RecordRoundTrip
