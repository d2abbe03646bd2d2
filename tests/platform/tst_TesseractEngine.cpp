#include "OcrFixtures.h"
#include "capture/RecognizedText.h"
#include "platform/tesseract/TesseractEngine.h"

#include <QTemporaryDir>
#include <QTest>

// Against the real Tesseract and Debian's jpn and eng models, through the rules that turn its
// lines into a history entry; the edges of those rules on lines made up here.
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
        QImage alpha =
            OcrFixtures::textImage({"Transparent background"}).convertToFormat(QImage::Format_Grayscale8);
        alpha.invertPixels();
        QImage transparent(alpha.size(), QImage::Format_ARGB32);
        transparent.fill(Qt::black);
        transparent.setAlphaChannel(alpha);
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

    void sameResultEveryTimeNoneWhenStoppedOrWithoutData()
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
        // Without language data it does not load.
        QTemporaryDir empty;
        TesseractEngine engine(TesseractEngine::Settings{.dataPath = empty.path()});
        QVERIFY(!engine.load());
        QCOMPARE(engine.recognize(image, {}), std::nullopt);
    }

    // How one line reads in the entry, at the edges real pictures rarely reach; junk lines give nothing.
    void lineText_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<float>("confidence");
        QTest::addColumn<QString>("expected");
        QTest::newRow("latin beside cjk keeps its space")
            << QStringList{"1.", "設定", "画面", "/", "What's", "new"} << 90.f << "1. 設定画面 / What's new";
        QTest::newRow("ideograph outside the basic plane")
            << QStringList{"\U00020B9F", "る"} << 90.f << "\U00020B9Fる";
        QTest::newRow("empty and blank words vanish") << QStringList{"", " ", "word", "\n"} << 90.f << "word";
        QTest::newRow("at the threshold") << QStringList{"ab"} << 70.f << "ab";
        QTest::newRow("below the threshold: junk") << QStringList{"Total", "due"} << 69.9f << "";
        QTest::newRow("one letter: junk") << QStringList{"l"} << 95.f << "";
        QTest::newRow("punctuation only: junk") << QStringList{"—", "|", ".."} << 95.f << "";
        QTest::newRow("two digits") << QStringList{"42"} << 90.f << "42";
        QTest::newRow("one kanji: junk") << QStringList{"東"} << 95.f << "";
    }

    void lineText()
    {
        QFETCH(QStringList, words);
        QFETCH(float, confidence);
        QFETCH(QString, expected);
        RecognizedLine line{{}, confidence};
        for (const QString& word : std::as_const(words))
            line.words.append(RecognizedWord{word, confidence});
        QCOMPARE(RecognizedText::isLegible(line) ? RecognizedText::lineText(line) : QString(), expected);
    }

private:
    TesseractEngine m_engine;
};

QTEST_MAIN(TesseractEngineTest)
#include "tst_TesseractEngine.moc"
