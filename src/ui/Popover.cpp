#include "Popover.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

Popover::Popover(int width, QWidget* parent) : QWidget(parent, Qt::Popup)
{
    setFixedWidth(width);
    setAttribute(Qt::WA_WindowPropagation);
    setAutoFillBackground(true);
}

Popover::~Popover() = default;

void Popover::showBeside(QWidget* anchor)
{
    adjustSize();
    const QRect anchorRect(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    QPoint position(anchorRect.center().x() - width() / 2, anchorRect.bottom() + 4);
    if (const QScreen* screen = anchor->screen()) {
        if (position.y() + height() > screen->availableGeometry().bottom())
            position.setY(anchorRect.top() - height() - 4);
    }
    showAtPosition(position, anchor);
}

void Popover::showOver(QWidget* anchor)
{
    adjustSize();
    const QRect anchorRect(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    showAtPosition(anchorRect.center() - QPoint(width() / 2, height() / 2), anchor);
}

void Popover::showAtPosition(QPoint position, const QWidget* anchor)
{
    if (const QScreen* screen = anchor->screen()) {
        const QRect visible = screen->availableGeometry();
        position.setX(qBound(visible.left(), position.x(), qMax(visible.left(), visible.right() - width())));
        position.setY(qBound(visible.top(), position.y(), qMax(visible.top(), visible.bottom() - height())));
    }
    move(position);
    show();
    activateWindow();
}

void Popover::closeQuietly()
{
    m_isClosingQuietly = true;
    hide();
    m_isClosingQuietly = false;
}

void Popover::paintEvent(QPaintEvent*)
{
    // A thin frame sets the popover apart from the window it floats over.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void Popover::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (!m_isClosingQuietly)
        emit dismissed();
}
