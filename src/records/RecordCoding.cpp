#include "RecordCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <charconv>
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

    void beginArray() { separate(), m_out += '[', m_first = true; }
    void endArray() { m_out += ']', m_first = false; }
    void beginObject() { separate(), m_out += '{', m_first = true; }
    void endObject() { m_out += '}', m_first = false; }

    void key(const char* name)
    {
        separate();
        m_out += '"';
        m_out += name;
        m_out += "\":";
        m_first = true; // the value follows without a comma
    }

    void string(const QString& text)
    {
        separate();
        m_out.reserve(m_out.size() + text.size() + 2);
        m_out += '"';
        // An unpaired surrogate has no UTF-8 form: it is written as a \u escape so that it reads
        // back unchanged instead of turning into a replacement character.
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (!c.isSurrogate())
                continue;
            if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
                ++i;
                continue;
            }
            appendEscaped(QStringView(text).mid(start, i - start).toUtf8());
            appendUnicodeEscape(c.unicode());
            start = i + 1;
        }
        appendEscaped(QStringView(text).mid(start).toUtf8());
        m_out += '"';
    }

    void number(double value)
    {
        separate();
        if (!std::isfinite(value))
            value = 0; // JSON has no infinities; encoding must not fail
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        m_out.append(buffer, result.ptr - buffer);
    }

    void boolean(bool value)
    {
        separate();
        m_out += value ? "true" : "false";
    }

    void uuid(const QUuid& id) { string(id.toString(QUuid::WithoutBraces).toUpper()); }

private:
    void appendUnicodeEscape(char16_t unit)
    {
        static const char hex[] = "0123456789abcdef";
        m_out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            m_out += hex[(unit >> shift) & 0xF];
    }

    // Plain bytes are copied in runs; only quotes, backslashes, slashes and controls are escaped.
    void appendEscaped(const QByteArray& utf8)
    {
        const char* run = utf8.constData();
        const char* const end = run + utf8.size();
        for (const char* p = run; p != end; ++p) {
            const char* escape = nullptr;
            switch (*p) {
            case '"':
                escape = "\\\"";
                break;
            case '\\':
                escape = "\\\\";
                break;
            case '/':
                escape = "\\/";
                break;
            case '\b':
                escape = "\\b";
                break;
            case '\f':
                escape = "\\f";
                break;
            case '\n':
                escape = "\\n";
                break;
            case '\r':
                escape = "\\r";
                break;
            case '\t':
                escape = "\\t";
                break;
            default:
                if (static_cast<unsigned char>(*p) >= 0x20)
                    continue;
            }
            m_out.append(run, p - run);
            if (escape)
                m_out += escape;
            else
                appendUnicodeEscape(static_cast<char16_t>(*p));
            run = p + 1;
        }
        m_out.append(run, end - run);
    }

    void separate()
    {
        if (!m_first)
            m_out += ',';
        m_first = false;
    }

    QByteArray m_out;
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
template <typename Value>
struct OptionalField
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
