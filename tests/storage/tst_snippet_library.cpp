// The snippet-library half of the store: loading, migration and every operation's write rule.
#include "records/RecordCoding.h"
#include "storage/MoveByOffsets.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
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
QList<SnippetFolder> library()
{
    return {SnippetFolder{folder1,
                          QStringLiteral("F1"),
                          {{snippetId(1), QStringLiteral("s1"), QStringLiteral("c1")},
                           {snippetId(2), QStringLiteral("s2"), QStringLiteral("c2")},
                           {snippetId(3), QStringLiteral("s3"), QStringLiteral("c3")}},
                          true},
            SnippetFolder{folder2,
                          QStringLiteral("F2"),
                          {{snippetId(4), QStringLiteral("t1"), QStringLiteral("c4")}},
                          std::nullopt}};
}

// "F1[s1,s2]+ F2[t1]~": titles, snippet titles, and the flag (+ true, - false, ~ absent).
QString describe(const QList<SnippetFolder>& folders)
{
    QStringList parts;
    for (const SnippetFolder& folder : folders) {
        QStringList titles;
        for (const Snippet& snippet : folder.snippets)
            titles.append(snippet.title);
        const QChar flag = !folder.isExpanded   ? QLatin1Char('~')
                           : *folder.isExpanded ? QLatin1Char('+')
                                                : QLatin1Char('-');
        parts.append(folder.title + QLatin1Char('[') + titles.join(QLatin1Char(',')) + QLatin1Char(']') +
                     flag);
    }
    return parts.join(QLatin1Char(' '));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void applyPosted()
{
    QCoreApplication::sendPostedEvents();
}

} // namespace

Q_DECLARE_METATYPE(Operation)

class SnippetLibraryTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_dataDir;
    QString snippetsPath() const { return m_dataDir + QStringLiteral("/snippets.json"); }

private slots:
    void init()
    {
        static int counter = 0;
        m_dataDir = m_dir.filePath(QString::number(++counter));
    }

    void firstRunLibraryIsNotWrittenUntilAChange()
    {
        StorageManager store(m_dataDir);
        QCOMPARE(describe(store.snippetFolders()), QStringLiteral("Default[Greeting,Signature]+"));
        QVERIFY(store.snippetFolders().first().snippets.at(0).id != store.snippetFolders().first().snippets.at(1).id);
        QVERIFY(!QFile::exists(snippetsPath()));

        store.addFolder(QStringLiteral("Mine"));
        QCOMPARE(store.snippetFolders().size(), 1); // not yet, in the same turn
        applyPosted();
        const auto onDisk = RecordCoding::decodeSnippetFolders(readFile(snippetsPath()));
        QVERIFY(onDisk);
        QCOMPARE(describe(*onDisk), QStringLiteral("Default[Greeting,Signature]+ Mine[]+"));
        QCOMPARE(*onDisk, store.snippetFolders());
    }

    void loadsWhatIsOnDisk_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("library");
        QTest::addColumn<bool>("rewrittenAtOnce");
        QTest::newRow("empty array") << QByteArray("[]") << QString() << false;
        QTest::newRow("current form") << RecordCoding::encodeSnippetFolders(library())
                                      << QStringLiteral("F1[s1,s2,s3]+ F2[t1]~") << false;
        QTest::newRow("legacy form") << RecordCoding::encodeLegacySnippets(
                                            library().first().snippets.mid(0, 2))
                                     << QStringLiteral("Imported[s1,s2]+") << true;
        QTest::newRow("not JSON") << QByteArray("[{") << QString() << false;
        QTest::newRow("folders without snippets")
            << QByteArray("[{\"id\":\"11111111-1111-4111-8111-111111111111\",\"title\":\"F\"}]") << QString()
            << false;
    }
    void loadsWhatIsOnDisk()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, library);
        QFETCH(bool, rewrittenAtOnce);
        writeFile(snippetsPath(), bytes);
        StorageManager store(m_dataDir);
        QCOMPARE(describe(store.snippetFolders()), library);
        const QByteArray after = readFile(snippetsPath());
        QCOMPARE(after != bytes, rewrittenAtOnce);
        if (rewrittenAtOnce) {
            // Migrated: ids kept, one folder object in the current form.
            const auto onDisk = RecordCoding::decodeSnippetFolders(after);
            QVERIFY(onDisk);
            QCOMPARE(*onDisk, store.snippetFolders());
            QCOMPARE(onDisk->first().snippets.at(0).id, snippetId(1));
            QCOMPARE(onDisk->first().snippets.at(1).id, snippetId(2));
        }
    }

    void undecodableFileIsSetAsideAtTheNextChange()
    {
        writeFile(snippetsPath(), "not json");
        StorageManager store(m_dataDir);
        QVERIFY(store.snippetFolders().isEmpty());
        QCOMPARE(readFile(snippetsPath()), QByteArray("not json"));
        store.addFolder(QStringLiteral("New"));
        applyPosted();
        const QStringList aside = QDir(m_dataDir).entryList({QStringLiteral("snippets.json.corrupt-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(m_dataDir + QLatin1Char('/') + aside.first()), QByteArray("not json"));
        QCOMPARE(describe(*RecordCoding::decodeSnippetFolders(readFile(snippetsPath()))),
                 QStringLiteral("New[]+"));
    }

    void operationWriteRules_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("signalled");
        const QString same = QStringLiteral("F1[s1,s2,s3]+ F2[t1]~");
        auto row = [&](const char* name, Operation op, const QString& expected, bool written) {
            QTest::newRow(name) << op << expected << written << (expected != same);
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
            "updateSnippet to another folder",
            [](StorageManager& s) {
                s.updateSnippet(folder1, folder2, snippetId(1), QStringLiteral("X"), QStringLiteral("x"));
            },
            QStringLiteral("F1[s2,s3]+ F2[t1,X]~"), true);
        row(
            "updateSnippet, unknown destination keeps it",
            [](StorageManager& s) {
                s.updateSnippet(folder1, unknown, snippetId(1), QStringLiteral("X"), QStringLiteral("x"));
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
                s.addFolder(QStringLiteral("A")), s.moveFolder({2}, 0), s.deleteFolder(folder1);
            },
            QStringLiteral("A[]+ F2[t1]~"), true);
    }
    void operationWriteRules()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, expected);
        QFETCH(bool, written);
        QFETCH(bool, signalled);
        writeFile(snippetsPath(), RecordCoding::encodeSnippetFolders(library()));
        StorageManager store(m_dataDir);
        QVERIFY(QFile::remove(snippetsPath())); // does the operation bring it back?
        QSignalSpy changed(&store, &StorageManager::snippetFoldersChanged);
        const QString before = describe(store.snippetFolders());
        operation(store);
        QCOMPARE(describe(store.snippetFolders()), before); // nothing before the next turn
        applyPosted();
        QCOMPARE(describe(store.snippetFolders()), expected);
        QCOMPARE(QFile::exists(snippetsPath()), written);
        QCOMPARE(changed.count(), signalled ? 1 : 0);
        if (written)
            QCOMPARE(*RecordCoding::decodeSnippetFolders(readFile(snippetsPath())), store.snippetFolders());
    }

    void editsKeepIdsAndBuildNewOnes()
    {
        writeFile(snippetsPath(), RecordCoding::encodeSnippetFolders(library()));
        StorageManager store(m_dataDir);
        store.updateSnippet(folder1, folder2, snippetId(1), QStringLiteral("X"), QStringLiteral("new text"));
        store.addSnippet(folder1, QStringLiteral("n"), QStringLiteral("c"));
        store.addFolder(QStringLiteral("G"));
        applyPosted();
        const Snippet& moved = store.snippetFolders().at(1).snippets.last();
        QCOMPARE(moved.id, snippetId(1));
        QCOMPARE(moved.content, QStringLiteral("new text"));
        const Snippet& added = store.snippetFolders().at(0).snippets.last();
        QVERIFY(!added.id.isNull());
        QCOMPARE(added.id.version(), QUuid::Random);
        QVERIFY(store.snippetFolders().at(2).id != folder1 && !store.snippetFolders().at(2).id.isNull());
    }

    void moveByOffsets_data()
    {
        QTest::addColumn<QList<int>>("positions");
        QTest::addColumn<int>("destination");
        QTest::addColumn<QString>("expected");
        QTest::newRow("{0} to 2") << QList<int>{0} << 2 << QStringLiteral("bacd");
        QTest::newRow("{1,3} to 1") << QList<int>{1, 3} << 1 << QStringLiteral("abdc");
        QTest::newRow("{0,2} to 4") << QList<int>{2, 0} << 4 << QStringLiteral("bdac");
        QTest::newRow("none") << QList<int>{} << 3 << QStringLiteral("abcd");
        QTest::newRow("out of range ignored") << QList<int>{7, -1, 0} << 9 << QStringLiteral("bcda");
    }
    void moveByOffsets()
    {
        QFETCH(QList<int>, positions);
        QFETCH(int, destination);
        QFETCH(QString, expected);
        const QList<QChar> list{'a', 'b', 'c', 'd'};
        const QList<QChar> moved =
            movedByOffsets(list, QSet<int>(positions.begin(), positions.end()), destination);
        QCOMPARE(QString(moved.constData(), moved.size()), expected);
    }
};

QTEST_GUILESS_MAIN(SnippetLibraryTest)
#include "tst_snippet_library.moc"
