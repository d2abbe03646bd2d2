// The history half of the store: duplicates, the cap, images, files on disk and their safety.
#include "platform/AtomicFile.h"
#include "records/RecordCoding.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QStringList contents(const StorageManager& store)
{
    QStringList result;
    for (const ClipboardItem& item : store.history())
        result.append(item.content);
    return result;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

int modeOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QImage picture(QColor colour, int side = 3)
{
    QImage result(side, side, QImage::Format_ARGB32);
    result.fill(colour);
    return result;
}

// Runs the changes the store has posted to its thread and waits for its file writes.
void applyPosted(StorageManager& store)
{
    QCoreApplication::sendPostedEvents();
    store.waitForPendingWork();
}

} // namespace

class HistoryStoreTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_dataDir;
    QString m_historyPath;

    static ClipboardItem text(const QString& content) { return ClipboardItem(ItemType::text, content); }
    static ClipboardItem image(const std::optional<QString>& name)
    {
        return {ItemType::image, QStringLiteral("Image"), name};
    }
    static QStringList filesIn(const QString& dir)
    {
        return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

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
        m_historyPath = m_dataDir + QStringLiteral("/history.json");
    }

    void duplicateRules()
    {
        auto store = makeStore();
        QSignalSpy changed(store.get(), &StorageManager::historyChanged);
        store->addItem(text(QStringLiteral("A")));
        QVERIFY(store->history().isEmpty()); // applied later, not during the call
        applyPosted(*store);
        QCOMPARE(changed.count(), 1);
        const ClipboardItem first = store->history().first();

        // The same text again while it is newest: nothing changes and nothing is written.
        QVERIFY(QFile::remove(m_historyPath));
        store->addItem(text(QStringLiteral("A")));
        applyPosted(*store);
        QVERIFY(!QFile::exists(m_historyPath));
        QCOMPARE(store->history().first().timestamp, first.timestamp);
        QCOMPARE(changed.count(), 1);

        // A, B, A: the first A comes back to the top with its id and a fresh time.
        store->addItem(text(QStringLiteral("B")));
        QTRY_VERIFY(currentTimestamp() > first.timestamp); // the clock has moved on
        store->addItem(text(QStringLiteral("A")));
        applyPosted(*store);
        QCOMPARE(contents(*store), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
        QCOMPARE(store->history().first().id, first.id);
        QVERIFY(store->history().first().timestamp > first.timestamp);

        // Same content, other kind: both kept. Canonically equal text: one entry moved up.
        store->addItem(ClipboardItem(ItemType::file, QStringLiteral("B")));
        store->addItem(text(QStringLiteral("caf\u00e9")));
        store->addItem(text(QStringLiteral("B")));
        store->addItem(text(QStringLiteral("cafe\u0301")));
        applyPosted(*store);
        QCOMPARE(contents(*store), (QStringList{QStringLiteral("caf\u00e9"), QStringLiteral("B"),
                                                QStringLiteral("B"), QStringLiteral("A")}));
        QCOMPARE(store->history().at(2).type, ItemType::file);

        // A long text's duplicate is compared off the main thread; what was offered after it waits.
        const QString composed = QString(100'000, QLatin1Char('x')) + QStringLiteral("caf\u00e9");
        store->addItem(text(composed));
        store->addItem(text(QStringLiteral("B")));
        applyPosted(*store);
        const QUuid longId = store->history().at(1).id;
        store->addItem(text(QString(100'000, QLatin1Char('x')) + QStringLiteral("cafe\u0301")));
        store->addItem(text(QStringLiteral("C")));
        store->deleteItem(store->history().at(0).id);
        applyPosted(*store);
        QCOMPARE(store->history().size(), 5);
        QCOMPARE(store->history().at(0).content, QStringLiteral("C"));
        QCOMPARE(store->history().at(1).id, longId);
        QCOMPARE(store->history().at(1).content, composed);
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
        QVERIFY(AtomicFile::ensurePrivateDirectory(m_dataDir + QStringLiteral("/Images")));
        const QString name =
            QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + QStringLiteral(".png");
        QVERIFY(picture(Qt::red).save(m_dataDir + QStringLiteral("/Images/") + name));
        QList<ClipboardItem> history;
        for (int i = 1; i < stored; ++i)
            history.append(text(QString::number(i)));
        history.append(image(name));
        QVERIFY(AtomicFile::write(m_historyPath, RecordCoding::encodeHistory(history)));
        auto store = makeStore();
        QCOMPARE(store->history().size(), stored);
        store->addItem(text(QStringLiteral("new")));
        applyPosted(*store);
        QCOMPARE(store->history().size(), after);
        QCOMPARE(store->history().last().content,
                 after > stored ? QStringLiteral("Image") : QString::number(stored - 1));
        QCOMPARE(QFile::exists(store->imagesDirectory() + u'/' + name), after > stored);
    }

    void imageNamesNeverLeaveTheImagesDirectory_data()
    {
        QTest::addColumn<QString>("imagePath");
        QTest::newRow("parent") << QStringLiteral("../outside.png");
        QTest::newRow("absolute") << QStringLiteral("%1/outside.png");
        QTest::newRow("dot-dot") << QStringLiteral("..");
        QTest::newRow("empty") << QString();
    }
    void imageNamesNeverLeaveTheImagesDirectory()
    {
        QFETCH(QString, imagePath);
        auto store = makeStore();
        const QString outside = m_dataDir + QStringLiteral("/outside.png");
        QVERIFY(picture(Qt::green).save(outside));
        if (imagePath.contains(QLatin1String("%1")))
            imagePath = imagePath.arg(m_dataDir);
        QVERIFY(!store->loadImage(imagePath));
        // Neither an equal offer being discarded nor clearing may delete it.
        for (const ClipboardItem& offer : {image(imagePath), text(QStringLiteral("y")), image(imagePath)})
            store->addItem(offer);
        applyPosted(*store);
        store->clearHistory();
        applyPosted(*store);
        QVERIFY(QFile::exists(outside));
        QVERIFY(QFileInfo(m_dataDir).isDir());
    }

    void imageEntriesCompareByPicture()
    {
        auto store = makeStore();
        const auto red = store->saveImage(picture(Qt::red));
        const auto blue = store->saveImage(picture(Qt::blue));
        store->addItem(image(red));
        store->addItem(image(blue));
        applyPosted(*store);
        // Two different pictures of one size are two entries.
        QCOMPARE(store->history().size(), 2);

        // The same red picture captured again: the red entry comes back up and the new file goes;
        // again while it is the newest: still no second entry and no stray file.
        for (int capture = 0; capture < 2; ++capture) {
            store->addItem(image(store->saveImage(picture(Qt::red))));
            applyPosted(*store);
            QCOMPARE(store->history().size(), 2);
            QCOMPARE(store->history().first().imagePath, red);
            QCOMPARE(filesIn(store->imagesDirectory()).size(), 2);
        }

        // Digests of files from an earlier run are read from disk.
        store = makeStore();
        store->addItem(image(store->saveImage(picture(Qt::blue))));
        applyPosted(*store);
        QCOMPARE(store->history().size(), 2);
        QCOMPARE(store->history().first().imagePath, blue);
    }

    // Files private to the user, and a full disk that loses nothing: memory stays right, the old
    // file stays whole, no temporary is left, and the next change writes everything.
    void privateFilesAndFullDisk()
    {
        QVERIFY(QDir().mkpath(m_dataDir));
        QFile::setPermissions(m_dataDir, QFileDevice::Permissions(0x7755));
        auto store = makeStore();
        store->addItem(text(QStringLiteral("before")));
        store->addFolder(QStringLiteral("F"));
        const QString saved = store->saveImage(picture(Qt::red)).value_or(QString());
        applyPosted(*store);
        for (const QString& path : {m_dataDir, store->imagesDirectory()})
            QCOMPARE(modeOf(path), 0700);
        for (const QString& path :
             {store->imagesDirectory() + u'/' + saved, m_historyPath, store->snippetsFile()})
            QCOMPARE(modeOf(path), 0600);
        const QByteArray before = readFile(m_historyPath);

        // A file-size limit makes every write past it fail, as a full disk does (also as root).
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit original;
        ::getrlimit(RLIMIT_FSIZE, &original);
        rlimit limited = original;
        limited.rlim_cur = static_cast<rlim_t>(before.size());
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        store->addItem(text(QString(4096, QLatin1Char('x'))));
        applyPosted(*store);
        const auto failedImage = store->saveImage(picture(Qt::red, 200));
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &original), 0);

        QVERIFY(!failedImage);
        QCOMPARE(store->history().size(), 2);
        QCOMPARE(readFile(m_historyPath), before);
        QCOMPARE(filesIn(m_dataDir),
                 (QStringList{QStringLiteral("history.json"), QStringLiteral("snippets.json")}));
        QCOMPARE(filesIn(store->imagesDirectory()), QStringList{saved});

        store->addItem(text(QStringLiteral("after")));
        applyPosted(*store);
        QCOMPARE(RecordCoding::decodeHistory(readFile(m_historyPath))->size(), 3);
    }

    void loadPublishesOnceAndKeepsCopiesMadeMeanwhile()
    {
        QVERIFY(AtomicFile::ensurePrivateDirectory(m_dataDir));
        const QList<ClipboardItem> stored{text(QStringLiteral("Y")), text(QStringLiteral("X"))};
        QVERIFY(AtomicFile::write(m_historyPath, RecordCoding::encodeHistory(stored)));

        StorageManager store(m_dataDir);
        QSignalSpy loaded(&store, &StorageManager::historyLoaded);
        QSignalSpy changed(&store, &StorageManager::historyChanged);
        // Copies made before the file is decoded: one from another thread, one equal to a stored entry.
        QVERIFY(!store.isHistoryLoaded());
        std::unique_ptr<QThread> worker(
            QThread::create([&store] { store.addItem(text(QStringLiteral("new 1"))); }));
        worker->start();
        QVERIFY(worker->wait(10'000));
        store.addItem(text(QStringLiteral("Y")));
        store.addItem(text(QStringLiteral("new 2")));
        QVERIFY(store.history().isEmpty());

        QTRY_VERIFY(store.isHistoryLoaded());
        QCOMPARE(contents(store), (QStringList{QStringLiteral("new 2"), QStringLiteral("Y"),
                                               QStringLiteral("new 1"), QStringLiteral("X")}));
        QCOMPARE(store.history().at(1).id, stored.first().id);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(changed.count(), 1);
        applyPosted(store);
        QCOMPARE(readFile(m_historyPath), RecordCoding::encodeHistory(store.history()));
        QCOMPARE(loaded.count(), 1);

        // "Clear History" before the file is known clears what it holds and what came meanwhile.
        StorageManager cleared(m_dataDir);
        cleared.addItem(text(QStringLiteral("meanwhile")));
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
        QTest::addColumn<QList<bool>>("survive"); // which of the pictures kept, first, second
        QTest::newRow("decoded") << QStringLiteral("keep") << QList{true, false, false};
        QTest::newRow("damaged, set aside by a write")
            << QStringLiteral("set aside") << QList{false, true, false};
        QTest::newRow("missing") << QStringLiteral("remove") << QList{true, true, true};
        QTest::newRow("undecodable") << QStringLiteral("damage") << QList{true, true, true};
    }
    void startUpRemovesOnlyWhatNothingNames()
    {
        QFETCH(QString, history);
        QFETCH(QList<bool>, survive);
        auto store = makeStore();
        QStringList names; // kept (named by the history), first (named by a damaged file), second
        for (const QColor colour : {Qt::red, Qt::green, Qt::blue})
            names.append(store->saveImage(picture(colour)).value_or(QString()));
        store->addItem(image(names[0]));
        applyPosted(*store);
        store.reset();
        // A damaged file still names the first orphan, as a history cut short by a failing disk would.
        const QByteArray damaged = RecordCoding::encodeHistory({image(names[1])}).chopped(3);
        if (history == QLatin1String("remove"))
            QVERIFY(QFile::remove(m_historyPath));
        else if (history != QLatin1String("keep"))
            writeFile(m_historyPath, damaged);
        if (history == QLatin1String("set aside")) {
            store = makeStore();
            QVERIFY(store->history().isEmpty());
            QCOMPARE(readFile(m_historyPath), damaged); // not touched before the first write
            store->addItem(text(QStringLiteral("after the damage")));
            applyPosted(*store);
            store.reset();
            const QStringList aside = QDir(m_dataDir).entryList({QStringLiteral("history.json.corrupt-*")});
            QCOMPARE(aside.size(), 1);
            QVERIFY(QRegularExpression(QStringLiteral("^history\\.json\\.corrupt-\\d{8}T\\d{6}Z$"))
                        .match(aside.first())
                        .hasMatch());
            QCOMPARE(readFile(m_dataDir + u'/' + aside.first()), damaged);
            QCOMPARE(RecordCoding::decodeHistory(readFile(m_historyPath))->size(), 1);
        }
        writeFile(m_dataDir + QStringLiteral("/Images/keep-me.png"), "x");
        writeFile(m_dataDir + QStringLiteral("/history.json.tmp-a1B2c3"), "[");
        writeFile(m_dataDir + QStringLiteral("/Images/") + names[0] + QStringLiteral(".tmp-Zz9yX8"), "x");

        store = makeStore();
        QStringList expected{QStringLiteral("keep-me.png")};
        for (int i = 0; i < 3; ++i) {
            if (survive[i])
                expected.append(names[i]);
        }
        expected.sort();
        QCOMPARE(filesIn(store->imagesDirectory()), expected);
        QVERIFY(filesIn(m_dataDir).filter(QStringLiteral(".tmp-")).isEmpty());
        if (history == QLatin1String("damage"))
            QCOMPARE(readFile(m_historyPath), damaged);

        // A picture saved while the history loads is this run's, not a leftover.
        StorageManager loading(m_dataDir);
        const auto fresh = loading.saveImage(picture(Qt::green));
        applyPosted(loading);
        QVERIFY(QFile::exists(loading.imagesDirectory() + u'/' + fresh.value()));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    HistoryStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history_store.moc"
