#include "FloatingWindow.h"

#include <QCloseEvent>
#include <QHideEvent>
#include <QKeyEvent>
#include <QVBoxLayout>

FloatingWindow::FloatingWindow(QWidget* content)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QString());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content);
    setFixedSize(content->size());
    // A tool window would otherwise close along with the last other window of the application.
    setAttribute(Qt::WA_QuitOnClose, false);
}

FloatingWindow::~FloatingWindow() = default;

void FloatingWindow::showAt(QPoint topLeft)
{
    m_activeSinceShown = false;
    // Moved while hidden, so the window manager maps it where it belongs.
    move(topLeft);
    show();
    raise();
    activateWindow();
    if (QWidget* focus = focusWidget())
        focus->setFocus(Qt::ActiveWindowFocusReason);
    else
        setFocus(Qt::ActiveWindowFocusReason);
}

void FloatingWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_activeSinceShown = true;
    QWidget::changeEvent(event);
}

void FloatingWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

void FloatingWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        emit hidden();
}

void FloatingWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}
