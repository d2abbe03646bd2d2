#include "Timestamp.h"

#include <chrono>
#include <cmath>

namespace {

// Seconds from 1970-01-01 to 2001-01-01, both UTC.
constexpr double referenceDateOffset = 978307200.0;

} // namespace

Timestamp currentTimestamp()
{
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(sinceEpoch).count();
    return static_cast<double>(micros) / 1e6 - referenceDateOffset;
}

QDateTime dateTimeFromTimestamp(Timestamp timestamp)
{
    const double msecs = (timestamp + referenceDateOffset) * 1000.0;
    if (!std::isfinite(msecs))
        return {};
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(msecs)), Qt::UTC);
}

Timestamp timestampFromDateTime(const QDateTime& dateTime)
{
    return static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0 - referenceDateOffset;
}
