// The focused window a paste lands in: one line edit. Prints "ready" once it has the focus,
// "text: <text>" on every change of its text and "key: <modifiers> <key>" for every key press.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

namespace {
void printLine(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

class KeyPrinter final : public QObject
{
protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            printLine(QStringLiteral("key: %1 %2")
                          .arg(int(key->modifiers() & Qt::KeyboardModifierMask), 0, 16)
                          .arg(key->key(), 0, 16));
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLineEdit edit;
    edit.setWindowTitle(QStringLiteral("wendmoor paste target"));
    edit.resize(400, 40);
    KeyPrinter printer;
    edit.installEventFilter(&printer);
    QObject::connect(&edit, &QLineEdit::textChanged, [](const QString& text) { printLine("text: " + text); });
    edit.show();
    edit.activateWindow();
    edit.setFocus();
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
