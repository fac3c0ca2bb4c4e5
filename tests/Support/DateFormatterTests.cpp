#include "Support/DateFormatter.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using Support::DateFormatter;

namespace {

QDateTime at(int hour, int minute, int second, int offsetSeconds = 0) {
    return QDateTime(QDate(2024, 3, 5), QTime(hour, minute, second), QTimeZone(offsetSeconds));
}

} // namespace

TEST(DateFormatter, FixedPatternInThePosixLocale) {
    const DateFormatter names = DateFormatter::withPattern("yyyy-MM-dd 'at' h.mm.ss a", "en_US_POSIX");
    const struct {
        QDateTime moment;
        const char* text;
    } cases[] = {
        {at(15, 7, 9), "2024-03-05 at 3.07.09 PM"},
        {at(0, 5, 1), "2024-03-05 at 12.05.01 AM"},
        {at(12, 0, 0), "2024-03-05 at 12.00.00 PM"},
        {at(23, 59, 59), "2024-03-05 at 11.59.59 PM"},
    };
    for (const auto& c : cases) EXPECT_EQ(names.format(c.moment), c.text) << c.text;
    EXPECT_EQ(names.format(QDateTime()), "");
}

TEST(DateFormatter, ShowsTheWallClockOfTheMomentsOwnZone) {
    const DateFormatter time = DateFormatter::withPattern("h:mm a", "en_US");
    const QDateTime utc = at(23, 30, 0);
    EXPECT_EQ(time.format(utc), "11:30 PM");
    EXPECT_EQ(time.format(utc.toTimeZone(QTimeZone(2 * 3600))), "1:30 AM");
    EXPECT_EQ(time.format(utc.toTimeZone(QTimeZone(-(5 * 3600 + 30 * 60)))), "6:00 PM");
}

TEST(DateFormatter, TemplatesFollowTheLocalesOrder) {
    const struct {
        const char* locale;
        const char* text;
    } cases[] = {{"en_US", "Mar 5"}, {"en_GB", "5 Mar"}, {"fr_FR", "5 mars"}};
    for (const auto& c : cases) {
        EXPECT_EQ(DateFormatter::withTemplate("MMM d", c.locale).format(at(10, 0, 0)), c.text) << c.locale;
    }
}

TEST(DateFormatter, OneFormatterServesManyThreadsWithTheirOwnZones) {
    const DateFormatter time = DateFormatter::withPattern("H:mm", "en_US_POSIX");
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            const QDateTime moment = at(0, 0, 0).toTimeZone(QTimeZone(t * 3600));
            const QString expected = QString("%1:00").arg(t);
            for (int i = 0; i < 500; ++i) wrong[t] += time.format(moment) != expected;
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(wrong[t], 0) << "offset " << t;
}
