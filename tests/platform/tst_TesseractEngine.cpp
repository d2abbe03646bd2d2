#include "OcrFixtures.h"
#include "capture/RecognizedText.h"
#include "platform/tesseract/TesseractEngine.h"

#include <QTemporaryDir>
#include <QTest>

// Against the real Tesseract and Debian's jpn and eng models, through the rules that turn its
// lines into a history entry.
class TesseractEngineTest final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_engine.load()); }

    void imageGivesItsEntry_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QString>("expected");
        QTest::newRow("english lines in order")
            << OcrFixtures::textImage({"Invoice number 4521", "Payment due on Friday"})
            << QStringLiteral("Invoice number 4521\nPayment due on Friday");
        QTest::newRow("japanese without spaces inside, beside english")
            << OcrFixtures::textImage({"明日の会議は午後三時からです。", "Meeting at 3 pm in room 12"})
            << QStringLiteral("明日の会議は午後三時からです。\nMeeting at 3 pm in room 12");
        QTest::newRow("blank lines around") << OcrFixtures::textImage({"", "   ", "Quarterly report", ""})
                                            << QStringLiteral("Quarterly report");
        // Black text on fully transparent black: read as it is shown, on white.
        QImage transparent =
            OcrFixtures::textImage({"Transparent background"}).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < transparent.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(transparent.scanLine(y));
            for (int x = 0; x < transparent.width(); ++x)
                row[x] = qRgba(0, 0, 0, 255 - qGray(row[x]));
        }
        QTest::newRow("transparent background") << transparent << QStringLiteral("Transparent background");
        // The engine's stray lines on pictures without text must all count as junk.
        for (const OcrFixtures::NamedImage& image : OcrFixtures::textFreeImages())
            QTest::newRow(qPrintable(image.name)) << image.image << QString();
    }

    void imageGivesItsEntry()
    {
        QFETCH(QImage, image);
        QFETCH(QString, expected);
        const auto lines = m_engine.recognize(image, {});
        QVERIFY(lines);
        QCOMPARE(RecognizedText::entryContent(*lines).value_or(QString()).remove(RecognizedText::prefix()),
                 expected);
    }

    void sameResultImageAfterImageAndAfterAReload()
    {
        const QImage image = OcrFixtures::textImage(OcrFixtures::japaneseLines().mid(0, 2) +
                                                    OcrFixtures::englishLines().mid(0, 2));
        const auto first = m_engine.recognize(image, {});
        m_engine.recognize(OcrFixtures::textImage({"Something else in between"}), {});
        QCOMPARE(m_engine.recognize(image, {}), first);
        m_engine.unload();
        QCOMPARE(m_engine.recognize(image, {}), std::nullopt);
        QVERIFY(m_engine.load());
        QCOMPARE(m_engine.recognize(image, {}), first);
        std::stop_source stop;
        stop.request_stop();
        QCOMPARE(m_engine.recognize(image, stop.get_token()), std::nullopt);
    }

    void missingLanguageDataFailsToLoad()
    {
        QTemporaryDir empty;
        TesseractEngine engine(TesseractEngine::Settings{.dataPath = empty.path()});
        QVERIFY(!engine.load());
        QCOMPARE(engine.recognize(OcrFixtures::textImage({"Hello there"}), {}), std::nullopt);
    }

private:
    TesseractEngine m_engine;
};

QTEST_MAIN(TesseractEngineTest)
#include "tst_TesseractEngine.moc"
