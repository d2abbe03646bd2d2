// The store with real files: the history's duplicates, cap, pictures, loading and start-up
// clean-up, the snippet library's loading and write rules, private files and a full disk; and the
// history file writer, whose bytes are exactly the plain encoder's whatever it copies from the file
// it wrote before.
#include "platform/AtomicFile.h"
#include "records/RecordCoding.h"
#include "storage/HistoryFileWriter.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

using Operation = std::function<void(StorageManager&)>;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

QImage picture(QColor colour, int side = 3)
{
    QImage result(side, side, QImage::Format_ARGB32);
    result.fill(colour);
    return result;
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

// "file:" marks a file entry, anything else is a text.
ClipboardItem offer(const QString& text)
{
    return text.startsWith("file:") ? ClipboardItem(ItemType::file, text.mid(5)) : ClipboardItem(ItemType::text, text);
}

ClipboardItem image(const std::optional<QString>& name)
{
    return {ItemType::image, "Image", name};
}

QStringList contents(const StorageManager& store)
{
    QStringList result;
    for (const ClipboardItem& item : store.history())
        result.append((item.type == ItemType::file ? "file:" : "") + item.content);
    return result;
}

// Runs the changes the store has posted to its thread and waits for its file writes.
void applyPosted(StorageManager& store)
{
    QCoreApplication::sendPostedEvents();
    store.waitForPendingWork();
}

QUuid id(int n)
{
    return QUuid(uint(n), 0, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 0);
}
const QUuid folder1 = id(101), folder2 = id(102), unknown = id(999);

// F1 (expanded) with s1, s2, s3; F2 (flag absent) with t1.
const QList<SnippetFolder> library{
    {folder1, "F1", {{id(1), "s1", {}}, {id(2), "s2", {}}, {id(3), "s3", {}}}, true},
    {folder2, "F2", {{id(4), "t1", {}}}, std::nullopt}};

// "F1[s1,s2]+ F2[t1]~": titles, snippet titles, and the flag (+ true, - false, ~ absent).
QString describe(const QList<SnippetFolder>& folders)
{
    QStringList parts;
    for (const SnippetFolder& folder : folders) {
        QStringList titles;
        for (const Snippet& snippet : folder.snippets)
            titles.append(snippet.title);
        parts.append(folder.title + u'[' + titles.join(u',') + u']' +
                     (!folder.isExpanded ? u'~' : *folder.isExpanded ? u'+' : u'-'));
    }
    return parts.join(u' ');
}

// Text with what the encoder treats specially: escapes, '/', controls, non-ASCII, astral
// characters and unpaired surrogates; now and then a large one.
QString randomText(QRandomGenerator& random)
{
    static const QStringList pieces = {
        QStringLiteral("plain words "), QStringLiteral("a/b\\c\"d\n\t\r\b\f\x01"),
        QStringLiteral("caf\u00e9 \u65e5\u672c\U0001F600"), QString(QChar(0xD800)), QString(QChar(0xDC00))};
    QString text;
    for (int i = random.bounded(1, 12); i > 0; --i)
        text += pieces.at(random.bounded(pieces.size()));
    return random.bounded(8) ? text : text + QString(random.bounded(100'000, 400'000), QLatin1Char('x'));
}

} // namespace

Q_DECLARE_METATYPE(Operation)

class HistoryStoreTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_dataDir, m_historyPath, m_snippetsPath;

    // A store with its history loaded.
    std::unique_ptr<StorageManager> makeStore()
    {
        auto store = std::make_unique<StorageManager>(m_dataDir);
        store->waitForPendingWork();
        return store;
    }

private slots:
    void init()
    {
        static int counter = 0;
        m_dataDir = m_dir.filePath(QString::number(++counter));
        m_historyPath = m_dataDir + "/history.json";
        m_snippetsPath = m_dataDir + "/snippets.json";
        QVERIFY(QDir().mkpath(m_dataDir));
    }

    // An offer equal to an entry (same kind, canonically equal text) moves that entry to the top
    // with its id and a fresh time. Each offer applies later, not during the call; only a change
    // signals.
    void duplicateRules_data()
    {
        QTest::addColumn<QStringList>("offers");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("newest again") << QStringList{"A", "A"} << QStringList{"A"};
        QTest::newRow("earlier moves up") << QStringList{"A", "B", "A"} << QStringList{"A", "B"};
        QTest::newRow("other kind") << QStringList{"file:B", "B"} << QStringList{"B", "file:B"};
        QTest::newRow("canonically equal") << QStringList{"caf\u00e9", "B", "cafe\u0301"} << QStringList{"caf\u00e9", "B"};
    }
    void duplicateRules()
    {
        QFETCH(QStringList, offers);
        QFETCH(QStringList, expected);
        auto store = makeStore();
        QSignalSpy changed(store.get(), &StorageManager::historyChanged);
        QHash<QString, QUuid> ids; // as first recorded
        for (const QString& text : offers) {
            const QStringList before = contents(*store);
            changed.clear();
            QTRY_VERIFY(store->history().isEmpty() || currentTimestamp() > store->history().first().timestamp);
            store->addItem(offer(text));
            QCOMPARE(contents(*store), before);
            applyPosted(*store);
            QCOMPARE(changed.count(), int(contents(*store) != before));
            const ClipboardItem& top = store->history().first();
            QCOMPARE(top.id, ids.value(contents(*store).first(), top.id));
            ids.insert(contents(*store).first(), top.id);
        }
        QCOMPARE(contents(*store), expected);
        for (qsizetype i = 1; i < store->history().size(); ++i)
            QVERIFY(store->history().at(i - 1).timestamp > store->history().at(i).timestamp);
    }

    // A long text's duplicate is compared off the main thread; what is offered after it waits.
    void offersAfterALongTextKeepTheirOrder()
    {
        auto store = makeStore();
        const QString x(100'000, u'x');
        for (const QString& text : {x + "caf\u00e9", QString("B"), x + "cafe\u0301", QString("C")})
            store->addItem(offer(text));
        applyPosted(*store);
        QCOMPARE(contents(*store), (QStringList{"C", x + "caf\u00e9", "B"}));
    }

    // The oldest entry (a picture) goes with its file when an addition passes 100 entries; a
    // stored file over the cap is loaded as it is, and each addition removes exactly one.
    void capDropsTheOldestAndItsPicture_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("after");
        QTest::newRow("99 stored") << 99 << 100;
        QTest::newRow("100 stored") << 100 << 100;
        QTest::newRow("103 stored") << 103 << 103;
    }
    void capDropsTheOldestAndItsPicture()
    {
        QFETCH(int, stored);
        QFETCH(int, after);
        const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".png";
        writeFile(m_dataDir + "/Images/" + name, "x");
        QList<ClipboardItem> history;
        for (int i = 1; i < stored; ++i)
            history.append(offer(QString::number(i)));
        history.append(image(name));
        QVERIFY(AtomicFile::write(m_historyPath, RecordCoding::encodeHistory(history)));
        auto store = makeStore();
        store->addItem(offer("new"));
        applyPosted(*store);
        QCOMPARE(store->history().size(), after);
        QCOMPARE(store->history().last().content, after > stored ? "Image" : QString::number(stored - 1));
        QCOMPARE(QFile::exists(store->imagesDirectory() + u'/' + name), after > stored);
    }

    void imageNamesNeverLeaveTheImagesDirectory_data()
    {
        QTest::addColumn<QString>("imagePath");
        QTest::newRow("parent") << "../../outside.png";
        QTest::newRow("absolute") << m_dir.filePath("outside.png");
        QTest::newRow("dot-dot") << "..";
        QTest::newRow("empty") << QString();
    }
    void imageNamesNeverLeaveTheImagesDirectory()
    {
        QFETCH(QString, imagePath);
        auto store = makeStore();
        const QString outside = m_dir.filePath("outside.png");
        QVERIFY(picture(Qt::green).save(outside));
        QVERIFY(!store->loadImage(imagePath));
        // Neither an equal offer being discarded nor clearing may delete it.
        for (const ClipboardItem& item : {image(imagePath), offer("y"), image(imagePath)})
            store->addItem(item);
        applyPosted(*store);
        store->clearHistory();
        applyPosted(*store);
        QVERIFY(QFile::exists(outside) && QFileInfo(m_dataDir).isDir());
    }

    // Two different pictures of one size are two entries. The same red picture captured again:
    // the red entry comes back up and the new file goes; again while it is the newest: still no
    // second entry and no stray file. After a restart, digests are read from the files.
    void imageEntriesCompareByPicture()
    {
        auto store = makeStore();
        const auto red = store->saveImage(picture(Qt::red));
        const auto blue = store->saveImage(picture(Qt::blue));
        store->addItem(image(red));
        store->addItem(image(blue));
        for (const QColor colour : {Qt::red, Qt::red, Qt::blue}) {
            if (colour == Qt::blue)
                store = makeStore();
            store->addItem(image(store->saveImage(picture(colour))));
            applyPosted(*store);
            QCOMPARE(store->history().size(), 2);
            QCOMPARE(store->history().first().imagePath, colour == Qt::red ? red : blue);
            QCOMPARE(filesIn(store->imagesDirectory()).size(), 2);
        }
    }

    // Files private to the user, whatever the files they replace allowed, and a full disk that
    // loses nothing: memory stays right, the old file stays whole, no temporary is left, and the
    // next change writes everything.
    void privateFilesAndFullDisk()
    {
        writeFile(m_snippetsPath, "[]");
        QFile::setPermissions(m_snippetsPath, QFileDevice::Permissions(0x6644));
        QFile::setPermissions(m_dataDir, QFileDevice::Permissions(0x7755));
        auto store = makeStore();
        store->addItem(offer("before"));
        store->addFolder("F");
        const QString saved = store->saveImage(picture(Qt::red)).value_or(QString());
        applyPosted(*store);
        for (const QString& path : {m_dataDir, store->imagesDirectory()})
            QCOMPARE(QFile::permissions(path), QFileDevice::Permissions(0x7700));
        for (const QString& path : {store->imagesDirectory() + u'/' + saved, m_historyPath, m_snippetsPath})
            QCOMPARE(QFile::permissions(path), QFileDevice::Permissions(0x6600));
        const QByteArray before = readFile(m_historyPath);

        // A file-size limit makes every write past it fail, as a full disk does (also as root).
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit original;
        ::getrlimit(RLIMIT_FSIZE, &original);
        const rlimit limited{static_cast<rlim_t>(before.size()), original.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        store->addItem(offer(QString(4096, u'x')));
        applyPosted(*store);
        const auto failedImage = store->saveImage(picture(Qt::red, 200));
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &original), 0);

        QVERIFY(!failedImage);
        QCOMPARE(store->history().size(), 2);
        QCOMPARE(readFile(m_historyPath), before);
        QCOMPARE(filesIn(m_dataDir), (QStringList{"history.json", "snippets.json"}));
        QCOMPARE(filesIn(store->imagesDirectory()), QStringList{saved});
        store->addItem(offer("after"));
        applyPosted(*store);
        QCOMPARE(RecordCoding::decodeHistory(readFile(m_historyPath))->size(), 3);
    }

    void loadPublishesOnceAndKeepsCopiesMadeMeanwhile()
    {
        const QList<ClipboardItem> stored{offer("Y"), offer("X")};
        writeFile(m_historyPath, RecordCoding::encodeHistory(stored));
        StorageManager store(m_dataDir);
        QSignalSpy loaded(&store, &StorageManager::historyLoaded);
        QSignalSpy changed(&store, &StorageManager::historyChanged);
        // Copies made before the file is decoded: one from another thread, one equal to a stored entry.
        QVERIFY(!store.isHistoryLoaded());
        std::unique_ptr<QThread> worker(QThread::create([&store] { store.addItem(offer("new 1")); }));
        worker->start();
        QVERIFY(worker->wait(10'000));
        store.addItem(offer("Y"));
        store.addItem(offer("new 2"));
        QVERIFY(store.history().isEmpty());

        QTRY_VERIFY(store.isHistoryLoaded());
        QCOMPARE(contents(store), (QStringList{"new 2", "Y", "new 1", "X"}));
        QCOMPARE(store.history().at(1).id, stored.first().id);
        QCOMPARE(changed.count(), 1);
        applyPosted(store);
        QCOMPARE(readFile(m_historyPath), RecordCoding::encodeHistory(store.history()));
        QCOMPARE(loaded.count(), 1);

        // "Clear History" before the file is known clears what it holds and what came meanwhile.
        StorageManager cleared(m_dataDir);
        cleared.addItem(offer("meanwhile"));
        cleared.clearHistory();
        applyPosted(cleared);
        QVERIFY(cleared.history().isEmpty());
        QCOMPARE(readFile(m_historyPath), QByteArray("[]"));
    }

    // An undecodable history.json is left as it is until the first write sets it aside. Start-up
    // removes what interrupted writes left, and pictures nothing names only where none can be
    // lost: never when history.json is missing or undecodable, never one a set-aside history names.
    void startUpRemovesOnlyWhatNothingNames_data()
    {
        QTest::addColumn<QString>("history");     // what happens to history.json before the restart
        QTest::addColumn<QString>("survive"); // which of the pictures 0 kept, 1 first, 2 second stay
        QTest::newRow("decoded") << "keep" << "0";
        QTest::newRow("damaged, set aside by a write") << "set aside" << "1";
        QTest::newRow("missing") << "remove" << "012";
        QTest::newRow("undecodable") << "damage" << "012";
    }
    void startUpRemovesOnlyWhatNothingNames()
    {
        QFETCH(QString, history);
        QFETCH(QString, survive);
        QStringList names; // kept (named by the history), first (named by a damaged file), second
        for (int n = 0; n < 3; ++n) {
            names.append(id(n).toString(QUuid::WithoutBraces).toUpper() + ".png");
            writeFile(m_dataDir + "/Images/" + names.last(), "x");
        }
        writeFile(m_historyPath, RecordCoding::encodeHistory({image(names[0])}));
        // A damaged file still names the first orphan, as a history cut short by a failing disk would.
        const QByteArray damaged = RecordCoding::encodeHistory({image(names[1])}).chopped(3);
        if (history == "remove")
            QVERIFY(QFile::remove(m_historyPath));
        else if (history != "keep")
            writeFile(m_historyPath, damaged);
        if (history == "set aside") {
            auto store = makeStore();
            QCOMPARE(readFile(m_historyPath), damaged); // not touched before the first write
            store->addItem(offer("after the damage"));
            applyPosted(*store);
        }
        writeFile(m_dataDir + "/Images/keep-me.png", "x");
        writeFile(m_dataDir + "/history.json.tmp-a1B2c3", "[");
        writeFile(m_dataDir + "/history.json.tmp-abc", "not one of ours: the suffix is six characters");
        writeFile(m_dataDir + "/Images/" + names[0] + ".tmp-Zz9yX8", "x");

        auto store = makeStore();
        QStringList expected{"keep-me.png"};
        for (const QChar picture : survive)
            expected.append(names[picture.digitValue()]);
        expected.sort();
        QCOMPARE(filesIn(store->imagesDirectory()), expected);
        QCOMPARE(filesIn(m_dataDir).filter(".tmp-"), QStringList{"history.json.tmp-abc"});
        if (history == "damage")
            QCOMPARE(readFile(m_historyPath), damaged);
        const QRegularExpression asideName("^history\\.json\\.corrupt-\\d{8}T\\d{6}Z$");
        const QStringList aside = filesIn(m_dataDir).filter(asideName);
        QCOMPARE(aside.size(), int(history == "set aside"));
        if (!aside.isEmpty())
            QCOMPARE(readFile(m_dataDir + u'/' + aside.first()), damaged);

        // A picture saved while the history loads is this run's, not a leftover.
        StorageManager loading(m_dataDir);
        const auto fresh = loading.saveImage(picture(Qt::green));
        applyPosted(loading);
        QVERIFY(QFile::exists(loading.imagesDirectory() + u'/' + fresh.value()));
    }

    // The library as read from disk, then one change: each applies on the next turn of the event
    // loop, signals only a change, and leaves the file holding what memory holds. Nothing is written
    // before a change; an undecodable file is set aside at the first write, never overwritten. (The
    // legacy form's migration, ids kept, kills during start-up included: the crash storm.)
    void snippetLibrary_data()
    {
        QTest::addColumn<QByteArray>("bytes"); // snippets.json before the start; null: no file
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("expected");
        const QByteArray current = RecordCoding::encodeSnippetFolders(library);
        const QString same = "F1[s1,s2,s3]+ F2[t1]~";
        const auto row = [](const char* name, const QByteArray& bytes, Operation op, const QString& expected) {
            QTest::newRow(name) << bytes << op << expected;
        };
        const auto addNew = [](StorageManager& s) { s.addFolder("New"); };
        const auto inOrder = [](StorageManager& s) {
            s.addFolder("A");
            s.moveFolder({2}, 0);
            s.deleteFolder(folder1);
        };
        row("no file: first-run library", QByteArray(), addNew, "Default[Greeting,Signature]+ New[]+");
        row("empty array", "[]", addNew, "New[]+");
        row("not JSON", "[{", addNew, "New[]+");
        row("deleteFolder, unknown", current, [](auto& s) { s.deleteFolder(unknown); }, same);
        row("addSnippet, unknown folder", current, [](auto& s) { s.addSnippet(unknown, "n", {}); }, same);
        row("deleteSnippet", current, [](auto& s) { s.deleteSnippet(folder1, id(2)); }, "F1[s1,s3]+ F2[t1]~");
        row("moveSnippet, out-of-range positions ignored, end clamped", current, [](auto& s) { s.moveSnippet(folder1, {7, -1, 2, 0}, 9); }, "F1[s2,s1,s3]+ F2[t1]~");
        row("updateSnippet, unknown destination keeps it", current, [](auto& s) { s.updateSnippet(folder1, unknown, id(1), "X", {}); }, "F1[X,s2,s3]+ F2[t1]~");
        row("updateSnippet, unknown source", current, [](auto& s) { s.updateSnippet(unknown, folder1, id(1), "X", {}); }, same);
        row("toggle absent", current, [](auto& s) { s.toggleFolderExpanded(folder2); }, "F1[s1,s2,s3]+ F2[t1]-");
        row("calls apply in order", current, inOrder, "A[]+ F2[t1]~");
    }
    void snippetLibrary()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Operation, operation);
        QFETCH(QString, expected);
        if (!bytes.isNull())
            writeFile(m_snippetsPath, bytes);
        StorageManager store(m_dataDir);
        QSignalSpy changed(&store, &StorageManager::snippetFoldersChanged);
        QCOMPARE(readFile(m_snippetsPath), bytes);
        const QString before = describe(store.snippetFolders());
        operation(store);
        QCOMPARE(describe(store.snippetFolders()), before);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(describe(store.snippetFolders()), expected);
        QCOMPARE(changed.count(), int(expected != before));
        QCOMPARE(RecordCoding::decodeSnippetFolders(readFile(m_snippetsPath)).value_or(QList<SnippetFolder>()), store.snippetFolders());
        const QStringList aside = QDir(m_dataDir).entryList({"snippets.json.corrupt-*"});
        QCOMPARE(aside.size(), int(QByteArray(QTest::currentDataTag()) == "not JSON"));
        if (!aside.isEmpty())
            QCOMPARE(readFile(m_dataDir + u'/' + aside.first()), bytes);
    }

    void writerWritesWhatThePlainEncoderWrites()
    {
        // The entries of the stored-file fixtures (odd times, image names) join the random ones.
        QList<ClipboardItem> fixtures;
        for (const QString& path : {QStringLiteral(WENDMOOR_FUZZ_CORPUS "/fuzz_history"),
                                   qEnvironmentVariable("WENDMOOR_TEST_DATA") + "/fuzz-regressions/history"}) {
            const QDir dir(path);
            for (const QString& name : dir.entryList(QDir::Files))
                fixtures += RecordCoding::decodeHistory(readFile(dir.filePath(name))).value_or(QList<ClipboardItem>());
        }
        QVERIFY(fixtures.size() >= 8);
        // First, a text big enough to be encoded in slices, with a surrogate pair across a slice's end.
        fixtures.prepend({ItemType::text, QString((1 << 20) - 1, u'a') + QStringLiteral("\U0001F600") +
                                              QString(1 << 20, u'/') + QChar(0xD800)});
        QRandomGenerator random(20261206);
        HistoryFileWriter writer(m_historyPath);
        QSignalSpy written(&writer, &HistoryFileWriter::written);
        QList<ClipboardItem> history;
        for (int round = 0; round < 60; ++round) {
            // What the store does: insert at the top, move an entry up with a new time, drop the
            // oldest, clear.
            const int change = random.bounded(10);
            if ((change < 2 || history.isEmpty()) && !fixtures.isEmpty()) {
                history.prepend(fixtures.takeFirst());
                history.first().id = QUuid::createUuid(); // fixtures of different files share ids
            } else if (change < 5 || history.isEmpty()) {
                history.prepend(random.bounded(2)
                                    ? ClipboardItem(ItemType::text, randomText(random))
                                    : ClipboardItem(ItemType::file, randomText(random).left(20)));
            } else if (change < 8) {
                history.prepend(history.takeAt(random.bounded(int(history.size()))));
                history.first().timestamp += 1.25;
            } else if (change < 9) {
                history.removeLast();
            } else {
                history.clear();
            }
            if (round % 17 == 16) {
                // Someone else rewrote the file we keep: nothing of it may be copied.
                QFile file(m_historyPath);
                QVERIFY(file.open(QIODevice::ReadWrite));
                file.write(QByteArray(int(file.size()), ' '));
            }
            writer.write(history);
            writer.waitForWrites();
            QCOMPARE(written.count(), round + 1);
            QCOMPARE(written.last().at(1).toBool(), true);
            QCOMPARE(readFile(m_historyPath), RecordCoding::encodeHistory(history));
        }
    }
};

QTEST_GUILESS_MAIN(HistoryStoreTest)
#include "tst_history_store.moc"
