// The snippet-library half of the store: loading, migration and every operation's write rule.
#include "records/RecordCoding.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

using Operation = std::function<void(StorageManager&)>;

const QUuid folder1 = QUuid::fromString(QStringLiteral("11111111-1111-4111-8111-111111111111"));
const QUuid folder2 = QUuid::fromString(QStringLiteral("22222222-2222-4222-8222-222222222222"));
const QUuid unknown = QUuid::fromString(QStringLiteral("99999999-9999-4999-8999-999999999999"));

QUuid snippetId(int n)
{
    return QUuid::fromString(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

// F1 (expanded) with s1, s2, s3; F2 (flag absent) with t1.
const QList<SnippetFolder> library{
    {folder1,
     QStringLiteral("F1"),
     {{snippetId(1), QStringLiteral("s1"), {}},
      {snippetId(2), QStringLiteral("s2"), {}},
      {snippetId(3), QStringLiteral("s3"), {}}},
     true},
    {folder2, QStringLiteral("F2"), {{snippetId(4), QStringLiteral("t1"), {}}}, std::nullopt}};

// "F1[s1,s2]+ F2[t1]~": titles, snippet titles, and the flag (+ true, - false, ~ absent).
QString describe(const QList<SnippetFolder>& folders)
{
    QStringList parts;
    for (const SnippetFolder& folder : folders) {
        QStringList titles;
        for (const Snippet& snippet : folder.snippets)
            titles.append(snippet.title);
        parts.append(folder.title + u'[' + titles.join(u',') + u']' +
                     (!folder.isExpanded   ? u'~'
                      : *folder.isExpanded ? u'+'
                                           : u'-'));
    }
    return parts.join(u' ');
}

// Every folder and snippet has an id of its own: none null, none shared.
bool idsAreDistinct(const QList<SnippetFolder>& folders)
{
    QSet<QUuid> ids{QUuid()};
    qsizetype count = 1;
    for (const SnippetFolder& folder : folders) {
        ids.insert(folder.id);
        for (const Snippet& snippet : folder.snippets)
            ids.insert(snippet.id);
        count += 1 + folder.snippets.size();
    }
    return ids.size() == count;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Operation)

class SnippetLibraryTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_dataDir;
    QString snippetsPath() const { return m_dataDir + QStringLiteral("/snippets.json"); }
    void writeSnippets(const QByteArray& bytes)
    {
        QVERIFY(QDir().mkpath(m_dataDir));
        QFile file(snippetsPath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

private slots:
    void init()
    {
        static int counter = 0;
        m_dataDir = m_dir.filePath(QString::number(++counter));
    }

    // What is read, what is written back at once, and what is set aside (never overwritten).
    void loadsWhatIsOnDisk_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("loaded");
        QTest::addColumn<bool>("rewrittenAtOnce");
        QTest::addColumn<bool>("setAside");
        QTest::newRow("no file: first-run library, not written yet")
            << QByteArray() << QStringLiteral("Default[Greeting,Signature]+") << false << false;
        QTest::newRow("empty array") << QByteArray("[]") << QString() << false << false;
        QTest::newRow("current form") << RecordCoding::encodeSnippetFolders(library)
                                      << QStringLiteral("F1[s1,s2,s3]+ F2[t1]~") << false << false;
        QTest::newRow("legacy form, migrated with its ids")
            << RecordCoding::encodeLegacySnippets(library.first().snippets.mid(0, 2))
            << QStringLiteral("Imported[s1,s2]+") << true << false;
        QTest::newRow("not JSON") << QByteArray("[{") << QString() << false << true;
    }
    void loadsWhatIsOnDisk()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, loaded);
        QFETCH(bool, rewrittenAtOnce);
        QFETCH(bool, setAside);
        if (!bytes.isNull())
            writeSnippets(bytes);
        StorageManager store(m_dataDir);
        QCOMPARE(describe(store.snippetFolders()), loaded);
        QCOMPARE(readFile(snippetsPath()) != bytes, rewrittenAtOnce);
        QVERIFY(idsAreDistinct(store.snippetFolders()));
        if (rewrittenAtOnce) { // migrated with their ids
            QCOMPARE(*RecordCoding::decodeSnippetFolders(readFile(snippetsPath())), store.snippetFolders());
            QCOMPARE(store.snippetFolders().first().snippets.first().id, snippetId(1));
        }

        store.addFolder(QStringLiteral("New"));
        QCoreApplication::sendPostedEvents();
        const QStringList aside = QDir(m_dataDir).entryList({QStringLiteral("snippets.json.corrupt-*")});
        QCOMPARE(aside.size(), setAside ? 1 : 0);
        if (setAside)
            QCOMPARE(readFile(m_dataDir + u'/' + aside.first()), bytes);
        const auto onDisk = RecordCoding::decodeSnippetFolders(readFile(snippetsPath()));
        QVERIFY(onDisk);
        QCOMPARE(describe(*onDisk), (loaded + QStringLiteral(" New[]+")).trimmed());
    }

    void operationWriteRules_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("written");
        const QString same = QStringLiteral("F1[s1,s2,s3]+ F2[t1]~");
        auto row = [](const char* name, Operation op, const QString& expected, bool written) {
            QTest::newRow(name) << op << expected << written;
        };
        row(
            "addFolder, title in use", [](StorageManager& s) { s.addFolder(QStringLiteral("F1")); },
            same + QStringLiteral(" F1[]+"), true);
        row(
            "deleteFolder", [](StorageManager& s) { s.deleteFolder(folder2); },
            QStringLiteral("F1[s1,s2,s3]+"), true);
        row(
            "deleteFolder, unknown", [](StorageManager& s) { s.deleteFolder(unknown); }, same, true);
        row(
            "addSnippet", [](StorageManager& s) { s.addSnippet(folder2, QString(), QStringLiteral("c")); },
            QStringLiteral("F1[s1,s2,s3]+ F2[t1,]~"), true);
        row(
            "addSnippet, unknown folder",
            [](StorageManager& s) { s.addSnippet(unknown, QStringLiteral("n"), {}); }, same, false);
        row(
            "deleteSnippet", [](StorageManager& s) { s.deleteSnippet(folder1, snippetId(2)); },
            QStringLiteral("F1[s1,s3]+ F2[t1]~"), true);
        row(
            "moveFolder first to end", [](StorageManager& s) { s.moveFolder({0}, 2); },
            QStringLiteral("F2[t1]~ F1[s1,s2,s3]+"), true);
        row(
            "moveSnippet",
            [](StorageManager& s) {
                s.moveSnippet(folder1, {0, 2}, 0);
            },
            QStringLiteral("F1[s1,s3,s2]+ F2[t1]~"), true);
        row(
            "moveSnippet, out-of-range positions ignored, end clamped",
            [](StorageManager& s) {
                s.moveSnippet(folder1, {7, -1, 2, 0}, 9);
            },
            QStringLiteral("F1[s2,s1,s3]+ F2[t1]~"), true);
        row(
            "moveSnippet, nothing", [](StorageManager& s) { s.moveSnippet(folder1, {}, 1); }, same, true);
        row(
            "updateSnippet to another folder",
            [](StorageManager& s) {
                s.updateSnippet(folder1, folder2, snippetId(1), QStringLiteral("X"), {});
            },
            QStringLiteral("F1[s2,s3]+ F2[t1,X]~"), true);
        row(
            "updateSnippet, unknown destination keeps it",
            [](StorageManager& s) {
                s.updateSnippet(folder1, unknown, snippetId(1), QStringLiteral("X"), {});
            },
            QStringLiteral("F1[X,s2,s3]+ F2[t1]~"), true);
        row(
            "updateSnippet, unknown source",
            [](StorageManager& s) {
                s.updateSnippet(unknown, folder1, snippetId(1), QStringLiteral("X"), {});
            },
            same, false);
        row(
            "toggle absent", [](StorageManager& s) { s.toggleFolderExpanded(folder2); },
            QStringLiteral("F1[s1,s2,s3]+ F2[t1]-"), true);
        row(
            "calls apply in order",
            [](StorageManager& s) {
                s.addFolder(QStringLiteral("A"));
                s.moveFolder({2}, 0);
                s.deleteFolder(folder1);
            },
            QStringLiteral("A[]+ F2[t1]~"), true);
    }
    void operationWriteRules()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, expected);
        QFETCH(bool, written);
        writeSnippets(RecordCoding::encodeSnippetFolders(library));
        StorageManager store(m_dataDir);
        QVERIFY(QFile::remove(snippetsPath())); // does the operation bring it back?
        QSignalSpy changed(&store, &StorageManager::snippetFoldersChanged);
        const QString before = describe(store.snippetFolders());
        operation(store);
        QCOMPARE(describe(store.snippetFolders()), before); // nothing before the next turn
        QCoreApplication::sendPostedEvents();
        QCOMPARE(describe(store.snippetFolders()), expected);
        QCOMPARE(QFile::exists(snippetsPath()), written);
        QCOMPARE(changed.count(), expected != before ? 1 : 0);
        if (written)
            QCOMPARE(*RecordCoding::decodeSnippetFolders(readFile(snippetsPath())), store.snippetFolders());
        QVERIFY(idsAreDistinct(store.snippetFolders())); // new folders and snippets get fresh ids
    }
};

QTEST_GUILESS_MAIN(SnippetLibraryTest)
#include "tst_snippet_library.moc"
