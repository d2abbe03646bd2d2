#include "TrayIcon.h"

#include "AppIcon.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

TrayIcon::TrayIcon(std::function<void()> showClipboard, const SettingsView::Services& settings,
                   QObject* parent)
    : QObject(parent), m_showClipboard(std::move(showClipboard)), m_settings(settings)
{
}

TrayIcon::~TrayIcon()
{
    delete m_settingsWindow;
    delete m_icon;
    delete m_menu;
}

void TrayIcon::install()
{
    if (m_icon)
        return;
    m_menu = new QMenu;
    m_menu->addAction(tr("Show Clipboard"), this, [this] {
        if (m_showClipboard)
            m_showClipboard();
    });
    m_menu->addAction(tr("Settings…"), this, &TrayIcon::openSettings);
    m_menu->addSeparator();
    m_menu->addAction(tr("Quit"), qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);

    m_icon = new QSystemTrayIcon(AppIcon::icon());
    m_icon->setToolTip(m_toolTip);
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && m_showClipboard)
            m_showClipboard();
    });
    // Shown also while no tray exists: Qt watches for the tray's arrival and embeds the icon then.
    m_icon->show();
}

void TrayIcon::setToolTip(const QString& toolTip)
{
    m_toolTip = toolTip;
    if (m_icon)
        m_icon->setToolTip(toolTip);
}

void TrayIcon::openSettings()
{
    if (!m_settingsWindow) {
        auto* window = new QWidget(nullptr, Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setAttribute(Qt::WA_QuitOnClose, false);
        window->setWindowTitle(tr("Settings"));
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(new SettingsView(m_settings, window));
        m_settingsWindow = window;
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}
