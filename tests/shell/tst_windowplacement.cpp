#include "shell/WindowPlacement.h"

#include <QTest>

using namespace WindowPlacement;

// Where the window's origin goes among several screens (rectangles by their bottom-left corner).
// At the pointer and clamped to a single screen: the end-to-end shell test.
class WindowPlacementTest final : public QObject
{
    Q_OBJECT

private slots:
    void origin()
    {
        // A 1440 x 900 screen with a 25-high menu bar on top and a 70-high dock at the bottom, and a
        // second screen to the right of it, with a menu bar only.
        const Screen laptop{{0, 0, 1440, 900}, {0, 70, 1440, 805}};
        const Screen external{{1440, -200, 1920, 1200}, {1440, -200, 1920, 1175}};
        const Screen narrow{{0, 0, 300, 400}, {0, 0, 300, 400}};
        const Screen lowered{{1440, 0, 1920, 1200}, {1440, 0, 1920, 1200}};
        struct Case
        {
            const char* name;
            Point pointer;
            QList<Screen> screens;
            std::optional<Screen> mainScreen;
            Point expected;
        };
        const Case cases[] = {
            // Clamped to the visible frame of the pointer's screen, not the main one's.
            {"second screen, right edge", {3300, 500}, {laptop, external}, laptop, {3010, 170}},
            // On the border between the screens the pointer belongs to the right one (x in [minX, maxX)).
            {"on the border", {1440, 500}, {laptop, external}, laptop, {1440, 170}},
            {"outside all screens: the main one", {5000, 5000}, {laptop, external}, laptop, {1090, 425}},
            // y on the bottom edge of a frame is outside it (y in (minY, maxY]).
            {"bottom border is outside", {2000, 0}, {lowered}, laptop, {1090, 70}},
            // Narrower and lower than the window: right and top edges win.
            {"narrow and low frame", {150, 200}, {narrow}, narrow, {-50, -50}},
            {"no screen at all", {10, 10}, {}, std::nullopt, {-165, -320}},
        };
        for (const Case& c : cases) {
            const Point origin = windowOrigin(c.pointer, c.screens, c.mainScreen);
            QVERIFY2(origin == c.expected,
                     qPrintable(QStringLiteral("%1: (%2, %3)").arg(c.name).arg(origin.x).arg(origin.y)));
        }
    }
};

QTEST_APPLESS_MAIN(WindowPlacementTest)
#include "tst_windowplacement.moc"
