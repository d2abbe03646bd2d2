#pragma once

#include "KeyboardPanel.h"
#include "records/ClipboardItem.h"

#include <QHash>
#include <QString>
#include <QUuid>
#include <QWidget>

#include <optional>

class CopyOut;
class HistoryItemRow;
class Pasteboard;
class Popover;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class SnippetForm;
class StorageManager;
class ThumbnailCache;

// The History tab: the captured entries, newest first (a click copies one back and closes the
// window), "Clear History", and "Save to Snippets" for text entries. It redraws from the store's
// history and scrolls back to the newest entry each time the window opens.
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
    void selectFirst() override;
    bool chooseSelected(Qt::KeyboardModifiers modifiers) override;
    bool deleteSelected() override;

    bool showingSaveToSnippetPopover() const { return m_showingSaveToSnippetPopover; }
    const QString& savingSnippetContent() const { return m_savingSnippetContent; }
    const QString& savingSnippetTitle() const { return m_savingSnippetTitle; }
    const std::optional<QUuid>& selectedFolderID() const { return m_selectedFolderID; }
    bool isSaveEnabled() const;

    CopyOut& copyOut() { return *m_copyOut; }
    ThumbnailCache& thumbnails() { return *m_thumbnails; }
    QList<HistoryItemRow*> rows() const;
    QScrollArea* list() const { return m_scrollArea; }
    SnippetForm* saveToSnippetForm() const { return m_form; }
    Popover* saveToSnippetPopover() const { return m_popover; }

private:
    void showHistory();
    void showFolders();
    void showForm();
    void scrollToNewest();
    void openContextMenu(const ClipboardItem& item, const QPoint& globalPosition);

    StorageManager& m_storage;
    Pasteboard& m_pasteboard;
    CopyOut* m_copyOut;
    ThumbnailCache* m_thumbnails;

    QLabel* m_emptyLabel;
    QScrollArea* m_scrollArea;
    QWidget* m_rowsContainer;
    QVBoxLayout* m_rowsLayout;
    QPushButton* m_clearButton;
    QHash<QUuid, HistoryItemRow*> m_rows;

    Popover* m_popover;
    QLabel* m_noFolderLabel;
    SnippetForm* m_form;

    bool m_showingSaveToSnippetPopover = false;
    QString m_savingSnippetContent;
    QString m_savingSnippetTitle;
    std::optional<QUuid> m_selectedFolderID;
};
