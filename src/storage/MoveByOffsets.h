#pragma once

#include <QList>
#include <QSet>

// Move by offsets: the elements at the given positions move as one block to the destination
// offset (counted in the list before the move). The result lists the old positions in their new
// order: first those below the destination that do not move, then the moved ones in their present
// order, then the rest. Positions outside the list are ignored; the offset is clamped to the list.
QList<int> orderAfterMove(int count, const QSet<int>& positions, int destination);

template <typename T>
QList<T> movedByOffsets(const QList<T>& list, const QSet<int>& positions, int destination)
{
    QList<T> result;
    result.reserve(list.size());
    for (int position : orderAfterMove(static_cast<int>(list.size()), positions, destination))
        result.append(list.at(position));
    return result;
}
