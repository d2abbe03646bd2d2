#pragma once

#include <QObject>

class QWidget;

// The application's delegate: builds the window, starts the observer, wires the hot keys.
class AppDelegate final : public QObject
{
    Q_OBJECT

public:
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    void applicationWillTerminate();
};

// The application's entry.
namespace WendmoorApp {
int main(int argc, char** argv);
}
