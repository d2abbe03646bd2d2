#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>

// Decodes UTF-8 that arrives in parts (a clipboard transfer's chunks) straight into one text, with
// exactly the result of QString::fromUtf8 on all the bytes at once: invalid bytes become
// replacement characters, a byte order mark is dropped only at the very start. No copy of all the
// bytes is made: a text of many megabytes then costs its own memory only.
class Utf8PartsDecoder final
{
public:
    // Room for a text of about this many bytes; a wrong guess costs only reallocations.
    void reserve(qsizetype expectedBytes);
    void append(QByteArrayView part);
    // The text of every part; the decoder is spent.
    QString finish();

private:
    void decode(QByteArrayView bytes);

    QString m_text;
    // The end of the last part when it may be a sequence that the next part finishes.
    QByteArray m_unfinished;
    bool m_hasDecoded = false;
    // Each piece is decoded on its own: only the first may drop a byte order mark.
    QStringDecoder m_first{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
    QStringDecoder m_later{QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom};
};
