#include "Support/BoundedJson.h"

#include <gtest/gtest.h>

namespace {
QByteArray nested(int depth) { return QByteArray(depth, '[') + QByteArray(depth, ']'); }
} // namespace

TEST(BoundedJson, ParsesWithinTheDepthLimitAndRefusesBeyondIt) {
    struct Case {
        const char* name;
        QByteArray text;
        bool parses;
        const char* errorStart;
    };
    const Case cases[] = {
        {"object", R"({"a":[1,2,{"b":null}]})", true, ""},
        {"scalar at the limit", nested(Support::BoundedJson::kMaximumDepth - 1).insert(511, "7"), true, ""},
        {"at the limit", nested(Support::BoundedJson::kMaximumDepth), true, ""},
        {"one past the limit", nested(Support::BoundedJson::kMaximumDepth + 1), false, "nested deeper than 512 levels"},
        {"hostile depth", nested(300000), false, "nested deeper than 512 levels"},
        {"truncated", R"({"a":)", false, "[json.exception.parse_error"},
        {"invalid UTF-8", "\"\xff\"", false, "[json.exception.parse_error"},
        // Numbers past the double range are the library's out_of_range error, not a parse error.
        {"number overflow", "1e999", false, "[json.exception.out_of_range"},
        {"negative overflow inside", R"({"a":[0,-1e999]})", false, "[json.exception.out_of_range"},
        {"long mantissa overflow", "1" + QByteArray(400, '0') + ".5", false, "[json.exception.out_of_range"},
        {"underflow reads as zero", "1e-999", true, ""},
    };
    for (const Case& c : cases) {
        QString error;
        const auto parsed = Support::BoundedJson::parse(c.text, &error);
        EXPECT_EQ(parsed.has_value(), c.parses) << c.name;
        if (c.parses) continue;
        EXPECT_TRUE(error.startsWith(c.errorStart)) << c.name << ": " << error.toStdString();
    }
}
