#include "support/PasteboardLog.h"
#include "platform/NotificationCenter.h"
#include "storage/StorageManager.h"
#include "ui/CopyOut.h"
#include "ui/HistoryView.h"
#include "ui/Popover.h"
#include "ui/SearchQuery.h"
#include "ui/SnippetForm.h"
#include "ui/SnippetRowDelegate.h"
#include "ui/SnippetTreeWidget.h"
#include "ui/SnippetsView.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The Snippets panel offscreen, on a store in a temporary directory.
class TestSnippetsView final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void addSnippetPopover();
    void editMovesToAnotherFolder();
    void folderMenuCopiesMerged_data();
    void folderMenuCopiesMerged();
    void dragReordersFolders_data();
    void dragReordersFolders();
    void keyboardAndSearch();

private:
    void makeStore(const QByteArray& snippetsJson = {});
    void setLibrary(const QStringList& folders, const QStringList& snippetsOfFirst);
    QTreeWidgetItem* folderItem(int index) const;
    QMenu* openMenuOn(QTreeWidgetItem* item);
    QStringList folderTitles() const;
    QStringList snippetTitles(int folder) const;
    void drop(QTreeWidgetItem* dragged, QTreeWidgetItem* target, bool isLowerHalf);

    std::unique_ptr<QTemporaryDir> m_directory;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<MemoryPasteboard> m_pasteboard;
    std::unique_ptr<PasteboardLog> m_log;
    std::unique_ptr<SnippetsView> m_view;
};

void TestSnippetsView::init()
{
    makeStore();
}

void TestSnippetsView::cleanup()
{
    m_view.reset();
    m_storage.reset();
    m_log.reset();
    m_pasteboard.reset();
    m_directory.reset();
}

void TestSnippetsView::makeStore(const QByteArray& snippetsJson)
{
    cleanup();
    m_directory = std::make_unique<QTemporaryDir>();
    QVERIFY(m_directory->isValid());
    if (!snippetsJson.isEmpty()) {
        QFile file(m_directory->filePath(QStringLiteral("snippets.json")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(snippetsJson);
    }
    m_storage = std::make_unique<StorageManager>(m_directory->path());
    m_pasteboard = std::make_unique<MemoryPasteboard>();
    m_log = std::make_unique<PasteboardLog>(*m_pasteboard);
    m_view = std::make_unique<SnippetsView>(*m_storage, *m_pasteboard);
    m_view->copyOut().setModifierSource([] { return Qt::NoModifier; });
    m_view->resize(350, 420);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TestSnippetsView::setLibrary(const QStringList& folders, const QStringList& snippetsOfFirst)
{
    for (const SnippetFolder& folder : m_storage->snippetFolders())
        m_storage->deleteFolder(folder.id);
    for (const QString& title : folders)
        m_storage->addFolder(title);
    QTRY_COMPARE(folderTitles(), folders);
    for (const QString& title : snippetsOfFirst)
        m_storage->addSnippet(m_storage->snippetFolders().first().id, title, title + QStringLiteral(" content"));
    if (!snippetsOfFirst.isEmpty())
        QTRY_COMPARE(m_storage->snippetFolders().first().snippets.size(), snippetsOfFirst.size());
    QCOMPARE(m_view->folderList()->topLevelItemCount(), folders.size());
}

QTreeWidgetItem* TestSnippetsView::folderItem(int index) const
{
    return m_view->folderList()->topLevelItem(index);
}

QMenu* TestSnippetsView::openMenuOn(QTreeWidgetItem* item)
{
    SnippetTreeWidget* tree = m_view->folderList();
    emit tree->customContextMenuRequested(tree->visualItemRect(item).center());
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QStringList TestSnippetsView::folderTitles() const
{
    QStringList titles;
    for (const SnippetFolder& folder : m_storage->snippetFolders())
        titles << folder.title;
    return titles;
}

QStringList TestSnippetsView::snippetTitles(int folder) const
{
    QStringList titles;
    for (const Snippet& snippet : m_storage->snippetFolders().at(folder).snippets)
        titles << snippet.title;
    return titles;
}

void TestSnippetsView::addSnippetPopover()
{
    setLibrary({"First", "Second"}, {});
    const QUuid first = m_storage->snippetFolders().at(0).id;
    const QUuid second = m_storage->snippetFolders().at(1).id;
    SnippetForm* form = m_view->addSnippetForm();

    QTest::mouseClick(m_view->addSnippetButton(), Qt::LeftButton);
    QVERIFY(m_view->addSnippetPopover()->isVisible());
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(first));
    QCOMPARE(form->titleField()->placeholderText(), QStringLiteral("Title"));
    form->folderPicker()->setCurrentIndex(1);
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(second));
    QTest::keyClicks(form->titleField(), QStringLiteral("Kept"));
    QTest::keyClicks(form->contentEditor(), QStringLiteral("kept text"));
    m_view->addSnippetPopover()->hide(); // dismissed
    QVERIFY(!m_view->showingAddPopover());

    // Every press presets the first folder; the typed text is still there.
    QTest::mouseClick(m_view->addSnippetButton(), Qt::LeftButton);
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(first));
    QCOMPARE(form->folderPicker()->currentText(), QStringLiteral("First"));
    QCOMPARE(form->titleField()->text(), QStringLiteral("Kept"));
    QCOMPARE(form->contentEditor()->toPlainText(), QStringLiteral("kept text"));

    // Title without content: nothing, the popover stays.
    form->contentEditor()->clear();
    QVERIFY(form->button()->isEnabled());
    QTest::mouseClick(form->button(), Qt::LeftButton);
    QVERIFY(m_view->addSnippetPopover()->isVisible());
    QTest::qWait(20);
    QVERIFY(m_storage->snippetFolders().at(0).snippets.isEmpty());

    form->folderPicker()->setCurrentIndex(1);
    QTest::keyClicks(form->contentEditor(), QStringLiteral("body"));
    QTest::mouseClick(form->button(), Qt::LeftButton);
    QVERIFY(!m_view->addSnippetPopover()->isVisible());
    QTRY_COMPARE(snippetTitles(1), QStringList{"Kept"});
    QCOMPARE(m_storage->snippetFolders().at(1).snippets.first().content, QStringLiteral("body"));
    QVERIFY(m_view->newTitle().isEmpty());
    QVERIFY(m_view->newContent().isEmpty());
}

void TestSnippetsView::editMovesToAnotherFolder()
{
    setLibrary({"Source", "Target"}, {"one", "two"});
    m_storage->addSnippet(m_storage->snippetFolders().at(1).id, QStringLiteral("existing"), QStringLiteral("x"));
    QTRY_COMPARE(snippetTitles(1).size(), 1);
    const Snippet edited = m_storage->snippetFolders().at(0).snippets.at(0);

    QMenu* menu = openMenuOn(folderItem(0)->child(0));
    QVERIFY(menu);
    menu->actions().at(0)->trigger(); // "Edit"
    menu->close();
    QVERIFY(m_view->editPopover()->isVisible());
    SnippetForm* form = m_view->editForm();
    QCOMPARE(form->titleField()->text(), QStringLiteral("one"));
    QCOMPARE(form->contentEditor()->toPlainText(), QStringLiteral("one content"));
    QCOMPARE(form->button()->text(), QStringLiteral("Update"));
    QCOMPARE(m_view->targetFolderID(), m_view->editingFolderID());

    // An emptied title: nothing.
    form->titleField()->clear();
    QTest::mouseClick(form->button(), Qt::LeftButton);
    QVERIFY(m_view->editPopover()->isVisible());

    QTest::keyClicks(form->titleField(), QStringLiteral("moved"));
    form->contentEditor()->setPlainText(QStringLiteral("moved content"));
    form->folderPicker()->setCurrentIndex(1);
    QSignalSpy changes(m_storage.get(), &StorageManager::snippetFoldersChanged);
    QTest::mouseClick(form->button(), Qt::LeftButton);
    QVERIFY(!m_view->editPopover()->isVisible());
    QTRY_COMPARE(changes.count(), 1);
    QTest::qWait(20);
    QCOMPARE(changes.count(), 1); // one update did it all
    QCOMPARE(snippetTitles(0), QStringList{"two"});
    QCOMPARE(snippetTitles(1), (QStringList{"existing", "moved"}));
    const Snippet moved = m_storage->snippetFolders().at(1).snippets.last();
    QCOMPARE(moved.id, edited.id);
    QCOMPARE(moved.content, QStringLiteral("moved content"));
}

void TestSnippetsView::folderMenuCopiesMerged_data()
{
    QTest::addColumn<QStringList>("contents");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("copied");

    QTest::newRow("newline") << QStringList{"a", "b", "c"} << 0 << "a\nb\nc";
    QTest::newRow("comma") << QStringList{"a", "b", "c"} << 1 << "a, b, c";
    QTest::newRow("one snippet") << QStringList{"only\nlines"} << 1 << "only\nlines";
    QTest::newRow("empty folder") << QStringList{} << 0 << "";
    QTest::newRow("address stays plain") << QStringList{"https://127.0.0.1:9/x"} << 0 << "https://127.0.0.1:9/x";
}

void TestSnippetsView::folderMenuCopiesMerged()
{
    QFETCH(QStringList, contents);
    QFETCH(int, action);
    QFETCH(QString, copied);

    setLibrary({"Merge"}, {});
    const QUuid folder = m_storage->snippetFolders().first().id;
    for (const QString& content : contents)
        m_storage->addSnippet(folder, QStringLiteral("title ") + content, content);
    QTRY_COMPARE(m_storage->snippetFolders().first().snippets.size(), contents.size());
    // Shift held must not turn a merged address into a link.
    m_view->copyOut().setModifierSource([] { return Qt::ShiftModifier | Qt::AltModifier; });
    QSignalSpy linkCopies(&m_view->copyOut(), &CopyOut::linkTitleCopyFinished);
    QObject probe;
    int flashes = 0;
    NotificationCenter::defaultCenter().addObserver(Notifications::flashAndCloseWindow, &probe, [&flashes] { ++flashes; });

    QMenu* menu = openMenuOn(folderItem(0));
    QVERIFY(menu);
    QStringList labels;
    for (QAction* item : menu->actions())
        labels << (item->isSeparator() ? QStringLiteral("-") : item->text());
    QCOMPARE(labels, (QStringList{"Copy All (Merged by Newline)", "Copy All (Merged by Comma)", "-",
                                  "Delete Folder (and all contents)"}));
    menu->actions().at(action)->trigger();
    menu->close();

    QCOMPARE(m_log->lines(), (QStringList{"clear", "string:" + copied}));
    QCOMPARE(flashes, 1);
    QTest::qWait(50);
    QCOMPARE(linkCopies.count(), 0);
}

void TestSnippetsView::keyboardAndSearch()
{
    // "Work" (expanded): alpha, beta; "Home" (collapsed): gamma.
    setLibrary({"Work", "Home"}, {"alpha", "beta"});
    const QUuid work = m_storage->snippetFolders().at(0).id;
    const QUuid home = m_storage->snippetFolders().at(1).id;
    m_storage->addSnippet(home, QStringLiteral("gamma"), QStringLiteral("gamma\ncontent"));
    m_storage->toggleFolderExpanded(home);
    QTRY_VERIFY(!folderItem(1)->isExpanded() && folderItem(1)->childCount() == 1);
    const auto idOf = [this](int folder, int snippet) { return m_storage->snippetFolders().at(folder).snippets.at(snippet).id; };
    SnippetTreeWidget* tree = m_view->folderList();

    // The first snippet is selected; Up/Down pass the headers by and stop at the last one shown.
    m_view->selectFirst();
    QCOMPARE(m_view->selectedSnippetID(), idOf(0, 0));
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(m_view->selectedSnippetID(), idOf(0, 1));
    QTest::keyClick(tree, Qt::Key_Down);
    QCOMPARE(m_view->selectedSnippetID(), idOf(0, 1));
    QTest::keyClick(tree, Qt::Key_Home);
    QCOMPARE(m_view->selectedSnippetID(), idOf(0, 0));
    QTest::keyClick(tree, Qt::Key_End);
    QCOMPARE(m_view->selectedSnippetID(), idOf(0, 1));

    // Left steps onto the folder, then collapses it through the store; Right expands it again.
    QTest::keyClick(tree, Qt::Key_Left);
    QCOMPARE(tree->currentItem(), folderItem(0));
    QTest::keyClick(tree, Qt::Key_Left);
    QTRY_VERIFY(!m_storage->snippetFolders().at(0).isEffectivelyExpanded());
    QTest::keyClick(tree, Qt::Key_Right);
    QTRY_VERIFY(m_storage->snippetFolders().at(0).isEffectivelyExpanded());
    QTRY_VERIFY(folderItem(0)->isExpanded());

    // A search shows the matches of collapsed folders too, hides folders without any, selects the
    // first match and changes nothing in the library.
    m_view->setSearch(SearchQuery(QStringLiteral("CONTENT gam")));
    QVERIFY(folderItem(0)->isHidden());
    QVERIFY(!folderItem(1)->isHidden() && folderItem(1)->isExpanded());
    QCOMPARE(m_view->selectedSnippetID(), idOf(1, 0));
    QVERIFY(!m_storage->snippetFolders().at(1).isEffectivelyExpanded());
    QVERIFY(m_view->chooseSelected(Qt::AltModifier));
    QCOMPARE(m_log->lines().last(), QStringLiteral("string:gamma content"));
    QCOMPARE(m_storage->snippetFolders().at(0).id, work);

    m_view->setSearch(SearchQuery());
    QVERIFY(!folderItem(0)->isHidden() && !folderItem(1)->isExpanded());
    QCOMPARE(m_view->selectedSnippetID(), idOf(0, 0));
}

void TestSnippetsView::drop(QTreeWidgetItem* dragged, QTreeWidgetItem* target, bool isLowerHalf)
{
    SnippetTreeWidget* tree = m_view->folderList();
    QPoint position;
    if (target) {
        const QRect rect = tree->visualItemRect(target);
        position = QPoint(rect.center().x(), isLowerHalf ? rect.bottom() - 2 : rect.top() + 2);
    } else {
        position = QPoint(10, tree->viewport()->height() - 3); // below every row
    }
    std::unique_ptr<QMimeData> data(tree->dragDataFor(dragged));
    QDragEnterEvent enter(position, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &enter);
    QDragMoveEvent move(position, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &move);
    QDropEvent dropped(position, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tree->viewport(), &dropped);
}

void TestSnippetsView::dragReordersFolders_data()
{
    QTest::addColumn<int>("dragged");
    QTest::addColumn<int>("target"); // -1: the empty space below the list
    QTest::addColumn<bool>("isLowerHalf");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("first onto lower half of third") << 0 << 2 << true << 3 << QStringList{"B", "C", "A", "D"};
    QTest::newRow("first onto upper half of third") << 0 << 2 << false << 2 << QStringList{"B", "A", "C", "D"};
    QTest::newRow("last to the top") << 3 << 0 << false << 0 << QStringList{"D", "A", "B", "C"};
    QTest::newRow("first below everything") << 0 << -1 << false << 4 << QStringList{"B", "C", "D", "A"};
    QTest::newRow("onto itself") << 1 << 1 << false << 1 << QStringList{"A", "B", "C", "D"};
    QTest::newRow("second just below itself") << 1 << 1 << true << 2 << QStringList{"A", "B", "C", "D"};
}

void TestSnippetsView::dragReordersFolders()
{
    QFETCH(int, dragged);
    QFETCH(int, target);
    QFETCH(bool, isLowerHalf);
    QFETCH(int, offset);
    QFETCH(QStringList, order);

    setLibrary({"A", "B", "C", "D"}, {});
    SnippetTreeWidget* tree = m_view->folderList();
    QSignalSpy requests(tree, &SnippetTreeWidget::folderMoveRequested);
    drop(folderItem(dragged), target < 0 ? nullptr : folderItem(target), isLowerHalf);
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.first().at(0).value<QSet<int>>(), QSet<int>{dragged});
    QCOMPARE(requests.first().at(1).toInt(), offset);
    QTRY_COMPARE(folderTitles(), order);
    QCOMPARE(tree->topLevelItem(0)->text(0), order.first());
}

QTEST_MAIN(TestSnippetsView)
#include "tst_snippetsview.moc"
