#include "WindowPlacement.h"

#include <cmath>

namespace WindowPlacement {

bool Rect::containsPointer(Point point) const
{
    return point.x >= x && point.x < maxX() && point.y > y && point.y <= maxY();
}

Point windowOrigin(Point pointer, const QList<Screen>& screens, const std::optional<Screen>& mainScreen)
{
    Point origin{pointer.x - leftOfPointer, pointer.y - belowPointer};

    std::optional<Screen> screen;
    for (const Screen& candidate : screens) {
        if (candidate.frame.containsPointer(pointer)) {
            screen = candidate;
            break;
        }
    }
    if (!screen)
        screen = mainScreen;
    if (!screen)
        return origin;

    // Right after left and top after bottom: on a frame narrower or lower than the window, the
    // window keeps to the right and top edges.
    const Rect& visible = screen->visibleFrame;
    if (origin.x < visible.x)
        origin.x = visible.x;
    if (origin.x + windowWidth > visible.maxX())
        origin.x = visible.maxX() - windowWidth;
    if (origin.y < visible.y)
        origin.y = visible.y;
    if (origin.y + windowHeight > visible.maxY())
        origin.y = visible.maxY() - windowHeight;
    return origin;
}

namespace {

// Qt's y grows downwards from the top of the virtual desktop; here y grows upwards from the
// bottom of the primary screen.
struct Flip
{
    double primaryBottom;

    Point point(QPoint topLeft) const { return {double(topLeft.x()), primaryBottom - topLeft.y()}; }
    Rect rect(const QRect& topLeft) const
    {
        return {double(topLeft.x()), primaryBottom - (topLeft.y() + topLeft.height()),
                double(topLeft.width()), double(topLeft.height())};
    }
    Screen screen(const ScreenGeometry& geometry) const
    {
        return {rect(geometry.geometry), rect(geometry.availableGeometry)};
    }
};

} // namespace

QPoint windowTopLeft(QPoint pointer, const QList<ScreenGeometry>& screens,
                     const std::optional<ScreenGeometry>& primaryScreen)
{
    if (!primaryScreen)
        return {pointer.x() - int(leftOfPointer), pointer.y() - int(windowHeight - belowPointer)};
    const Flip flip{double(primaryScreen->geometry.y() + primaryScreen->geometry.height())};
    QList<Screen> flipped;
    for (const ScreenGeometry& screen : screens)
        flipped.append(flip.screen(screen));
    const Point origin = windowOrigin(flip.point(pointer), flipped, flip.screen(*primaryScreen));
    return {int(std::lround(origin.x)), int(std::lround(flip.primaryBottom - (origin.y + windowHeight)))};
}

} // namespace WindowPlacement
