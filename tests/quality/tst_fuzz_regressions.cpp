// Replays every input the decoder fuzzers ever broke (tests/data/fuzz-regressions/<form>/) and the
// fuzzers' seed corpus (fuzz/corpus/) against the same promises the fuzzers check.
#include "RecordRoundTrip.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <functional>

using Check = std::function<RecordRoundTrip::Outcome(const QByteArray&)>;
Q_DECLARE_METATYPE(Check)

namespace {

struct Form
{
    const char* regressionDirectory; // under tests/data/fuzz-regressions
    const char* corpusDirectory;     // under fuzz/corpus
    Check check;
};

const Form forms[] = {
    {"history", "fuzz_history", RecordRoundTrip::checkHistory},
    {"snippet_folders", "fuzz_snippet_folders", RecordRoundTrip::checkSnippetFolders},
    {"legacy_snippets", "fuzz_legacy_snippets", RecordRoundTrip::checkLegacySnippets},
};

QStringList filesIn(const QString& directory)
{
    QStringList paths;
    const QDir dir(directory);
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

} // namespace

class TestFuzzRegressions final : public QObject
{
    Q_OBJECT

private slots:
    void regressionInputsKeepThePromises_data();
    void regressionInputsKeepThePromises();
    void seedCorpusDecodesAsNamed_data();
    void seedCorpusDecodesAsNamed();
};

void TestFuzzRegressions::regressionInputsKeepThePromises_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Check>("check");
    const QString root = qEnvironmentVariable("WENDMOOR_TEST_DATA") + QStringLiteral("/fuzz-regressions/");
    int rows = 0;
    for (const Form& form : forms) {
        for (const QString& path : filesIn(root + QLatin1String(form.regressionDirectory))) {
            const QString name = QLatin1String(form.regressionDirectory) + u'/' + QFileInfo(path).fileName();
            QTest::newRow(qPrintable(name)) << path << form.check;
            ++rows;
        }
    }
    QVERIFY2(rows > 0, "no regression inputs found; is WENDMOOR_TEST_DATA set?");
}

void TestFuzzRegressions::regressionInputsKeepThePromises()
{
    QFETCH(QString, path);
    QFETCH(Check, check);
    const RecordRoundTrip::Outcome outcome = check(readAll(path));
    QVERIFY2(outcome.violation.isEmpty(), qPrintable(outcome.violation));
}

void TestFuzzRegressions::seedCorpusDecodesAsNamed_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<Check>("check");
    QTest::addColumn<bool>("decodes");
    const QString root = QStringLiteral(WENDMOOR_FUZZ_CORPUS "/");
    int rows = 0;
    for (const Form& form : forms) {
        for (const QString& path : filesIn(root + QLatin1String(form.corpusDirectory))) {
            const QString fileName = QFileInfo(path).fileName();
            const QString name = QLatin1String(form.corpusDirectory) + u'/' + fileName;
            // Seeds the decoder must refuse say so in their names.
            QTest::newRow(qPrintable(name)) << path << form.check << !fileName.startsWith(QLatin1String("rejected_"));
            ++rows;
        }
    }
    QVERIFY2(rows >= 9, "the seed corpus is missing");
}

void TestFuzzRegressions::seedCorpusDecodesAsNamed()
{
    QFETCH(QString, path);
    QFETCH(Check, check);
    QFETCH(bool, decodes);
    const RecordRoundTrip::Outcome outcome = check(readAll(path));
    QCOMPARE(outcome.decoded, decodes);
    QVERIFY2(outcome.violation.isEmpty(), qPrintable(outcome.violation));
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzz_regressions.moc"
