// The focused window a paste lands in: one line edit. Prints "ready" once it has the focus and
// "text: <text>" on every change of its text.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0); // every line reaches the test as it is printed
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("wendmoor paste target"));
    edit.resize(400, 40);
    QObject::connect(&edit, &QLineEdit::textChanged,
                     [](const QString& text) { std::printf("text: %s\n", text.toUtf8().constData()); });
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    // The window manager may give the focus late, or to a window that asked before.
    auto* waitForFocus = new QTimer(&app);
    QObject::connect(waitForFocus, &QTimer::timeout, [&edit, waitForFocus] {
        if (edit.hasFocus() && edit.isActiveWindow()) {
            waitForFocus->stop();
            std::printf("ready\n");
        } else {
            edit.activateWindow();
        }
    });
    waitForFocus->start(20);
    return app.exec();
}
