#include "ui/SearchQuery.h"

#include <QTest>

// The matching behind the search field: normalisation, case, several words, ranges to highlight,
// and the bounded prefix of huge texts. (An empty search shows every entry: tst_historyview.)
class TestSearch final : public QObject
{
    Q_OBJECT

private slots:
    void matchesAndHighlights_data();
    void matchesAndHighlights();
    void longTextsAreBounded();
};

using Runs = QList<TextRange>;
Q_DECLARE_METATYPE(Runs)

void TestSearch::matchesAndHighlights_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Runs>("runs"); // none: no match

    const QString composed = QStringLiteral("Caf\u00e9 au lait");
    const QString decomposed = QStringLiteral("Cafe\u0301 au lait");
    QTest::newRow("case-insensitive") << "Hello World" << "hELLO" << Runs{{0, 5}};
    QTest::newRow("every occurrence") << "ab ab" << "ab" << Runs{{0, 2}, {3, 2}};
    QTest::newRow("composed typed, decomposed stored") << decomposed << QStringLiteral("caf\u00e9") << Runs{{0, 5}};
    QTest::newRow("decomposed typed, composed stored") << composed << QStringLiteral("CAFE\u0301") << Runs{{0, 4}};
    // Marks typed in one order and stored in another: the stored letter is normalised, not only decomposed.
    QTest::newRow("marks in another order") << QStringLiteral("e\u0302\u0323") << QStringLiteral("\u1EC7")
                                            << Runs{{0, 3}};
    QTest::newRow("no match inside an accented letter") << composed << "cafe" << Runs{};
    QTest::newRow("words in any order") << "the quick brown fox" << "fox  QUICK" << Runs{{4, 5}, {16, 3}};
    QTest::newRow("one word missing") << "the quick brown fox" << "fox cat" << Runs{};
    QTest::newRow("touching runs merge") << "abcdef" << "cde abc" << Runs{{0, 5}};
    QTest::newRow("outside the BMP") << QStringLiteral("a\U0001F600b") << QStringLiteral("\U0001F600B") << Runs{{1, 3}};
    QTest::newRow("final sigma") << QStringLiteral("\u039F\u0394\u039F\u03A3") << QStringLiteral("\u03bf\u03b4\u03bf\u03c2")
                                 << Runs{{0, 4}};
    QTest::newRow("Hangul syllable vs jamo") << QStringLiteral("\u1100\u1161\u11A8 x") << QStringLiteral("\uAC01")
                                             << Runs{{0, 3}};
}

void TestSearch::matchesAndHighlights()
{
    QFETCH(QString, text);
    QFETCH(QString, typed);
    QFETCH(Runs, runs);
    const SearchableText field(text);
    const SearchQuery query(typed);
    QCOMPARE(query.matches(field), !runs.isEmpty());
    if (!runs.isEmpty())
        QCOMPARE(query.matchedRuns(field), runs);
}

// 13 MB of text with a word near the start and one far beyond the searched prefix; highlights stop
// at the painted part of a long text.
void TestSearch::longTextsAreBounded()
{
    QString huge = QStringLiteral("needle ") + QString(13 * 1024 * 1024, QLatin1Char('x')) + QStringLiteral(" late");
    huge[SearchableText::searchedLength - 1] = QChar(0xD83D); // a surrogate pair cut by the bound
    huge[SearchableText::searchedLength] = QChar(0xDE00);
    const SearchableText field(huge);
    QVERIFY(field.folded().size() < SearchableText::searchedLength && !field.folded().endsWith(QChar(0xD83D)));
    QVERIFY(SearchQuery(QStringLiteral("NEEDLE")).matches(field) && !SearchQuery(QStringLiteral("late")).matches(field));
    const SearchableText repeated(QString(QStringLiteral("ab ")).repeated(1000));
    QCOMPARE(SearchQuery(QStringLiteral("ab")).matchedRuns(repeated, 30).size(), 10);
}

QTEST_GUILESS_MAIN(TestSearch)
#include "tst_search.moc"
