#pragma once

#include <QDateTime>
#include <QString>

namespace Support {

// How long ago `moment` was, seen from `now`, in ICU's short relative style of the locale with
// the given ICU ID ("5 min. ago", "3 hr. ago", "in 2 days"): the largest whole unit of seconds,
// minutes, hours, days, weeks, months or years that fits. Empty when either date is invalid or ICU
// has no data for the locale.
QString shortRelativeTime(const QDateTime& moment, const QDateTime& now, const QString& localeId);

} // namespace Support
