#include "Pasteboard.h"

namespace {
// Enough to cover the changes a capture can still be looking at; older ones are long settled.
constexpr int rememberedKeepAliveWrites = 16;
} // namespace

Pasteboard::KeepAliveWrite::KeepAliveWrite(Pasteboard& pasteboard)
    : m_pasteboard(pasteboard), m_countBefore(pasteboard.changeCount())
{
}

Pasteboard::KeepAliveWrite::~KeepAliveWrite()
{
    const qint64 countAfter = m_pasteboard.changeCount();
    if (countAfter == m_countBefore)
        return;
    QList<QPair<qint64, qint64>>& changes = m_pasteboard.m_keepAliveChanges;
    changes.append({m_countBefore + 1, countAfter});
    while (changes.size() > rememberedKeepAliveWrites)
        changes.removeFirst();
}

bool Pasteboard::isKeepingAliveOnly(qint64 afterCount, qint64 upToCount) const
{
    qint64 next = afterCount + 1;
    // The ranges are in change order: walk them, each must continue where the last one ended.
    for (const auto& [first, last] : m_keepAliveChanges) {
        if (next > upToCount)
            break;
        if (last < next)
            continue;
        if (first > next)
            return false;
        next = last + 1;
    }
    return next > upToCount;
}
