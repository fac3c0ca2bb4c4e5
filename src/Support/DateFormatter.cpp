#include "Support/DateFormatter.h"

#include <mutex>
#include <stdexcept>

#include <unicode/dtptngen.h>
#include <unicode/locid.h>
#include <unicode/simpletz.h>
#include <unicode/smpdtfmt.h>

namespace Support {

namespace {

icu::UnicodeString toUnicode(const QString& text) {
    return icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
}

QString toQString(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

icu::Locale icuLocale(const QString& localeId) {
    icu::Locale locale(localeId.toLatin1().constData());
    if (locale.isBogus()) throw std::invalid_argument("unknown locale " + localeId.toStdString());
    return locale;
}

} // namespace

struct DateFormatter::State {
    std::mutex mutex; // the formatter's time zone is switched per call
    std::unique_ptr<icu::SimpleDateFormat> formatter;
};

DateFormatter DateFormatter::withPattern(const QString& pattern, const QString& localeId) {
    UErrorCode status = U_ZERO_ERROR;
    auto state = std::make_shared<State>();
    state->formatter = std::make_unique<icu::SimpleDateFormat>(toUnicode(pattern), icuLocale(localeId), status);
    if (U_FAILURE(status)) {
        throw std::invalid_argument("date pattern \"" + pattern.toStdString() + "\": " + u_errorName(status));
    }
    return DateFormatter(std::move(state));
}

DateFormatter DateFormatter::withTemplate(const QString& fieldTemplate, const QString& localeId) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale = icuLocale(localeId);
    std::unique_ptr<icu::DateTimePatternGenerator> generator(icu::DateTimePatternGenerator::createInstance(locale, status));
    icu::UnicodeString best;
    if (U_SUCCESS(status)) best = generator->getBestPattern(toUnicode(fieldTemplate), status);
    if (U_FAILURE(status)) {
        throw std::invalid_argument("date template \"" + fieldTemplate.toStdString() + "\": " + u_errorName(status));
    }
    return withPattern(toQString(best), localeId);
}

QString DateFormatter::localeId(const QLocale& locale) {
    if (locale.language() == QLocale::C) return QStringLiteral("en_US_POSIX");
    return locale.name(); // "en_US", "sr_RS": ICU reads Qt's language_TERRITORY form as it is
}

QString DateFormatter::format(const QDateTime& moment) const {
    if (!moment.isValid()) return {};
    icu::UnicodeString text;
    {
        std::lock_guard guard(state_->mutex);
        // The moment's own offset gives its wall clock, whichever zone it came from.
        state_->formatter->adoptTimeZone(new icu::SimpleTimeZone(moment.offsetFromUtc() * 1000, "moment"));
        state_->formatter->format(static_cast<UDate>(moment.toMSecsSinceEpoch()), text);
    }
    return toQString(text);
}

QString DateFormatter::pattern() const {
    std::lock_guard guard(state_->mutex);
    icu::UnicodeString pattern;
    state_->formatter->toPattern(pattern);
    return toQString(pattern);
}

} // namespace Support
