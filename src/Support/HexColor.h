#pragma once

#include <QColor>
#include <QString>
#include <QStringView>
#include <optional>

namespace Support::HexColor {

// "#RRGGBB" or "#RRGGBBAA" (the last pair is alpha); the number sign may be left out and the
// digits are read in either case. Anything else gives nothing: callers choose their fallback.
std::optional<QColor> parse(QStringView text);

// "#RRGGBB" in upper case, alpha dropped; each component is truncated from its 0..1 value.
QString format(const QColor& color);

} // namespace Support::HexColor
