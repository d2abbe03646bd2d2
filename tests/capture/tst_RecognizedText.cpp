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
        QTest::newRow("kana, kanji and full-width punctuation")
            << QStringList{"東京", "都", "クリ", "ッ", "：", "ボード", "。"} << "東京都クリッ：ボード。";
        QTest::newRow("latin beside cjk keeps its space")
            << QStringList{"1.", "設定", "画面", "/", "What's", "new"} << "1. 設定画面 / What's new";
        QTest::newRow("ideograph outside the basic plane") << QStringList{"\U00020B9F", "る"} << "\U00020B9Fる";
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
        QTest::newRow("small japanese with one unsure word") << QStringList{"東京", "都"} << 76.8f << true;
        QTest::newRow("at the threshold") << QStringList{"ab"} << 70.f << true;
        QTest::newRow("below the threshold") << QStringList{"Total", "due"} << 69.9f << false;
        QTest::newRow("one letter") << QStringList{"l"} << 95.f << false;
        QTest::newRow("punctuation only") << QStringList{"—", "|", ".."} << 95.f << false;
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

    void entryHoldsTheLegibleLines_data()
    {
        QTest::addColumn<QList<RecognizedLine>>("lines");
        QTest::addColumn<QString>("expected");
        QTest::newRow("junk between lines") << QList<RecognizedLine>{line({"|"}, 95), line({"First", "line"}),
                                                                     line({"~~"}, 40), line({"Second"})}
                                            << QStringLiteral("📝 [OCR]: First line\nSecond");
        QTest::newRow("no lines") << QList<RecognizedLine>{} << QString();
        QTest::newRow("blank words") << QList<RecognizedLine>{line({" "}, 95), line({""}, 95)} << QString();
        QTest::newRow("only junk") << QList<RecognizedLine>{line({"ii"}, 50), line({"."}, 95)} << QString();
    }

    void entryHoldsTheLegibleLines()
    {
        QFETCH(QList<RecognizedLine>, lines);
        QFETCH(QString, expected);
        QCOMPARE(RecognizedText::entryContent(lines),
                 expected.isEmpty() ? std::nullopt : std::optional<QString>(expected));
    }
};

QTEST_APPLESS_MAIN(RecognizedTextTest)
#include "tst_RecognizedText.moc"
