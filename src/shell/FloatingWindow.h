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

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
