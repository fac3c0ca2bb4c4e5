#include "ExportKit/ExportTypes.h"

#include <QStringList>
#include <QTimeZone>

namespace ExportKit {

QString rawValue(DestinationKind kind) {
    switch (kind) {
    case DestinationKind::clipboard:
        return "clipboard";
    case DestinationKind::folder:
        return "folder";
    }
    return {};
}

std::optional<DestinationKind> destinationKindFromRawValue(const QString& raw) {
    for (DestinationKind kind : allDestinationKinds) {
        if (rawValue(kind) == raw) return kind;
    }
    return std::nullopt;
}

std::optional<double> ImageFormat::jpegQuality() const {
    if (const auto* jpeg = std::get_if<Jpeg>(&value)) return jpeg->quality;
    return std::nullopt;
}

QString ImageFormat::mimeType() const { return isPng() ? "image/png" : "image/jpeg"; }

QString Watermark::text() const {
    QStringList parts;
    if (user) parts << *user;
    if (device) parts << *device;
    if (timestamp) parts << timestamp->toTimeZone(QTimeZone::utc()).toString("yyyy-MM-dd'T'HH:mm:ss'Z'");
    return parts.join(QStringLiteral(" \u00B7 "));
}

} // namespace ExportKit
