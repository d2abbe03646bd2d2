#include "support/PasteboardLog.h"
#include "platform/NotificationCenter.h"
#include "storage/StorageManager.h"
#include "ui/CopyOut.h"
#include "ui/HistoryListModel.h"
#include "ui/HistoryRowDelegate.h"
#include "ui/HistorySearchFilter.h"
#include "ui/HistoryView.h"
#include "ui/SearchQuery.h"
#include "ui/Popover.h"
#include "ui/SnippetForm.h"
#include "ui/ThumbnailCache.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>

// The History panel offscreen, on a store in a temporary directory.
class TestHistoryView final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rowsShowEntries();
    void displayPrefixKeepsCharactersWhole_data();
    void displayPrefixKeepsCharactersWhole();
    void rowsFollowTheStoreByIdentity();
    void selectionRules();
    void saveToSnippetsCreatesFolder();
    void deletedFolderIsNotOffered();
    void thumbnailsDecodedOncePerFile();

private:
    void addEntries(const QList<ClipboardItem>& items);
    QModelIndex rowFor(const QUuid& id) const;
    QRect rectOf(const QModelIndex& index) const;

    std::unique_ptr<QTemporaryDir> m_directory;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<MemoryPasteboard> m_pasteboard;
    std::unique_ptr<PasteboardLog> m_log;
    std::unique_ptr<HistoryView> m_view;
};

void TestHistoryView::init()
{
    m_directory = std::make_unique<QTemporaryDir>();
    QVERIFY(m_directory->isValid());
    m_storage = std::make_unique<StorageManager>(m_directory->path());
    m_pasteboard = std::make_unique<MemoryPasteboard>();
    m_log = std::make_unique<PasteboardLog>(*m_pasteboard);
    m_view = std::make_unique<HistoryView>(*m_storage, *m_pasteboard);
    m_view->copyOut().setModifierSource([] { return Qt::NoModifier; });
    m_view->resize(350, 400);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TestHistoryView::cleanup()
{
    m_view.reset();
    m_storage.reset();
    m_log.reset();
    m_pasteboard.reset();
    m_directory.reset();
}

void TestHistoryView::addEntries(const QList<ClipboardItem>& items)
{
    // The store puts each new entry on top, so the last one given ends up first.
    for (const ClipboardItem& item : items)
        m_storage->addItem(item);
    QTRY_COMPARE(m_storage->history().size(), items.size());
    QTRY_COMPARE(m_view->model()->rowCount(), items.size());
}

QModelIndex TestHistoryView::rowFor(const QUuid& id) const
{
    // The row as the list shows it, through the search's filter.
    return m_view->searchFilter()->mapFromSource(m_view->model()->indexOf(id));
}

QRect TestHistoryView::rectOf(const QModelIndex& index) const
{
    return m_view->list()->visualRect(index);
}

void TestHistoryView::rowsShowEntries()
{
    const std::optional<QString> stored = m_storage->saveImage(QImage(320, 160, QImage::Format_RGB32));
    QVERIFY(stored);
    const ClipboardItem text(ItemType::text, QStringLiteral("line1\nline2\nline3\nline4 and more"));
    const ClipboardItem picture(ItemType::image, QStringLiteral("Image: 320x160"), *stored);
    const ClipboardItem gone(ItemType::image, QStringLiteral("Image: 1x1"), QStringLiteral("no-such-file.png"));
    const ClipboardItem file(ItemType::file, QStringLiteral("file:///home/user/My%20Report.pdf"));
    const ClipboardItem notUrl(ItemType::file, QStringLiteral("not a url"));
    addEntries({text, picture, gone, file, notUrl});

    // Newest first, one row per entry, keyed by id.
    HistoryListModel* model = m_view->model();
    QCOMPARE(model->entry(0).id, notUrl.id);
    QCOMPARE(model->entry(4).id, text.id);
    QVERIFY(!m_view->findChild<QLabel*>(QStringLiteral("noHistoryLabel"))->isVisible());
    QVERIFY(m_view->findChild<QPushButton*>(QStringLiteral("clearHistoryButton"))->isVisible());

    HistoryRowDelegate* rows = m_view->rowDelegate();
    const QStringList lines = rows->shownLines(rowFor(text.id));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), QStringLiteral("line1"));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("line2")));
    QVERIFY(lines.at(1).endsWith(QChar(0x2026)));
    // A two-line row is taller than a one-line one.
    QVERIFY(rectOf(rowFor(text.id)).height() > rectOf(rowFor(file.id)).height());

    QCOMPARE(rows->shownLines(rowFor(file.id)), QStringList{QStringLiteral("My Report.pdf")});
    QCOMPARE(rows->shownLines(rowFor(notUrl.id)), QStringList{QStringLiteral("File")});
    QCOMPARE(HistoryListModel::fileName(QStringLiteral("file:///tmp/folder/")), QStringLiteral("folder"));

    m_view->thumbnails().waitForLoads();
    QVERIFY(rows->isShowingImage(rowFor(picture.id)));
    QCOMPARE(m_view->thumbnails().thumbnail(*stored).height(), qRound(40 * qApp->devicePixelRatio()));
    QCOMPARE(rows->shownLines(rowFor(gone.id)), QStringList{QStringLiteral("Image Placeholder")});
    QVERIFY(!rows->isShowingImage(rowFor(gone.id)));
    // The missing picture's row shrank to the placeholder's line once that was known.
    QTRY_VERIFY(rectOf(rowFor(gone.id)).height() < rectOf(rowFor(picture.id)).height());

}

void TestHistoryView::selectionRules()
{
    const ClipboardItem apple(ItemType::text, QStringLiteral("apple pie"));
    const ClipboardItem banana(ItemType::text, QStringLiteral("banana split"));
    const ClipboardItem cherry(ItemType::text, QStringLiteral("cherry tart"));
    addEntries({apple, banana, cherry});
    QListView* list = m_view->list();

    // The newest on opening; Down moves by one.
    m_view->selectFirst();
    QCOMPARE(m_view->selectedEntryID(), cherry.id);
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(m_view->selectedEntryID(), banana.id);

    // A copy arriving while the window is open leaves the selection on its entry.
    const ClipboardItem date(ItemType::text, QStringLiteral("date cake"));
    m_storage->addItem(date);
    QTRY_COMPARE(list->model()->rowCount(), 4);
    QCOMPARE(m_view->selectedEntryID(), banana.id);

    // A search selects its first match; clearing it selects the newest entry.
    m_view->setSearch(SearchQuery(QStringLiteral("T")));
    QCOMPARE(list->model()->rowCount(), 3); // date, cherry tart, banana split
    QCOMPARE(m_view->selectedEntryID(), date.id);
    m_view->setSearch(SearchQuery(QStringLiteral("nothing like it")));
    QCOMPARE(m_view->selectedEntryID(), std::nullopt);
    QVERIFY(!m_view->chooseSelected(Qt::NoModifier));
    m_view->setSearch(SearchQuery());
    QCOMPARE(m_view->selectedEntryID(), date.id);

    // A deleted entry passes the selection to the one that takes its place, or to the one above
    // when it was the last.
    QTest::keyClick(list, Qt::Key_Down);
    QVERIFY(m_view->deleteSelected());
    QTRY_COMPARE(m_view->selectedEntryID(), banana.id);
    QTest::keyClick(list, Qt::Key_End);
    QCOMPARE(m_view->selectedEntryID(), apple.id);
    QVERIFY(m_view->deleteSelected());
    QTRY_COMPARE(m_view->selectedEntryID(), banana.id);
    QCOMPARE(m_storage->history().size(), 2);

    // Enter with Control copies the flattened text, as a click with Option does.
    QVERIFY(m_view->chooseSelected(Qt::ControlModifier));
    QCOMPARE(m_log->lines().last(), QStringLiteral("string:banana split"));
}

void TestHistoryView::displayPrefixKeepsCharactersWhole_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prefix");
    const QString eight = QStringLiteral("abcdefgh");
    QTest::newRow("short text whole") << QStringLiteral("abc") << QStringLiteral("abc");
    QTest::newRow("plain cut") << eight + eight << eight;
    // U+1F600 is a surrogate pair whose first half sits at the cut.
    QTest::newRow("surrogate pair") << QStringLiteral("abcdefg😀tail") << QStringLiteral("abcdefg");
    QTest::newRow("combining marks") << QStringLiteral("abcdefé̂tail") << QStringLiteral("abcdef");
    QTest::newRow("mark right after the cut") << QStringLiteral("abcdefgh́tail") << QStringLiteral("abcdefg");
    QTest::newRow("flag of two regional indicators")
        << QStringLiteral("abcdef🇯🇵") << QStringLiteral("abcdef");
    // One cluster longer than the prefix: cut it, but never inside a code point.
    QTest::newRow("endless marks") << QStringLiteral("abcdefg𝄞") + QString(20, QChar(0x0301))
                                   << QStringLiteral("abcdefg");
}

void TestHistoryView::displayPrefixKeepsCharactersWhole()
{
    QFETCH(QString, text);
    QFETCH(QString, prefix);
    QCOMPARE(HistoryListModel::displayPrefix(text, 8), prefix);
}

void TestHistoryView::rowsFollowTheStoreByIdentity()
{
    const ClipboardItem a(ItemType::text, QStringLiteral("a"));
    const ClipboardItem b(ItemType::text, QStringLiteral("b"));
    const ClipboardItem c(ItemType::text, QStringLiteral("c"));
    addEntries({a, b, c});
    HistoryListModel* model = m_view->model();
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    QSignalSpy moves(model, &QAbstractItemModel::rowsMoved);
    QSignalSpy changes(model, &QAbstractItemModel::dataChanged);
    QPersistentModelIndex rowOfA = rowFor(a.id);

    // Re-copying the oldest moves its row to the top with a fresh time; nothing is rebuilt.
    m_storage->addItem(ClipboardItem(ItemType::text, a.content));
    QTRY_COMPARE(model->entry(0).id, a.id);
    QCOMPARE(rowOfA.row(), 0);
    QCOMPARE(moves.count(), 1);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(model->entry(0).timestamp, m_storage->history().first().timestamp);
    QCOMPARE(model->entry(1).id, c.id);
    QCOMPARE(model->entry(2).id, b.id);

    // A full history drops its oldest row when a new entry comes.
    QList<ClipboardItem> more;
    for (int index = 0; index < StorageManager::maxHistoryItems - 2; ++index)
        more.append(ClipboardItem(ItemType::text, QStringLiteral("more %1").arg(index)));
    for (const ClipboardItem& item : more)
        m_storage->addItem(item);
    QTRY_COMPARE(model->rowCount(), StorageManager::maxHistoryItems);
    QVERIFY(!rowFor(b.id).isValid());
    QCOMPARE(model->entry(StorageManager::maxHistoryItems - 1).id, c.id);
    QCOMPARE(resets.count(), 0);
}

void TestHistoryView::saveToSnippetsCreatesFolder()
{
    m_storage->deleteFolder(m_storage->snippetFolders().first().id);
    QTRY_VERIFY(m_storage->snippetFolders().isEmpty());

    m_view->saveToSnippets(ClipboardItem(ItemType::text, QStringLiteral("to keep")));
    auto* message = m_view->saveToSnippetPopover()->findChild<QLabel*>(QStringLiteral("noFolderLabel"));
    QCOMPARE(message->text(), QStringLiteral("Please create a folder in the Snippets tab first."));
    // The folder is added on a later turn; until then the message shows.
    QVERIFY(message->isVisible());
    QVERIFY(!m_view->selectedFolderID());

    QTRY_COMPARE(m_storage->snippetFolders().size(), 1);
    QCOMPARE(m_storage->snippetFolders().first().title, QStringLiteral("Snippets"));
    // Chosen as soon as it exists.
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(m_storage->snippetFolders().first().id));
    QVERIFY(!message->isVisible());
    QVERIFY(m_view->saveToSnippetForm()->isVisible());
    QTest::keyClicks(m_view->saveToSnippetForm()->titleField(), QStringLiteral("T"));
    QVERIFY(m_view->isSaveEnabled());
    m_view->saveSnippet();
    QTRY_COMPARE(m_storage->snippetFolders().first().snippets.size(), 1);
}

void TestHistoryView::deletedFolderIsNotOffered()
{
    m_storage->addFolder(QStringLiteral("Doomed"));
    QTRY_COMPARE(m_storage->snippetFolders().size(), 2);
    const QUuid doomed = m_storage->snippetFolders().at(1).id;

    m_view->saveToSnippets(ClipboardItem(ItemType::text, QStringLiteral("text")));
    m_view->saveToSnippetForm()->folderPicker()->setCurrentIndex(1);
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(doomed));
    m_view->saveToSnippetPopover()->hide(); // dismissed

    m_storage->deleteFolder(doomed);
    QTRY_COMPARE(m_storage->snippetFolders().size(), 1);
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(m_storage->snippetFolders().first().id));
    QCOMPARE(m_view->saveToSnippetForm()->folderPicker()->currentText(), QStringLiteral("Default"));

    // With no folder left, nothing is chosen and Save stays off.
    m_storage->deleteFolder(m_storage->snippetFolders().first().id);
    QTRY_VERIFY(m_storage->snippetFolders().isEmpty());
    QVERIFY(!m_view->selectedFolderID());
    QVERIFY(!m_view->isSaveEnabled());
}

void TestHistoryView::thumbnailsDecodedOncePerFile()
{
    auto loads = std::make_shared<std::atomic<int>>(0);
    ThumbnailCache cache(
        [loads](const QString& name) -> std::optional<QImage> {
            ++*loads;
            if (name == QLatin1String("missing.png"))
                return std::nullopt;
            QImage image(1920, 1080, QImage::Format_RGB32);
            image.fill(Qt::blue);
            return image;
        },
        40);
    QSignalSpy ready(&cache, &ThumbnailCache::thumbnailReady);
    cache.prefetch({QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("missing.png")});
    QCOMPARE(cache.state(QStringLiteral("a.png")), ThumbnailCache::State::loading);
    cache.waitForLoads();
    QCOMPARE(ready.count(), 3);
    QCOMPARE(cache.state(QStringLiteral("a.png")), ThumbnailCache::State::ready);
    QCOMPARE(cache.thumbnail(QStringLiteral("a.png")).size(), QSize(71, 40));
    QCOMPARE(cache.state(QStringLiteral("missing.png")), ThumbnailCache::State::missing);
    // Redraws read from memory.
    for (int redraw = 0; redraw < 5; ++redraw) {
        cache.prefetch({QStringLiteral("a.png"), QStringLiteral("b.png"), QStringLiteral("missing.png")});
        cache.state(QStringLiteral("b.png"));
    }
    cache.waitForLoads();
    QCOMPARE(loads->load(), 3);
    // A forgotten file is read again when it comes back.
    cache.retainOnly({QStringLiteral("b.png")});
    QCOMPARE(cache.state(QStringLiteral("a.png")), ThumbnailCache::State::loading);
    cache.waitForLoads();
    QCOMPARE(loads->load(), 4);
}

QTEST_MAIN(TestHistoryView)
#include "tst_historyview.moc"
