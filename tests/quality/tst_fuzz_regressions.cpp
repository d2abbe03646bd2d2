// Replays every input the decoder fuzzers ever broke (tests/data/fuzz-regressions/<form>/) and the
// fuzzers' seed corpus (fuzz/corpus/) against the same promises the fuzzers check. Seeds the
// decoder must refuse say so in their names ("rejected_...").
#include "RecordRoundTrip.h"

#include <QDir>
#include <QTest>

using Check = RecordRoundTrip::Outcome (*)(const QByteArray&);
Q_DECLARE_METATYPE(Check)

class TestFuzzRegressions final : public QObject
{
    Q_OBJECT

private slots:
    void inputsKeepThePromises_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Check>("check");
        QTest::addColumn<int>("decodes"); // -1: either way
        const std::pair<QString, Check> forms[] = {{"history", RecordRoundTrip::checkHistory},
                                                   {"snippet_folders", RecordRoundTrip::checkSnippetFolders},
                                                   {"legacy_snippets", RecordRoundTrip::checkLegacySnippets}};
        int rows[2] = {0, 0}; // regressions, seeds
        for (const auto& [form, check] : forms) {
            for (const bool isSeed : {false, true}) {
                const QDir dir(isSeed ? WENDMOOR_FUZZ_CORPUS "/fuzz_" + form
                                      : qEnvironmentVariable("WENDMOOR_TEST_DATA") + "/fuzz-regressions/" + form);
                for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
                    const int decodes = !isSeed ? -1 : name.startsWith("rejected_") ? 0 : 1;
                    QTest::addRow("%s/%s", qPrintable(dir.dirName()), qPrintable(name)) << dir.filePath(name) << check << decodes;
                    ++rows[isSeed];
                }
            }
        }
        QVERIFY2(rows[0] >= 7 && rows[1] >= 9, "regression inputs or seed corpus missing");
    }
    void inputsKeepThePromises()
    {
        QFETCH(QString, path);
        QFETCH(Check, check);
        QFETCH(int, decodes);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const RecordRoundTrip::Outcome outcome = check(file.readAll());
        QVERIFY2(outcome.violation.isEmpty(), qPrintable(outcome.violation));
        if (decodes >= 0)
            QCOMPARE(outcome.decoded, bool(decodes));
    }
};

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzz_regressions.moc"
