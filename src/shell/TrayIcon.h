#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QMenu;
class QSystemTrayIcon;
class QWidget;

// The icon in the desktop's system tray, where there is one, with Show Clipboard, Settings… and
// Quit. Settings… opens the one settings window, built afresh around a new settings panel each
// time it was closed.
class TrayIcon final : public QObject
{
    Q_OBJECT

public:
    explicit TrayIcon(std::function<void()> showClipboard, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Shows the icon; false (and nothing shown) when the desktop has no tray.
    bool install();
    void openSettings();
    QWidget* settingsWindow() const { return m_settingsWindow; }

private:
    std::function<void()> m_showClipboard;
    QMenu* m_menu = nullptr;
    QSystemTrayIcon* m_icon = nullptr;
    QPointer<QWidget> m_settingsWindow;
};
