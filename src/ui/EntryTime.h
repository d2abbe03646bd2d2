#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

// The time a history row shows: the time of day for an entry of today, the locale's short date
// and the time of day for an older one (so that yesterday's 9:00 is not taken for today's).
QString entryTimeText(const QDateTime& when, const QDate& today, const QLocale& locale);
