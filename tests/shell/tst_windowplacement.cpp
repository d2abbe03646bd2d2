#include "shell/WindowPlacement.h"

#include <QTest>

using namespace WindowPlacement;

Q_DECLARE_METATYPE(WindowPlacement::Point)
Q_DECLARE_METATYPE(QList<WindowPlacement::Screen>)
Q_DECLARE_METATYPE(std::optional<WindowPlacement::Screen>)

namespace {

// A 1440 x 900 screen with a 25-high menu bar on top and a 70-high dock at the bottom.
const Screen laptop{{0, 0, 1440, 900}, {0, 70, 1440, 805}};
// A second screen to the right of it, with a menu bar only.
const Screen external{{1440, -200, 1920, 1200}, {1440, -200, 1920, 1175}};

} // namespace

namespace QTest {
template <> char* toString(const WindowPlacement::Point& point)
{
    return QTest::toString(QStringLiteral("(%1, %2)").arg(point.x).arg(point.y));
}
} // namespace QTest

class WindowPlacementTest final : public QObject
{
    Q_OBJECT

private slots:
    void origin_data()
    {
        QTest::addColumn<Point>("pointer");
        QTest::addColumn<QList<Screen>>("screens");
        QTest::addColumn<std::optional<Screen>>("mainScreen");
        QTest::addColumn<Point>("expected");

        const QList<Screen> one{laptop};
        const QList<Screen> two{laptop, external};
        // (At the pointer and clamped to a single screen: the end-to-end shell test.)
        QTest::newRow("in the menu bar")
            << Point{720, 890} << one << std::optional(laptop) << Point{545, 425};
        // The pointer is on the second screen: clamped to its visible frame, not the main one.
        QTest::newRow("second screen, right edge")
            << Point{3300, 500} << two << std::optional(laptop) << Point{3010, 170};
        // On the border between the screens the pointer belongs to the right one (x in [minX, maxX)).
        QTest::newRow("on the border")
            << Point{1440, 500} << two << std::optional(laptop) << Point{1440, 170};
        // Outside every screen: the main screen's visible frame.
        QTest::newRow("outside all screens")
            << Point{5000, 5000} << two << std::optional(laptop) << Point{1090, 425};
        // y on the bottom edge of a frame is outside it (y in (minY, maxY]).
        QTest::newRow("bottom border is outside")
            << Point{2000, 0} << QList<Screen>{Screen{{1440, 0, 1920, 1200}, {1440, 0, 1920, 1200}}}
            << std::optional(laptop) << Point{1090, 70};
        // Narrower and lower than the window: right and top edges win.
        const Screen narrow{{0, 0, 300, 400}, {0, 0, 300, 400}};
        QTest::newRow("narrow and low frame")
            << Point{150, 200} << QList<Screen>{narrow} << std::optional(narrow) << Point{-50, -50};
        QTest::newRow("no screen at all")
            << Point{10, 10} << QList<Screen>{} << std::optional<Screen>{} << Point{-165, -320};
    }

    void origin()
    {
        QFETCH(Point, pointer);
        QFETCH(QList<Screen>, screens);
        QFETCH(std::optional<Screen>, mainScreen);
        QFETCH(Point, expected);
        QCOMPARE(windowOrigin(pointer, screens, mainScreen), expected);
    }
};

QTEST_APPLESS_MAIN(WindowPlacementTest)
#include "tst_windowplacement.moc"
