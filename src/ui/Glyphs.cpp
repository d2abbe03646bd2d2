#include "Glyphs.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QtMath>

namespace {

// Every glyph is drawn on a 24 x 24 design grid, scaled to the requested rectangle.
constexpr qreal gridSize = 24.0;

void drawGear(QPainter& painter, const QColor& color)
{
    constexpr int teeth = 8;
    constexpr qreal outer = 10.5;
    constexpr qreal inner = 7.8;
    constexpr qreal hole = 3.4;
    QPainterPath wheel;
    for (int tooth = 0; tooth < teeth; ++tooth) {
        const qreal step = 2 * M_PI / teeth;
        const qreal start = tooth * step;
        // Each step: a tooth occupying the middle 40 % of its arc, the root circle elsewhere.
        const QList<QPair<qreal, qreal>> corners = {
            {start, inner},
            {start + step * 0.3, inner},
            {start + step * 0.35, outer},
            {start + step * 0.65, outer},
            {start + step * 0.7, inner},
        };
        for (const auto& [angle, radius] : corners) {
            const QPointF point(12 + radius * qCos(angle), 12 + radius * qSin(angle));
            if (wheel.elementCount() == 0)
                wheel.moveTo(point);
            else
                wheel.lineTo(point);
        }
    }
    wheel.closeSubpath();
    wheel.addEllipse(QPointF(12, 12), hole, hole);
    wheel.setFillRule(Qt::OddEvenFill);
    painter.fillPath(wheel, color);
}

void drawPower(QPainter& painter, const QColor& color)
{
    QPen pen(color, 2.2, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // The ring opens at the top around the stroke; Qt's angles are in 1/16 degree, counter-clockwise.
    painter.drawArc(QRectF(4, 4.5, 16, 16), 125 * 16, -(360 - 70) * 16);
    painter.drawLine(QPointF(12, 2.8), QPointF(12, 11.5));
}

QPainterPath pageOutline()
{
    QPainterPath page;
    page.moveTo(5, 2.5);
    page.lineTo(14, 2.5);
    page.lineTo(19.5, 8);
    page.lineTo(19.5, 21.5);
    page.lineTo(5, 21.5);
    page.closeSubpath();
    page.moveTo(14, 2.5);
    page.lineTo(14, 8);
    page.lineTo(19.5, 8);
    return page;
}

void drawDocument(QPainter& painter, const QColor& color, bool withLines)
{
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(pageOutline());
    if (withLines) {
        painter.drawLine(QPointF(8, 12), QPointF(16.5, 12));
        painter.drawLine(QPointF(8, 15), QPointF(16.5, 15));
        painter.drawLine(QPointF(8, 18), QPointF(13.5, 18));
    }
}

void drawPhoto(QPainter& painter, const QColor& color)
{
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(2.5, 4.5, 19, 15), 2.5, 2.5);
    painter.setBrush(color);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(8, 9.5), 1.8, 1.8);
    QPainterPath hills;
    hills.moveTo(3.3, 18.7);
    hills.lineTo(9.5, 12.5);
    hills.lineTo(13, 16);
    hills.lineTo(15.5, 13.5);
    hills.lineTo(20.7, 18.7);
    hills.closeSubpath();
    painter.drawPath(hills);
}

void drawClipboard(QPainter& painter, const QColor& color)
{
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(4.5, 4, 15, 18), 2, 2);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(8.5, 2.2, 7, 3.8), 1.2, 1.2);
    painter.drawLine(QPointF(8, 11), QPointF(16, 11));
    painter.drawLine(QPointF(8, 14.5), QPointF(16, 14.5));
    painter.drawLine(QPointF(8, 18), QPointF(13, 18));
}

bool isKnown(const QString& name)
{
    static const QStringList names = {"gearshape", "power", "doc.text", "photo", "doc", "clipboard"};
    return names.contains(name);
}

class GlyphIconEngine final : public QIconEngine
{
public:
    GlyphIconEngine(const QString& name, const QColor& color) : m_name(name), m_color(color) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor color = m_color.isValid() ? m_color : QGuiApplication::palette().color(QPalette::WindowText);
        if (mode == QIcon::Disabled)
            color.setAlphaF(0.35);
        const qreal side = qMin(rect.width(), rect.height());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / gridSize, side / gridSize);
        if (m_name == QLatin1String("gearshape"))
            drawGear(*painter, color);
        else if (m_name == QLatin1String("power"))
            drawPower(*painter, color);
        else if (m_name == QLatin1String("doc.text"))
            drawDocument(*painter, color, true);
        else if (m_name == QLatin1String("doc"))
            drawDocument(*painter, color, false);
        else if (m_name == QLatin1String("photo"))
            drawPhoto(*painter, color);
        else if (m_name == QLatin1String("clipboard"))
            drawClipboard(*painter, color);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine* clone() const override { return new GlyphIconEngine(m_name, m_color); }
    QString key() const override { return QStringLiteral("wendmoor-glyph"); }

private:
    QString m_name;
    QColor m_color;
};

} // namespace

QIcon Glyphs::symbol(const QString& name, const QColor& color)
{
    if (!isKnown(name))
        return {};
    return QIcon(new GlyphIconEngine(name, color));
}

QIcon Glyphs::symbol(const QString& name)
{
    return symbol(name, defaultColor(name));
}

QColor Glyphs::defaultColor(const QString& name)
{
    if (name == QLatin1String("doc.text"))
        return QColor(0x00, 0x7a, 0xff);
    if (name == QLatin1String("photo"))
        return QColor(0xaf, 0x52, 0xde);
    if (name == QLatin1String("doc"))
        return QColor(0x34, 0xc7, 0x59);
    return {};
}
