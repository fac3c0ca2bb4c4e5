// Colours as hex strings: the style controls' rule (Color), the canvas's stricter rule and the
// contrast halo, and how every 8-bit value survives each colour type the views use.

#include "BrindlecastApp/Review/CanvasColor.h"
#include "BrindlecastApp/Review/Color.h"

#include "ReviewTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace BrindlecastApp;

namespace {

Color rgba(int r, int g, int b, int a) { return {r / 255.0, g / 255.0, b / 255.0, a / 255.0}; }

} // namespace

namespace BrindlecastApp {
void PrintTo(const Color& c, std::ostream* os) {
    *os << "(" << c.red * 255 << ", " << c.green * 255 << ", " << c.blue * 255 << ", " << c.opacity * 255 << ")/255";
}
} // namespace BrindlecastApp

TEST(Color, ParsingHexStrings) {
    const Color fallback = rgba(0xFF, 0x3B, 0x30, 0xFF);
    struct Case {
        const char* hex;
        Color expected;
    };
    const Case cases[] = {
        {"#FF3B30", fallback},
        {"FF3B30", fallback},
        {"#ff3b30", fallback},
        {"#FF3B3080", rgba(0xFF, 0x3B, 0x30, 0x80)},
        {"#007AFF", rgba(0x00, 0x7A, 0xFF, 0xFF)},
        {"#F00", rgba(0, 0, 0x0F, 0)},            // not short for red: 0x00000F00
        {"#12345", rgba(0, 0x01, 0x23, 0x45)},     // right-aligned in RGBA
        {"0000FF3B30FF", fallback},                // leading zeros: the value still fits
        {"+0000FF", rgba(0, 0, 0, 0xFF)},          // a sign, then six characters: nothing appended
        {"-0", rgba(0, 0, 0, 0)},                  // minus is allowed for zero only
        {"", fallback},
        {"#", fallback},
        {"##FF3B30", fallback},
        {"#GG0000", fallback},
        {"#1FF3B30FF0", fallback},                  // needs more than 32 bits
        {" #FF3B30", fallback},
        {"#FF3B30 ", fallback},
        {"-1", fallback},
        {"+-1", fallback},
        {"#00FF00", rgba(0, 0xFF, 0, 0xFF)},
        {"#\u0661\u0662\u0663\u0664\u0665\u0666", fallback}, // digits of another script
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Color::fromHex(QString::fromUtf8(c.hex)), c.expected) << c.hex;
    }
    EXPECT_EQ(Color::fromHex(u"#00FF00").hexRGB(), "#00FF00");
    EXPECT_EQ(Color::fromHex(u"#FF3B3080").hexRGB(), "#FF3B30") << "alpha is never written";
}

TEST(Color, WritingCutsEachChannelTowardZero) {
    struct Case {
        Color color;
        const char* hex;
    };
    const Case cases[] = {
        {{1.0, 0.5, 0.0, 1}, "#FF7F00"},
        {{0.999, 0.0039, 0.0, 1}, "#FE0000"},
        {{1.5, -0.2, 0.0, 1}, "#FF0000"}, // beyond sRGB: kept within one byte
        {{std::nan(""), 0, 0, 1}, "#FF0000"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.color.hexRGB(), c.hex);

    EXPECT_EQ(Color::hexRGB(QColor()), "#FF0000") << "no sRGB form";
    EXPECT_EQ(Color::hexRGB(QColor::fromHsvF(0, 1, 1)), "#FF0000");
    EXPECT_EQ(Color::hexRGB(QColor::fromRgbF(1, 0.5f, 0)), "#FF7F00");
    EXPECT_EQ(Color::fromQColor(QColor()), std::nullopt);
}

TEST(Color, EveryByteSurvivesEveryColourType) {
    for (int channel = 0; channel < 4; ++channel) {
        for (int n = 0; n < 256; ++n) {
            int bytes[4] = {0x12, 0xAB, 0x7F, 0xFF};
            bytes[channel] = n;
            const QString hex = QString::asprintf("#%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2], bytes[3]);
            const QString rgb = hex.left(7);
            SCOPED_TRACE(hex.toStdString());

            const Color color = Color::fromHex(hex);
            EXPECT_EQ(color, rgba(bytes[0], bytes[1], bytes[2], bytes[3]));
            EXPECT_EQ(color.hexRGB(), rgb);
            if (channel == 3) {
                EXPECT_EQ(Color::fromHex(rgb), rgba(bytes[0], bytes[1], bytes[2], 0xFF));
            }

            const QColor painted = color.toQColor();
            EXPECT_EQ(painted.rgba(), qRgba(bytes[0], bytes[1], bytes[2], bytes[3]));
            EXPECT_EQ(Color::hexRGB(painted), rgb);
            EXPECT_EQ(Color::fromQColor(painted), color);
            EXPECT_EQ(Color::fromQColor(painted)->hexRGB(), rgb);
            EXPECT_EQ(Color::fromQColor(QColor::fromRgba(qRgba(bytes[0], bytes[1], bytes[2], bytes[3]))), color);

            const QColor canvas = CanvasColor::nsColor(hex, 1);
            EXPECT_EQ(canvas.rgba(), qRgba(bytes[0], bytes[1], bytes[2], bytes[3]));
            EXPECT_EQ(Color::hexRGB(canvas), rgb);
        }
    }
}

TEST(CanvasColor, OnlySixOrEightDigitsAreAColour) {
    const QColor red = CanvasColor::systemRed();
    struct Case {
        const char* hex;
        double alpha;
        QColor expected;
    };
    const Case cases[] = {
        {"#FF3B30", 1, QColor(255, 59, 48)},
        {"FF3B30", 1, QColor(255, 59, 48)},
        {"#FF3B30FF", 1, QColor(255, 59, 48)},
        {"#34C759", 0.5, QColor::fromRgbF(0x34 / 255.f, 0xC7 / 255.f, 0x59 / 255.f, 0.5f)},
        {"#FF3B3080", 0.5, QColor::fromRgbF(1, 0x3B / 255.f, 0x30 / 255.f, float(0.5 * 128 / 255))},
        {"#FF3B30", 2, QColor(255, 59, 48)},       // kept within 0...1
        {"#FF3B30", std::nan(""), QColor(255, 59, 48, 0)},
        {"#F00", 1, red},
        {"#12345", 1, red},
        {"", 1, red},
        {"#GG0000", 1, red},
        {"+FF3B30", 1, red},
        {"#FF3B30F", 1, red},
        {"#FF3B300000", 1, red},
    };
    for (const Case& c : cases) {
        const QColor color = CanvasColor::nsColor(QString::fromUtf8(c.hex), c.alpha);
        EXPECT_EQ(color.rgb(), c.expected.rgb()) << c.hex;
        EXPECT_NEAR(color.alphaF(), c.expected.alphaF(), 1.0 / 65535) << c.hex;
    }
    EXPECT_EQ(red, QColor(255, 59, 48));
}

TEST(CanvasColor, TheHaloContrastsWithTheStrokeUnlessNamed) {
    struct Case {
        const char* color;
        std::optional<QString> outline;
        QColor expected;
    };
    const Case cases[] = {
        {"#FFD60A", std::nullopt, Qt::black},
        {"#FF3B30", std::nullopt, Qt::white},
        {"#FFFFFF", std::nullopt, Qt::black},
        {"#1C1C1E", std::nullopt, Qt::white},
        {"not a colour", std::nullopt, Qt::white},
        {"#FFD60A", QString("#007AFF"), QColor(0, 122, 255)},
        {"#1C1C1E", QString("#FFFFFF"), Qt::white},
        {"#1C1C1E", QString("bad"), QColor(255, 59, 48)},
    };
    for (const Case& c : cases) {
        SidecarKit::Annotation::Style style{c.color, 4, 0.3, true, c.outline, false};
        const QColor halo = CanvasColor::haloColor(style);
        EXPECT_EQ(halo.rgb(), c.expected.rgb()) << c.color;
        EXPECT_EQ(halo.alpha(), 255) << "opaque whatever the stroke's opacity";
    }
}
