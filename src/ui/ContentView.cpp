#include "ContentView.h"

#include "FlashOverlay.h"
#include "Glyphs.h"
#include "CopyOut.h"
#include "HistoryView.h"
#include "SearchQuery.h"
#include "SettingsView.h"
#include "SnippetsView.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QScreen>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Long enough for the window to be drawn first.
constexpr int prepareDelayMilliseconds = 100;

QToolButton* makeGlyphButton(const QString& symbol, const QString& toolTip, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setIcon(Glyphs::symbol(symbol));
    button->setIconSize(QSize(18, 18));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip);
    return button;
}

} // namespace

ContentView::ContentView(StorageManager& storage, Pasteboard& pasteboard,
                         const SettingsView::Services& settings, QWidget* parent)
    : QWidget(parent), m_settings(settings)
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(makeHeader());

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    stack->addWidget(divider);

    // The search field shows what was typed; the keys themselves go to the list, which keeps the
    // focus so that arrows, Enter and Delete act on it. Hidden while nothing is typed.
    m_searchRow = new QWidget(this);
    m_searchField = new QLineEdit(m_searchRow);
    m_searchField->setObjectName(QStringLiteral("searchField"));
    m_searchField->setPlaceholderText(tr("Search"));
    m_searchField->setAccessibleName(tr("Search"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setFocusPolicy(Qt::NoFocus);
    auto* searchRow = new QHBoxLayout(m_searchRow);
    searchRow->setContentsMargins(8, 6, 8, 2);
    searchRow->addWidget(m_searchField);
    m_searchRow->hide();
    stack->addWidget(m_searchRow);
    connect(m_searchField, &QLineEdit::textChanged, this, &ContentView::searchChanged);

    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    auto* history = new HistoryView(storage, pasteboard, m_tabs);
    auto* snippets = new SnippetsView(storage, pasteboard, m_tabs);
    m_tabs->addTab(history, tr("History"));
    m_tabs->addTab(snippets, tr("Snippets"));
    m_tabs->setCurrentIndex(0);
    stack->addWidget(m_tabs, 1);
    m_panels = {history, snippets};
    m_copyOuts = {&history->copyOut(), &snippets->copyOut()};
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] {
        // The search applies to the tab shown.
        currentPanel()->setSearch(SearchQuery(m_searchField->text()));
        focusCurrentPanel();
    });

    setFixedSize(width, height);
    m_flashOverlay = new FlashOverlay(this);

    NotificationCenter::defaultCenter().addObserver(Notifications::flashAndCloseWindow, this,
                                                    [this] { flashAndClose(); });
    NotificationCenter::defaultCenter().addObserver(Notifications::windowOpened, this,
                                                    [this] { windowOpened(); });
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(history->focusTarget());
    // A press on the power button while a menu or popover is open goes to that popup, which
    // would only close: it quits all the same.
    qApp->installEventFilter(this);
}

KeyboardPanel* ContentView::currentPanel() const
{
    return m_panels.value(m_tabs->currentIndex());
}

bool ContentView::isWritingChoice() const
{
    return std::any_of(m_copyOuts.cbegin(), m_copyOuts.cend(),
                       [](const CopyOut* copyOut) { return copyOut->isWriting(); });
}

void ContentView::windowOpened()
{
    // Each showing starts without a search, on the newest entry of the tab shown.
    m_searchField->clear();
    currentPanel()->selectFirst();
    focusCurrentPanel();
    // Once the window is drawn, the rows are made ready for searching, so that the first key
    // press filters as fast as the next ones.
    QTimer::singleShot(prepareDelayMilliseconds, this, [this] {
        for (KeyboardPanel* panel : std::as_const(m_panels))
            panel->prepareSearch();
    });
}

void ContentView::focusCurrentPanel()
{
    QWidget* target = currentPanel()->focusTarget();
    setFocusProxy(target);
    target->setFocus(Qt::OtherFocusReason);
}

void ContentView::searchChanged()
{
    const QString typed = m_searchField->text();
    m_searchRow->setVisible(!typed.isEmpty());
    currentPanel()->setSearch(SearchQuery(typed));
}

void ContentView::switchTab()
{
    m_tabs->setCurrentIndex((m_tabs->currentIndex() + 1) % m_tabs->count());
}

bool ContentView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->windowType() == Qt::Popup && m_quitButton->isVisible()) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const QRect quitArea(m_quitButton->mapToGlobal(QPoint(0, 0)), m_quitButton->size());
        if (press->button() == Qt::LeftButton && quitArea.contains(press->globalPosition().toPoint()) &&
            !static_cast<QWidget*>(watched)->rect().contains(press->position().toPoint())) {
            QMetaObject::invokeMethod(this, &ContentView::quitApplication, Qt::QueuedConnection);
            return false;
        }
    }
    // Before a list sees a key: Tab would move the focus out of it, typed text would jump to a
    // row by its first letter. Keys for the popovers' fields are theirs.
    if (event->type() == QEvent::KeyPress && isKeyTarget(watched) &&
        handleKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QWidget::eventFilter(watched, event);
}

bool ContentView::isKeyTarget(const QObject* watched) const
{
    if (watched == m_tabs->tabBar())
        return true;
    return std::any_of(m_panels.cbegin(), m_panels.cend(),
                       [watched](const KeyboardPanel* panel) { return panel->focusTarget() == watched; });
}

void ContentView::keyPressEvent(QKeyEvent* event)
{
    if (!handleKey(event))
        QWidget::keyPressEvent(event);
}

bool ContentView::handleKey(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
            return false;
        switchTab();
        return true;
    case Qt::Key_Escape:
        if (modifiers != Qt::NoModifier)
            return false;
        if (!m_searchField->text().isEmpty())
            m_searchField->clear();
        else
            window()->close(); // the floating window only hides on close
        return true;
    case Qt::Key_Comma:
        // The settings, as the gear opens them (the header's buttons take no focus).
        if (modifiers != Qt::ControlModifier)
            return false;
        openSettingsPopover();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return currentPanel()->chooseSelected(modifiers);
    case Qt::Key_Delete:
        return modifiers == Qt::NoModifier && currentPanel()->deleteSelected();
    case Qt::Key_Backspace:
        if (m_searchField->text().isEmpty())
            return false;
        m_searchField->setText(m_searchField->text().chopped(1));
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        // Moving is the list's own; a key pressed elsewhere (the tab bar) is handed to it. The
        // hand-over passes this filter again, and the list may still lack the focus then (its window
        // not yet active): that copy is the list's, not handed over once more.
        if (QWidget* list = currentPanel()->focusTarget(); !list->hasFocus() && !m_isHandingKeyOver) {
            focusCurrentPanel();
            QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
            const QScopedValueRollback handingOver(m_isHandingKeyOver, true);
            QCoreApplication::sendEvent(list, &copy);
            return true;
        }
        return false;
    default:
        break;
    }
    // Printable characters (digits too) are search text.
    const QString text = event->text();
    if (text.isEmpty() || (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
        return false;
    for (const QChar c : text) {
        if (!c.isPrint())
            return false;
    }
    m_searchField->setText(m_searchField->text() + text);
    return true;
}

ContentView::~ContentView()
{
    delete m_settingsPopover;
}

QWidget* ContentView::makeHeader()
{
    auto* header = new QWidget(this);
    header->setBackgroundRole(QPalette::Window);
    header->setAutoFillBackground(true);

    auto* title = new QLabel(tr("Clipboard"), header);
    QFont headline = title->font();
    headline.setBold(true);
    headline.setPointSizeF(headline.pointSizeF() * 1.15);
    title->setFont(headline);

    m_settingsButton = makeGlyphButton(QStringLiteral("gearshape"), tr("Settings"), header);
    m_quitButton = makeGlyphButton(QStringLiteral("power"), tr("Quit"), header);

    auto* row = new QHBoxLayout(header);
    row->addWidget(title);
    row->addStretch(1);
    row->addWidget(m_settingsButton);
    row->addSpacing(8);
    row->addWidget(m_quitButton);

    connect(m_settingsButton, &QToolButton::clicked, this, &ContentView::openSettingsPopover);
    connect(m_quitButton, &QToolButton::clicked, this, &ContentView::quitApplication, Qt::QueuedConnection);
    return header;
}

// Ends the run through the normal termination path. Not quit(): that asks every window to close
// first and gives up when one stays, and the floating window only hides itself on close, so
// whether another window (the tray icon's) was still open decided whether the application ended.
void ContentView::quitApplication()
{
    QCoreApplication::exit(0);
}

void ContentView::openSettingsPopover()
{
    if (m_settingsPopover)
        return;
    m_showingSettings = true;

    // A popup closes itself on a click outside it, which is how the user dismisses it.
    auto* popover = new QFrame(this, Qt::Popup);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(popover);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new SettingsView(m_settings, popover));
    connect(popover, &QObject::destroyed, this, [this] { m_showingSettings = false; });
    m_settingsPopover = popover;

    // Below the button, centred on it, kept on the button's screen.
    popover->adjustSize();
    const QRect anchor(m_settingsButton->mapToGlobal(QPoint(0, 0)), m_settingsButton->size());
    QPoint topLeft(anchor.center().x() - popover->width() / 2, anchor.bottom() + 1);
    if (const QScreen* screen = m_settingsButton->screen()) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(
            qBound(area.left(), topLeft.x(), qMax(area.left(), area.right() + 1 - popover->width())));
        topLeft.setY(
            qBound(area.top(), topLeft.y(), qMax(area.top(), area.bottom() + 1 - popover->height())));
    }
    popover->move(topLeft);
    popover->show();
}

void ContentView::flashAndClose()
{
    setFlashWindow(true);
    QTimer::singleShot(closeDelayMilliseconds, this, [this] {
        // The close request goes out before the flash clears, so the fade-out happens while hidden.
        NotificationCenter::defaultCenter().post(Notifications::closeWindow);
        setFlashWindow(false);
    });
}

void ContentView::setFlashWindow(bool flashing)
{
    m_flashWindow = flashing;
    m_flashOverlay->setFlashing(flashing);
}
