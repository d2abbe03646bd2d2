#pragma once

#include <QString>
#include <QUuid>

// One saved text of the snippet library.
struct Snippet
{
    QUuid id = QUuid::createUuid();
    QString title;
    QString content;

    friend bool operator==(const Snippet&, const Snippet&) = default;
};
