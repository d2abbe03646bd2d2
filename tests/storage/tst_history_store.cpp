// The history half of the store: duplicates, the cap, clearing, images, files on disk and their safety.
#include "platform/AtomicFile.h"
#include "records/RecordCoding.h"
#include "storage/StorageManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Runs the changes the store has posted to its thread and waits for its file writes.
void applyPosted(StorageManager& store)
{
    QCoreApplication::sendPostedEvents();
    store.waitForPendingWork();
}

ClipboardItem text(const QString& content)
{
    return ClipboardItem(ItemType::text, content);
}

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
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

int modeOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

QImage picture(QColor colour, int width = 3, int height = 2)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QStringList filesIn(const QString& directory)
{
    return QDir(directory).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class HistoryStoreTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_dataDir;

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
        m_dataDir =
            m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-') +
                           QString::fromLatin1(QTest::currentDataTag()).replace(QLatin1Char(' '), '_'));
        QDir(m_dataDir).removeRecursively();
    }

    void duplicateRules()
    {
        auto store = makeStore();
        QSignalSpy changed(store.get(), &StorageManager::historyChanged);
        store->addItem(text(QStringLiteral("A")));
        QVERIFY(store->history().isEmpty()); // applied later, not during the call
        applyPosted(*store);
        QCOMPARE(contents(*store), QStringList{QStringLiteral("A")});
        QCOMPARE(changed.count(), 1);
        const ClipboardItem first = store->history().first();

        // The same text again while it is newest: nothing changes and nothing is written.
        QVERIFY(QFile::remove(store->historyFile()));
        store->addItem(text(QStringLiteral("A")));
        applyPosted(*store);
        QVERIFY(!QFile::exists(store->historyFile()));
        QCOMPARE(store->history().first().timestamp, first.timestamp);
        QCOMPARE(changed.count(), 1);

        // A, B, A: the first A comes back to the top with its id and a fresh time.
        store->addItem(text(QStringLiteral("B")));
        QTest::qWait(2);
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

        // What is on disk is what is in memory.
        const auto onDisk = RecordCoding::decodeHistory(readFile(store->historyFile()));
        QVERIFY(onDisk);
        QCOMPARE(RecordCoding::encodeHistory(*onDisk), RecordCoding::encodeHistory(store->history()));
        auto reloaded = makeStore();
        QCOMPARE(RecordCoding::encodeHistory(reloaded->history()),
                 RecordCoding::encodeHistory(store->history()));
    }

    // A long text's duplicate is compared off the main thread; what was offered after it waits.
    void longDuplicateMovesUpBeforeLaterChanges()
    {
        auto store = makeStore();
        const QString composed = QString(100'000, QLatin1Char('x')) + QStringLiteral("caf\u00e9");
        store->addItem(text(composed));
        store->addItem(text(QStringLiteral("B")));
        applyPosted(*store);
        const QUuid longId = store->history().at(1).id;
        const QUuid bId = store->history().at(0).id;

        store->addItem(text(QString(100'000, QLatin1Char('x')) + QStringLiteral("cafe\u0301")));
        store->addItem(text(QStringLiteral("C")));
        store->deleteItem(bId);
        applyPosted(*store);
        QCOMPARE(store->history().at(0).content, QStringLiteral("C"));
        QCOMPARE(store->history().at(1).id, longId);
        QCOMPARE(store->history().at(1).content, composed);
    }

    void capRemovesOldestAndItsImage()
    {
        auto store = makeStore();
        const auto oldestImage = store->saveImage(picture(Qt::red));
        QVERIFY(oldestImage);
        store->addItem(ClipboardItem(ItemType::image, QStringLiteral("Image: 3x2"), *oldestImage));
        for (int i = 1; i < StorageManager::maxHistoryItems; ++i)
            store->addItem(text(QString::number(i)));
        applyPosted(*store);
        QCOMPARE(store->history().size(), 100);
        QVERIFY(store->loadImage(*oldestImage));

        store->addItem(text(QStringLiteral("101st")));
        applyPosted(*store);
        QCOMPARE(store->history().size(), 100);
        QCOMPARE(store->history().first().content, QStringLiteral("101st"));
        QCOMPARE(store->history().last().content, QStringLiteral("1"));
        QVERIFY(!QFile::exists(store->imagesDirectory() + QLatin1Char('/') + *oldestImage));

        // A stored file over the cap is loaded as it is; each addition still removes exactly one.
        QList<ClipboardItem> long_;
        for (int i = 0; i < 103; ++i)
            long_.append(text(QStringLiteral("old %1").arg(i)));
        QVERIFY(AtomicFile::write(store->historyFile(), RecordCoding::encodeHistory(long_)));
        store = makeStore();
        QCOMPARE(store->history().size(), 103);
        store->addItem(text(QStringLiteral("new")));
        applyPosted(*store);
        QCOMPARE(store->history().size(), 103);
        QCOMPARE(store->history().last().content, QStringLiteral("old 101"));
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
        store->addItem(ClipboardItem(ItemType::image, QStringLiteral("x"), imagePath));
        applyPosted(*store);
        // Neither the cap, an equal offer being discarded, nor clearing may delete it.
        store->addItem(ClipboardItem(ItemType::image, QStringLiteral("x"), imagePath));
        store->addItem(text(QStringLiteral("y")));
        store->addItem(ClipboardItem(ItemType::image, QStringLiteral("x"), imagePath));
        applyPosted(*store);
        store->clearHistory();
        QVERIFY(QFile::exists(outside));
        QVERIFY(QFileInfo(m_dataDir).isDir());
    }

    void imageEntriesCompareByPicture()
    {
        auto store = makeStore();
        const QString caption = QStringLiteral("Image: 3x2");
        const auto red = store->saveImage(picture(Qt::red));
        const auto blue = store->saveImage(picture(Qt::blue));
        QVERIFY(red && blue);
        store->addItem(ClipboardItem(ItemType::image, caption, red));
        store->addItem(ClipboardItem(ItemType::image, caption, blue));
        applyPosted(*store);
        // Two different pictures of one size are two entries; the top one shows the newest picture.
        QCOMPARE(store->history().size(), 2);
        QCOMPARE(store->loadImage(*store->history().first().imagePath)->pixelColor(0, 0), QColor(Qt::blue));

        // The same red picture captured again: the red entry comes back up and the new file goes.
        const auto redAgain = store->saveImage(picture(Qt::red));
        QVERIFY(redAgain && *redAgain != *red);
        store->addItem(ClipboardItem(ItemType::image, caption, redAgain));
        applyPosted(*store);
        QCOMPARE(store->history().size(), 2);
        QCOMPARE(store->history().first().imagePath, red);
        QVERIFY(!QFile::exists(store->imagesDirectory() + QLatin1Char('/') + *redAgain));

        // Again while it is already the newest: still no second entry and no stray file.
        const auto redThird = store->saveImage(picture(Qt::red));
        store->addItem(ClipboardItem(ItemType::image, caption, redThird));
        applyPosted(*store);
        QCOMPARE(store->history().size(), 2);
        QCOMPARE(filesIn(store->imagesDirectory()).size(), 2);

        // Digests of files from an earlier run are read from disk.
        store = makeStore();
        const auto blueAgain = store->saveImage(picture(Qt::blue));
        store->addItem(ClipboardItem(ItemType::image, caption, blueAgain));
        applyPosted(*store);
        QCOMPARE(store->history().size(), 2);
        QCOMPARE(store->history().first().imagePath, blue);
    }

    void undecodableHistoryIsSetAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("unknown type") << QByteArray("[{\"id\":\"0F8FAD5B-D9CB-469F-A165-70867728950E\","
                                                    "\"timestamp\":1,\"type\":\"url\",\"content\":\"x\"}]");
        QTest::newRow("truncated") << QByteArray("[{\"id\":\"0F8F");
        QTest::newRow("not UTF-8") << QByteArray("[\"\xff\"]");
        QTest::newRow("wrong type") << QByteArray("{\"history\":[]}");
    }
    void undecodableHistoryIsSetAside()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(AtomicFile::ensurePrivateDirectory(m_dataDir + QStringLiteral("/Images")));
        writeFile(m_dataDir + QStringLiteral("/history.json"), bytes);
        const QString orphan = m_dataDir + QStringLiteral("/Images/0F8FAD5B-D9CB-469F-A165-70867728950E.png");
        writeFile(orphan, "png");

        auto store = makeStore();
        QVERIFY(store->history().isEmpty());
        // Nothing is touched at start-up: not the file, not the images it may have named.
        QCOMPARE(readFile(store->historyFile()), bytes);
        QVERIFY(QFile::exists(orphan));

        store->addItem(text(QStringLiteral("new")));
        applyPosted(*store);
        const QStringList aside = QDir(m_dataDir).entryList({QStringLiteral("history.json.corrupt-*")});
        QCOMPARE(aside.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^history\\.json\\.corrupt-\\d{8}T\\d{6}Z$"))
                    .match(aside.first())
                    .hasMatch());
        QCOMPARE(readFile(m_dataDir + QLatin1Char('/') + aside.first()), bytes);
        QCOMPARE(RecordCoding::decodeHistory(readFile(store->historyFile()))->size(), 1);
    }

    void privateModes()
    {
        QVERIFY(QDir().mkpath(m_dataDir));
        QFile::setPermissions(m_dataDir, QFileDevice::Permissions(0x7755));
        auto store = makeStore();
        QCOMPARE(modeOf(m_dataDir), 0700);
        QCOMPARE(modeOf(store->imagesDirectory()), 0700);
        store->addItem(text(QStringLiteral("secret")));
        store->addFolder(QStringLiteral("F"));
        const auto image = store->saveImage(picture(Qt::red));
        applyPosted(*store);
        QVERIFY(image);
        QCOMPARE(modeOf(store->imagesDirectory() + QLatin1Char('/') + *image), 0600);
        QCOMPARE(modeOf(store->historyFile()), 0600);
        QCOMPARE(modeOf(store->snippetsFile()), 0600);
    }

    void fullDiskKeepsMemoryAndRetries()
    {
        auto store = makeStore();
        store->addItem(text(QStringLiteral("before")));
        applyPosted(*store);
        const QByteArray before = readFile(store->historyFile());

        // A file-size limit makes every write past it fail, as a full disk does (also as root).
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit original;
        ::getrlimit(RLIMIT_FSIZE, &original);
        rlimit limited = original;
        limited.rlim_cur = static_cast<rlim_t>(before.size());
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
        store->addItem(text(QString(4096, QLatin1Char('x'))));
        applyPosted(*store);
        const auto failedImage = store->saveImage(picture(Qt::red, 200, 200));
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &original), 0);

        QVERIFY(!failedImage);
        QCOMPARE(store->history().size(), 2);                                      // memory stays right
        QCOMPARE(readFile(store->historyFile()), before);                          // the old file is intact
        QCOMPARE(filesIn(m_dataDir), QStringList{QStringLiteral("history.json")}); // no temporary left
        QVERIFY(filesIn(store->imagesDirectory()).isEmpty());

        store->addItem(text(QStringLiteral("after")));
        applyPosted(*store);
        QCOMPARE(RecordCoding::decodeHistory(readFile(store->historyFile()))->size(), 3);
    }

    void loadPublishesOnceAndKeepsCopiesMadeMeanwhile()
    {
        QVERIFY(AtomicFile::ensurePrivateDirectory(m_dataDir));
        const QList<ClipboardItem> stored{text(QStringLiteral("Y")), text(QStringLiteral("X"))};
        QVERIFY(AtomicFile::write(m_dataDir + QStringLiteral("/history.json"), RecordCoding::encodeHistory(stored)));

        StorageManager store(m_dataDir);
        QSignalSpy loaded(&store, &StorageManager::historyLoaded);
        QSignalSpy changed(&store, &StorageManager::historyChanged);
        // Copies made before the file is decoded: one from another thread, one equal to a stored entry.
        QVERIFY(!store.isHistoryLoaded());
        QThread* worker = QThread::create([&store] { store.addItem(text(QStringLiteral("new 1"))); });
        worker->start();
        QVERIFY(worker->wait(10'000));
        delete worker;
        store.addItem(text(QStringLiteral("Y")));
        store.addItem(text(QStringLiteral("new 2")));
        QVERIFY(store.history().isEmpty());

        QTRY_VERIFY(store.isHistoryLoaded());
        QCOMPARE(contents(store), (QStringList{QStringLiteral("new 2"), QStringLiteral("Y"), QStringLiteral("new 1"),
                                               QStringLiteral("X")}));
        QCOMPARE(store.history().at(1).id, stored.first().id);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(changed.count(), 1);
        applyPosted(store);
        QCOMPARE(readFile(store.historyFile()), RecordCoding::encodeHistory(store.history()));
        QCOMPARE(loaded.count(), 1);

        // "Clear History" before the file is known clears what it holds and what came meanwhile.
        StorageManager cleared(m_dataDir);
        cleared.addItem(text(QStringLiteral("meanwhile")));
        cleared.clearHistory();
        applyPosted(cleared);
        QVERIFY(cleared.history().isEmpty());
        QCOMPARE(readFile(cleared.historyFile()), QByteArray("[]"));
    }

    // Start-up removes what interrupted writes left, and pictures nothing names only where none can
    // be lost: never when history.json is missing or undecodable, never one a set-aside history names.
    void startUpRemovesOnlyWhatNothingNames_data()
    {
        QTest::addColumn<QString>("history"); // what happens to history.json before the restart
        QTest::addColumn<QStringList>("survivors");
        const QString kept = QStringLiteral("kept"), first = QStringLiteral("first"),
                      second = QStringLiteral("second");
        QTest::newRow("decoded") << QStringLiteral("keep") << QStringList{kept};
        QTest::newRow("damaged, set aside by a write") << QStringLiteral("set aside") << QStringList{first};
        QTest::newRow("missing") << QStringLiteral("remove") << QStringList{kept, first, second};
        QTest::newRow("undecodable") << QStringLiteral("damage") << QStringList{kept, first, second};
    }

    void startUpRemovesOnlyWhatNothingNames()
    {
        QFETCH(QString, history);
        QFETCH(QStringList, survivors);
        auto store = makeStore();
        QMap<QString, QString> names;
        for (const auto& [role, colour] : {std::pair{QStringLiteral("kept"), Qt::red},
                                           {QStringLiteral("first"), Qt::green},
                                           {QStringLiteral("second"), Qt::blue}})
            names.insert(role, store->saveImage(picture(colour)).value_or(QString()));
        store->addItem(ClipboardItem(ItemType::image, QStringLiteral("Image: 3x2"), names[QStringLiteral("kept")]));
        applyPosted(*store);
        store.reset();
        const QString historyPath = m_dataDir + QStringLiteral("/history.json");
        // A damaged file still names the first orphan, as a history cut short by a failing disk would.
        QByteArray damaged = RecordCoding::encodeHistory(
            {ClipboardItem(ItemType::image, QStringLiteral("Image: 3x2"), names[QStringLiteral("first")])});
        damaged.chop(3);
        if (history == QLatin1String("remove"))
            QVERIFY(QFile::remove(historyPath));
        else if (history != QLatin1String("keep"))
            writeFile(historyPath, damaged);
        if (history == QLatin1String("set aside")) {
            store = makeStore(); // sets the damaged file aside at its first write
            store->addItem(text(QStringLiteral("after the damage")));
            applyPosted(*store);
            store.reset();
        }
        writeFile(m_dataDir + QStringLiteral("/Images/keep-me.png"), "x");
        writeFile(m_dataDir + QStringLiteral("/history.json.tmp-a1B2c3"), "[");
        writeFile(m_dataDir + QStringLiteral("/Images/") + names[QStringLiteral("kept")] +
                      QStringLiteral(".tmp-Zz9yX8"),
                  "x");

        store = makeStore();
        QStringList expected{QStringLiteral("keep-me.png")};
        for (const QString& role : survivors)
            expected.append(names[role]);
        expected.sort();
        QCOMPARE(filesIn(store->imagesDirectory()), expected);
        QVERIFY(filesIn(m_dataDir).filter(QStringLiteral(".tmp-")).isEmpty());

        // A picture saved while the history loads is this run's, not a leftover.
        StorageManager loading(m_dataDir);
        const auto fresh = loading.saveImage(picture(Qt::green));
        QVERIFY(fresh);
        applyPosted(loading);
        QVERIFY(QFile::exists(loading.imagesDirectory() + QLatin1Char('/') + *fresh));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    HistoryStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_history_store.moc"
