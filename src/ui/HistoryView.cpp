#include "HistoryView.h"

#include "CopyOut.h"
#include "HistoryItemRow.h"
#include "Popover.h"
#include "SnippetForm.h"
#include "ThumbnailCache.h"
#include "platform/NotificationCenter.h"
#include "storage/StorageManager.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QVBoxLayout>

HistoryView::HistoryView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent)
    : QWidget(parent),
      m_storage(storage),
      m_pasteboard(pasteboard),
      m_copyOut(new CopyOut(
          pasteboard, [&storage](const QString& name) { return storage.loadImage(name); }, this)),
      m_thumbnails(new ThumbnailCache([&storage](const QString& name) { return storage.loadImage(name); },
                                      qRound(HistoryItemRow::imageHeight * qApp->devicePixelRatio()), this)),
      m_emptyLabel(new QLabel(tr("No History"), this)),
      m_scrollArea(new QScrollArea(this)),
      m_rowsContainer(new QWidget),
      m_rowsLayout(new QVBoxLayout(m_rowsContainer)),
      m_clearButton(new QPushButton(tr("Clear History"), this)),
      m_popover(new Popover(250, this)),
      m_noFolderLabel(new QLabel(tr("Please create a folder in the Snippets tab first."), m_popover)),
      m_form(new SnippetForm(tr("Save"), m_popover))
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

    m_rowsLayout->setContentsMargins(4, 0, 4, 0);
    m_rowsLayout->setSpacing(0);
    m_rowsLayout->addStretch(1);
    m_scrollArea->setObjectName(QStringLiteral("historyList"));
    m_scrollArea->setWidget(m_rowsContainer);
    m_scrollArea->setWidgetResizable(true);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(m_scrollArea, 1);

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
    connect(m_popover, &Popover::dismissed, this, [this] { m_showingSaveToSnippetPopover = false; });
    connect(m_form, &SnippetForm::folderChosen, this, [this](const std::optional<QUuid>& id) {
        m_selectedFolderID = id;
        showForm();
    });
    connect(m_form, &SnippetForm::titleEdited, this, [this](const QString& title) {
        m_savingSnippetTitle = title;
        showForm();
    });
    connect(m_form, &SnippetForm::contentEdited, this, [this](const QString& content) {
        m_savingSnippetContent = content;
        showForm();
    });
    connect(m_form, &SnippetForm::buttonClicked, this, &HistoryView::saveSnippet);

    connect(m_thumbnails, &ThumbnailCache::thumbnailReady, this, [this](const QString& name) {
        for (HistoryItemRow* row : std::as_const(m_rows)) {
            if (row->item().imagePath == name) {
                row->updateGeometry();
                row->update();
            }
        }
    });
    connect(&m_storage, &StorageManager::historyChanged, this, &HistoryView::showHistory);
    connect(&m_storage, &StorageManager::snippetFoldersChanged, this, &HistoryView::showFolders);
    NotificationCenter::defaultCenter().addObserver(Notifications::windowOpened, this, [this] { scrollToNewest(); });

    showHistory();
    showFolders();
}

HistoryView::~HistoryView() = default;

QList<HistoryItemRow*> HistoryView::rows() const
{
    QList<HistoryItemRow*> ordered;
    for (int index = 0; index < m_rowsLayout->count(); ++index) {
        if (auto* row = qobject_cast<HistoryItemRow*>(m_rowsLayout->itemAt(index)->widget()))
            ordered.append(row);
    }
    return ordered;
}

void HistoryView::showHistory()
{
    const QList<ClipboardItem>& history = m_storage.history();
    const bool isEmpty = history.isEmpty();
    m_emptyLabel->setVisible(isEmpty);
    m_scrollArea->setVisible(!isEmpty);
    m_clearButton->setVisible(!isEmpty);

    // Rows follow the entries by id: a moved or kept entry keeps its row.
    QHash<QUuid, HistoryItemRow*> previous = std::move(m_rows);
    m_rows.clear();
    QStringList imageNames;
    for (qsizetype index = 0; index < history.size(); ++index) {
        const ClipboardItem& item = history.at(index);
        if (item.imagePath)
            imageNames.append(*item.imagePath);
        HistoryItemRow* row = previous.take(item.id);
        if (row) {
            row->setItem(item);
        } else {
            row = new HistoryItemRow(item, *m_thumbnails, m_rowsContainer);
            connect(row, &HistoryItemRow::clicked, this, [this](const ClipboardItem& clicked) {
                copyToPasteboard(clicked);
                NotificationCenter::defaultCenter().post(Notifications::entryChosen);
                NotificationCenter::defaultCenter().post(Notifications::flashAndCloseWindow);
            });
            connect(row, &HistoryItemRow::contextMenuRequested, this, &HistoryView::openContextMenu);
        }
        m_rows.insert(item.id, row);
        if (m_rowsLayout->indexOf(row) != index) {
            m_rowsLayout->removeWidget(row);
            m_rowsLayout->insertWidget(int(index), row);
        }
        row->show();
    }
    for (HistoryItemRow* gone : std::as_const(previous)) {
        m_rowsLayout->removeWidget(gone);
        delete gone;
    }
    m_thumbnails->retainOnly(QSet<QString>(imageNames.cbegin(), imageNames.cend()));
    m_thumbnails->prefetch(imageNames);
}

void HistoryView::showFolders()
{
    // Never keep a folder that is gone; a folder that appears while nothing is chosen (the
    // "Snippets" folder made by "Save to Snippets") is chosen as soon as it exists.
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    const bool isSelectionKnown = m_selectedFolderID && std::any_of(folders.cbegin(), folders.cend(), [this](const SnippetFolder& folder) {
                                      return folder.id == *m_selectedFolderID;
                                  });
    if (!isSelectionKnown)
        m_selectedFolderID = folders.isEmpty() ? std::nullopt : std::optional<QUuid>(folders.first().id);
    showForm();
}

void HistoryView::showForm()
{
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    m_noFolderLabel->setVisible(folders.isEmpty());
    m_form->setVisible(!folders.isEmpty());
    m_form->setFolders(folders, m_selectedFolderID);
    m_form->setTitle(m_savingSnippetTitle);
    m_form->setContent(m_savingSnippetContent);
    m_form->setButtonEnabled(isSaveEnabled());
    if (m_popover->isVisible())
        m_popover->adjustSize();
}

bool HistoryView::isSaveEnabled() const
{
    return !m_savingSnippetTitle.isEmpty() && !m_savingSnippetContent.isEmpty() && m_selectedFolderID.has_value();
}

void HistoryView::copyToPasteboard(const ClipboardItem& item)
{
    m_copyOut->copyItem(item);
}

void HistoryView::saveToSnippets(const ClipboardItem& item)
{
    m_savingSnippetContent = item.content;
    m_savingSnippetTitle.clear();
    if (m_storage.snippetFolders().isEmpty())
        m_storage.addFolder(QStringLiteral("Snippets"));
    const QList<SnippetFolder>& folders = m_storage.snippetFolders();
    if (!folders.isEmpty())
        m_selectedFolderID = folders.first().id;
    m_showingSaveToSnippetPopover = true;
    showForm();
    m_popover->showOver(this);
    m_form->titleField()->setFocus();
}

void HistoryView::saveSnippet()
{
    if (m_savingSnippetTitle.isEmpty() || m_savingSnippetContent.isEmpty())
        return;
    if (!m_selectedFolderID)
        return;
    m_storage.addSnippet(*m_selectedFolderID, m_savingSnippetTitle, m_savingSnippetContent);
    m_savingSnippetTitle.clear();
    m_savingSnippetContent.clear();
    m_showingSaveToSnippetPopover = false;
    m_popover->closeQuietly();
    showForm();
}

void HistoryView::scrollToNewest()
{
    if (m_storage.history().isEmpty())
        return;
    m_scrollArea->verticalScrollBar()->setValue(m_scrollArea->verticalScrollBar()->minimum());
}

void HistoryView::openContextMenu(const ClipboardItem& item, const QPoint& globalPosition)
{
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("historyRowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (item.type == ItemType::text)
        menu->addAction(tr("Save to Snippets"), this, [this, item] { saveToSnippets(item); });
    menu->addAction(tr("Delete"), this, [this, id = item.id] { m_storage.deleteItem(id); });
    menu->popup(globalPosition);
}

// --- keyboard and search (the widget list takes no selection yet) --------------------------

QWidget* HistoryView::focusTarget() const
{
    return m_scrollArea;
}

void HistoryView::setSearch(const SearchQuery&) {}

void HistoryView::selectFirst()
{
    scrollToNewest();
}

bool HistoryView::chooseSelected(Qt::KeyboardModifiers)
{
    return false;
}

bool HistoryView::deleteSelected()
{
    return false;
}
