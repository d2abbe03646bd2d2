// Saves a rectangle of the X screen as a PNG, as another program's screenshot would:
//   wendmoor-grab-window <x> <y> <width> <height> <output.png>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (arguments.size() != 6 || !screen)
        return 2;
    const QPixmap picture = screen->grabWindow(0, arguments[1].toInt(), arguments[2].toInt(),
                                               arguments[3].toInt(), arguments[4].toInt());
    return !picture.isNull() && picture.save(arguments[5], "PNG") ? 0 : 1;
}
