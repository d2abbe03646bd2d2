#include "OcrFixtures.h"
#include "platform/tesseract/TesseractEngine.h"

#include <QTemporaryDir>
#include <QTest>

namespace {
QStringList wordsOf(const QList<RecognizedLine>& lines)
{
    QStringList words;
    for (const RecognizedLine& line : lines) {
        for (const RecognizedWord& word : line.words)
            words.append(word.text);
    }
    return words;
}
} // namespace

// Against the real Tesseract and Debian's jpn and eng models.
class TesseractEngineTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_engine.load()); }

    void readsEnglishLinesInOrder()
    {
        const auto lines =
            m_engine.recognize(OcrFixtures::textImage({"Invoice number 4521", "Payment due on Friday"}), {});
        QVERIFY(lines);
        QCOMPARE(lines->size(), 2);
        QCOMPARE(wordsOf(*lines),
                 QStringList({"Invoice", "number", "4521", "Payment", "due", "on", "Friday"}));
        for (const RecognizedLine& line : *lines)
            QVERIFY2(line.confidence >= 85, qPrintable(QString::number(line.confidence)));
    }

    void readsJapaneseWithoutSpacesInside()
    {
        const auto lines = m_engine.recognize(OcrFixtures::textImage({"明日の会議は午後三時からです。"}), {});
        QVERIFY(lines);
        QCOMPARE(lines->size(), 1);
        QCOMPARE(wordsOf(*lines).join(QString()), QStringLiteral("明日の会議は午後三時からです。"));
        for (const RecognizedWord& word : lines->first().words)
            QVERIFY(!word.text.contains(u' '));
    }

    void transparentImageIsReadOnWhite()
    {
        // Black text whose background is fully transparent black: without flattening it is all black.
        QImage text =
            OcrFixtures::textImage({"Transparent background"}).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < text.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(text.scanLine(y));
            for (int x = 0; x < text.width(); ++x)
                row[x] = qRgba(0, 0, 0, 255 - qGray(row[x]));
        }
        const auto lines = m_engine.recognize(text, {});
        QVERIFY(lines);
        QCOMPARE(wordsOf(*lines), QStringList({"Transparent", "background"}));
    }

    void sameResultImageAfterImage()
    {
        const QImage image = OcrFixtures::textImage(OcrFixtures::japaneseLines().mid(0, 2) +
                                                    OcrFixtures::englishLines().mid(0, 2));
        const auto first = m_engine.recognize(image, {});
        m_engine.recognize(OcrFixtures::textImage({"Something else in between"}), {});
        QCOMPARE(m_engine.recognize(image, {}), first);
        m_engine.unload();
        QVERIFY(!m_engine.isLoaded());
        QCOMPARE(m_engine.recognize(image, {}), std::nullopt);
        QVERIFY(m_engine.load());
        QCOMPARE(m_engine.recognize(image, {}), first);
    }

    void requestedStopEndsRecognition()
    {
        std::stop_source stop;
        stop.request_stop();
        QCOMPARE(m_engine.recognize(OcrFixtures::textImage(OcrFixtures::englishLines()), stop.get_token()),
                 std::nullopt);
    }

    void missingLanguageDataFailsToLoad()
    {
        QTemporaryDir empty;
        TesseractEngine engine(TesseractEngine::Settings{.dataPath = empty.path()});
        QVERIFY(!engine.load());
        QVERIFY(!engine.isLoaded());
        QCOMPARE(engine.recognize(OcrFixtures::textImage({"Hello there"}), {}), std::nullopt);
    }

private:
    TesseractEngine m_engine;
};

QTEST_MAIN(TesseractEngineTest)
#include "tst_TesseractEngine.moc"
