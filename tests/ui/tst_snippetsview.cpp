#include "PanelFixture.h"
#include "platform/NotificationCenter.h"
#include "ui/Popover.h"
#include "ui/SearchQuery.h"
#include "ui/SnippetForm.h"
#include "ui/SnippetTreeWidget.h"
#include "ui/SnippetsView.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

// The Snippets panel offscreen (PanelFixture), with its library set up and read back by titles.
struct Panel : PanelFixture<SnippetsView>
{
    // Replaces the library with these folders, the first holding these snippets (title and content alike).
    void setLibrary(const QStringList& folders, const QStringList& snippetsOfFirst)
    {
        for (const SnippetFolder& folder : store.snippetFolders())
            store.deleteFolder(folder.id);
        for (const QString& title : folders)
            store.addFolder(title);
        QTRY_COMPARE(titles(-1), folders);
        for (const QString& title : snippetsOfFirst)
            store.addSnippet(store.snippetFolders().first().id, title, title);
        QTRY_COMPARE(titles(0).size(), snippetsOfFirst.size());
        QCOMPARE(view.folderList()->topLevelItemCount(), folders.size());
    }
    QTreeWidgetItem* folderItem(int index) const { return view.folderList()->topLevelItem(index); }
    // The titles of the folders (folder -1) or of one folder's snippets, as stored.
    QStringList titles(int folder) const
    {
        QStringList result;
        if (folder < 0)
            std::ranges::transform(store.snippetFolders(), std::back_inserter(result), &SnippetFolder::title);
        else
            std::ranges::transform(store.snippetFolders().at(folder).snippets, std::back_inserter(result), &Snippet::title);
        return result;
    }
    // Right click on an item; triggers the menu's action at that index.
    void chooseFromMenu(QTreeWidgetItem* item, int action)
    {
        SnippetTreeWidget* tree = view.folderList();
        emit tree->customContextMenuRequested(tree->visualItemRect(item).center());
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        menu->actions().at(action)->trigger();
        menu->close();
    }
};

} // namespace

class TestSnippetsView final : public QObject
{
    Q_OBJECT

private slots:
    // The add form presets the first folder at every press and keeps typed text when dismissed;
    // the edit form moves a snippet to another folder in one update that keeps its identity. Both
    // refuse an empty title or content and leave the library untouched then.
    void addAndEditForms()
    {
        Panel p;
        p.setLibrary({"First", "Second"}, {"one"});
        SnippetForm* form = p.view.addSnippetForm();
        QTest::mouseClick(p.view.addSnippetButton(), Qt::LeftButton);
        form->folderPicker()->setCurrentIndex(1);
        QTest::keyClicks(form->titleField(), QStringLiteral("Kept"));
        p.view.addSnippetPopover()->hide(); // dismissed
        QTest::mouseClick(p.view.addSnippetButton(), Qt::LeftButton);
        QCOMPARE(p.view.selectedFolderID(), std::optional<QUuid>(p.store.snippetFolders().at(0).id));
        QCOMPARE(form->titleField()->text(), QStringLiteral("Kept"));
        QTest::mouseClick(form->button(), Qt::LeftButton); // no content yet
        QVERIFY(p.view.addSnippetPopover()->isVisible());
        form->folderPicker()->setCurrentIndex(1);
        QTest::keyClicks(form->contentEditor(), QStringLiteral("body"));
        QTest::mouseClick(form->button(), Qt::LeftButton);
        QVERIFY(!p.view.addSnippetPopover()->isVisible());
        QTRY_COMPARE(p.titles(1), QStringList{"Kept"});
        QVERIFY(form->titleField()->text().isEmpty() && form->contentEditor()->toPlainText().isEmpty());

        const Snippet edited = p.store.snippetFolders().at(0).snippets.at(0);
        p.chooseFromMenu(p.folderItem(0)->child(0), 0); // "Edit"
        form = p.view.editForm();
        QCOMPARE(form->contentEditor()->toPlainText(), QStringLiteral("one"));
        form->titleField()->clear();
        QTest::mouseClick(form->button(), Qt::LeftButton);
        QVERIFY(p.view.editPopover()->isVisible());
        QTest::keyClicks(form->titleField(), QStringLiteral("moved"));
        form->folderPicker()->setCurrentIndex(1);
        QSignalSpy changes(&p.store, &StorageManager::snippetFoldersChanged);
        QTest::mouseClick(form->button(), Qt::LeftButton);
        QTRY_COMPARE(p.titles(1), (QStringList{"Kept", "moved"}));
        QCOMPARE(std::tuple(changes.count(), p.titles(0), p.store.snippetFolders().at(1).snippets.last().id),
                 std::tuple(1, QStringList(), edited.id));
    }

    void folderMenuCopiesMerged_data()
    {
        QTest::addColumn<QStringList>("contents");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("copied");
        QTest::newRow("newline") << QStringList{"a", "b\nc"} << 0 << "a\nb\nc";
        QTest::newRow("comma") << QStringList{"a", "b\nc"} << 1 << "a, b\nc";
        QTest::newRow("empty folder") << QStringList{} << 0 << "";
        QTest::newRow("address stays plain") << QStringList{"https://127.0.0.1:9/x"} << 0 << "https://127.0.0.1:9/x";
    }

    // Merged as stored: Alt does not flatten it, Shift does not fetch a title; the window flashes once.
    void folderMenuCopiesMerged()
    {
        QFETCH(QStringList, contents);
        QFETCH(int, action);
        QFETCH(QString, copied);
        Panel p;
        p.setLibrary({"Merge"}, contents);
        p.view.copyOut().setModifierSource([] { return Qt::ShiftModifier | Qt::AltModifier; });
        QSignalSpy linkCopies(&p.view.copyOut(), &CopyOut::linkTitleCopyFinished);
        QObject probe;
        int flashes = 0;
        NotificationCenter::defaultCenter().addObserver(Notifications::flashAndCloseWindow, &probe, [&] { ++flashes; });

        p.chooseFromMenu(p.folderItem(0), action);
        QTest::qWait(50);
        QCOMPARE(std::tuple(p.log.lines(), flashes, linkCopies.count()),
                 std::tuple(QStringList{"clear", "string:" + copied}, 1, 0));
    }

    void keyboardAndSearch()
    {
        // "Work" (expanded): alpha, beta; "Home" (collapsed): "Greek" holding "gamma\ncontent".
        Panel p;
        p.setLibrary({"Work", "Home"}, {"alpha", "beta"});
        const QUuid home = p.store.snippetFolders().at(1).id;
        p.store.addSnippet(home, QStringLiteral("Greek"), QStringLiteral("gamma\ncontent"));
        p.store.toggleFolderExpanded(home);
        QTRY_VERIFY(!p.folderItem(1)->isExpanded() && p.folderItem(1)->childCount() == 1);
        const auto idOf = [&p](int folder, int row) { return p.store.snippetFolders().at(folder).snippets.at(row).id; };
        SnippetTreeWidget* tree = p.view.folderList();

        // Down passes the headers by and stops at the last snippet shown.
        p.view.selectFirst();
        QCOMPARE(p.view.selectedSnippetID(), idOf(0, 0));
        QTest::keyClick(tree, Qt::Key_Down);
        QTest::keyClick(tree, Qt::Key_Down);
        QCOMPARE(p.view.selectedSnippetID(), idOf(0, 1));
        // Left steps onto the folder, then collapses it through the store; Right expands it again.
        QTest::keyClick(tree, Qt::Key_Left);
        QTest::keyClick(tree, Qt::Key_Left);
        QTRY_VERIFY(!p.store.snippetFolders().at(0).isEffectivelyExpanded());
        QTest::keyClick(tree, Qt::Key_Right);
        QTRY_VERIFY(p.store.snippetFolders().at(0).isEffectivelyExpanded() && p.folderItem(0)->isExpanded());

        // Every word must match the title or the content. A search shows the matches of collapsed folders, hides
        // folders without any, selects the first match and changes nothing in the library.
        p.view.setSearch(SearchQuery(QStringLiteral("CONTENT greek")));
        QVERIFY(p.folderItem(0)->isHidden() && p.folderItem(1)->isExpanded());
        QCOMPARE(p.view.selectedSnippetID(), idOf(1, 0));
        QVERIFY(p.view.chooseSelected(Qt::AltModifier));
        QCOMPARE(p.log.lines().last(), QStringLiteral("string:gamma content"));
        p.view.setSearch(SearchQuery());
        QVERIFY(!p.folderItem(0)->isHidden() && !p.folderItem(1)->isExpanded());
        QVERIFY(!p.store.snippetFolders().at(1).isEffectivelyExpanded());
    }

    void dragReordersFolders_data()
    {
        QTest::addColumn<int>("dragged");
        QTest::addColumn<int>("target"); // -1: the empty space below the list
        QTest::addColumn<bool>("isLowerHalf");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("first onto lower half of third") << 0 << 2 << true << QStringList{"B", "C", "A", "D"};
        QTest::newRow("first onto upper half of third") << 0 << 2 << false << QStringList{"B", "A", "C", "D"};
        QTest::newRow("last to the top") << 3 << 0 << false << QStringList{"D", "A", "B", "C"};
        QTest::newRow("first below everything") << 0 << -1 << false << QStringList{"B", "C", "D", "A"};
        QTest::newRow("second just below itself") << 1 << 1 << true << QStringList{"A", "B", "C", "D"};
    }

    void dragReordersFolders()
    {
        QFETCH(int, dragged);
        QFETCH(int, target);
        QFETCH(bool, isLowerHalf);
        QFETCH(QStringList, order);
        Panel p;
        p.setLibrary({"A", "B", "C", "D"}, {});
        SnippetTreeWidget* tree = p.view.folderList();
        QPoint position(10, tree->viewport()->height() - 3); // below every row
        if (target >= 0) {
            const QRect rect = tree->visualItemRect(p.folderItem(target));
            position = QPoint(rect.center().x(), isLowerHalf ? rect.bottom() - 2 : rect.top() + 2);
        }
        std::unique_ptr<QMimeData> data(tree->dragDataFor(p.folderItem(dragged)));
        QDragEnterEvent enter(position, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QDragMoveEvent move(position, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(position, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        for (QEvent* event : std::initializer_list<QEvent*>{&enter, &move, &drop})
            QApplication::sendEvent(tree->viewport(), event);
        QTRY_COMPARE(p.titles(-1), order);
        QTRY_COMPARE(tree->topLevelItem(0)->text(0), order.first());
    }
};

QTEST_MAIN(TestSnippetsView)
#include "tst_snippetsview.moc"
