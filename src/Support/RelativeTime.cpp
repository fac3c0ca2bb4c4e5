#include "Support/RelativeTime.h"

#include <cmath>
#include <memory>

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>

namespace Support {

namespace {

struct UnitSpan {
    double seconds;
    URelativeDateTimeUnit unit;
};

// Largest first; a span is used once at least one whole unit of it has passed.
constexpr UnitSpan kSpans[] = {
    {365.0 * 86400, UDAT_REL_UNIT_YEAR}, {30.0 * 86400, UDAT_REL_UNIT_MONTH}, {7.0 * 86400, UDAT_REL_UNIT_WEEK},
    {86400, UDAT_REL_UNIT_DAY},         {3600, UDAT_REL_UNIT_HOUR},          {60, UDAT_REL_UNIT_MINUTE},
};

} // namespace

QString shortRelativeTime(const QDateTime& moment, const QDateTime& now, const QString& localeId) {
    if (!moment.isValid() || !now.isValid()) return {};
    const double offset = double(now.msecsTo(moment)) / 1000.0; // negative: in the past
    double amount = std::trunc(offset);
    URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
    for (const UnitSpan& span : kSpans) {
        if (std::abs(offset) >= span.seconds) {
            amount = std::trunc(offset / span.seconds);
            unit = span.unit;
            break;
        }
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::RelativeDateTimeFormatter formatter(icu::Locale(localeId.toLatin1().constData()), nullptr,
                                             UDAT_STYLE_SHORT, UDISPCTX_CAPITALIZATION_NONE, status);
    if (U_FAILURE(status)) return {};
    icu::UnicodeString text;
    formatter.formatNumeric(amount, unit, text, status);
    if (U_FAILURE(status)) return {};
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

} // namespace Support
