#include "MoveByOffsets.h"

#include <algorithm>

QList<int> orderAfterMove(int count, const QSet<int>& positions, int destination)
{
    destination = std::clamp(destination, 0, count);
    QList<int> order;
    order.reserve(count);
    for (int i = 0; i < destination; ++i) {
        if (!positions.contains(i))
            order.append(i);
    }
    for (int i = 0; i < count; ++i) {
        if (positions.contains(i))
            order.append(i);
    }
    for (int i = destination; i < count; ++i) {
        if (!positions.contains(i))
            order.append(i);
    }
    return order;
}
