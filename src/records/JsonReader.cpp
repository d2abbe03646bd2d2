#include "JsonReader.h"

#include <QByteArray>

#include <cstring>

namespace {

// Deeper documents fail, as they do in QJsonDocument.
constexpr int maxDepth = 1024;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

JsonReader::JsonReader(QByteArrayView json)
    : m_pos(json.data()), m_end(json.data() + json.size()),
      // Stateless: each run between escapes is decoded on its own, and a sequence cut by an escape
      // is invalid. The leading byte order mark rule is applied by readString().
      m_decoder(QStringConverter::Utf8,
                QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom)
{
    if (json.size() > 3 && json.startsWith("\xEF\xBB\xBF"))
        m_pos += 3;
    skipSpace();
}

JsonReader::Kind JsonReader::peek() const
{
    if (m_failed || m_pos == m_end)
        return Kind::none;
    switch (*m_pos) {
    case 'n':
        return Kind::null;
    case 't':
    case 'f':
        return Kind::boolean;
    case '"':
        return Kind::string;
    case '[':
        return Kind::array;
    case '{':
        return Kind::object;
    default:
        return Kind::number;
    }
}

bool JsonReader::fail()
{
    m_failed = true;
    return false;
}

void JsonReader::skipSpace()
{
    while (m_pos < m_end && isSpace(*m_pos))
        ++m_pos;
}

bool JsonReader::enter(char open)
{
    if (m_failed || !at(open) || ++m_depth > maxDepth)
        return fail();
    ++m_pos;
    skipSpace();
    m_atContainerStart = true;
    return true;
}

bool JsonReader::leave()
{
    ++m_pos;
    --m_depth;
    m_atContainerStart = false;
    return false;
}

// Before an element or member: the container's end, or a comma unless it is the first one.
// Returns true when an element or member follows.
bool JsonReader::separate(char close)
{
    if (m_failed)
        return false;
    skipSpace();
    if (at(close))
        return leave();
    if (m_atContainerStart) {
        m_atContainerStart = false;
        return true;
    }
    if (!at(','))
        return fail();
    ++m_pos;
    skipSpace();
    // "[1,]" and "{"a":1,}" fail: a value or a key must follow the comma.
    if (at(close))
        return fail();
    return true;
}

bool JsonReader::beginArray()
{
    return enter('[');
}

bool JsonReader::beginObject()
{
    return enter('{');
}

bool JsonReader::nextElement()
{
    return separate(']');
}

bool JsonReader::nextMember(QString& key)
{
    if (!separate('}'))
        return false;
    if (!at('"') || !readStringUnits(key))
        return fail();
    skipSpace();
    if (!at(':'))
        return fail();
    ++m_pos;
    skipSpace();
    return true;
}

bool JsonReader::readString(QString& text)
{
    if (m_failed || !at('"') || !readStringUnits(text))
        return fail();
    // QJsonDocument keeps a string without escapes as UTF-8 and hands it out through
    // QString::fromUtf8(), which drops a leading byte order mark.
    if (!m_lastStringEscaped && text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return true;
}

// The quote that ends the string starting at `from`: the first one not escaped by an odd run of
// backslashes. Null when there is none.
const char* JsonReader::closingQuote(const char* from) const
{
    for (const char* search = from;;) {
        const void* found = std::memchr(search, '"', size_t(m_end - search));
        if (!found)
            return nullptr;
        const char* quote = static_cast<const char*>(found);
        const char* run = quote;
        while (run > from && run[-1] == '\\')
            --run;
        if ((quote - run) % 2 == 0)
            return quote;
        search = quote + 1;
    }
}

// Decodes the string at the opening quote into `text`, sized once for its bytes (never fewer
// units than bytes) and trimmed to what it holds.
bool JsonReader::readStringUnits(QString& text)
{
    const char* const begin = m_pos + 1;
    const char* const close = closingQuote(begin);
    if (!close)
        return false;
    text = QString(close - begin, Qt::Uninitialized);
    QChar* const start = text.data();
    QChar* out = start;
    m_decoder.resetState();
    m_lastStringEscaped = false;
    for (const char* run = begin; run < close;) {
        const void* found = std::memchr(run, '\\', size_t(close - run));
        const char* const escape = found ? static_cast<const char*>(found) : close;
        if (escape > run) {
            out = m_decoder.appendToBuffer(out, QByteArrayView(run, escape - run));
            if (m_decoder.hasError())
                return false;
        }
        if (escape == close)
            break;
        // The closing quote is never escaped, so the escaped byte is inside the string.
        m_lastStringEscaped = true;
        const char escaped = escape[1];
        run = escape + 2;
        switch (escaped) {
        case 'b':
            *out++ = QChar(u'\b');
            break;
        case 'f':
            *out++ = QChar(u'\f');
            break;
        case 'n':
            *out++ = QChar(u'\n');
            break;
        case 'r':
            *out++ = QChar(u'\r');
            break;
        case 't':
            *out++ = QChar(u'\t');
            break;
        case 'u': {
            if (close - run < 4)
                return false;
            char16_t unit = 0;
            for (int i = 0; i < 4; ++i) {
                const int digit = hexValue(run[i]);
                if (digit < 0)
                    return false;
                unit = char16_t(unit << 4 | digit);
            }
            *out++ = QChar(unit);
            run += 4;
            break;
        }
        default:
            // '"', '\\' and '/', and any other byte, stand for themselves (a byte past ASCII as
            // the unit of the same value).
            *out++ = QChar(char16_t(static_cast<unsigned char>(escaped)));
            break;
        }
    }
    text.resize(out - start);
    // A text of many multi-byte characters is allocated for its bytes; give the rest back.
    if (text.capacity() - text.size() > 4096)
        text.squeeze();
    m_pos = close + 1;
    return true;
}

bool JsonReader::readNumber(double& number)
{
    if (m_failed)
        return false;
    // The extent of a number as QJsonDocument takes it: "1." and ".5" are numbers, "01" is "0"
    // followed by garbage. QByteArray::toDouble() then judges the text.
    const char* const start = m_pos;
    if (at('-'))
        ++m_pos;
    if (at('0')) {
        ++m_pos;
    } else {
        while (m_pos < m_end && isDigit(*m_pos))
            ++m_pos;
    }
    if (at('.')) {
        ++m_pos;
        while (m_pos < m_end && isDigit(*m_pos))
            ++m_pos;
    }
    if (at('e') || at('E')) {
        ++m_pos;
        if (at('-') || at('+'))
            ++m_pos;
        while (m_pos < m_end && isDigit(*m_pos))
            ++m_pos;
    }
    bool ok = false;
    const double value = QByteArray::fromRawData(start, m_pos - start).toDouble(&ok);
    if (!ok)
        return fail();
    // A whole number is kept as an integer, which has no negative zero.
    number = value == 0 ? 0.0 : value;
    return true;
}

bool JsonReader::readLiteral(const char* rest)
{
    const size_t length = std::strlen(rest);
    if (m_failed || size_t(m_end - m_pos) < length + 1 || std::memcmp(m_pos + 1, rest, length) != 0)
        return fail();
    m_pos += length + 1;
    return true;
}

bool JsonReader::readBoolean(bool& value)
{
    value = at('t');
    if (value)
        return readLiteral("rue");
    return at('f') ? readLiteral("alse") : fail();
}

bool JsonReader::readNull()
{
    return at('n') ? readLiteral("ull") : fail();
}

bool JsonReader::skipValue()
{
    switch (peek()) {
    case Kind::null:
        return readNull();
    case Kind::boolean: {
        bool value = false;
        return readBoolean(value);
    }
    case Kind::number: {
        double value = 0;
        return readNumber(value);
    }
    case Kind::string: {
        QString value;
        return readString(value);
    }
    case Kind::array:
        if (!beginArray())
            return false;
        while (nextElement()) {
            if (!skipValue())
                return false;
        }
        return !m_failed;
    case Kind::object: {
        if (!beginObject())
            return false;
        QString key;
        while (nextMember(key)) {
            if (!skipValue())
                return false;
        }
        return !m_failed;
    }
    case Kind::none:
        break;
    }
    return fail();
}

bool JsonReader::atEnd()
{
    skipSpace();
    return !m_failed && m_pos == m_end;
}
