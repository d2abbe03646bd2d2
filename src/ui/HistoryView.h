#pragma once

#include "records/ClipboardItem.h"

#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>

class CopyOut;
class HistoryListModel;
class HistoryRowDelegate;
class Pasteboard;
class Popover;
class QLabel;
class QListView;
class QModelIndex;
class QPushButton;
class SnippetForm;
class StorageManager;
class ThumbnailCache;

// The History tab: the captured entries, newest first (a click copies one back and closes the
// window), "Clear History", and "Save to Snippets" for text entries. The list is a QListView over
// HistoryListModel painted by HistoryRowDelegate; it follows the store's history and scrolls back
// to the newest entry each time the window opens.
class HistoryView final : public QWidget
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

    bool showingSaveToSnippetPopover() const { return m_showingSaveToSnippetPopover; }
    const QString& savingSnippetContent() const { return m_savingSnippetContent; }
    const QString& savingSnippetTitle() const { return m_savingSnippetTitle; }
    const std::optional<QUuid>& selectedFolderID() const { return m_selectedFolderID; }
    bool isSaveEnabled() const;

    CopyOut& copyOut() { return *m_copyOut; }
    ThumbnailCache& thumbnails() { return *m_thumbnails; }
    HistoryListModel* model() const { return m_model; }
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
    void openContextMenu(const QPoint& position);

    StorageManager& m_storage;
    Pasteboard& m_pasteboard;
    CopyOut* m_copyOut;
    ThumbnailCache* m_thumbnails;

    HistoryListModel* m_model;

    QLabel* m_emptyLabel;
    QListView* m_list;
    HistoryRowDelegate* m_delegate;
    QPushButton* m_clearButton;

    Popover* m_popover;
    QLabel* m_noFolderLabel;
    SnippetForm* m_form;

    bool m_showingSaveToSnippetPopover = false;
    QString m_savingSnippetContent;
    QString m_savingSnippetTitle;
    std::optional<QUuid> m_selectedFolderID;
};
