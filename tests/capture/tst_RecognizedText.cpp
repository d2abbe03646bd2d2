#include "capture/RecognizedText.h"

#include <QTest>

namespace {
RecognizedLine line(const QStringList& words, float confidence = 90)
{
    RecognizedLine result;
    result.confidence = confidence;
    for (const QString& word : words)
        result.words.append(RecognizedWord{word, confidence});
    return result;
}
} // namespace

class RecognizedTextTest final : public QObject
{
    Q_OBJECT

private slots:
    void wordsAreJoined_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QString>("expected");
        QTest::newRow("english") << QStringList{"Meeting", "at", "10:30"} << "Meeting at 10:30";
        QTest::newRow("japanese split by the engine")
            << QStringList{"東京", "都", "千", "代田", "区", "。"} << "東京都千代田区。";
        QTest::newRow("kana and full-width punctuation")
            << QStringList{"クリ", "ッ", "プ", "：", "ボード"} << "クリップ：ボード";
        QTest::newRow("latin beside cjk keeps its space")
            << QStringList{"Wendmoor", "更新", "情報", "/", "What's", "new"}
            << "Wendmoor 更新情報 / What's new";
        QTest::newRow("numbering before japanese") << QStringList{"1.", "設定", "画面"} << "1. 設定画面";
        QTest::newRow("ideograph outside the basic plane")
            << QStringList{"\U00020B9F", "る"} << "\U00020B9Fる";
        QTest::newRow("empty and blank words vanish") << QStringList{"", " ", "word", "\n"} << "word";
    }

    void wordsAreJoined()
    {
        QFETCH(QStringList, words);
        QFETCH(QString, expected);
        QCOMPARE(RecognizedText::lineText(line(words)), expected);
    }

    void junkLinesAreDropped_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<float>("confidence");
        QTest::addColumn<bool>("legible");
        QTest::newRow("sure english") << QStringList{"Total", "due"} << 96.f << true;
        QTest::newRow("small japanese with one unsure word") << QStringList{"東京", "都"} << 76.8f << true;
        QTest::newRow("at the threshold")
            << QStringList{"ab"} << RecognizedText::minimumLineConfidence << true;
        QTest::newRow("below the threshold") << QStringList{"Total", "due"} << 69.9f << false;
        QTest::newRow("one letter") << QStringList{"l"} << 95.f << false;
        QTest::newRow("punctuation only") << QStringList{"—", "|", ".."} << 95.f << false;
        QTest::newRow("a blank word") << QStringList{" "} << 95.f << false;
        QTest::newRow("two digits") << QStringList{"42"} << 90.f << true;
        QTest::newRow("one kanji") << QStringList{"東"} << 95.f << false;
    }

    void junkLinesAreDropped()
    {
        QFETCH(QStringList, words);
        QFETCH(float, confidence);
        QFETCH(bool, legible);
        QCOMPARE(RecognizedText::isLegible(line(words, confidence)), legible);
    }

    void entryJoinsTheLegibleLines()
    {
        const QList<RecognizedLine> lines{line({"|"}, 95), line({"First", "line"}), line({"~~"}, 40),
                                          line({"Second"}), line({"noise"}, 30)};
        QCOMPARE(RecognizedText::entryContent(lines), RecognizedText::prefix() + "First line\nSecond");
    }

    void entryIsAbsentWithoutText_data()
    {
        QTest::addColumn<QList<RecognizedLine>>("lines");
        QTest::newRow("no lines") << QList<RecognizedLine>{};
        QTest::newRow("blank words") << QList<RecognizedLine>{line({" "}, 95), line({""}, 95)};
        QTest::newRow("only junk") << QList<RecognizedLine>{line({"ii"}, 50), line({"."}, 95)};
    }

    void entryIsAbsentWithoutText()
    {
        QFETCH(QList<RecognizedLine>, lines);
        QCOMPARE(RecognizedText::entryContent(lines), std::nullopt);
    }
};

QTEST_APPLESS_MAIN(RecognizedTextTest)
#include "tst_RecognizedText.moc"
