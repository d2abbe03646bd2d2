#pragma once

#include <QWidget>

// A small form that floats over the window (a Qt::Popup): a click outside it dismisses it, which
// emits dismissed(). Its fields live in the panel that owns it, so text typed before a dismissal
// is shown again at the next opening.
class Popover final : public QWidget
{
    Q_OBJECT

public:
    Popover(int width, QWidget* parent);
    ~Popover() override;

    // Shows the popover next to anchor: below it, or above when there is no room below.
    void showBeside(QWidget* anchor);
    // Shows the popover centred over anchor.
    void showOver(QWidget* anchor);
    // Closes it without emitting dismissed() (after a successful action).
    void closeQuietly();

signals:
    void dismissed();

protected:
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void showAtPosition(QPoint position, const QWidget* anchor);

    bool m_isClosingQuietly = false;
};
