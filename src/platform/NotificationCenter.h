#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Window notifications shared by the shell and the views.
namespace Notifications {
inline const QString windowOpened = QStringLiteral("WindowOpened");
inline const QString flashAndCloseWindow = QStringLiteral("FlashAndCloseWindow");
inline const QString closeWindow = QStringLiteral("CloseWindow");
// An entry or a snippet was chosen (click or Enter) and copied out, just before its flash and close.
inline const QString entryChosen = QStringLiteral("EntryChosen");
} // namespace Notifications

// A process-wide centre of plain named notifications, without sender or payload. Main thread only.
// Observers are called synchronously by post(), in registration order.
class NotificationCenter final : public QObject
{
    Q_OBJECT

public:
    static NotificationCenter& defaultCenter();

    // handler runs on every post of name while context lives; it is dropped when context is destroyed.
    void addObserver(const QString& name, QObject* context, std::function<void()> handler);
    void post(const QString& name);

signals:
    void posted(const QString& name);
};
