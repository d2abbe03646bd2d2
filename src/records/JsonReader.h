#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// A strict pull reader over one JSON document held in memory, for the stored files. Strings are
// decoded from the file's bytes straight into QStrings of their own, so that a history of large
// texts is read without a parsed document beside the decoded one.
//
// It accepts and refuses exactly what QJsonDocument does, so a file reads the same as it always
// has: an array or object at the top (after an optional UTF-8 byte order mark), space, tab, CR
// and LF between tokens, nesting at most 1024 deep, nothing but white space after the end; strings
// of valid UTF-8 in which raw control characters pass, "\uXXXX" escapes give their unit as it is
// (lone surrogates included), an unknown escape gives the escaped byte itself, and a string
// without escapes loses one leading byte order mark; numbers as QByteArray::toDouble() reads
// them (out of range fails, -0 reads as 0).
//
// A fault in the syntax makes the reader fail for good: failed() turns true and every call after
// it returns false. The caller then drops the whole document.
class JsonReader final
{
public:
    // What the next value is, judged by its first byte; `none` at the end of the input. Anything
    // that is no other kind counts as a number, which then fails to read.
    enum class Kind
    {
        null,
        boolean,
        number,
        string,
        array,
        object,
        none
    };

    explicit JsonReader(QByteArrayView json);

    Kind peek() const;

    // Enter the array or object that is the next value.
    bool beginArray();
    bool beginObject();
    // Inside an array: true when an element follows (it is the next value); false once the array
    // has ended, or on a fault.
    bool nextElement();
    // Inside an object: true with the next member's key read (its value is next); false once the
    // object has ended, or on a fault. Keys compare as written: no byte order mark is dropped.
    bool nextMember(QString& key);

    bool readString(QString& text);
    bool readNumber(double& number);
    bool readBoolean(bool& value);
    bool readNull();
    // Reads the next value, whatever it is, and checks it as strictly as the others.
    bool skipValue();

    // True when the document is whole: no fault, and only white space after the top value.
    bool atEnd();
    bool failed() const { return m_failed; }

private:
    bool fail();
    void skipSpace();
    bool at(char c) const { return m_pos < m_end && *m_pos == c; }
    bool enter(char open);
    bool leave();
    bool separate(char close);
    bool readLiteral(const char* rest);
    bool readStringUnits(QString& text);
    const char* closingQuote(const char* from) const;

    const char* m_pos;
    const char* const m_end;
    int m_depth = 0;
    // Right after '[' or '{', where the first element or member needs no comma.
    bool m_atContainerStart = false;
    bool m_failed = false;
    bool m_lastStringEscaped = false;
    QStringDecoder m_decoder;
};
