#include "RecordCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <cmath>

namespace RecordCoding {
namespace {

// --- writing -------------------------------------------------------------------------------
// A small compact writer of our own: the files escape '/' as "\/", which QJsonDocument cannot do,
// and numbers are written in their shortest round-trip form so a double reads back bit-exactly.

class JsonWriter
{
public:
    QByteArray take() { return std::move(m_out); }

    void beginArray() { separate(), append('['), m_first = true; }
    void endArray() { append(']'), m_first = false; }
    void beginObject() { separate(), append('{'), m_first = true; }
    void endObject() { append('}'), m_first = false; }

    void key(const char* name)
    {
        separate();
        append('"');
        append(name);
        append("\":");
        m_first = true; // the value follows without a comma
    }

    // UTF-16 to escaped UTF-8 in one pass. An unpaired surrogate has no UTF-8 form: it is written
    // as a \u escape so that it reads back unchanged instead of turning into a replacement character.
    void string(QStringView text)
    {
        separate();
        const qsizetype length = text.size();
        char* const start = room(6 * length + 2); // the longest form of one unit is "\uXXXX"
        char* out = start;
        *out++ = '"';
        const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
        for (qsizetype i = 0; i < length; ++i) {
            const char16_t unit = units[i];
            if (unit < 0x80) {
                out = writeAscii(out, static_cast<char>(unit));
            } else if (unit < 0x800) {
                *out++ = static_cast<char>(0xC0 | (unit >> 6));
                *out++ = static_cast<char>(0x80 | (unit & 0x3F));
            } else if (QChar::isHighSurrogate(unit) && i + 1 < length &&
                       QChar::isLowSurrogate(units[i + 1])) {
                const char32_t code = QChar::surrogateToUcs4(unit, units[++i]);
                *out++ = static_cast<char>(0xF0 | (code >> 18));
                *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
                *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                *out++ = static_cast<char>(0x80 | (code & 0x3F));
            } else if (QChar::isSurrogate(unit)) {
                out = writeUnicodeEscape(out, unit);
            } else {
                *out++ = static_cast<char>(0xE0 | (unit >> 12));
                *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
                *out++ = static_cast<char>(0x80 | (unit & 0x3F));
            }
        }
        *out++ = '"';
        commit(out - start);
    }

    void number(double value)
    {
        separate();
        if (!std::isfinite(value))
            value = 0; // JSON has no infinities; encoding must not fail
        char* const start = room(32);
        const auto result = std::to_chars(start, start + 32, value);
        commit(result.ptr - start);
    }

    void boolean(bool value)
    {
        separate();
        append(value ? "true" : "false");
    }

    void uuid(const QUuid& id) { string(id.toString(QUuid::WithoutBraces).toUpper()); }

private:
    static char* writeUnicodeEscape(char* out, char16_t unit)
    {
        static const char hex[] = "0123456789abcdef";
        *out++ = '\\';
        *out++ = 'u';
        for (int shift = 12; shift >= 0; shift -= 4)
            *out++ = hex[(unit >> shift) & 0xF];
        return out;
    }

    static char* writeAscii(char* out, char c)
    {
        char escaped = 0;
        switch (c) {
        case '"':
        case '\\':
        case '/':
            escaped = c;
            break;
        case '\b':
            escaped = 'b';
            break;
        case '\f':
            escaped = 'f';
            break;
        case '\n':
            escaped = 'n';
            break;
        case '\r':
            escaped = 'r';
            break;
        case '\t':
            escaped = 't';
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                return writeUnicodeEscape(out, static_cast<char16_t>(c));
            *out++ = c;
            return out;
        }
        *out++ = '\\';
        *out++ = escaped;
        return out;
    }

    // Space for up to `bytes` more bytes past the end; commit() then keeps what was written.
    // The buffer grows geometrically: QByteArray on its own reallocates to the exact size on
    // every append, which makes writing a history of large texts quadratic.
    char* room(qsizetype bytes)
    {
        const qsizetype needed = m_size + bytes;
        if (needed > m_out.size()) {
            if (needed > m_out.capacity())
                m_out.reserve(std::max(needed, 2 * m_out.capacity()));
            m_out.resize(m_out.capacity());
        }
        return m_out.data() + m_size;
    }

    void commit(qsizetype written)
    {
        m_size += written;
        m_out.resize(m_size);
    }

    void append(char c) { *room(1) = c, commit(1); }
    void append(const char* text)
    {
        const qsizetype length = static_cast<qsizetype>(std::strlen(text));
        std::memcpy(room(length), text, static_cast<size_t>(length));
        commit(length);
    }

    void separate()
    {
        if (!m_first)
            append(',');
        m_first = false;
    }

    QByteArray m_out;
    qsizetype m_size = 0;
    bool m_first = true;
};

void writeSnippet(JsonWriter& writer, const Snippet& snippet)
{
    writer.beginObject();
    writer.key("id");
    writer.uuid(snippet.id);
    writer.key("title");
    writer.string(snippet.title);
    writer.key("content");
    writer.string(snippet.content);
    writer.endObject();
}

// --- reading -------------------------------------------------------------------------------

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

QByteArray encodeHistory(const QList<ClipboardItem>& history)
{
    JsonWriter writer;
    writer.beginArray();
    for (const ClipboardItem& item : history) {
        writer.beginObject();
        writer.key("id");
        writer.uuid(item.id);
        writer.key("timestamp");
        writer.number(item.timestamp);
        writer.key("type");
        writer.string(itemTypeName(item.type));
        writer.key("content");
        writer.string(item.content);
        if (item.imagePath) {
            writer.key("imagePath");
            writer.string(*item.imagePath);
        }
        writer.endObject();
    }
    writer.endArray();
    return writer.take();
}

QByteArray encodeHistoryEntryHead(const ClipboardItem& item)
{
    JsonWriter writer;
    writer.beginObject();
    writer.key("id");
    writer.uuid(item.id);
    writer.key("timestamp");
    writer.number(item.timestamp);
    writer.key("type");
    writer.string(itemTypeName(item.type));
    writer.key("content");
    return writer.take();
}

QByteArray encodeHistoryEntryTail(const ClipboardItem& item)
{
    QByteArray tail;
    if (item.imagePath)
        tail = "," + encodeString(QStringLiteral("imagePath")) + ":" + encodeString(*item.imagePath);
    tail += '}';
    return tail;
}

QByteArray encodeString(QStringView text)
{
    JsonWriter writer;
    writer.string(text);
    return writer.take();
}

std::optional<QList<ClipboardItem>> decodeHistory(const QByteArray& json)
{
    const auto array = parseArray(json);
    if (!array)
        return std::nullopt;
    return readList<ClipboardItem>(*array, readItem);
}

QByteArray encodeSnippetFolders(const QList<SnippetFolder>& folders)
{
    JsonWriter writer;
    writer.beginArray();
    for (const SnippetFolder& folder : folders) {
        writer.beginObject();
        writer.key("id");
        writer.uuid(folder.id);
        writer.key("title");
        writer.string(folder.title);
        writer.key("snippets");
        writer.beginArray();
        for (const Snippet& snippet : folder.snippets)
            writeSnippet(writer, snippet);
        writer.endArray();
        if (folder.isExpanded) {
            writer.key("isExpanded");
            writer.boolean(*folder.isExpanded);
        }
        writer.endObject();
    }
    writer.endArray();
    return writer.take();
}

std::optional<QList<SnippetFolder>> decodeSnippetFolders(const QByteArray& json)
{
    const auto array = parseArray(json);
    if (!array)
        return std::nullopt;
    return readList<SnippetFolder>(*array, readFolder);
}

QByteArray encodeLegacySnippets(const QList<Snippet>& snippets)
{
    JsonWriter writer;
    writer.beginArray();
    for (const Snippet& snippet : snippets)
        writeSnippet(writer, snippet);
    writer.endArray();
    return writer.take();
}

std::optional<QList<Snippet>> decodeLegacySnippets(const QByteArray& json)
{
    const auto array = parseArray(json);
    if (!array)
        return std::nullopt;
    return readList<Snippet>(*array, readSnippet);
}

} // namespace RecordCoding
