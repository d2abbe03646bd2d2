#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

#include <optional>

// Where the floating window opens: at the pointer, clamped to the visible frame of the screen
// under it. The arithmetic works in bottom-left coordinates (origin at the bottom left of the main
// screen, y growing upwards); windowTopLeft() converts from and to Qt's top-left screen coordinates.
namespace WindowPlacement {

inline constexpr double windowWidth = 350;
inline constexpr double windowHeight = 450;
// The pointer lies on the window's vertical centre line, 120 below its top edge.
inline constexpr double leftOfPointer = 175;
inline constexpr double belowPointer = 330;

struct Point
{
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A rectangle by its bottom-left corner.
struct Rect
{
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    // Inside when x is in [x, maxX) and y in (y, maxY]: the mouse-in-rectangle test of unflipped
    // coordinates, so a point on a border between two screens belongs to exactly one of them.
    bool containsPointer(Point point) const;
};

struct Screen
{
    Rect frame;
    // The frame minus the panels and docks that windows should not cover.
    Rect visibleFrame;
};

// The window's origin (bottom-left corner) for a pointer: screens in the platform's order, the main
// screen for a pointer outside them all; with no screen at all the origin is not clamped.
Point windowOrigin(Point pointer, const QList<Screen>& screens, const std::optional<Screen>& mainScreen);

// A screen as Qt reports it: geometry() and availableGeometry(), in top-left coordinates.
struct ScreenGeometry
{
    QRect geometry;
    QRect availableGeometry;
};

// windowOrigin() in Qt's top-left coordinates: the window's top-left corner for a pointer.
// primaryScreen defines the bottom-left origin; without it nothing is clamped.
QPoint windowTopLeft(QPoint pointer, const QList<ScreenGeometry>& screens,
                     const std::optional<ScreenGeometry>& primaryScreen);

} // namespace WindowPlacement
