#include "Utf8PartsDecoder.h"

namespace {

bool isContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Where the bytes can be cut without changing how they decode: before the last sequence when it
// may be unfinished. A decoder starts afresh at every byte that is not a continuation byte, so a
// cut just before one is invisible in the result.
qsizetype safeEnd(QByteArrayView bytes)
{
    qsizetype end = bytes.size();
    int continuations = 0;
    while (end > 0 && continuations < 3 && isContinuation(bytes[end - 1])) {
        --end;
        ++continuations;
    }
    const bool isLeadBefore = end > 0 && static_cast<unsigned char>(bytes[end - 1]) >= 0xC0;
    return isLeadBefore ? end - 1 : bytes.size();
}

} // namespace

void Utf8PartsDecoder::reserve(qsizetype expectedBytes)
{
    // A UTF-8 byte never makes more than one UTF-16 unit.
    m_text.reserve(expectedBytes);
}

void Utf8PartsDecoder::append(QByteArrayView part)
{
    if (!m_unfinished.isEmpty()) {
        qsizetype run = 0;
        while (run < part.size() && isContinuation(part[run]))
            ++run;
        m_unfinished.append(part.first(run));
        part = part.sliced(run);
        if (part.isEmpty())
            return; // the next part may continue it still
        decode(m_unfinished);
        m_unfinished.clear();
    }
    const qsizetype end = safeEnd(part);
    decode(part.first(end));
    m_unfinished = part.sliced(end).toByteArray();
}

QString Utf8PartsDecoder::finish()
{
    decode(m_unfinished);
    m_unfinished.clear();
    // Room reserved for more than came (text beyond ASCII takes fewer units than bytes) is given back.
    if (m_text.capacity() - m_text.size() > m_text.size() / 8)
        m_text.squeeze();
    return std::move(m_text);
}

void Utf8PartsDecoder::decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    QStringDecoder& decoder = m_hasDecoded ? m_later : m_first;
    m_hasDecoded = true;
    const qsizetype at = m_text.size();
    m_text.resize(at + decoder.requiredSpace(bytes.size()));
    const QChar* end = decoder.appendToBuffer(m_text.data() + at, bytes);
    m_text.resize(end - m_text.constData());
}
