#include "Support/IcuRegex.h"

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
