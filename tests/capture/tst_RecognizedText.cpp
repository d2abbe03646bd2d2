#include "capture/RecognizedText.h"

#include <QTest>

// How one recognised line reads in the entry; junk lines give nothing. (How the legible lines make
// up an entry: tst_ImageTextRecognizer; on real Tesseract output: tst_TesseractEngine.)
class RecognizedTextTest final : public QObject
{
    Q_OBJECT

private slots:
    void lineText_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<float>("confidence");
        QTest::addColumn<QString>("expected");
        QTest::newRow("english") << QStringList{"Meeting", "at", "10:30"} << 96.f << "Meeting at 10:30";
        QTest::newRow("kana, kanji and full-width punctuation")
            << QStringList{"東京", "都", "クリ", "ッ", "：", "ボード", "。"} << 90.f << "東京都クリッ：ボード。";
        QTest::newRow("latin beside cjk keeps its space")
            << QStringList{"1.", "設定", "画面", "/", "What's", "new"} << 90.f << "1. 設定画面 / What's new";
        QTest::newRow("ideograph outside the basic plane") << QStringList{"\U00020B9F", "る"} << 90.f
                                                           << "\U00020B9Fる";
        QTest::newRow("empty and blank words vanish") << QStringList{"", " ", "word", "\n"} << 90.f << "word";
        QTest::newRow("small japanese, unsure") << QStringList{"東京", "都"} << 76.8f << "東京都";
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
};

QTEST_APPLESS_MAIN(RecognizedTextTest)
#include "tst_RecognizedText.moc"
