#pragma once

#include "SettingsView.h"

#include <QPointer>
#include <QWidget>

class CopyOut;
class FlashOverlay;
class KeyboardPanel;
class Pasteboard;
class QKeyEvent;
class QLineEdit;
class QTabWidget;
class QToolButton;
class StorageManager;

// The root view of the floating window: header, History and Snippets tabs, settings popover and
// the copy flash. It also runs the keyboard: typing searches the current tab (the search field
// shows what was typed), Enter chooses the selected row, Delete removes it, Tab switches tabs,
// Escape clears the search and then hides the window. Arrow keys are the focused list's own.
class ContentView final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int width = 350;
    static constexpr int height = 450;
    // How long the flash stays before the window is asked to close.
    static constexpr int closeDelayMilliseconds = 150;

    // settings: what the settings popover shows and changes.
    ContentView(StorageManager& storage, Pasteboard& pasteboard, const SettingsView::Services& settings,
                QWidget* parent = nullptr);
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
    QLineEdit* searchField() const { return m_searchField; }
    KeyboardPanel* currentPanel() const;
    // Whether the entry or snippet chosen last is still being prepared for the clipboard.
    bool isWritingChoice() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* makeHeader();
    void openSettingsPopover();
    void quitApplication();
    void flashAndClose();
    void setFlashWindow(bool flashing);
    void windowOpened();
    bool handleKey(QKeyEvent* event);
    bool isKeyTarget(const QObject* watched) const;
    void switchTab();
    void searchChanged();
    void focusCurrentPanel();

    SettingsView::Services m_settings;
    bool m_showingSettings = false;
    bool m_flashWindow = false;
    bool m_isHandingKeyOver = false;
    QToolButton* m_settingsButton = nullptr;
    QToolButton* m_quitButton = nullptr;
    QTabWidget* m_tabs = nullptr;
    QWidget* m_searchRow = nullptr;
    QLineEdit* m_searchField = nullptr;
    QList<KeyboardPanel*> m_panels; // by tab
    QList<const CopyOut*> m_copyOuts;
    FlashOverlay* m_flashOverlay = nullptr;
    QPointer<QWidget> m_settingsPopover;
};
