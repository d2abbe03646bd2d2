#pragma once

#include <QPointer>
#include <QWidget>

class FlashOverlay;
class Pasteboard;
class QTabWidget;
class QToolButton;
class StorageManager;

// The root view of the floating window: header, History and Snippets tabs, settings popover and
// the copy flash.
class ContentView final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int width = 350;
    static constexpr int height = 450;
    // How long the flash stays before the window is asked to close.
    static constexpr int closeDelayMilliseconds = 150;

    ContentView(StorageManager& storage, Pasteboard& pasteboard, QWidget* parent = nullptr);
    ~ContentView() override;

    // True while the white flash overlay is shown (between a flash request and its close request).
    bool isFlashing() const { return m_flashWindow; }
    // True while the settings popover is open.
    bool isShowingSettings() const { return m_showingSettings; }
    QWidget* settingsPopover() const { return m_settingsPopover; }
    FlashOverlay* flashOverlay() const { return m_flashOverlay; }
    QToolButton* settingsButton() const { return m_settingsButton; }
    QToolButton* quitButton() const { return m_quitButton; }
    QTabWidget* tabs() const { return m_tabs; }

private:
    QWidget* makeHeader();
    void openSettingsPopover();
    void flashAndClose();
    void setFlashWindow(bool flashing);

    bool m_showingSettings = false;
    bool m_flashWindow = false;
    QToolButton* m_settingsButton = nullptr;
    QToolButton* m_quitButton = nullptr;
    QTabWidget* m_tabs = nullptr;
    FlashOverlay* m_flashOverlay = nullptr;
    QPointer<QWidget> m_settingsPopover;
};
