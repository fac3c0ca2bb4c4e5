#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <memory>

namespace Support {

// Dates as text through ICU date patterns ("yyyy-MM-dd 'at' h.mm.ss a", "h:mm a"), whose letters
// mean something else to QDateTime::toString. Make a formatter once and reuse it; copies share
// one ICU formatter, and formatting is safe from any thread.
class DateFormatter {
public:
    // A fixed pattern in the locale with the given ICU ID ("en_US_POSIX", "de_DE").
    // Throws std::invalid_argument when ICU rejects the pattern or the locale.
    static DateFormatter withPattern(const QString& pattern, const QString& localeId);
    // The locale's own arrangement of a template of fields: "MMM d" becomes "MMM d" in en_US and
    // "d MMM" in en_GB.
    static DateFormatter withTemplate(const QString& fieldTemplate, const QString& localeId);

    // The ICU ID of a Qt locale, the user's by default ("en_US"); the C locale is "en_US_POSIX".
    static QString localeId(const QLocale& locale = QLocale());

    // `moment` as a wall clock in its own time zone (or offset) shows it; empty when it is invalid.
    QString format(const QDateTime& moment) const;
    // The ICU pattern in use.
    QString pattern() const;

private:
    struct State;
    explicit DateFormatter(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

} // namespace Support
