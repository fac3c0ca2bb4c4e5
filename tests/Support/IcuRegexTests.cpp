#include "Support/IcuRegex.h"

#include <QStringList>
#include <gtest/gtest.h>

#include <chrono>

using Support::IcuRegex;

TEST(IcuRegex, CompileErrorsCarryIcuText) {
    IcuRegex::CompileError error;
    EXPECT_FALSE(IcuRegex::compile("(abc", &error).has_value());
    EXPECT_EQ(error.message, "U_REGEX_MISMATCHED_PAREN");
    EXPECT_FALSE(IcuRegex::compile("[a-", &error).has_value());
    EXPECT_TRUE(error.message.startsWith("U_REGEX_"));
    EXPECT_TRUE(IcuRegex::compile("").has_value());
}

TEST(IcuRegex, FindsAllMatchesWithUtf16Offsets) {
    const auto regex = IcuRegex::compile("\\d+");
    ASSERT_TRUE(regex);
    // "é" is one UTF-16 unit, the emoji two.
    const auto result = regex->findAll(QString::fromUtf8("é12 😀 345"));
    EXPECT_EQ(result.status, IcuRegex::Status::completed);
    const std::vector<IcuRegex::Range> expected{{1, 2}, {7, 3}};
    EXPECT_EQ(result.ranges, expected);
}

TEST(IcuRegex, EmptyMatchesAdvance) {
    const auto regex = IcuRegex::compile("x*");
    ASSERT_TRUE(regex);
    const auto result = regex->findAll("axxb");
    // "" at 0, "xx" at 1, "" at 3, "" at 4
    const std::vector<IcuRegex::Range> expected{{0, 0}, {1, 2}, {3, 0}, {4, 0}};
    EXPECT_EQ(result.ranges, expected);
}

TEST(IcuRegex, NoFlagsMeansCaseSensitive) {
    const auto regex = IcuRegex::compile("abc");
    ASSERT_TRUE(regex);
    EXPECT_FALSE(regex->firstMatch("ABC").has_value());
    EXPECT_TRUE(regex->firstMatch("xabc").has_value());
}

TEST(IcuRegex, CatastrophicBacktrackingStopsWhenTheBudgetIsSpent) {
    const auto regex = IcuRegex::compile("(a+)+$");
    ASSERT_TRUE(regex);
    const auto result = regex->findAll(QString(10000, 'a') + "!", std::chrono::milliseconds(100));
    EXPECT_EQ(result.status, IcuRegex::Status::timedOut);
    EXPECT_TRUE(result.ranges.empty());
}

// Matches that must pass a check: runs of numbers whose digits add up to an even sum.
TEST(IcuRegex, ARejectedMatchHidesNeitherAShorterNorALaterOne) {
    const auto regex = IcuRegex::compile("\\b\\d+(?: \\d+)*\\b");
    ASSERT_TRUE(regex);
    struct Case {
        const char* text;
        QStringList expected;
    };
    const Case cases[] = {
        {"2 4", {"2 4"}},        // passes whole
        {"2 4 1", {"2 4", "4"}}, // the shorter one from the start, and a later one inside
        {"1 2 4", {"2 4"}},      // only a later start passes
        {"2 2 45", {"2 2", "2"}}, // no boundary is made up where a shorter one must end: not "2 2 4"
        {"1", {}},
        {"", {}},
    };
    const auto evenSum = [](const QString& s) {
        int sum = 0;
        for (QChar c : s) sum += c.isDigit() ? c.digitValue() : 0;
        return sum % 2 == 0;
    };
    for (const Case& c : cases) {
        const QString text = QString::fromLatin1(c.text);
        const auto result = regex->findAccepted(text, [&](const IcuRegex::Range& r) { return evenSum(text.mid(r.start, r.length)); });
        EXPECT_EQ(result.status, IcuRegex::Status::completed);
        QStringList found;
        for (const IcuRegex::Range& r : result.ranges) found.append(text.mid(r.start, r.length));
        EXPECT_EQ(found, c.expected) << c.text;
    }
}
