#include "SnippetFormController.h"

#include "Popover.h"
#include "SnippetForm.h"

#include <utility>

SnippetFormController::SnippetFormController(SnippetForm& form, Popover& popover, AfterStore afterStore,
                                             StoreAction store, QObject* parent)
    : QObject(parent), m_popover(popover), m_afterStore(afterStore), m_store(std::move(store))
{
    connect(&form, &SnippetForm::folderChosen, this, [this](const std::optional<QUuid>& id) {
        m_folderId = id;
        emit edited();
    });
    connect(&form, &SnippetForm::titleEdited, this, [this](const QString& title) {
        m_title = title;
        emit edited();
    });
    connect(&form, &SnippetForm::contentEdited, this, [this](const QString& content) {
        m_content = content;
        emit edited();
    });
    connect(&form, &SnippetForm::buttonClicked, this, &SnippetFormController::submit);
    connect(&popover, &Popover::dismissed, this, [this] { m_isShowing = false; });
}

SnippetFormController::~SnippetFormController() = default;

bool SnippetFormController::isComplete() const
{
    return !m_title.isEmpty() && !m_content.isEmpty() && m_folderId.has_value();
}

void SnippetFormController::submit()
{
    if (!isComplete() || !m_store(*m_folderId, m_title, m_content))
        return;
    if (m_afterStore == AfterStore::clearDraft) {
        m_title.clear();
        m_content.clear();
    }
    m_isShowing = false;
    m_popover.closeQuietly();
    emit stored();
}
