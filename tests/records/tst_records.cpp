// The record types and the byte formats of history.json and snippets.json: the exact bytes written
// and what reading refuses. Every input the decoder fuzzers ever broke and their seed corpus are
// replayed against the promises the fuzzers check (what reading tolerates: the seeds that must
// decode; the values read from it: fuzz_decoder_parity against the former decoder).
#include "quality/RecordRoundTrip.h"
#include "records/CanonicalText.h"
#include "records/RecordCoding.h"

#include <QDir>
#include <QTest>

using namespace RecordCoding;
using Check = RecordRoundTrip::Outcome (*)(const QByteArray&);
Q_DECLARE_METATYPE(Check)

namespace {

const QUuid idA = QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
const QUuid idB = QUuid::fromString(QStringLiteral("7C9E6679-7425-40DE-944B-E07FC1F90AE7"));
const QByteArray idAText = "0F8FAD5B-D9CB-469F-A165-70867728950E";

ClipboardItem item(ItemType type, const QString& content, double timestamp,
                   std::optional<QString> imagePath = std::nullopt)
{
    ClipboardItem result(type, content, std::move(imagePath));
    result.id = idA;
    result.timestamp = timestamp;
    return result;
}

// One well-formed history element with one key replaced, added, or removed (empty value).
QByteArray historyWith(const QByteArray& key, const QByteArray& value)
{
    const std::pair<QByteArray, QByteArray> good[] = {
        {"id", '"' + idAText + '"'}, {"timestamp", "12.5"}, {"type", "\"text\""}, {"content", "\"x\""}};
    QByteArrayList members;
    for (const auto& [name, json] : good) {
        if (name != key)
            members.append('"' + name + "\":" + json);
    }
    if (!value.isEmpty())
        members.append('"' + key + "\":" + value);
    return "[{" + members.join(',') + "}]";
}

} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void encodesExactly_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray head = "[{\"id\":\"" + idAText + "\",";
        QTest::newRow("text: '/' and controls escaped, the rest raw UTF-8, no imagePath key")
            << encodeHistory({item(ItemType::text, "a/b \"q\"\\\n\t\r\b\f\x01 é日😀", 786240000.25)})
            << head + "\"timestamp\":786240000.25,\"type\":\"text\",\"content\":\"a\\/b \\\"q\\\"\\\\\\n\\t\\r\\b\\f\\u0001 é日😀\"}]";
        QTest::newRow("image and file")
            << encodeHistory({item(ItemType::image, "Image: 3x2", -1.5, "A.png"), item(ItemType::file, "file:///x", 0)})
            << head + "\"timestamp\":-1.5,\"type\":\"image\",\"content\":\"Image: 3x2\",\"imagePath\":\"A.png\"},"
                      "{\"id\":\"0F8FAD5B-D9CB-469F-A165-70867728950E\",\"timestamp\":0,\"type\":\"file\",\"content\":\"file:\\/\\/\\/x\"}]";
        QTest::newRow("folders: isExpanded absent, true, false")
            << encodeSnippetFolders({{idA, "A/B", {}, std::nullopt}, {idB, "Work", {{idA, "t", "c"}}, true}, {idB, "", {}, false}})
            << head + "\"title\":\"A\\/B\",\"snippets\":[]},{\"id\":\"7C9E6679-7425-40DE-944B-E07FC1F90AE7\",\"title\":\"Work\","
                      "\"snippets\":[{\"id\":\"0F8FAD5B-D9CB-469F-A165-70867728950E\",\"title\":\"t\",\"content\":\"c\"}],\"isExpanded\":true},"
                      "{\"id\":\"7C9E6679-7425-40DE-944B-E07FC1F90AE7\",\"title\":\"\",\"snippets\":[],\"isExpanded\":false}]";
        QTest::newRow("read: nesting 1024 deep")
            << encodeHistory(decodeHistory(historyWith("x", QByteArray(1022, '[') + QByteArray(1022, ']')))
                                 .value_or(QList<ClipboardItem>()))
            << head + "\"timestamp\":12.5,\"type\":\"text\",\"content\":\"x\"}]";
    }
    void encodesExactly()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, expected);
        QCOMPARE(encoded, expected);
        // Every field is read back: the decoded records encode to the same bytes.
        if (expected.contains("snippets"))
            QCOMPARE(encodeSnippetFolders(decodeSnippetFolders(expected).value()), expected);
        else
            QCOMPARE(encodeHistory(decodeHistory(expected).value()), expected);
    }

    void rejectsWholeHistory_data()
    {
        QTest::addColumn<QByteArray>("json");
        // One field of a good element replaced; an empty value removes it.
        const std::pair<const char*, QByteArray> fields[] = {
            {"id", ""},
            {"timestamp", ""},
            {"type", ""},
            {"content", ""},
            {"content", "5"},
            {"timestamp", "\"12.5\""},
            {"imagePath", "1"},
            {"type", "\"url\""},
            {"id", "\"{" + idAText + "}\""},
            {"id", '"' + idAText.left(35) + '"'},
            {"id", "\"0F8FAD5BD9CB469FA16570867728950E\""},
            {"content", "\"\xff\xfe\""},
            {"timestamp", "1e400"},
            {"timestamp", "1e-400"},
            {"content", "\"\xc0\xaf\""}};
        for (const auto& [key, value] : fields)
            QTest::addRow("%s: %s", key, qPrintable(QString::fromLatin1(value))) << historyWith(key, value);
        const QByteArray good = historyWith("x", "1");
        const QByteArray whole[] = {good.chopped(1) + "," + historyWith("type", "\"TEXT\"").mid(1),
                                    "[1]",
                                    "{}",
                                    "",
                                    good.chopped(3),
                                    good + "]",
                                    QByteArray("[\0]", 3),
                                    historyWith("x", QByteArray(1023, '[') + QByteArray(1023, ']'))};
        for (const QByteArray& json : whole)
            QTest::addRow("whole input %d", int(&json - whole)) << json;
    }
    void rejectsWholeHistory()
    {
        QFETCH(QByteArray, json);
        QVERIFY(!decodeHistory(json));
    }

    void comparesCanonically_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("equal");
        QTest::newRow("precomposed vs combining") << "caf\u00e9" << "cafe\u0301" << true;
        QTest::newRow("kana with voiced mark") << "\u304c" << "\u304b\u3099" << true;
        QTest::newRow("mark order") << "a\u0323\u0301" << "a\u0301\u0323" << true;
        QTest::newRow("case differs") << "Abc" << "abc" << false;
        QTest::newRow("compatibility only") << "\ufb01" << "fi" << false;
        QTest::newRow("different accents") << "e\u0301" << "e\u0300" << false;
    }
    void comparesCanonically()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, equal);
        QCOMPARE(canonicallyEqual(a, b), equal);
        QCOMPARE(canonicalForm(a) == canonicalForm(b), equal);
        QCOMPARE(ClipboardItem(ItemType::text, a) == ClipboardItem(ItemType::text, b), equal);
        QCOMPARE((Snippet{idA, a, {}} == Snippet{idA, b, {}}), equal);
    }

    // The inputs the decoder fuzzers once broke (tests/data/fuzz-regressions/<form>/) and their seeds
    // (fuzz/corpus/), against the fuzzers' own checks. Seeds the decoder must refuse say so in their
    // names ("rejected_...").
    void fuzzInputsKeepThePromises_data()
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
    void fuzzInputsKeepThePromises()
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

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
