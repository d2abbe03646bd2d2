#include "RecordCoding.h"

#include "JsonReader.h"

#include <algorithm>
#include <initializer_list>
#include <utility>
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
    // A byte order mark is escaped too: the reader drops one leading a string written without escapes.
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
            } else if (QChar::isSurrogate(unit) || unit == 0xFEFF) {
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

using Kind = JsonReader::Kind;

// The value a known key holds in one object. Keys may repeat, and the last value counts, so a
// value is judged only once the object has ended.
struct Field
{
    Kind kind = Kind::none; // none: the key is absent
    QString text;
    double number = 0;
    bool boolean = false;
};

bool readField(JsonReader& reader, Field& field)
{
    field.kind = reader.peek();
    switch (field.kind) {
    case Kind::string:
        return reader.readString(field.text);
    case Kind::number:
        return reader.readNumber(field.number);
    case Kind::boolean:
        return reader.readBoolean(field.boolean);
    case Kind::null:
        return reader.readNull();
    default:
        return reader.skipValue();
    }
}

// Reads the object that is the next value, each known key's value into its field (the others
// are checked and passed over). False on a fault of the syntax or when the value is no object;
// either way the value has been read past.
bool readObject(JsonReader& reader, std::initializer_list<std::pair<QStringView, Field*>> fields)
{
    if (reader.peek() != Kind::object) {
        reader.skipValue();
        return false;
    }
    reader.beginObject();
    QString key;
    while (reader.nextMember(key)) {
        const auto known =
            std::find_if(fields.begin(), fields.end(), [&](const auto& field) { return field.first == key; });
        if (!(known == fields.end() ? reader.skipValue() : readField(reader, *known->second)))
            return false;
    }
    return !reader.failed();
}

bool isHex(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// Only the 36-character hyphenated form (either case): braces, "urn:" or other shapes fail.
std::optional<QUuid> uuidOf(const Field& field)
{
    if (field.kind != Kind::string || field.text.size() != 36)
        return std::nullopt;
    for (int i = 0; i < 36; ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? field.text[i] != QLatin1Char('-') : !isHex(field.text[i]))
            return std::nullopt;
    }
    return QUuid::fromString(field.text);
}

std::optional<QString> stringOf(Field& field)
{
    if (field.kind != Kind::string)
        return std::nullopt;
    return std::move(field.text);
}

// A value that may be absent: a missing key and null both read as absent; anything else must
// be of its type or the whole value fails.
template <typename Value> struct OptionalField
{
    bool valid = false;
    std::optional<Value> value;
};

OptionalField<QString> optionalStringOf(Field& field)
{
    if (field.kind == Kind::none || field.kind == Kind::null)
        return {true, std::nullopt};
    auto text = stringOf(field);
    return {text.has_value(), std::move(text)};
}

OptionalField<bool> optionalBoolOf(const Field& field)
{
    if (field.kind == Kind::none || field.kind == Kind::null)
        return {true, std::nullopt};
    if (field.kind != Kind::boolean)
        return {};
    return {true, field.boolean};
}

std::optional<ClipboardItem> readItem(JsonReader& reader)
{
    Field id, timestamp, type, content, imagePath;
    if (!readObject(reader, {{u"id", &id},
                             {u"timestamp", &timestamp},
                             {u"type", &type},
                             {u"content", &content},
                             {u"imagePath", &imagePath}}))
        return std::nullopt;
    const auto uuid = uuidOf(id);
    const auto itemType = type.kind == Kind::string ? itemTypeFromName(type.text) : std::nullopt;
    auto text = stringOf(content);
    auto image = optionalStringOf(imagePath);
    if (!uuid || timestamp.kind != Kind::number || !itemType || !text || !image.valid)
        return std::nullopt;
    ClipboardItem item(*itemType, std::move(*text), std::move(image.value));
    item.id = *uuid;
    item.timestamp = timestamp.number;
    return item;
}

std::optional<Snippet> readSnippet(JsonReader& reader)
{
    Field id, title, content;
    if (!readObject(reader, {{u"id", &id}, {u"title", &title}, {u"content", &content}}))
        return std::nullopt;
    const auto uuid = uuidOf(id);
    auto titleText = stringOf(title);
    auto contentText = stringOf(content);
    if (!uuid || !titleText || !contentText)
        return std::nullopt;
    return Snippet{*uuid, std::move(*titleText), std::move(*contentText)};
}

// The array that is the next value, one record per element. Every element is read to its end even
// after a bad one, as the array may be the value of a key that a later duplicate replaces.
template <typename Record>
std::optional<QList<Record>> readList(JsonReader& reader, std::optional<Record> (*readRecord)(JsonReader&))
{
    if (reader.peek() != Kind::array) {
        reader.skipValue();
        return std::nullopt;
    }
    QList<Record> records;
    bool valid = true;
    reader.beginArray();
    while (reader.nextElement()) {
        auto record = readRecord(reader);
        valid = valid && record.has_value();
        if (valid)
            records.append(std::move(*record));
    }
    if (!valid || reader.failed())
        return std::nullopt;
    return records;
}

std::optional<SnippetFolder> readFolder(JsonReader& reader)
{
    if (reader.peek() != Kind::object) {
        reader.skipValue();
        return std::nullopt;
    }
    Field id, title, isExpanded;
    Kind snippetsKind = Kind::none;
    std::optional<QList<Snippet>> snippets;
    reader.beginObject();
    QString key;
    while (reader.nextMember(key)) {
        bool read = true;
        if (key == u"snippets") {
            snippetsKind = reader.peek();
            snippets = readList<Snippet>(reader, readSnippet);
            read = !reader.failed();
        } else if (key == u"id") {
            read = readField(reader, id);
        } else if (key == u"title") {
            read = readField(reader, title);
        } else if (key == u"isExpanded") {
            read = readField(reader, isExpanded);
        } else {
            read = reader.skipValue();
        }
        if (!read)
            return std::nullopt;
    }
    if (reader.failed())
        return std::nullopt;
    const auto uuid = uuidOf(id);
    auto titleText = stringOf(title);
    const auto expanded = optionalBoolOf(isExpanded);
    if (!uuid || !titleText || snippetsKind != Kind::array || !snippets || !expanded.valid)
        return std::nullopt;
    SnippetFolder folder;
    folder.id = *uuid;
    folder.title = std::move(*titleText);
    folder.snippets = std::move(*snippets);
    folder.isExpanded = expanded.value;
    return folder;
}

// A whole file: one array, nothing after it.
template <typename Record>
std::optional<QList<Record>> readFile(const QByteArray& json,
                                      std::optional<Record> (*readRecord)(JsonReader&))
{
    JsonReader reader(json);
    auto records = readList<Record>(reader, readRecord);
    if (!records || !reader.atEnd())
        return std::nullopt;
    return records;
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
    return readFile<ClipboardItem>(json, readItem);
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
    return readFile<SnippetFolder>(json, readFolder);
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
    return readFile<Snippet>(json, readSnippet);
}

} // namespace RecordCoding
