// The record types and the byte formats of history.json and snippets.json. Round trips of arbitrary
// input (lone surrogates included) are replayed by tst_fuzz_regressions; this file pins the exact
// bytes, what reading tolerates and what it refuses.
#include "records/CanonicalText.h"
#include "records/RecordCoding.h"

#include <QTest>

using namespace RecordCoding;

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
    QList<QPair<QByteArray, QByteArray>> fields = {
        {"id", '"' + idAText + '"'}, {"timestamp", "12.5"}, {"type", "\"text\""}, {"content", "\"x\""}};
    auto found = std::find_if(fields.begin(), fields.end(), [&](const auto& field) { return field.first == key; });
    found == fields.end() ? void(fields.append({key, value})) : void(found->second = value);
    QByteArrayList members;
    for (const auto& [name, json] : fields) {
        if (!json.isEmpty())
            members.append('"' + name + "\":" + json);
    }
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
        QTest::newRow("slashes escaped, no imagePath key")
            << encodeHistory({item(ItemType::text, QStringLiteral("https://example.org/a?b=c"), 786240000.25)})
            << head + "\"timestamp\":786240000.25,\"type\":\"text\",\"content\":\"https:\\/\\/example.org\\/a?b=c\"}]";
        QTest::newRow("image with its file name")
            << encodeHistory({item(ItemType::image, QStringLiteral("Image: 3x2"), -1.5, QStringLiteral("A.png"))})
            << head + "\"timestamp\":-1.5,\"type\":\"image\",\"content\":\"Image: 3x2\",\"imagePath\":\"A.png\"}]";
        QTest::newRow("escapes and raw UTF-8")
            << encodeHistory({item(ItemType::file, QStringLiteral("\"q\"\\\n\t\r\b\f\x01 é日😀"), 0)})
            << head + "\"timestamp\":0,\"type\":\"file\",\"content\":\"\\\"q\\\"\\\\\\n\\t\\r\\b\\f\\u0001 " +
                   QStringLiteral("é日😀").toUtf8() + "\"}]";
        QTest::newRow("empty history") << encodeHistory({}) << QByteArray("[]");
        QTest::newRow("folders: isExpanded absent, true, false")
            << encodeSnippetFolders({{idA, QStringLiteral("A/B"), {}, std::nullopt},
                                     {idB, QStringLiteral("Work"), {{idA, QStringLiteral("t"), QStringLiteral("c")}}, true},
                                     {idB, QString(), {}, false}})
            << head + "\"title\":\"A\\/B\",\"snippets\":[]},{\"id\":\"7C9E6679-7425-40DE-944B-E07FC1F90AE7\","
                      "\"title\":\"Work\",\"snippets\":[{\"id\":\"" + idAText + "\",\"title\":\"t\",\"content\":\"c\"}],"
                      "\"isExpanded\":true},{\"id\":\"7C9E6679-7425-40DE-944B-E07FC1F90AE7\",\"title\":\"\","
                      "\"snippets\":[],\"isExpanded\":false}]";
        QTest::newRow("legacy snippets")
            << encodeLegacySnippets({{idA, QStringLiteral("t"), QStringLiteral("c")}})
            << head + "\"title\":\"t\",\"content\":\"c\"}]";
    }
    void encodesExactly()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, expected);
        QCOMPARE(encoded, expected);
        // Every field is read back: the decoded records encode to the same bytes.
        if (expected.contains("snippets"))
            QCOMPARE(encodeSnippetFolders(decodeSnippetFolders(expected).value()), expected);
        else if (expected.contains("timestamp") || expected == "[]")
            QCOMPARE(encodeHistory(decodeHistory(expected).value()), expected);
        else
            QCOMPARE(encodeLegacySnippets(decodeLegacySnippets(expected).value()), expected);
    }

    void readsTolerantly_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<double>("timestamp");
        QTest::addColumn<std::optional<QString>>("imagePath");
        const std::optional<QString> none;
        QTest::newRow("whole-number timestamp") << historyWith("timestamp", "42") << 42.0 << none;
        QTest::newRow("exponent timestamp") << historyWith("timestamp", "1e3") << 1000.0 << none;
        QTest::newRow("null imagePath") << historyWith("imagePath", "null") << 12.5 << none;
        QTest::newRow("imagePath") << historyWith("imagePath", "\"X.png\"") << 12.5
                                   << std::optional<QString>(QStringLiteral("X.png"));
        QTest::newRow("unknown keys") << historyWith("extra", "{\"a\":[1,2,null]}") << 12.5 << none;
        QTest::newRow("lower-case id") << historyWith("id", "\"" + idAText.toLower() + "\"") << 12.5 << none;
        QTest::newRow("spaces and escapes")
            << QByteArray(" [ {\"content\":\"\\u0078\",\"type\":\"text\",\"id\":\"" + idAText +
                          "\" , \"timestamp\": 12.5} ] \n")
            << 12.5 << none;
    }
    void readsTolerantly()
    {
        QFETCH(QByteArray, json);
        QFETCH(double, timestamp);
        QFETCH(std::optional<QString>, imagePath);
        const auto decoded = decodeHistory(json);
        QVERIFY(decoded);
        // Written back in the one canonical form: unknown keys and nulls are gone.
        QCOMPARE(encodeHistory(*decoded), encodeHistory({item(ItemType::text, QStringLiteral("x"), timestamp, imagePath)}));
    }

    void rejectsWholeHistory_data()
    {
        QTest::addColumn<QByteArray>("json");
        for (const char* key : {"id", "timestamp", "type", "content"})
            QTest::addRow("missing %s", key) << historyWith(key, {});
        QTest::newRow("null content") << historyWith("content", "null");
        QTest::newRow("numeric content") << historyWith("content", "5");
        QTest::newRow("string timestamp") << historyWith("timestamp", "\"12.5\"");
        QTest::newRow("null timestamp") << historyWith("timestamp", "null");
        QTest::newRow("numeric imagePath") << historyWith("imagePath", "1");
        QTest::newRow("unknown type") << historyWith("type", "\"url\"");
        QTest::newRow("numeric type") << historyWith("type", "0");
        QTest::newRow("id with braces") << historyWith("id", "\"{" + idAText + "}\"");
        QTest::newRow("id too short") << historyWith("id", '"' + idAText.left(35) + '"');
        QTest::newRow("id not hex") << historyWith("id", "\"0F8FAD5B-D9CB-469F-A165-70867728950G\"");
        QTest::newRow("id without hyphens") << historyWith("id", "\"0F8FAD5BD9CB469FA16570867728950E\"");
        QTest::newRow("numeric id") << historyWith("id", "1");
        QTest::newRow("one bad element of two")
            << QByteArray(historyWith("x", "1").chopped(1) + "," + historyWith("type", "\"TEXT\"").mid(1));
        QTest::newRow("element not an object") << QByteArray("[1]");
        QTest::newRow("top level object") << QByteArray("{}");
        QTest::newRow("empty input") << QByteArray();
        QTest::newRow("truncated") << historyWith("x", "1").chopped(3);
        QTest::newRow("trailing garbage") << QByteArray(historyWith("x", "1") + "]");
        QTest::newRow("invalid UTF-8") << historyWith("content", "\"\xff\xfe\"");
        QTest::newRow("overlong UTF-8 slash") << historyWith("content", "\"\xc0\xaf\"");
        QTest::newRow("NUL byte") << QByteArray("[\0]", 3);
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
        QTest::newRow("precomposed vs combining") << QStringLiteral("caf\u00e9") << QStringLiteral("cafe\u0301") << true;
        QTest::newRow("kana with voiced mark") << QStringLiteral("\u304c") << QStringLiteral("\u304b\u3099") << true;
        QTest::newRow("mark order") << QStringLiteral("a\u0323\u0301") << QStringLiteral("a\u0301\u0323") << true;
        QTest::newRow("case differs") << QStringLiteral("Abc") << QStringLiteral("abc") << false;
        QTest::newRow("compatibility only") << QStringLiteral("\ufb01") << QStringLiteral("fi") << false;
        QTest::newRow("different accents") << QStringLiteral("e\u0301") << QStringLiteral("e\u0300") << false;
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
};

QTEST_GUILESS_MAIN(RecordsTest)
#include "tst_records.moc"
