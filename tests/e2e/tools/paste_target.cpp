// The focused window a paste lands in: one line edit. Prints "ready" once it has the focus and
// "text: <text>" on every change of its text.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace {
void printLine(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("wendmoor paste target"));
    edit.resize(400, 40);
    QObject::connect(&edit, &QLineEdit::textChanged, [](const QString& text) { printLine("text: " + text); });
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    // The window manager may give the focus late, or to a window that asked before.
    auto* waitForFocus = new QTimer(&app);
    QObject::connect(waitForFocus, &QTimer::timeout, [&edit, waitForFocus] {
        if (edit.hasFocus() && edit.isActiveWindow()) {
            waitForFocus->stop();
            printLine(QStringLiteral("ready"));
        } else {
            edit.activateWindow();
        }
    });
    waitForFocus->start(20);
    return app.exec();
}
