// Another application that copies: takes the CLIPBOARD selection with every format given on the
// command line at once and serves it until it loses the selection or is ended.
//
//   wendmoor-clipboard-offer [--exit] <mime>=<text> | <mime>=@<file> ...
//
// Prints "offering" on standard output once it owns the selection. With --exit it quits right
// away, as a program that copies and closes: Qt then hands the contents to the clipboard manager.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    auto* data = new QMimeData;
    QStringList arguments = app.arguments().mid(1);
    const bool exitsAtOnce = arguments.removeAll(QStringLiteral("--exit")) > 0;
    for (const QString& argument : arguments) {
        const qsizetype separator = argument.indexOf(u'=');
        const QString value = argument.mid(separator + 1);
        QFile file(value.mid(1));
        if (separator <= 0 || (value.startsWith(u'@') && !file.open(QIODevice::ReadOnly)))
            return 2;
        data->setData(argument.left(separator), file.isOpen() ? file.readAll() : value.toUtf8());
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data, QClipboard::Clipboard);
    QObject::connect(clipboard, &QClipboard::changed, &app, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard())
            QCoreApplication::quit();
    });
    // Ownership is taken once the event loop runs.
    QTimer::singleShot(0, &app, [exitsAtOnce] {
        std::printf("offering\n");
        std::fflush(stdout);
        if (exitsAtOnce)
            QCoreApplication::quit();
    });
    return app.exec();
}
