#include "SidecarKit/JSONValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace SidecarKit;

TEST(JSONValue, NumbersAreWrittenBackExactly) {
    // Each text is its own shortest form, so it must come back character for character.
    const std::vector<QByteArray> texts{
        "0", "-1", "3", "9007199254740993", "9223372036854775807", "-9223372036854775808",
        "9223372036854775808", "18446744073709551615", "0.1", "3.0", "-0.0", "1e+300", "5e-324",
        "1.7976931348623157e+308", "0.30000000000000004", "123456.789",
    };
    for (const QByteArray& text : texts) {
        EXPECT_EQ(JSONValue::parse(text).serialized(), text);
    }
}

TEST(JSONValue, NumbersCompareByValue) {
    struct Case {
        JSONValue a;
        JSONValue b;
        bool equal;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases{
        {JSONValue::integer(3), JSONValue::number(3.0), true},
        {JSONValue::integer(3), JSONValue::number(3.5), false},
        {JSONValue::integer(9007199254740993), JSONValue::number(9007199254740992.0), false},
        {JSONValue::integer(9007199254740993), JSONValue::integer(9007199254740992), false},
        {JSONValue::unsignedInteger(18446744073709551615u), JSONValue::number(18446744073709551616.0), false},
        {JSONValue::unsignedInteger(9223372036854775808u), JSONValue::number(9223372036854775808.0), true},
        {JSONValue::unsignedInteger(5), JSONValue::integer(5), true},
        {JSONValue::integer(-1), JSONValue::unsignedInteger(18446744073709551615u), false},
        {JSONValue::number(nan), JSONValue::number(nan), false},
        {JSONValue::number(0.0), JSONValue::number(-0.0), true},
        {JSONValue::integer(1), JSONValue::boolean(true), false},
        {JSONValue::null(), JSONValue::integer(0), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a == c.b, c.equal) << c.a.serialized().toStdString() << " vs " << c.b.serialized().toStdString();
        EXPECT_EQ(c.b == c.a, c.equal);
    }
}

TEST(JSONValue, ObjectsCompareAsMapsAndArraysInOrder) {
    EXPECT_EQ(JSONValue::parse(R"({"a":1,"b":[1,2]})"), JSONValue::parse(R"({"b":[1,2],"a":1.0})"));
    EXPECT_NE(JSONValue::parse("[1,2]"), JSONValue::parse("[2,1]"));
    EXPECT_NE(JSONValue::parse(R"({"a":1})"), JSONValue::parse(R"({"a":1,"b":null})"));
}

TEST(JSONValue, StringsAreEscapedAndReadBack) {
    const QString text = QString::fromUtf8("quote \" backslash \\ tab \t nl \n nul ") + QChar(0) +
                         QString::fromUtf8(" \x1f é 😀 </script>");
    const JSONValue value = JSONValue::string(text);
    const QByteArray written = value.serialized();
    EXPECT_FALSE(written.contains('\n'));
    EXPECT_EQ(JSONValue::parse(written), value);
}

TEST(JSONValue, InvalidTextIsDataCorrupted) {
    const std::vector<QByteArray> inputs{
        "",
        "{",
        "[1,]",
        "{\"a\":1} trailing",
        "nul",
        "\"\xff\"",              // not UTF-8
        "\"\\ud800\"",           // lone surrogate
        "1e400",                 // no finite double
        QByteArray(JSONValue::maximumDepth + 1, '[') + QByteArray(JSONValue::maximumDepth + 1, ']'),
    };
    for (const QByteArray& input : inputs) {
        try {
            JSONValue::parse(input);
            ADD_FAILURE() << "parsed " << input.left(40).toStdString();
        } catch (const JSONDecodingError& error) {
            EXPECT_EQ(error.kind(), JSONDecodingError::Kind::dataCorrupted);
        }
    }
    const QByteArray deepest = QByteArray(JSONValue::maximumDepth, '[') + QByteArray(JSONValue::maximumDepth, ']');
    EXPECT_EQ(JSONValue::parse(deepest).serialized(), deepest);
}

TEST(JSONValue, RepeatedKeyKeepsTheLastValue) {
    EXPECT_EQ(JSONValue::parse(R"({"a":1,"a":2})"), JSONValue::parse(R"({"a":2})"));
}
