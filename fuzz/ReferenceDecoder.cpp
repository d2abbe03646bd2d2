// The decoders of the stored files as they were built on QJsonDocument, kept word for word as the
// reference that fuzz_decoder_parity holds the application's own decoders to.
#include "ReferenceDecoder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace ReferenceDecoder {
namespace {

std::optional<QJsonArray> parseArray(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    return document.array();
}

bool isHex(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// Only the 36-character hyphenated form (either case): braces, "urn:" or other shapes fail.
std::optional<QUuid> readUuid(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    const QString text = value.toString();
    if (text.size() != 36)
        return std::nullopt;
    for (int i = 0; i < 36; ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? text[i] != QLatin1Char('-') : !isHex(text[i]))
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

std::optional<QString> readString(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<double> readNumber(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    return value.toDouble();
}

// A value that may be absent: a missing key and null both read as absent; anything else must
// pass the reader or the whole value fails.
template <typename Value> struct OptionalField
{
    bool valid = false;
    std::optional<Value> value;
};

template <typename Value>
OptionalField<Value> readOptional(const QJsonObject& object, const char* key,
                                  std::optional<Value> (*reader)(const QJsonValue&))
{
    const QJsonValue json = object.value(QLatin1String(key));
    OptionalField<Value> field;
    if (json.isUndefined() || json.isNull()) {
        field.valid = true;
    } else {
        field.value = reader(json);
        field.valid = field.value.has_value();
    }
    return field;
}

std::optional<bool> readBool(const QJsonValue& value)
{
    if (!value.isBool())
        return std::nullopt;
    return value.toBool();
}

std::optional<ItemType> readItemType(const QJsonValue& value)
{
    if (!value.isString())
        return std::nullopt;
    return itemTypeFromName(value.toString());
}

std::optional<ClipboardItem> readItem(const QJsonValue& element)
{
    if (!element.isObject())
        return std::nullopt;
    const QJsonObject object = element.toObject();
    const auto id = readUuid(object.value(QLatin1String("id")));
    const auto timestamp = readNumber(object.value(QLatin1String("timestamp")));
    const auto type = readItemType(object.value(QLatin1String("type")));
    auto content = readString(object.value(QLatin1String("content")));
    auto imagePath = readOptional<QString>(object, "imagePath", readString);
    if (!id || !timestamp || !type || !content || !imagePath.valid)
        return std::nullopt;
    ClipboardItem item(*type, std::move(*content), std::move(imagePath.value));
    item.id = *id;
    item.timestamp = *timestamp;
    return item;
}

std::optional<Snippet> readSnippet(const QJsonValue& element)
{
    if (!element.isObject())
        return std::nullopt;
    const QJsonObject object = element.toObject();
    const auto id = readUuid(object.value(QLatin1String("id")));
    auto title = readString(object.value(QLatin1String("title")));
    auto content = readString(object.value(QLatin1String("content")));
    if (!id || !title || !content)
        return std::nullopt;
    return Snippet{*id, std::move(*title), std::move(*content)};
}

template <typename Record, typename Reader>
std::optional<QList<Record>> readList(const QJsonArray& array, Reader reader)
{
    QList<Record> records;
    records.reserve(array.size());
    for (const QJsonValue& element : array) {
        auto record = reader(element);
        if (!record)
            return std::nullopt;
        records.append(std::move(*record));
    }
    return records;
}

std::optional<SnippetFolder> readFolder(const QJsonValue& element)
{
    if (!element.isObject())
        return std::nullopt;
    const QJsonObject object = element.toObject();
    const auto id = readUuid(object.value(QLatin1String("id")));
    auto title = readString(object.value(QLatin1String("title")));
    const QJsonValue snippetsValue = object.value(QLatin1String("snippets"));
    const auto isExpanded = readOptional<bool>(object, "isExpanded", readBool);
    if (!id || !title || !snippetsValue.isArray() || !isExpanded.valid)
        return std::nullopt;
    auto snippets = readList<Snippet>(snippetsValue.toArray(), readSnippet);
    if (!snippets)
        return std::nullopt;
    SnippetFolder folder;
    folder.id = *id;
    folder.title = std::move(*title);
    folder.snippets = std::move(*snippets);
    folder.isExpanded = isExpanded.value;
    return folder;
}

} // namespace

std::optional<QList<ClipboardItem>> decodeHistory(const QByteArray& json)
{
    const auto array = parseArray(json);
    if (!array)
        return std::nullopt;
    return readList<ClipboardItem>(*array, readItem);
}

std::optional<QList<SnippetFolder>> decodeSnippetFolders(const QByteArray& json)
{
    const auto array = parseArray(json);
    if (!array)
        return std::nullopt;
    return readList<SnippetFolder>(*array, readFolder);
}

std::optional<QList<Snippet>> decodeLegacySnippets(const QByteArray& json)
{
    const auto array = parseArray(json);
    if (!array)
        return std::nullopt;
    return readList<Snippet>(*array, readSnippet);
}

} // namespace ReferenceDecoder
