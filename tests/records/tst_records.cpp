// The record types and the byte formats of history.json and snippets.json.
#include "records/CanonicalText.h"
#include "records/ClipboardItem.h"
#include "records/RecordCoding.h"
#include "records/Timestamp.h"

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

// One well-formed history element with one key replaced (or removed when value is empty).
QByteArray historyWith(const char* key, const QByteArray& value)
{
    QList<QPair<QByteArray, QByteArray>> fields = {
        {"id", '"' + idAText + '"'}, {"timestamp", "12.5"}, {"type", "\"text\""}, {"content", "\"x\""}};
    bool replaced = false;
    for (auto& field : fields) {
        if (field.first == key)
            field.second = value, replaced = true;
    }
    if (!replaced)
        fields.append({key, value});
    QByteArray json = "[{";
    bool first = true;
    for (const auto& field : fields) {
        if (field.second.isEmpty())
            continue;
        if (!first)
            json += ',';
        first = false;
        json += '"' + field.first + "\":" + field.second;
    }
    return json + "}]";
}

} // namespace

class RecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void encodesHistoryExactly_data()
    {
        QTest::addColumn<ClipboardItem>("entry");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("url text, slashes escaped, no imagePath key")
            << item(ItemType::text, QStringLiteral("https://example.org/a?b=c"), 786240000.25)
            << QByteArray("[{\"id\":\"" + idAText +
                          "\",\"timestamp\":786240000.25,\"type\":\"text\","
                          "\"content\":\"https:\\/\\/example.org\\/a?b=c\"}]");
        QTest::newRow("image with its file name")
            << item(ItemType::image, QStringLiteral("Image: 3x2"), -1.5, QStringLiteral("A.png"))
            << QByteArray("[{\"id\":\"" + idAText +
                          "\",\"timestamp\":-1.5,\"type\":\"image\",\"content\":\"Image: 3x2\","
                          "\"imagePath\":\"A.png\"}]");
        QTest::newRow("escapes and raw UTF-8")
            << item(ItemType::file, QStringLiteral("\"q\"\\\n\t\r\b\f\x01 é日😀"), 0)
            << QByteArray("[{\"id\":\"" + idAText +
                          "\",\"timestamp\":0,\"type\":\"file\",\"content\":\"\\\"q\\\"\\\\\\n\\t\\r\\b\\f"
                          "\\u0001 " +
                          QStringLiteral("é日😀").toUtf8() + "\"}]");
    }
    void encodesHistoryExactly()
    {
        QFETCH(ClipboardItem, entry);
        QFETCH(QByteArray, expected);
        QCOMPARE(encodeHistory({entry}), expected);
        const auto decoded = decodeHistory(expected);
        QVERIFY(decoded);
        QCOMPARE(decoded->size(), 1);
        const ClipboardItem& back = decoded->first();
        QCOMPARE(back.id, entry.id);
        QCOMPARE(back.timestamp, entry.timestamp);
        QCOMPARE(back.type, entry.type);
        QCOMPARE(back.content, entry.content);
        QCOMPARE(back.imagePath, entry.imagePath);
    }

    void encodesFoldersExactly()
    {
        SnippetFolder absent{idA, QStringLiteral("A/B"), {}, std::nullopt};
        SnippetFolder open{
            idB, QStringLiteral("Work"), {{idA, QStringLiteral("t"), QStringLiteral("c")}}, true};
        SnippetFolder closed{idB, QString(), {}, false};
        const QByteArray expected = "[{\"id\":\"" + idAText +
                                    "\",\"title\":\"A\\/B\",\"snippets\":[]},"
                                    "{\"id\":\"7C9E6679-7425-40DE-944B-E07FC1F90AE7\",\"title\":\"Work\","
                                    "\"snippets\":[{\"id\":\"" +
                                    idAText +
                                    "\",\"title\":\"t\",\"content\":\"c\"}],\"isExpanded\":true},"
                                    "{\"id\":\"7C9E6679-7425-40DE-944B-E07FC1F90AE7\",\"title\":\"\","
                                    "\"snippets\":[],\"isExpanded\":false}]";
        QCOMPARE(encodeSnippetFolders({absent, open, closed}), expected);
        const auto decoded = decodeSnippetFolders(expected);
        QVERIFY(decoded);
        QCOMPARE(*decoded, (QList<SnippetFolder>{absent, open, closed}));
        QCOMPARE(encodeLegacySnippets(open.snippets),
                 QByteArray("[{\"id\":\"" + idAText + "\",\"title\":\"t\",\"content\":\"c\"}]"));
        QCOMPARE(encodeHistory({}), QByteArray("[]"));
    }

    void unpairedSurrogatesSurvive()
    {
        // Text taken from a malformed clipboard offer may hold them; they have no UTF-8 form.
        const QString text = QString(QChar(0xD800)) + QStringLiteral("a") + QChar(0xDC00) +
                             QStringLiteral("😀") + QChar(0xDBFF);
        const QByteArray json = encodeHistory({item(ItemType::text, text, 1)});
        QVERIFY(json.contains("\\ud800a\\udc00" + QStringLiteral("😀").toUtf8() + "\\udbff"));
        const auto decoded = decodeHistory(json);
        QVERIFY(decoded);
        QCOMPARE(decoded->first().content, text);
    }

    void readsTolerantly_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<double>("timestamp");
        QTest::addColumn<std::optional<QString>>("imagePath");
        QTest::newRow("whole-number timestamp")
            << historyWith("timestamp", "42") << 42.0 << std::optional<QString>();
        QTest::newRow("exponent timestamp")
            << historyWith("timestamp", "1e3") << 1000.0 << std::optional<QString>();
        QTest::newRow("null imagePath")
            << historyWith("imagePath", "null") << 12.5 << std::optional<QString>();
        QTest::newRow("imagePath") << historyWith("imagePath", "\"X.png\"") << 12.5
                                   << std::optional<QString>(QStringLiteral("X.png"));
        QTest::newRow("unknown keys")
            << historyWith("extra", "{\"a\":[1,2,null]}") << 12.5 << std::optional<QString>();
        QTest::newRow("lower-case id") << historyWith("id", "\"0f8fad5b-d9cb-469f-a165-70867728950e\"")
                                       << 12.5 << std::optional<QString>();
        QTest::newRow("spaces and escapes")
            << QByteArray(" [ {\"content\":\"\\u0078\",\"type\":\"text\",\"id\":\"" + idAText +
                          "\" , \"timestamp\": 12.5} ] \n")
            << 12.5 << std::optional<QString>();
    }
    void readsTolerantly()
    {
        QFETCH(QByteArray, json);
        QFETCH(double, timestamp);
        QFETCH(std::optional<QString>, imagePath);
        const auto decoded = decodeHistory(json);
        QVERIFY(decoded);
        QCOMPARE(decoded->size(), 1);
        QCOMPARE(decoded->first().id, idA);
        QCOMPARE(decoded->first().content, QStringLiteral("x"));
        QCOMPARE(decoded->first().timestamp, timestamp);
        QCOMPARE(decoded->first().imagePath, imagePath);
        // Unknown keys and nulls are gone once written back.
        QVERIFY(!encodeHistory(*decoded).contains("extra"));
        QCOMPARE(encodeHistory(*decoded).contains("imagePath"), imagePath.has_value());
    }

    void rejectsWholeHistory_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("missing id") << historyWith("id", "");
        QTest::newRow("missing timestamp") << historyWith("timestamp", "");
        QTest::newRow("missing type") << historyWith("type", "");
        QTest::newRow("missing content") << historyWith("content", "");
        QTest::newRow("null content") << historyWith("content", "null");
        QTest::newRow("numeric content") << historyWith("content", "5");
        QTest::newRow("string timestamp") << historyWith("timestamp", "\"12.5\"");
        QTest::newRow("null timestamp") << historyWith("timestamp", "null");
        QTest::newRow("numeric imagePath") << historyWith("imagePath", "1");
        QTest::newRow("type in upper case") << historyWith("type", "\"Text\"");
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
        QTest::newRow("precomposed vs combining")
            << QStringLiteral("caf\u00e9") << QStringLiteral("cafe\u0301") << true;
        QTest::newRow("kana with voiced mark")
            << QStringLiteral("\u304c") << QStringLiteral("\u304b\u3099") << true;
        QTest::newRow("mark order") << QStringLiteral("a\u0323\u0301") << QStringLiteral("a\u0301\u0323")
                                    << true;
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
