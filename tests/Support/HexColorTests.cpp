#include "Support/HexColor.h"

#include <gtest/gtest.h>

TEST(HexColor, ParsesSixAndEightDigits) {
    struct Case {
        const char* text;
        int r, g, b, a;
    };
    const Case cases[] = {
        {"#FF3B30", 255, 59, 48, 255},
        {"FF3B30", 255, 59, 48, 255},
        {"#ff3b30", 255, 59, 48, 255},
        {"#FF3B3080", 255, 59, 48, 128},
    };
    for (const Case& c : cases) {
        const auto color = Support::HexColor::parse(QString(c.text));
        ASSERT_TRUE(color.has_value()) << c.text;
        EXPECT_EQ(color->red(), c.r);
        EXPECT_EQ(color->green(), c.g);
        EXPECT_EQ(color->blue(), c.b);
        EXPECT_EQ(color->alpha(), c.a);
    }
}

TEST(HexColor, RefusesOtherShapes) {
    for (const char* text : {"", "#", "#FFF", "#FF3B3", "#FF3B30F", "#GG3B30", "#+F3B30", " FF3B30", "##FF3B30"}) {
        EXPECT_FALSE(Support::HexColor::parse(QString(text)).has_value()) << text;
    }
}

TEST(HexColor, FormatRoundTripsEveryComponentValue) {
    for (int n = 0; n < 256; ++n) {
        const QColor color(n, 255 - n, (n * 7) % 256);
        const QString hex = Support::HexColor::format(color);
        EXPECT_EQ(Support::HexColor::parse(hex), color) << hex.toStdString();
    }
    EXPECT_EQ(Support::HexColor::format(QColor(255, 59, 48, 10)), "#FF3B30");
}
