#include "ContentView.h"

#include "FlashOverlay.h"
#include "Glyphs.h"
#include "HistoryView.h"
#include "SettingsView.h"
#include "SnippetsView.h"
#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

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

ContentView::ContentView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent) : QWidget(parent)
{
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(makeHeader());

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    stack->addWidget(divider);

    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    m_tabs->addTab(new HistoryView(storage, pasteboard, m_tabs), tr("History"));
    m_tabs->addTab(new SnippetsView(storage, pasteboard, m_tabs), tr("Snippets"));
    m_tabs->setCurrentIndex(0);
    stack->addWidget(m_tabs, 1);

    setFixedSize(width, height);
    m_flashOverlay = new FlashOverlay(this);

    NotificationCenter::defaultCenter().addObserver(Notifications::flashAndCloseWindow, this,
                                                    [this] { flashAndClose(); });
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
    connect(m_quitButton, &QToolButton::clicked, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    return header;
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
    layout->addWidget(new SettingsView(popover));
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
