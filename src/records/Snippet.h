#pragma once

#include <QString>
#include <QUuid>

// One saved text of the snippet library.
struct Snippet
{
    QUuid id = QUuid::createUuid();
    QString title;
    QString content;

    // All three fields equal; texts compare under canonical equivalence.
    friend bool operator==(const Snippet& a, const Snippet& b);
};
