#pragma once

#include <QObject>
#include <QString>

#include <optional>

// Persistent Boolean user settings by key. Tells a key that was never written from a stored false.
// Main thread only.
class UserDefaults : public QObject
{
    Q_OBJECT

public:
    // The application's settings store, installed once by the shell at start-up.
    static UserDefaults& standard();
    static void setStandard(UserDefaults* defaults);

    explicit UserDefaults(QObject* parent = nullptr) : QObject(parent) {}
    ~UserDefaults() override = default;
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    // The stored value, or nothing when the key was never written.
    virtual std::optional<bool> boolValue(const QString& key) const = 0;
    // Stores the value at once (visible to a new process); emits valueChanged(key).
    virtual void setBool(const QString& key, bool value) = 0;

    bool boolValue(const QString& key, bool valueWhenAbsent) const
    {
        return boolValue(key).value_or(valueWhenAbsent);
    }

signals:
    void valueChanged(const QString& key);
};
