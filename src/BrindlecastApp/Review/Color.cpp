#include "BrindlecastApp/Review/Color.h"

#include "Support/HexColor.h"

#include <QRgba64>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace HexDigits {

std::optional<std::uint32_t> parseUInt32(QStringView digits) {
    bool negative = false;
    if (!digits.isEmpty() && (digits.front() == u'+' || digits.front() == u'-')) {
        negative = digits.front() == u'-';
        digits = digits.mid(1);
    }
    if (digits.isEmpty()) return std::nullopt;
    std::uint64_t value = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        int digit = -1;
        if (u >= u'0' && u <= u'9') digit = u - u'0';
        else if (u >= u'a' && u <= u'f') digit = u - u'a' + 10;
        else if (u >= u'A' && u <= u'F') digit = u - u'A' + 10;
        if (digit < 0) return std::nullopt;
        value = value * 16 + std::uint64_t(digit);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    if (negative && value != 0) return std::nullopt;
    return std::uint32_t(value);
}

} // namespace HexDigits

namespace {

// n / 255, never n * (1 / 255): only the quotient truncates back to n when multiplied by 255.
double channel(std::uint32_t value, int shift) { return double((value >> shift) & 0xFF) / 255.0; }

// A component written back as two hex digits: cut toward zero, kept within one byte.
int byteOf(double component) { return int(std::clamp(std::trunc(component * 255.0), 0.0, 255.0)); }

// A 16-bit channel as the 0...1 value it stands for; an exact 8-bit value (n * 257) gives
// exactly n / 255, so it prints back as n.
double fromChannel16(quint16 value) {
    if (value % 257 == 0) return double(value / 257) / 255.0;
    return double(value) / 65535.0;
}

quint16 toChannel16(double component) { return quint16(std::lround(std::clamp(component, 0.0, 1.0) * 65535.0)); }

} // namespace

Color Color::fromRGBA(std::uint32_t rgba) {
    return {channel(rgba, 24), channel(rgba, 16), channel(rgba, 8), channel(rgba, 0)};
}

Color Color::fromHex(QStringView hex) {
    if (hex.startsWith(u'#')) hex = hex.mid(1);
    QString digits = hex.toString();
    if (digits.size() == 6) digits += QStringLiteral("FF");
    return fromRGBA(HexDigits::parseUInt32(digits).value_or(fallbackRGBA));
}

QString Color::hexRGB() const {
    // Components that are not numbers have no sRGB form: the platform's pure red stands in.
    if (!std::isfinite(red) || !std::isfinite(green) || !std::isfinite(blue)) return QStringLiteral("#FF0000");
    return QString::asprintf("#%02X%02X%02X", byteOf(red), byteOf(green), byteOf(blue));
}

QColor Color::toQColor() const {
    if (!std::isfinite(red) || !std::isfinite(green) || !std::isfinite(blue) || !std::isfinite(opacity)) return {};
    return QColor(QRgba64::fromRgba64(toChannel16(red), toChannel16(green), toChannel16(blue), toChannel16(opacity)));
}

std::optional<Color> Color::fromQColor(const QColor& color) {
    if (!color.isValid()) return std::nullopt;
    const QRgba64 rgba = color.toRgb().rgba64();
    return Color{fromChannel16(rgba.red()), fromChannel16(rgba.green()), fromChannel16(rgba.blue()),
                 fromChannel16(rgba.alpha())};
}

QString Color::hexRGB(const QColor& color) {
    if (!color.isValid()) return QStringLiteral("#FF0000");
    return Support::HexColor::format(color);
}

} // namespace BrindlecastApp
