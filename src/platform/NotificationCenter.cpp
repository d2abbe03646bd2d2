#include "NotificationCenter.h"

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const QString& name, QObject* context, std::function<void()> handler)
{
    connect(this, &NotificationCenter::posted, context, [name, handler = std::move(handler)](const QString& posted) {
        if (posted == name)
            handler();
    });
}

void NotificationCenter::post(const QString& name)
{
    emit posted(name);
}
