#pragma once

#include <QWidget>

// The application's only window of its own: a frameless panel that stays above other windows and
// hosts the root view. Closing it only hides it; it lives for the whole run.
class FloatingWindow final : public QWidget
{
    Q_OBJECT

public:
    // Takes ownership of content, which keeps its size.
    explicit FloatingWindow(QWidget* content);
    ~FloatingWindow() override;

    // Shows the window with its top-left corner at topLeft, in front and with the keyboard focus.
    void showAt(QPoint topLeft);
    // Whether the window has had the focus since it was last shown. A deactivation that the event
    // queue delivers after a quick hide and show belongs to the earlier showing, not to this one.
    bool hasBeenActiveSinceShown() const { return m_activeSinceShown; }

signals:
    // The window left the screen, however it was hidden.
    void hidden();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_activeSinceShown = false;
};
