#pragma once

#include <QColor>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace BrindlecastApp {

// A colour as the style controls, palette swatches and backdrop tiles hold one: sRGB red, green
// and blue and an opacity, each from 0 to 1, kept as doubles so that every 8-bit value survives
// a trip through text and back.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double opacity = 1;

    // Opaque "#FF3B30", taken for any string that does not parse.
    static constexpr std::uint32_t fallbackRGBA = 0xFF3B30FF;

    // An optional leading "#", then hex digits read as one unsigned 32-bit number laid out as
    // red, green, blue, alpha; six digits get an opaque "FF" appended. One sign is allowed ("-"
    // only for zero); no spaces. Other lengths are read as the number they spell, so "#F00" is
    // not red but 0x00000F00. Anything else gives the fallback. Never fails.
    static Color fromHex(QStringView hex);
    static Color fromRGBA(std::uint32_t rgba);

    // "#RRGGBB": each channel times 255, cut toward zero. Alpha is never written.
    QString hexRGB() const;

    // The same colour for painting (16 bits a channel).
    QColor toQColor() const;
    // A painted colour in sRGB; nothing for a colour without an sRGB form (an invalid QColor).
    static std::optional<Color> fromQColor(const QColor& color);
    // "#RRGGBB" of a colour a picker hands back; one without an sRGB form gives "#FF0000".
    static QString hexRGB(const QColor& color);

    friend bool operator==(const Color&, const Color&) = default;
};

namespace HexDigits {
// The digits as an unsigned 32-bit number in base 16: an optional single "+" or "-" (the latter
// for zero only), then one or more hex digits and nothing else. Nothing when it does not fit.
std::optional<std::uint32_t> parseUInt32(QStringView digits);
} // namespace HexDigits

} // namespace BrindlecastApp
