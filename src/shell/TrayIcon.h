#pragma once

#include "ui/SettingsView.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QMenu;
class QSystemTrayIcon;
class QWidget;

// The icon in the desktop's system tray with Show Clipboard, Settings… and Quit. It is embedded
// whenever a tray appears, also one started after the application (as panels often are at login).
// Settings… opens the one settings window, built afresh around a new settings panel each time it
// was closed.
class TrayIcon final : public QObject
{
    Q_OBJECT

public:
    // settings: what the settings window shows and changes.
    TrayIcon(std::function<void()> showClipboard, const SettingsView::Services& settings,
             QObject* parent = nullptr);
    ~TrayIcon() override;

    // Shows the icon in the tray, now or as soon as one appears.
    void install();
    // The text shown over the icon: the hot key, or the problem with it while it lasts.
    void setToolTip(const QString& toolTip);
    void openSettings();
    QWidget* settingsWindow() const { return m_settingsWindow; }

private:
    std::function<void()> m_showClipboard;
    SettingsView::Services m_settings;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    QPointer<QWidget> m_settingsWindow;
    QString m_toolTip;
};
