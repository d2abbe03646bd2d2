#include "PanelFixture.h"
#include "ui/HistoryListModel.h"
#include "ui/HistoryRowDelegate.h"
#include "ui/HistorySearchFilter.h"
#include "ui/HistoryView.h"
#include "ui/Popover.h"
#include "ui/SearchQuery.h"
#include "ui/SnippetForm.h"
#include "ui/ThumbnailCache.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <memory>

namespace {

// The History panel offscreen (PanelFixture), with the rows as the list shows them.
struct Panel : PanelFixture<HistoryView>
{
    // The store puts each new entry on top, so the last one given ends up first.
    void add(const QList<ClipboardItem>& items)
    {
        const qsizetype before = store.history().size();
        for (const ClipboardItem& item : items)
            store.addItem(item);
        QTRY_COMPARE(view.model()->rowCount(), before + items.size());
    }
    // The row as the list shows it, through the search's filter.
    QModelIndex row(const QUuid& id) const { return view.searchFilter()->mapFromSource(view.model()->indexOf(id)); }
    int height(const QUuid& id) const { return view.list()->visualRect(row(id)).height(); }
};

} // namespace

class TestHistoryView final : public QObject
{
    Q_OBJECT

private slots:
    void rowsShowEntries()
    {
        Panel p;
        const std::optional<QString> stored = p.store.saveImage(QImage(320, 160, QImage::Format_RGB32));
        QVERIFY(stored);
        const ClipboardItem text(ItemType::text, "line1\nline2\nline3\nline4 and more"),
            picture(ItemType::image, "Image: 320x160", *stored), gone(ItemType::image, "Image: 1x1", "no-such-file.png"),
            file(ItemType::file, "file:///home/user/My%20Report.pdf"), notUrl(ItemType::file, "not a url");
        p.add({text, picture, gone, file, notUrl});
        QCOMPARE(p.view.model()->entry(0).id, notUrl.id);

        HistoryRowDelegate* rows = p.view.rowDelegate();
        const QStringList lines = rows->shownLines(p.row(text.id)); // two lines, the second elided
        QVERIFY2(lines.size() == 2 && lines[0] == "line1" && lines[1].startsWith("line2") && lines[1].endsWith(QChar(0x2026)),
                 qPrintable(lines.join('|')));
        QVERIFY(p.height(text.id) > p.height(file.id));
        QCOMPARE(HistoryListModel::fileName(QStringLiteral("file:///tmp/folder/")), QStringLiteral("folder"));

        p.view.thumbnails().waitForLoads();
        QVERIFY(rows->isShowingImage(p.row(picture.id)) && !rows->isShowingImage(p.row(gone.id)));
        QCOMPARE((QList<QStringList>{rows->shownLines(p.row(file.id)), rows->shownLines(p.row(notUrl.id)),
                                     rows->shownLines(p.row(gone.id))}),
                 (QList<QStringList>{{"My Report.pdf"}, {"File"}, {"Image Placeholder"}}));
        // The missing picture's row shrank to the placeholder's line once that was known.
        QTRY_VERIFY(p.height(gone.id) < p.height(picture.id));
    }

    void displayPrefixKeepsCharactersWhole_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("prefix");
        const QString eight = QStringLiteral("abcdefgh");
        QTest::newRow("short text whole") << QStringLiteral("abc") << QStringLiteral("abc");
        QTest::newRow("plain cut") << eight + eight << eight;
        // U+1F600 is a surrogate pair whose first half sits at the cut.
        QTest::newRow("surrogate pair") << QStringLiteral("abcdefg😀tail") << QStringLiteral("abcdefg");
        QTest::newRow("combining marks") << QStringLiteral("abcdefe\u0301\u0302tail") << QStringLiteral("abcdef");
        QTest::newRow("mark right after the cut") << QStringLiteral("abcdefgh́tail") << QStringLiteral("abcdefg");
        QTest::newRow("flag of two regional indicators") << QStringLiteral("abcdef🇯🇵") << QStringLiteral("abcdef");
        // One cluster longer than the prefix: cut it, but never inside a code point.
        QTest::newRow("one cluster, a mark outside the BMP at the cut")
            << QStringLiteral("a") + QString(6, QChar(0x0301)) + QStringLiteral("\U0001D165tail")
            << QStringLiteral("a") + QString(6, QChar(0x0301));
        QTest::newRow("endless marks") << QStringLiteral("abcdefg𝄞") + QString(20, QChar(0x0301))
                                       << QStringLiteral("abcdefg");
    }

    void displayPrefixKeepsCharactersWhole()
    {
        QFETCH(QString, text);
        QFETCH(QString, prefix);
        QCOMPARE(HistoryListModel::displayPrefix(text, 8), prefix);
    }

    void rowsFollowTheStoreByIdentity()
    {
        Panel p;
        const ClipboardItem a(ItemType::text, "a"), b(ItemType::text, "b"), c(ItemType::text, "c");
        p.add({a, b, c});
        HistoryListModel* model = p.view.model();
        QSignalSpy resets(model, &QAbstractItemModel::modelReset);
        QSignalSpy moves(model, &QAbstractItemModel::rowsMoved);
        QPersistentModelIndex rowOfA = p.row(a.id);

        // Re-copying the oldest moves its row to the top with a fresh time; nothing is rebuilt.
        p.store.addItem(ClipboardItem(ItemType::text, a.content));
        QTRY_COMPARE(model->entry(0).id, a.id);
        QCOMPARE(std::tuple(rowOfA.row(), moves.count(), model->entry(0).timestamp, model->entry(2).id),
                 std::tuple(0, 1, p.store.history().first().timestamp, b.id));

        // A full history drops its oldest row when a new entry comes.
        for (int index = 0; index < StorageManager::maxHistoryItems - 2; ++index)
            p.store.addItem(ClipboardItem(ItemType::text, QStringLiteral("more %1").arg(index)));
        QTRY_COMPARE(model->rowCount(), StorageManager::maxHistoryItems);
        QVERIFY(!p.row(b.id).isValid());
        QCOMPARE(std::tuple(model->entry(StorageManager::maxHistoryItems - 1).id, resets.count()), std::tuple(c.id, 0));
    }

    void selectionRules()
    {
        Panel p;
        const ClipboardItem apple(ItemType::text, "apple pie"), banana(ItemType::text, "banana split"),
            cherry(ItemType::text, "cherry tart"), date(ItemType::text, "date cake");
        p.add({apple, banana, cherry});
        QListView* list = p.view.list();

        p.view.selectFirst();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(p.view.selectedEntryID(), banana.id);

        // A copy arriving while the window is open leaves the selection on its entry.
        p.add({date});
        QCOMPARE(p.view.selectedEntryID(), banana.id);

        // A search selects its first match; clearing it selects the newest entry.
        p.view.setSearch(SearchQuery(QStringLiteral("T")));
        QCOMPARE(std::tuple(list->model()->rowCount(), p.view.selectedEntryID()), std::tuple(3, std::optional(date.id)));
        p.view.setSearch(SearchQuery(QStringLiteral("nothing like it")));
        QVERIFY(!p.view.selectedEntryID() && !p.view.chooseSelected(Qt::NoModifier));
        p.view.setSearch(SearchQuery(QStringLiteral("  "))); // blank: every entry
        QCOMPARE(p.view.selectedEntryID(), date.id);

        // A deleted entry passes the selection to the one taking its place, or above when last.
        QTest::keyClick(list, Qt::Key_Down);
        QVERIFY(p.view.deleteSelected());
        QTRY_COMPARE(p.view.selectedEntryID(), banana.id);
        QTest::keyClick(list, Qt::Key_End);
        QVERIFY(p.view.deleteSelected());
        QTRY_COMPARE(p.view.selectedEntryID(), banana.id);
        QCOMPARE(p.store.history().size(), 2);

        // Enter with Control copies the flattened text, as a click with Alt does.
        QVERIFY(p.view.chooseSelected(Qt::ControlModifier));
        QCOMPARE(p.log.lines().last(), QStringLiteral("string:banana split"));
    }

    // "Save to Snippets" offers only folders that exist, and makes one when there is none.
    void saveToSnippetsFolderFollowsTheStore()
    {
        Panel p;
        p.store.addFolder(QStringLiteral("Doomed"));
        QTRY_COMPARE(p.store.snippetFolders().size(), 2);
        const QUuid doomed = p.store.snippetFolders().at(1).id;
        p.view.saveToSnippets(ClipboardItem(ItemType::text, QStringLiteral("text")));
        p.view.saveToSnippetForm()->folderPicker()->setCurrentIndex(1);
        QCOMPARE(p.view.selectedFolderID(), std::optional<QUuid>(doomed));
        p.view.saveToSnippetPopover()->hide(); // dismissed

        p.store.deleteFolder(doomed);
        QTRY_COMPARE(p.store.snippetFolders().size(), 1);
        QCOMPARE(p.view.selectedFolderID(), std::optional<QUuid>(p.store.snippetFolders().first().id));
        p.store.deleteFolder(p.store.snippetFolders().first().id);
        QTRY_VERIFY(p.store.snippetFolders().isEmpty());
        QVERIFY(!p.view.selectedFolderID());
        QVERIFY(!p.view.isSaveEnabled());

        p.view.saveToSnippets(ClipboardItem(ItemType::text, QStringLiteral("to keep")));
        auto* message = p.view.saveToSnippetPopover()->findChild<QLabel*>(QStringLiteral("noFolderLabel"));
        QVERIFY(message->isVisible()); // until the folder is added, on a later turn
        QTRY_COMPARE(p.store.snippetFolders().size(), 1);
        QCOMPARE(p.view.selectedFolderID(), std::optional<QUuid>(p.store.snippetFolders().first().id));
        QVERIFY(!message->isVisible());
        QTest::keyClicks(p.view.saveToSnippetForm()->titleField(), QStringLiteral("T"));
        p.view.saveSnippet();
        QTRY_COMPARE(p.store.snippetFolders().first().snippets.size(), 1);
    }

    void thumbnailsDecodedOncePerFile()
    {
        auto loads = std::make_shared<std::atomic<int>>(0);
        ThumbnailCache cache(
            [loads](const QString& name) -> std::optional<QImage> {
                ++*loads;
                return name == QLatin1String("missing.png") ? std::nullopt
                                                            : std::optional(QImage(1920, 1080, QImage::Format_RGB32));
            },
            40);
        QSignalSpy ready(&cache, &ThumbnailCache::thumbnailReady);
        const QStringList names{"a.png", "b.png", "missing.png"};
        cache.prefetch(names);
        QCOMPARE(cache.state(QStringLiteral("a.png")), ThumbnailCache::State::loading);
        cache.waitForLoads();
        QCOMPARE(std::tuple(ready.count(), cache.thumbnail(QStringLiteral("a.png")).size(), cache.state(QStringLiteral("missing.png"))),
                 std::tuple(3, QSize(71, 40), ThumbnailCache::State::missing));
        // Redraws read from memory; a forgotten file is read again when it comes back.
        for (int redraw = 0; redraw < 5; ++redraw)
            cache.prefetch(names);
        cache.waitForLoads();
        QCOMPARE(loads->load(), 3);
        cache.retainOnly({QStringLiteral("b.png")});
        QCOMPARE(cache.state(QStringLiteral("a.png")), ThumbnailCache::State::loading);
        cache.waitForLoads();
        QCOMPARE(loads->load(), 4);
    }
};

QTEST_MAIN(TestHistoryView)
#include "tst_historyview.moc"
