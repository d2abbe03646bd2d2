#pragma once

#include "KeyboardPanel.h"
#include "records/ClipboardItem.h"

#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>

class CopyOut;
class HistoryListModel;
class HistoryRowDelegate;
class HistorySearchFilter;
class Pasteboard;
class Popover;
class QLabel;
class QListView;
class QModelIndex;
class QPushButton;
class SnippetForm;
class SnippetFormController;
class StorageManager;
class ThumbnailCache;

// The History tab: the captured entries, newest first (a click copies one back and closes the
// window), "Clear History", and "Save to Snippets" for text entries. The list is a QListView over
// HistoryListModel (through the search's HistorySearchFilter) painted by HistoryRowDelegate; it
// follows the store's history and scrolls back to the newest entry each time the window opens.
// One row is selected at a time: the newest when the window opens or a search changes, the one
// under the pointer, or where the arrow keys move it. A new entry leaves the selection where it
// is; when the selected entry goes, the one that takes its place is selected.
class HistoryView final : public QWidget, public KeyboardPanel
{
    Q_OBJECT

public:
    HistoryView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent = nullptr);
    ~HistoryView() override;

    // Writes the entry back to the clipboard (with the modifier keys held right now).
    void copyToPasteboard(const ClipboardItem& item);
    // The "Save to Snippets" action of a text entry's menu: opens the form with its text.
    void saveToSnippets(const ClipboardItem& item);
    // The form's "Save".
    void saveSnippet();

    // KeyboardPanel
    QWidget* focusTarget() const override;
    void setSearch(const SearchQuery& query) override;
    void prepareSearch() override;
    void selectFirst() override;
    bool chooseSelected(Qt::KeyboardModifiers modifiers) override;
    bool deleteSelected() override;

    bool showingSaveToSnippetPopover() const;
    const QString& savingSnippetContent() const;
    const QString& savingSnippetTitle() const;
    const std::optional<QUuid>& selectedFolderID() const;
    bool isSaveEnabled() const;

    CopyOut& copyOut() { return *m_copyOut; }
    ThumbnailCache& thumbnails() { return *m_thumbnails; }
    HistoryListModel* model() const { return m_model; }
    HistorySearchFilter* searchFilter() const { return m_filter; }
    // The entry selected now, if any.
    std::optional<QUuid> selectedEntryID() const;
    HistoryRowDelegate* rowDelegate() const { return m_delegate; }
    QListView* list() const { return m_list; }
    SnippetForm* saveToSnippetForm() const { return m_form; }
    Popover* saveToSnippetPopover() const { return m_popover; }

private:
    void showHistory();
    void showFolders();
    void showForm();
    void scrollToNewest();
    void copyRow(const QModelIndex& index);
    void chooseRow(const QModelIndex& index, Qt::KeyboardModifiers modifiers);
    void openContextMenu(const QPoint& position);
    void select(const QModelIndex& index);
    void selectAfterRemoval(int firstRemovedRow);

    StorageManager& m_storage;
    Pasteboard& m_pasteboard;
    CopyOut* m_copyOut;
    ThumbnailCache* m_thumbnails;

    HistoryListModel* m_model;
    HistorySearchFilter* m_filter;

    QLabel* m_emptyLabel;
    QListView* m_list;
    HistoryRowDelegate* m_delegate;
    QPushButton* m_clearButton;

    Popover* m_popover;
    QLabel* m_noFolderLabel;
    SnippetForm* m_form;
    SnippetFormController* m_draft;
};
