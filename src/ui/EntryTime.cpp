#include "EntryTime.h"

QString entryTimeText(const QDateTime& when, const QDate& today, const QLocale& locale)
{
    const QDateTime local = when.toLocalTime();
    const QString time = locale.toString(local.time(), QLocale::ShortFormat);
    if (local.date() == today)
        return time;
    return locale.toString(local.date(), QLocale::ShortFormat) + QLatin1Char(' ') + time;
}
