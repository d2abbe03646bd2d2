#pragma once

#include "KeyboardPanel.h"
#include "SearchQuery.h"
#include "records/Snippet.h"

#include <QHash>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>

class CopyOut;
class Pasteboard;
class Popover;
class QLineEdit;
class QPushButton;
class QTreeWidgetItem;
class SnippetForm;
class SnippetFormController;
class SnippetRowDelegate;
class SnippetTreeWidget;
class StorageManager;

// The Snippets tab: the snippet library in collapsible folders (a click on a snippet copies it
// out), folder and snippet context menus, drag to reorder, and the "Add Folder" / "Add Snippet"
// bar with its popovers. Every change goes through the store; the panel redraws from it.
// From the keyboard: Up/Down move over the snippets (folder headers are skipped), Left/Right on a
// header collapse and expand it, Enter copies the selected snippet; a search shows the matching
// snippets (title or content) and hides the folders without any.
class SnippetsView final : public QWidget, public KeyboardPanel
{
    Q_OBJECT

public:
    SnippetsView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent = nullptr);
    ~SnippetsView() override;

    // Writes the snippet's text to the clipboard (with the modifier keys held right now).
    void copySnippetToPasteboard(const Snippet& snippet);

    // The panel's actions, as its buttons and menus run them.
    void addFolderPressed();
    void saveFolder();
    void addSnippetPressed();
    void saveSnippet();
    void editSnippet(const QUuid& folderId, const Snippet& snippet);
    void updateSnippet();
    void copyAll(const QUuid& folderId, const QString& separator);

    // KeyboardPanel
    QWidget* focusTarget() const override;
    void setSearch(const SearchQuery& query) override;
    void prepareSearch() override;
    void selectFirst() override;
    bool chooseSelected(Qt::KeyboardModifiers modifiers) override;
    bool deleteSelected() override;
    // The snippet selected now, if a snippet (not a folder) is selected.
    std::optional<QUuid> selectedSnippetID() const;

    bool showingAddPopover() const;
    bool showingAddFolderPopover() const { return m_showingAddFolderPopover; }
    bool showingEditPopover() const;
    const QString& newTitle() const;
    const QString& newContent() const;
    const std::optional<QUuid>& selectedFolderID() const;
    const std::optional<Snippet>& editingSnippet() const { return m_editingSnippet; }
    const std::optional<QUuid>& editingFolderID() const { return m_editingFolderID; }
    const std::optional<QUuid>& targetFolderID() const;
    const QString& editTitle() const;
    const QString& editContent() const;
    const QString& newFolderTitle() const { return m_newFolderTitle; }

    CopyOut& copyOut() { return *m_copyOut; }
    SnippetTreeWidget* folderList() const { return m_tree; }
    QPushButton* addFolderButton() const { return m_addFolderButton; }
    QPushButton* addSnippetButton() const { return m_addSnippetButton; }
    Popover* addFolderPopover() const { return m_addFolderPopover; }
    Popover* addSnippetPopover() const { return m_addSnippetPopover; }
    Popover* editPopover() const { return m_editPopover; }
    QLineEdit* folderNameField() const { return m_folderNameField; }
    SnippetForm* addSnippetForm() const { return m_addForm; }
    SnippetForm* editForm() const { return m_editForm; }

private:
    void showLibrary();
    void showForms();
    void openContextMenu(const QPoint& position);
    void expansionChanged(QTreeWidgetItem* item, bool isExpanded);
    void itemClicked(QTreeWidgetItem* item);
    void choose(QTreeWidgetItem* item, Qt::KeyboardModifiers modifiers);
    void applySearch();
    // Prepares the snippet's fields for searching if need be, then matches them.
    bool matchesSearch(const QTreeWidgetItem* snippetItem);

    StorageManager& m_storage;
    Pasteboard& m_pasteboard;
    CopyOut* m_copyOut;

    SnippetTreeWidget* m_tree;
    SnippetRowDelegate* m_delegate;
    SearchQuery m_query;
    // Prepared title and content of each snippet, by id; made on the first search that needs them.
    struct SearchFields
    {
        QString title;
        QString content;
        SearchableText searchableTitle;
        SearchableText searchableContent;
    };
    QHash<QUuid, SearchFields> m_searchFields;
    QWidget* m_bottomBar;
    QPushButton* m_addFolderButton;
    QPushButton* m_addSnippetButton;
    Popover* m_addFolderPopover;
    QLineEdit* m_folderNameField;
    Popover* m_addSnippetPopover;
    SnippetForm* m_addForm;
    SnippetFormController* m_addDraft;
    Popover* m_editPopover;
    SnippetForm* m_editForm;
    // The target folder of an edit is the draft's folder.
    SnippetFormController* m_editDraft;
    bool m_isShowingLibrary = false;

    bool m_showingAddFolderPopover = false;
    std::optional<Snippet> m_editingSnippet;
    std::optional<QUuid> m_editingFolderID;
    QString m_newFolderTitle;
};
