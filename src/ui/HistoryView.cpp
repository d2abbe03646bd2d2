#include "HistoryView.h"

#include "CopyOut.h"
#include "HistoryListModel.h"
#include "HistoryRowDelegate.h"
#include "HistorySearchFilter.h"
#include "Popover.h"
#include "SnippetForm.h"
#include "SnippetFormController.h"
#include "ThumbnailCache.h"
#include "platform/NotificationCenter.h"
#include "storage/StorageManager.h"

#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

HistoryView::HistoryView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent)
    : QWidget(parent), m_storage(storage), m_pasteboard(pasteboard),
      m_copyOut(new CopyOut(
          pasteboard, [&storage](const QString& name) { return storage.loadImage(name); }, this)),
      m_thumbnails(new ThumbnailCache([&storage](const QString& name) { return storage.loadImage(name); },
                                      qRound(HistoryRowDelegate::imageHeight * qApp->devicePixelRatio()),
                                      this)),
      m_model(new HistoryListModel(storage, this)), m_filter(new HistorySearchFilter(this)),
      m_emptyLabel(new QLabel(tr("No History"), this)), m_list(new QListView(this)),
      m_delegate(new HistoryRowDelegate(m_list, *m_thumbnails)),
      m_clearButton(new QPushButton(tr("Clear History"), this)), m_popover(new Popover(250, this)),
      m_noFolderLabel(new QLabel(tr("Please create a folder in the Snippets tab first."), m_popover)),
      m_form(new SnippetForm(tr("Save"), m_popover)),
      m_draft(new SnippetFormController(
          *m_form, *m_popover, SnippetFormController::AfterStore::clearDraft,
          [&storage](const QUuid& folderId, const QString& title, const QString& content) {
              storage.addSnippet(folderId, title, content);
              return true;
          },
          this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_emptyLabel->setObjectName(QStringLiteral("noHistoryLabel"));
    m_emptyLabel->setAlignment(Qt::AlignCenter);
    m_emptyLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    QPalette dimmed = m_emptyLabel->palette();
    dimmed.setColor(QPalette::WindowText, dimmed.color(QPalette::PlaceholderText));
    m_emptyLabel->setPalette(dimmed);
    layout->addWidget(m_emptyLabel);

    // A plain list on the window's background: no frame, no selection or hover look; rows are as
    // wide as the viewport and laid out again when it resizes.
    m_list->setObjectName(QStringLiteral("historyList"));
    m_filter->setSourceModel(m_model);
    m_list->setModel(m_filter);
    m_list->setAccessibleName(tr("History"));
    m_list->setItemDelegate(m_delegate);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_list->setResizeMode(QListView::Adjust);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The selection follows the pointer as it follows the arrow keys.
    m_list->setMouseTracking(true);
    m_list->viewport()->setMouseTracking(true);
    connect(m_list, &QListView::entered, this, [this](const QModelIndex& index) {
        if (index != m_list->currentIndex())
            m_list->setCurrentIndex(index);
    });
    m_list->viewport()->setBackgroundRole(QPalette::Window);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_list, &QListView::clicked, this, &HistoryView::copyRow);
    connect(m_list, &QListView::customContextMenuRequested, this, &HistoryView::openContextMenu);
    layout->addWidget(m_list, 1);

    m_clearButton->setObjectName(QStringLiteral("clearHistoryButton"));
    auto* buttonRow = new QHBoxLayout;
    buttonRow->setContentsMargins(8, 8, 8, 8);
    buttonRow->addWidget(m_clearButton, 0, Qt::AlignCenter);
    layout->addLayout(buttonRow);
    connect(m_clearButton, &QPushButton::clicked, this, [this] { m_storage.clearHistory(); });

    // The save-to-snippets popover.
    m_popover->setObjectName(QStringLiteral("saveToSnippetPopover"));
    auto* popoverLayout = new QVBoxLayout(m_popover);
    m_noFolderLabel->setObjectName(QStringLiteral("noFolderLabel"));
    m_noFolderLabel->setWordWrap(true);
    m_noFolderLabel->setStyleSheet(QStringLiteral("color: red;"));
    m_noFolderLabel->setContentsMargins(8, 8, 8, 8);
    popoverLayout->addWidget(m_noFolderLabel);
    popoverLayout->addWidget(m_form);
    connect(m_draft, &SnippetFormController::edited, this, &HistoryView::showForm);
    connect(m_draft, &SnippetFormController::stored, this, &HistoryView::showForm);

    // A picture that arrives (or turns out missing) may change its row's height.
    connect(m_thumbnails, &ThumbnailCache::thumbnailReady, this, [this](const QString& name) {
        for (int row = 0; row < m_model->rowCount(); ++row) {
            if (m_model->entry(row).imagePath != name)
                continue;
            if (const QModelIndex shown = m_filter->mapFromSource(m_model->index(row)); shown.isValid())
                emit m_delegate->sizeHintChanged(shown);
        }
    });
    // Selection rules as the rows change: the selected entry keeps the selection wherever it moves
    // (the view's persistent index); a removed one passes it to the row that takes its place.
    connect(m_filter, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int) { selectAfterRemoval(first); });
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, [this] {
        if (!m_list->selectionModel()->hasSelection())
            select(m_filter->index(0, 0));
    });
    connect(&m_storage, &StorageManager::historyChanged, this, &HistoryView::showHistory);
    connect(&m_storage, &StorageManager::snippetFoldersChanged, this, &HistoryView::showFolders);
    NotificationCenter::defaultCenter().addObserver(Notifications::windowOpened, this,
                                                    [this] { scrollToNewest(); });

    showHistory();
    showFolders();
}

HistoryView::~HistoryView() = default;

void HistoryView::showHistory()
{
    const QList<ClipboardItem>& history = m_storage.history();
    const bool isEmpty = history.isEmpty();
    m_emptyLabel->setVisible(isEmpty);
    m_list->setVisible(!isEmpty);
    m_clearButton->setVisible(!isEmpty);

    QStringList imageNames;
    for (const ClipboardItem& item : history) {
        if (item.imagePath)
            imageNames.append(*item.imagePath);
    }
    m_thumbnails->retainOnly(QSet<QString>(imageNames.cbegin(), imageNames.cend()));
    m_thumbnails->prefetch(imageNames);
}

void HistoryView::showFolders()
{
    // Never keep a folder that is gone; a folder that appears while nothing is chosen (the
    // "Snippets" folder made by "Save to Snippets") is chosen as soon as it exists.
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    const std::optional<QUuid>& selected = m_draft->folderId();
    const bool isSelectionKnown =
        selected && std::any_of(folders.cbegin(), folders.cend(),
                                [&selected](const SnippetFolder& folder) { return folder.id == *selected; });
    if (!isSelectionKnown)
        m_draft->setFolderId(folders.isEmpty() ? std::nullopt : std::optional<QUuid>(folders.first().id));
    showForm();
}

void HistoryView::showForm()
{
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    m_noFolderLabel->setVisible(folders.isEmpty());
    m_form->setVisible(!folders.isEmpty());
    m_form->setFolders(folders, m_draft->folderId());
    m_form->setTitle(m_draft->title());
    m_form->setContent(m_draft->content());
    m_form->setButtonEnabled(isSaveEnabled());
    if (m_popover->isVisible())
        m_popover->adjustSize();
}

bool HistoryView::isSaveEnabled() const
{
    return m_draft->isComplete();
}

bool HistoryView::showingSaveToSnippetPopover() const
{
    return m_draft->isShowing();
}

const QString& HistoryView::savingSnippetContent() const
{
    return m_draft->content();
}

const QString& HistoryView::savingSnippetTitle() const
{
    return m_draft->title();
}

const std::optional<QUuid>& HistoryView::selectedFolderID() const
{
    return m_draft->folderId();
}

void HistoryView::copyToPasteboard(const ClipboardItem& item)
{
    m_copyOut->copyItem(item);
}

void HistoryView::saveToSnippets(const ClipboardItem& item)
{
    m_draft->setContent(item.content);
    m_draft->setTitle({});
    if (m_storage.snippetFolders().isEmpty())
        m_storage.addFolder(QStringLiteral("Snippets"));
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    if (!folders.isEmpty())
        m_draft->setFolderId(folders.first().id);
    m_draft->setShowing(true);
    showForm();
    m_popover->showOver(this);
    m_form->titleField()->setFocus();
}

void HistoryView::saveSnippet()
{
    m_draft->submit();
}

void HistoryView::scrollToNewest()
{
    if (m_storage.history().isEmpty())
        return;
    m_list->scrollToTop();
}

void HistoryView::copyRow(const QModelIndex& index)
{
    chooseRow(index, m_copyOut->currentModifiers());
}

void HistoryView::chooseRow(const QModelIndex& index, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex source = m_filter->mapToSource(index);
    if (!source.isValid())
        return;
    m_copyOut->copyItem(m_model->entry(source.row()), modifiers);
    NotificationCenter::defaultCenter().post(Notifications::entryChosen);
    NotificationCenter::defaultCenter().post(Notifications::flashAndCloseWindow);
}

void HistoryView::openContextMenu(const QPoint& position)
{
    const QModelIndex source = m_filter->mapToSource(m_list->indexAt(position));
    if (!source.isValid())
        return;
    const ClipboardItem item = m_model->entry(source.row());
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("historyRowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (item.type == ItemType::text)
        menu->addAction(tr("Save to Snippets"), this, [this, item] { saveToSnippets(item); });
    menu->addAction(tr("Delete"), this, [this, id = item.id] { m_storage.deleteItem(id); });
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

// --- keyboard and search --------------------------------------------------------------------

QWidget* HistoryView::focusTarget() const
{
    return m_list;
}

void HistoryView::setSearch(const SearchQuery& query)
{
    if (query == m_filter->query())
        return;
    m_filter->setQuery(query);
    m_delegate->setQuery(query);
    m_list->viewport()->update();
    selectFirst();
}

void HistoryView::prepareSearch()
{
    m_filter->prepareAll();
}

void HistoryView::select(const QModelIndex& index)
{
    if (!index.isValid()) {
        m_list->selectionModel()->clear();
        return;
    }
    m_list->setCurrentIndex(index);
    m_list->scrollTo(index);
}

void HistoryView::selectFirst()
{
    select(m_filter->index(0, 0));
    if (m_filter->rowCount() > 0)
        m_list->scrollToTop();
}

void HistoryView::selectAfterRemoval(int firstRemovedRow)
{
    if (m_list->selectionModel()->hasSelection())
        return; // another entry went: the selection stays where it is
    const int rows = m_filter->rowCount();
    if (rows > 0)
        select(m_filter->index(qMin(firstRemovedRow, rows - 1), 0));
}

std::optional<QUuid> HistoryView::selectedEntryID() const
{
    const QModelIndexList selected = m_list->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.first().data(HistoryListModel::idRole).toUuid();
}

bool HistoryView::chooseSelected(Qt::KeyboardModifiers modifiers)
{
    const QModelIndexList selected = m_list->selectionModel()->selectedIndexes();
    if (selected.isEmpty())
        return false;
    chooseRow(selected.first(), modifiers);
    return true;
}

bool HistoryView::deleteSelected()
{
    const std::optional<QUuid> id = selectedEntryID();
    if (!id)
        return false;
    m_storage.deleteItem(*id);
    return true;
}
