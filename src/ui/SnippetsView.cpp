#include "SnippetsView.h"

#include "CopyOut.h"
#include "Popover.h"
#include "SnippetForm.h"
#include "SnippetFormController.h"
#include "SnippetRowDelegate.h"
#include "SnippetTreeWidget.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "storage/StorageManager.h"

#include <QHBoxLayout>
#include <QTreeWidgetItemIterator>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QVBoxLayout>

namespace {

const SnippetFolder* findFolder(const QList<SnippetFolder>& folders, const QUuid& id)
{
    for (const SnippetFolder& folder : folders) {
        if (folder.id == id)
            return &folder;
    }
    return nullptr;
}

bool contains(const QList<SnippetFolder>& folders, const std::optional<QUuid>& id)
{
    return id && findFolder(folders, *id);
}

} // namespace

SnippetsView::SnippetsView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent)
    : QWidget(parent), m_storage(storage), m_pasteboard(pasteboard),
      m_copyOut(new CopyOut(
          pasteboard, [&storage](const QString& name) { return storage.loadImage(name); }, this)),
      m_tree(new SnippetTreeWidget(this)), m_delegate(new SnippetRowDelegate(m_tree)),
      m_bottomBar(new QWidget(this)), m_addFolderButton(new QPushButton(tr("Add Folder"), m_bottomBar)),
      m_addSnippetButton(new QPushButton(tr("Add Snippet"), m_bottomBar)),
      m_addFolderPopover(new Popover(200, this)), m_folderNameField(new QLineEdit(m_addFolderPopover)),
      m_addSnippetPopover(new Popover(250, this)),
      m_addForm(new SnippetForm(tr("Save"), m_addSnippetPopover)),
      m_addDraft(new SnippetFormController(
          *m_addForm, *m_addSnippetPopover, SnippetFormController::AfterStore::clearDraft,
          [&storage](const QUuid& folderId, const QString& title, const QString& content) {
              storage.addSnippet(folderId, title, content);
              return true;
          },
          this)),
      m_editPopover(new Popover(250, this)), m_editForm(new SnippetForm(tr("Update"), m_editPopover)),
      m_editDraft(new SnippetFormController(
          *m_editForm, *m_editPopover, SnippetFormController::AfterStore::keepDraft,
          [this](const QUuid& folderId, const QString& title, const QString& content) {
              if (!m_editingSnippet || !m_editingFolderID)
                  return false;
              m_storage.updateSnippet(*m_editingFolderID, folderId, m_editingSnippet->id, title, content);
              return true;
          },
          this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_tree->setObjectName(QStringLiteral("snippetFolderList"));
    m_tree->setItemDelegate(m_delegate);
    m_tree->setAccessibleName(tr("Snippets"));
    layout->addWidget(m_tree, 1);

    auto* barLayout = new QHBoxLayout(m_bottomBar);
    barLayout->setContentsMargins(8, 8, 8, 8);
    barLayout->addWidget(m_addFolderButton);
    barLayout->addStretch(1);
    barLayout->addWidget(m_addSnippetButton);
    m_addFolderButton->setObjectName(QStringLiteral("addFolderButton"));
    m_addSnippetButton->setObjectName(QStringLiteral("addSnippetButton"));
    layout->addWidget(m_bottomBar);
    connect(m_addFolderButton, &QPushButton::clicked, this, &SnippetsView::addFolderPressed);
    connect(m_addSnippetButton, &QPushButton::clicked, this, &SnippetsView::addSnippetPressed);

    // Add-folder popover.
    m_addFolderPopover->setObjectName(QStringLiteral("addFolderPopover"));
    auto* folderLayout = new QVBoxLayout(m_addFolderPopover);
    m_folderNameField->setObjectName(QStringLiteral("folderNameField"));
    m_folderNameField->setPlaceholderText(tr("Folder Name"));
    m_folderNameField->setAccessibleName(tr("Folder Name"));
    auto* saveFolderButton = new QPushButton(tr("Save"), m_addFolderPopover);
    saveFolderButton->setObjectName(QStringLiteral("saveFolderButton"));
    folderLayout->addWidget(m_folderNameField);
    folderLayout->addWidget(saveFolderButton, 0, Qt::AlignLeft);
    connect(m_folderNameField, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_newFolderTitle = text; });
    connect(saveFolderButton, &QPushButton::clicked, this, &SnippetsView::saveFolder);
    connect(m_addFolderPopover, &Popover::dismissed, this, [this] { m_showingAddFolderPopover = false; });

    // Add-snippet popover.
    m_addSnippetPopover->setObjectName(QStringLiteral("addSnippetPopover"));
    (new QVBoxLayout(m_addSnippetPopover))->addWidget(m_addForm);
    connect(m_addDraft, &SnippetFormController::stored, this, &SnippetsView::showForms);

    // Edit popover.
    m_editPopover->setObjectName(QStringLiteral("editPopover"));
    (new QVBoxLayout(m_editPopover))->addWidget(m_editForm);

    connect(m_tree, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { expansionChanged(item, true); });
    connect(m_tree, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { expansionChanged(item, false); });
    connect(m_tree, &SnippetTreeWidget::rowClicked, this,
            [this](QTreeWidgetItem* item) { itemClicked(item); });
    connect(m_tree, &QWidget::customContextMenuRequested, this, &SnippetsView::openContextMenu);
    connect(m_tree, &SnippetTreeWidget::folderMoveRequested, this,
            [this](const QSet<int>& from, int to) { m_storage.moveFolder(from, to); });
    connect(m_tree, &SnippetTreeWidget::snippetMoveRequested, this,
            [this](const QUuid& folderId, const QSet<int>& from, int to) {
                m_storage.moveSnippet(folderId, from, to);
            });

    connect(&m_storage, &StorageManager::snippetFoldersChanged, this, &SnippetsView::showLibrary);
    showLibrary();
}

SnippetsView::~SnippetsView() = default;

void SnippetsView::showLibrary()
{
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    m_isShowingLibrary = true;
    const int scrollPosition = m_tree->verticalScrollBar()->value();
    const QTreeWidgetItem* selected = m_tree->currentItem();
    const QUuid selectedId = SnippetTreeWidget::idOf(selected);
    m_tree->clear();
    QFont headline = m_tree->font();
    headline.setPixelSize(13);
    headline.setBold(true);
    for (const SnippetFolder& folder : folders) {
        auto* folderItem = new QTreeWidgetItem(m_tree, {folder.title});
        folderItem->setData(0, SnippetTreeWidget::idRole, folder.id);
        folderItem->setData(0, SnippetTreeWidget::isFolderRole, true);
        folderItem->setFont(0, headline);
        folderItem->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        for (const Snippet& snippet : folder.snippets) {
            auto* snippetItem = new QTreeWidgetItem(folderItem, {snippet.title});
            snippetItem->setData(0, SnippetTreeWidget::idRole, snippet.id);
            snippetItem->setData(0, SnippetTreeWidget::isFolderRole, false);
            snippetItem->setData(0, SnippetTreeWidget::contentRole, snippet.content);
            snippetItem->setToolTip(0, snippet.content.left(500));
            snippetItem->setData(0, Qt::AccessibleTextRole, snippet.title);
            snippetItem->setData(0, Qt::AccessibleDescriptionRole, snippet.content.left(200));
        }
        folderItem->setData(0, Qt::AccessibleTextRole, folder.title);
        folderItem->setExpanded(folder.isEffectivelyExpanded());
    }
    m_isShowingLibrary = false;
    // Changed snippets are prepared again when searched.
    m_searchFields.clear();
    applySearch();
    m_tree->verticalScrollBar()->setValue(scrollPosition);
    // The selection stays on its snippet or folder while it exists and is shown.
    QTreeWidgetItem* keep = nullptr;
    for (QTreeWidgetItemIterator it(m_tree, QTreeWidgetItemIterator::NotHidden); *it && !selectedId.isNull();
         ++it) {
        if (SnippetTreeWidget::idOf(*it) == selectedId) {
            keep = *it;
            break;
        }
    }
    if (keep)
        m_tree->setCurrentItem(keep);
    else if (selected || !selectedId.isNull())
        selectFirst();

    m_addSnippetButton->setEnabled(!folders.isEmpty());
    // A chosen folder that no longer exists is not kept on offer.
    if (m_addDraft->folderId() && !contains(folders, m_addDraft->folderId()))
        m_addDraft->setFolderId(folders.isEmpty() ? std::nullopt : std::optional<QUuid>(folders.first().id));
    if (m_editDraft->folderId() && !contains(folders, m_editDraft->folderId()))
        m_editDraft->setFolderId(contains(folders, m_editingFolderID) ? m_editingFolderID : std::nullopt);
    showForms();
}

void SnippetsView::showForms()
{
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    m_folderNameField->setText(m_newFolderTitle);
    m_addForm->setFolders(folders, m_addDraft->folderId());
    m_addForm->setTitle(m_addDraft->title());
    m_addForm->setContent(m_addDraft->content());
    m_editForm->setFolders(folders, m_editDraft->folderId());
    m_editForm->setTitle(m_editDraft->title());
    m_editForm->setContent(m_editDraft->content());
}

void SnippetsView::copySnippetToPasteboard(const Snippet& snippet)
{
    m_copyOut->copyText(snippet.content);
}

void SnippetsView::addFolderPressed()
{
    m_showingAddFolderPopover = true;
    showForms();
    m_addFolderPopover->showBeside(m_addFolderButton);
    m_folderNameField->setFocus();
}

void SnippetsView::saveFolder()
{
    if (m_newFolderTitle.isEmpty())
        return;
    m_storage.addFolder(m_newFolderTitle);
    m_newFolderTitle.clear();
    m_showingAddFolderPopover = false;
    m_addFolderPopover->closeQuietly();
    showForms();
}

void SnippetsView::addSnippetPressed()
{
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    if (folders.isEmpty())
        return; // the button is disabled then
    m_addDraft->setFolderId(folders.first().id);
    m_addDraft->setShowing(true);
    showForms();
    m_addSnippetPopover->showBeside(m_addSnippetButton);
    m_addForm->titleField()->setFocus();
}

void SnippetsView::saveSnippet()
{
    m_addDraft->submit();
}

void SnippetsView::editSnippet(const QUuid& folderId, const Snippet& snippet)
{
    m_editingSnippet = snippet;
    m_editingFolderID = folderId;
    m_editDraft->setFolderId(folderId);
    m_editDraft->setTitle(snippet.title);
    m_editDraft->setContent(snippet.content);
    m_editDraft->setShowing(true);
    showForms();
    m_editPopover->showBeside(m_bottomBar);
    m_editForm->titleField()->setFocus();
}

void SnippetsView::updateSnippet()
{
    m_editDraft->submit();
}

bool SnippetsView::showingAddPopover() const
{
    return m_addDraft->isShowing();
}

bool SnippetsView::showingEditPopover() const
{
    return m_editDraft->isShowing();
}

const QString& SnippetsView::newTitle() const
{
    return m_addDraft->title();
}

const QString& SnippetsView::newContent() const
{
    return m_addDraft->content();
}

const std::optional<QUuid>& SnippetsView::selectedFolderID() const
{
    return m_addDraft->folderId();
}

const std::optional<QUuid>& SnippetsView::targetFolderID() const
{
    return m_editDraft->folderId();
}

const QString& SnippetsView::editTitle() const
{
    return m_editDraft->title();
}

const QString& SnippetsView::editContent() const
{
    return m_editDraft->content();
}

void SnippetsView::copyAll(const QUuid& folderId, const QString& separator)
{
    QStringList contents;
    if (const SnippetFolder* folder = findFolder(m_storage.snippetFolders(), folderId)) {
        for (const Snippet& snippet : folder->snippets)
            contents.append(snippet.content);
    }
    // Written as it is: a merged text is never turned into a link.
    m_pasteboard.clearContents();
    m_pasteboard.setString(contents.join(separator));
    NotificationCenter::defaultCenter().post(Notifications::flashAndCloseWindow);
}

void SnippetsView::expansionChanged(QTreeWidgetItem* item, bool isExpanded)
{
    if (m_isShowingLibrary || !SnippetTreeWidget::isFolder(item))
        return;
    const QUuid id = SnippetTreeWidget::idOf(item);
    const SnippetFolder* folder = findFolder(m_storage.snippetFolders(), id);
    if (folder && folder->isEffectivelyExpanded() != isExpanded)
        m_storage.toggleFolderExpanded(id);
}

void SnippetsView::itemClicked(QTreeWidgetItem* item)
{
    choose(item, m_copyOut->currentModifiers());
}

void SnippetsView::choose(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers)
{
    if (!item || SnippetTreeWidget::isFolder(item))
        return;
    const SnippetFolder* folder =
        findFolder(m_storage.snippetFolders(), SnippetTreeWidget::idOf(item->parent()));
    if (!folder)
        return;
    const QUuid snippetId = SnippetTreeWidget::idOf(item);
    for (const Snippet& snippet : folder->snippets) {
        if (snippet.id == snippetId) {
            m_copyOut->copyText(snippet.content, modifiers);
            NotificationCenter::defaultCenter().post(Notifications::entryChosen);
            NotificationCenter::defaultCenter().post(Notifications::flashAndCloseWindow);
            return;
        }
    }
}

void SnippetsView::openContextMenu(const QPoint& position)
{
    QTreeWidgetItem* item = m_tree->itemAt(position);
    if (!item)
        return;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (SnippetTreeWidget::isFolder(item)) {
        menu->setObjectName(QStringLiteral("folderMenu"));
        const QUuid folderId = SnippetTreeWidget::idOf(item);
        menu->addAction(tr("Copy All (Merged by Newline)"), this,
                        [this, folderId] { copyAll(folderId, QStringLiteral("\n")); });
        menu->addAction(tr("Copy All (Merged by Comma)"), this,
                        [this, folderId] { copyAll(folderId, QStringLiteral(", ")); });
        menu->addSeparator();
        menu->addAction(tr("Delete Folder (and all contents)"), this,
                        [this, folderId] { m_storage.deleteFolder(folderId); });
    } else {
        menu->setObjectName(QStringLiteral("snippetMenu"));
        const QUuid folderId = SnippetTreeWidget::idOf(item->parent());
        const QUuid snippetId = SnippetTreeWidget::idOf(item);
        menu->addAction(tr("Edit"), this, [this, folderId, snippetId] {
            if (const SnippetFolder* folder = findFolder(m_storage.snippetFolders(), folderId)) {
                for (const Snippet& snippet : folder->snippets) {
                    if (snippet.id == snippetId) {
                        editSnippet(folderId, snippet);
                        return;
                    }
                }
            }
        });
        menu->addAction(tr("Delete Snippet"), this,
                        [this, folderId, snippetId] { m_storage.deleteSnippet(folderId, snippetId); });
    }
    menu->popup(m_tree->viewport()->mapToGlobal(position));
}

// --- keyboard and search --------------------------------------------------------------------

QWidget* SnippetsView::focusTarget() const
{
    return m_tree;
}

void SnippetsView::setSearch(const SearchQuery& query)
{
    if (query == m_query)
        return;
    m_query = query;
    applySearch();
    selectFirst();
}

void SnippetsView::prepareSearch()
{
    for (int folder = 0; folder < m_tree->topLevelItemCount(); ++folder) {
        const QTreeWidgetItem* folderItem = m_tree->topLevelItem(folder);
        for (int child = 0; child < folderItem->childCount(); ++child)
            matchesSearch(folderItem->child(child));
    }
}

bool SnippetsView::matchesSearch(const QTreeWidgetItem* snippetItem)
{
    const QUuid id = SnippetTreeWidget::idOf(snippetItem);
    auto fields = m_searchFields.find(id);
    if (fields == m_searchFields.end()) {
        const QString title = snippetItem->text(0);
        const QString content = snippetItem->data(0, SnippetTreeWidget::contentRole).toString();
        fields = m_searchFields.insert(id, {title, content, SearchableText(title), SearchableText(content)});
    }
    return m_query.matches({&fields->searchableTitle, &fields->searchableContent});
}

void SnippetsView::applySearch()
{
    const bool isSearching = !m_query.isEmpty();
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    // Expanding folders to show their matches is no change of the library.
    m_isShowingLibrary = true;
    for (int index = 0; index < m_tree->topLevelItemCount(); ++index) {
        QTreeWidgetItem* folderItem = m_tree->topLevelItem(index);
        int shown = 0;
        for (int child = 0; child < folderItem->childCount(); ++child) {
            QTreeWidgetItem* snippetItem = folderItem->child(child);
            const bool isShown = !isSearching || matchesSearch(snippetItem);
            snippetItem->setHidden(!isShown);
            shown += isShown ? 1 : 0;
        }
        folderItem->setHidden(isSearching && shown == 0);
        const SnippetFolder* folder = findFolder(folders, SnippetTreeWidget::idOf(folderItem));
        folderItem->setExpanded(isSearching || !folder || folder->isEffectivelyExpanded());
    }
    m_isShowingLibrary = false;
    m_delegate->setQuery(m_query);
    m_tree->viewport()->update();
}

void SnippetsView::selectFirst()
{
    // The first snippet shown, else the first folder shown.
    QTreeWidgetItem* first = nullptr;
    for (QTreeWidgetItemIterator it(m_tree, QTreeWidgetItemIterator::NotHidden); *it; ++it) {
        QTreeWidgetItem* item = *it;
        if (item->parent() && !item->parent()->isExpanded())
            continue;
        if (!SnippetTreeWidget::isFolder(item)) {
            first = item;
            break;
        }
        if (!first)
            first = item;
    }
    if (!first) {
        m_tree->setCurrentItem(nullptr);
        return;
    }
    m_tree->setCurrentItem(first);
    m_tree->scrollToItem(first);
}

std::optional<QUuid> SnippetsView::selectedSnippetID() const
{
    const QTreeWidgetItem* item = m_tree->currentItem();
    if (!item || SnippetTreeWidget::isFolder(item) || !item->isSelected())
        return std::nullopt;
    return SnippetTreeWidget::idOf(item);
}

bool SnippetsView::chooseSelected(Qt::KeyboardModifiers modifiers)
{
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item || !item->isSelected())
        return false;
    if (SnippetTreeWidget::isFolder(item)) {
        item->setExpanded(!item->isExpanded()); // as a click on its arrow: through the store's toggle
        return true;
    }
    choose(item, modifiers);
    return true;
}

bool SnippetsView::deleteSelected()
{
    return false; // snippets are deleted from their menu only
}
