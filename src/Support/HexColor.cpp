#include "Support/HexColor.h"

#include <cctype>

namespace Support::HexColor {

std::optional<QColor> parse(QStringView text) {
    if (text.startsWith(u'#')) text = text.mid(1);
    if (text.size() != 6 && text.size() != 8) return std::nullopt;
    bool ok = false;
    const uint value = text.toUInt(&ok, 16);
    if (!ok) return std::nullopt;
    for (QChar c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c.toLatin1())) || c.unicode() > 0x7F) return std::nullopt;
    }
    if (text.size() == 6) return QColor::fromRgb((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    return QColor::fromRgb((value >> 24) & 0xFF, (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

QString format(const QColor& color) {
    // Truncating from the 16-bit components maps every 8-bit value back to itself.
    const QRgba64 rgba = color.toRgb().rgba64();
    auto component = [](quint16 c) { return QString::asprintf("%02X", unsigned(c) * 255u / 65535u); };
    return "#" + component(rgba.red()) + component(rgba.green()) + component(rgba.blue());
}

} // namespace Support::HexColor
