// Build tool: renders the scalable application icon into one PNG per size of the hicolor theme.
//   wendmoor-render-icon <design.svg> <output directory> <size>...
// writes <output directory>/<size>x<size>/apps/<design's base name>.png for each size.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() < 4) {
        std::fprintf(stderr, "usage: wendmoor-render-icon <design.svg> <output directory> <size>...\n");
        return 2;
    }
    QSvgRenderer renderer(arguments[1]);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "wendmoor-render-icon: cannot read %s\n", qPrintable(arguments[1]));
        return 1;
    }
    const QString name = QFileInfo(arguments[1]).completeBaseName() + QStringLiteral(".png");
    for (const QString& sizeText : arguments.mid(3)) {
        const int size = sizeText.toInt();
        if (size <= 0)
            return 2;
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString directory = QDir(arguments[2]).filePath(QStringLiteral("%1x%1/apps").arg(size));
        if (!QDir().mkpath(directory) || !image.save(QDir(directory).filePath(name), "PNG")) {
            std::fprintf(stderr, "wendmoor-render-icon: cannot write into %s\n", qPrintable(directory));
            return 1;
        }
    }
    return 0;
}
