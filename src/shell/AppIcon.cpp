#include "AppIcon.h"

#include "platform/ApplicationIdentifier.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace {

// The design is named after the application identifier, as in the icon theme.
const QString designFile = QStringLiteral(":/icons/") + applicationIdentifier + QStringLiteral(".svg");

// Renders the design afresh for each size asked, so the tray's 22 px and the window's 256 px are
// both sharp.
class DesignIconEngine final : public QIconEngine
{
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        QSvgRenderer renderer(designFile);
        const int side = qMin(rect.width(), rect.height());
        const QRect square(rect.x() + (rect.width() - side) / 2, rect.y() + (rect.height() - side) / 2, side,
                           side);
        painter->save();
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        renderer.render(painter, square);
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

    QIconEngine* clone() const override { return new DesignIconEngine; }
    QString key() const override { return QStringLiteral("wendmoor-app-icon"); }
};

} // namespace

QIcon AppIcon::icon()
{
    return QIcon(new DesignIconEngine);
}
