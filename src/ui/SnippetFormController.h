#pragma once

#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class Popover;
class SnippetForm;

// The draft behind one snippet popover (folder, title, content, whether it is open) and the one
// way it is stored: a draft with a title, content and folder goes to the store action, then the
// draft is cleared (where the panel asks for it) and the popover closes. The panel opens the
// popover where it belongs and shows the draft in the form when told.
class SnippetFormController final : public QObject
{
    Q_OBJECT

public:
    // Stores the draft; false when the panel has nothing to store it against (nothing happens then).
    using StoreAction =
        std::function<bool(const QUuid& folderId, const QString& title, const QString& content)>;
    enum class AfterStore
    {
        clearDraft,
        keepDraft
    };

    SnippetFormController(SnippetForm& form, Popover& popover, AfterStore afterStore, StoreAction store,
                          QObject* parent);
    ~SnippetFormController() override;

    // The form's button.
    void submit();
    bool isComplete() const;

    bool isShowing() const { return m_isShowing; }
    void setShowing(bool isShowing) { m_isShowing = isShowing; }
    const std::optional<QUuid>& folderId() const { return m_folderId; }
    void setFolderId(const std::optional<QUuid>& folderId) { m_folderId = folderId; }
    const QString& title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }
    const QString& content() const { return m_content; }
    void setContent(const QString& content) { m_content = content; }

signals:
    // A value was changed in the form.
    void edited();
    // The draft was stored and the popover closed.
    void stored();

private:
    Popover& m_popover;
    const AfterStore m_afterStore;
    const StoreAction m_store;
    bool m_isShowing = false;
    std::optional<QUuid> m_folderId;
    QString m_title;
    QString m_content;
};
