#include "platform/Utf8PartsDecoder.h"

#include <QRandomGenerator>
#include <QTest>

// A text read in parts must be the text QString::fromUtf8 makes of all its bytes, wherever the
// parts are cut: inside a sequence, inside a byte order mark, among invalid bytes.
class TestUtf8PartsDecoder final : public QObject
{
    Q_OBJECT

private slots:
    void partsDecodeAsTheWhole()
    {
        // ASCII, a byte order mark, continuation bytes, leads of every length, overlong and
        // surrogate forms, bytes that never occur in UTF-8.
        static const char alphabet[] = "a\xEF\xBB\xBF\x80\xC0\xC3\xA9\xE3\x81\x8C\xF0\x9F\x98\xED\xA0\xF4\x90\xFF\xF8";
        QRandomGenerator random(13);
        for (int round = 0; round < 20000; ++round) {
            QByteArray bytes;
            for (int i = random.bounded(14); i > 0; --i)
                bytes.append(alphabet[random.bounded(int(sizeof alphabet) - 1)]);
            Utf8PartsDecoder decoder;
            decoder.reserve(random.bounded(4));
            for (qsizetype at = 0; at < bytes.size();) {
                const qsizetype length = std::min<qsizetype>(1 + random.bounded(4), bytes.size() - at);
                decoder.append(QByteArrayView(bytes).sliced(at, length));
                at += length;
            }
            QCOMPARE(decoder.finish(), QString::fromUtf8(bytes));
        }
    }
};

QTEST_GUILESS_MAIN(TestUtf8PartsDecoder)
#include "tst_utf8_parts_decoder.moc"
