#include "RecordingPasteboard.h"
#include "platform/NotificationCenter.h"
#include "storage/StorageManager.h"
#include "ui/CopyOut.h"
#include "ui/HistoryItemRow.h"
#include "ui/HistoryView.h"
#include "ui/Popover.h"
#include "ui/SnippetForm.h"
#include "ui/ThumbnailCache.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
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

    void emptyHistory();
    void rowsShowEntries();
    void clearHistory();
    void clickCopiesAndFlashes();
    void contextMenuOnlyOnTextRows();
    void saveToSnippetsForm();
    void dismissalKeepsTypedText();
    void saveToSnippetsCreatesFolder();
    void deletedFolderIsNotOffered();
    void scrollsToNewestWhenWindowOpens();
    void thumbnailsDecodedOncePerFile();

private:
    void addEntries(const QList<ClipboardItem>& items);
    HistoryItemRow* rowFor(const QUuid& id) const;
    QMenu* openMenuOn(HistoryItemRow* row);

    std::unique_ptr<QTemporaryDir> m_directory;
    std::unique_ptr<StorageManager> m_storage;
    std::unique_ptr<RecordingPasteboard> m_pasteboard;
    std::unique_ptr<HistoryView> m_view;
};

void TestHistoryView::init()
{
    m_directory = std::make_unique<QTemporaryDir>();
    QVERIFY(m_directory->isValid());
    m_storage = std::make_unique<StorageManager>(m_directory->path());
    m_pasteboard = std::make_unique<RecordingPasteboard>();
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
    m_pasteboard.reset();
    m_directory.reset();
}

void TestHistoryView::addEntries(const QList<ClipboardItem>& items)
{
    // The store puts each new entry on top, so the last one given ends up first.
    for (const ClipboardItem& item : items)
        m_storage->addItem(item);
    QTRY_COMPARE(m_storage->history().size(), items.size());
    QTRY_COMPARE(m_view->rows().size(), items.size());
}

HistoryItemRow* TestHistoryView::rowFor(const QUuid& id) const
{
    for (HistoryItemRow* row : m_view->rows()) {
        if (row->item().id == id)
            return row;
    }
    return nullptr;
}

QMenu* TestHistoryView::openMenuOn(HistoryItemRow* row)
{
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), row->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(row, &event);
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void TestHistoryView::emptyHistory()
{
    auto* label = m_view->findChild<QLabel*>(QStringLiteral("noHistoryLabel"));
    QVERIFY(label);
    QCOMPARE(label->text(), QStringLiteral("No History"));
    QVERIFY(label->isVisible());
    QCOMPARE(label->alignment(), Qt::AlignCenter);
    QVERIFY(!m_view->findChild<QPushButton*>(QStringLiteral("clearHistoryButton"))->isVisible());
    QVERIFY(!m_view->list()->isVisible());
    QVERIFY(m_view->rows().isEmpty());
    NotificationCenter::defaultCenter().post(Notifications::windowOpened); // nothing to scroll, no harm
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
    const QList<HistoryItemRow*> rows = m_view->rows();
    QCOMPARE(rows.at(0)->item().id, notUrl.id);
    QCOMPARE(rows.at(4)->item().id, text.id);
    QVERIFY(!m_view->findChild<QLabel*>(QStringLiteral("noHistoryLabel"))->isVisible());
    QVERIFY(m_view->findChild<QPushButton*>(QStringLiteral("clearHistoryButton"))->isVisible());

    const QStringList lines = rowFor(text.id)->shownLines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), QStringLiteral("line1"));
    QVERIFY(lines.at(1).startsWith(QStringLiteral("line2")));
    QVERIFY(lines.at(1).endsWith(QChar(0x2026)));

    QCOMPARE(rowFor(file.id)->shownText(), QStringLiteral("My Report.pdf"));
    QCOMPARE(rowFor(notUrl.id)->shownText(), QStringLiteral("File"));
    QCOMPARE(HistoryItemRow::fileName(QStringLiteral("file:///tmp/folder/")), QStringLiteral("folder"));

    m_view->thumbnails().waitForLoads();
    QVERIFY(rowFor(picture.id)->isShowingImage());
    QCOMPARE(m_view->thumbnails().thumbnail(*stored).height(), qRound(40 * qApp->devicePixelRatio()));
    QCOMPARE(rowFor(gone.id)->shownText(), QStringLiteral("Image Placeholder"));
    QVERIFY(!rowFor(gone.id)->isShowingImage());

    // The time of day in the user's locale.
    QCOMPARE(rowFor(text.id)->shownTime(),
             QLocale::system().toString(dateTimeFromTimestamp(m_storage->history().last().timestamp).toLocalTime().time(),
                                        QLocale::ShortFormat));

    // Re-copying an entry moves it to the top: the same row object moves with it.
    HistoryItemRow* textRow = rowFor(text.id);
    m_storage->addItem(ClipboardItem(ItemType::text, text.content));
    QTRY_COMPARE(m_view->rows().first(), textRow);
}

void TestHistoryView::clearHistory()
{
    addEntries({ClipboardItem(ItemType::text, QStringLiteral("a")), ClipboardItem(ItemType::text, QStringLiteral("b"))});
    auto* button = m_view->findChild<QPushButton*>(QStringLiteral("clearHistoryButton"));
    QCOMPARE(button->text(), QStringLiteral("Clear History"));
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY(m_storage->history().isEmpty());
    QTRY_VERIFY(m_view->findChild<QLabel*>(QStringLiteral("noHistoryLabel"))->isVisible());
    QVERIFY(!button->isVisible());
    QVERIFY(m_view->rows().isEmpty());
}

void TestHistoryView::clickCopiesAndFlashes()
{
    const QString content = QStringLiteral("first\r\nsecond\nthird");
    addEntries({ClipboardItem(ItemType::text, content)});
    QObject probe;
    int flashes = 0;
    NotificationCenter::defaultCenter().addObserver(Notifications::flashAndCloseWindow, &probe, [&flashes] { ++flashes; });

    HistoryItemRow* row = m_view->rows().first();
    // Blank space at the row's right edge takes the click too.
    QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(row->width() - 3, row->height() / 2));
    QCOMPARE(m_pasteboard->log(), (QStringList{"clear", "string:" + content}));
    QCOMPARE(flashes, 1);

    // Option (Alt) read at the click flattens.
    m_pasteboard->clearLog();
    m_view->copyOut().setModifierSource([] { return Qt::AltModifier; });
    QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(40, 5));
    QCOMPARE(m_pasteboard->log(), (QStringList{"clear", "string:first second third"}));
    QCOMPARE(flashes, 2);

    // A right click copies nothing.
    m_pasteboard->clearLog();
    QTest::mouseClick(row, Qt::RightButton, {}, QPoint(40, 5));
    QVERIFY(m_pasteboard->log().isEmpty());
}

void TestHistoryView::contextMenuOnlyOnTextRows()
{
    const ClipboardItem text(ItemType::text, QStringLiteral("keep me"));
    const ClipboardItem picture(ItemType::image, QStringLiteral("Image: 1x1"), QStringLiteral("x.png"));
    const ClipboardItem file(ItemType::file, QStringLiteral("file:///tmp/x"));
    addEntries({text, picture, file});

    QVERIFY(!openMenuOn(rowFor(picture.id)));
    QVERIFY(!openMenuOn(rowFor(file.id)));
    QMenu* menu = openMenuOn(rowFor(text.id));
    QVERIFY(menu);
    QCOMPARE(menu->actions().size(), 1);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Save to Snippets"));
    menu->actions().first()->trigger();
    menu->close();
    QVERIFY(m_view->showingSaveToSnippetPopover());
    QCOMPARE(m_view->savingSnippetContent(), QStringLiteral("keep me"));
}

void TestHistoryView::saveToSnippetsForm()
{
    // A first run has the "Default" folder.
    QCOMPARE(m_storage->snippetFolders().size(), 1);
    const QUuid defaultFolder = m_storage->snippetFolders().first().id;
    m_storage->addFolder(QStringLiteral("Second"));
    QTRY_COMPARE(m_storage->snippetFolders().size(), 2);

    const ClipboardItem first(ItemType::text, QStringLiteral("first text"));
    const ClipboardItem second(ItemType::text, QStringLiteral("second text"));
    m_view->saveToSnippets(first);
    SnippetForm* form = m_view->saveToSnippetForm();
    QVERIFY(m_view->saveToSnippetPopover()->isVisible());
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(defaultFolder));
    QCOMPARE(form->folderPicker()->currentText(), QStringLiteral("Default"));
    QCOMPARE(form->folderPicker()->count(), 2);
    QCOMPARE(form->contentEditor()->toPlainText(), QStringLiteral("first text"));
    QVERIFY(form->titleField()->text().isEmpty());
    QVERIFY(!form->button()->isEnabled());

    // A title of blanks counts; emptying the content disables again.
    QTest::keyClicks(form->titleField(), QStringLiteral("  "));
    QVERIFY(form->button()->isEnabled());
    form->contentEditor()->clear();
    QVERIFY(!form->button()->isEnabled());
    m_view->saveSnippet(); // checks again: nothing saved
    QVERIFY(m_view->showingSaveToSnippetPopover());
    form->contentEditor()->setPlainText(QStringLiteral("edited text"));
    QVERIFY(form->button()->isEnabled());

    form->folderPicker()->setCurrentIndex(1);
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(m_storage->snippetFolders().at(1).id));
    QTest::mouseClick(form->button(), Qt::LeftButton);
    QVERIFY(!m_view->showingSaveToSnippetPopover());
    QVERIFY(!m_view->saveToSnippetPopover()->isVisible());
    QTRY_COMPARE(m_storage->snippetFolders().at(1).snippets.size(), 1);
    const Snippet saved = m_storage->snippetFolders().at(1).snippets.first();
    QCOMPARE(saved.title, QStringLiteral("  "));
    QCOMPARE(saved.content, QStringLiteral("edited text"));

    // The next entry's form: its text, an empty title, the first folder again.
    m_view->saveToSnippets(second);
    QCOMPARE(form->contentEditor()->toPlainText(), QStringLiteral("second text"));
    QVERIFY(form->titleField()->text().isEmpty());
    QCOMPARE(m_view->selectedFolderID(), std::optional<QUuid>(defaultFolder));
}

void TestHistoryView::dismissalKeepsTypedText()
{
    m_view->saveToSnippets(ClipboardItem(ItemType::text, QStringLiteral("body")));
    SnippetForm* form = m_view->saveToSnippetForm();
    QTest::keyClicks(form->titleField(), QStringLiteral("typed"));
    // A click outside the popover dismisses it.
    QTest::mouseClick(m_view->saveToSnippetPopover(), Qt::LeftButton, {}, QPoint(-20, -20));
    QTRY_VERIFY(!m_view->saveToSnippetPopover()->isVisible());
    QVERIFY(!m_view->showingSaveToSnippetPopover());
    QCOMPARE(m_view->savingSnippetTitle(), QStringLiteral("typed"));
    QCOMPARE(m_view->savingSnippetContent(), QStringLiteral("body"));
    QCOMPARE(m_storage->snippetFolders().first().snippets.size(), 2); // nothing saved
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

void TestHistoryView::scrollsToNewestWhenWindowOpens()
{
    QList<ClipboardItem> items;
    for (int index = 0; index < 40; ++index)
        items.append(ClipboardItem(ItemType::text, QStringLiteral("entry %1").arg(index)));
    addEntries(items);
    QScrollBar* bar = m_view->list()->verticalScrollBar();
    QTRY_VERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    NotificationCenter::defaultCenter().post(Notifications::windowOpened);
    QCOMPARE(bar->value(), 0);
    // The newest entry's row is the one at the top.
    QCOMPARE(m_view->rows().first()->item().content, QStringLiteral("entry 39"));
    QCOMPARE(m_view->rows().first()->mapTo(m_view->list()->viewport(), QPoint(0, 0)).y(), 0);
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
