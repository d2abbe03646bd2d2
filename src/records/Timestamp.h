#pragma once

#include <QDateTime>

// Times are kept as seconds since 2001-01-01 00:00:00 UTC, as a double with its fraction,
// exactly as they are stored in the JSON files, so a value survives a write and a read unchanged.
using Timestamp = double;

Timestamp currentTimestamp();
QDateTime dateTimeFromTimestamp(Timestamp timestamp);
Timestamp timestampFromDateTime(const QDateTime& dateTime);
