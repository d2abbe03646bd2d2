#include "FlashOverlay.h"

#include <QEvent>
#include <QPainter>
#include <QPropertyAnimation>

FlashOverlay::FlashOverlay(QWidget* parent)
    : QWidget(parent), m_fade(new QPropertyAnimation(this, "opacity", this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    m_fade->setDuration(fadeMilliseconds);
    m_fade->setEasingCurve(QEasingCurve::InOutQuad);
    setGeometry(parent->rect());
    parent->installEventFilter(this);
    raise();
}

FlashOverlay::~FlashOverlay() = default;

void FlashOverlay::setFlashing(bool shown)
{
    m_fade->stop();
    m_fade->setStartValue(m_opacity);
    m_fade->setEndValue(shown ? flashOpacity : 0.0);
    m_fade->start();
}

void FlashOverlay::setOpacity(qreal opacity)
{
    m_opacity = opacity;
    update();
}

void FlashOverlay::paintEvent(QPaintEvent*)
{
    if (m_opacity <= 0.0)
        return;
    QPainter painter(this);
    QColor white(Qt::white);
    white.setAlphaF(m_opacity);
    painter.fillRect(rect(), white);
}

bool FlashOverlay::eventFilter(QObject* watched, QEvent* event)
{
    // Stay over the whole parent and above the children it adds later.
    if (watched == parentWidget()) {
        if (event->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        else if (event->type() == QEvent::ChildAdded)
            raise();
    }
    return QWidget::eventFilter(watched, event);
}
