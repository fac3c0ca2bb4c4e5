#include "ExportKit/ExportError.h"

namespace ExportKit {

ExportError::ExportError(Code code, DestinationKind destination, QString message)
    : code_(code), destination_(destination), message_(std::move(message)) {
    what_ = description().toStdString();
}

ExportError ExportError::destinationNotAllowed(DestinationKind kind) {
    return ExportError(Code::destinationNotAllowed, kind, {});
}
ExportError ExportError::io(QString message) {
    return ExportError(Code::io, DestinationKind::clipboard, std::move(message));
}
ExportError ExportError::encodingFailed() { return ExportError(Code::encodingFailed, DestinationKind::clipboard, {}); }
ExportError ExportError::bitmapContextFailed() {
    return ExportError(Code::bitmapContextFailed, DestinationKind::clipboard, {});
}
ExportError ExportError::invalidRegion(QString message) {
    return ExportError(Code::invalidRegion, DestinationKind::clipboard, std::move(message));
}

QString ExportError::description() const {
    switch (code_) {
    case Code::destinationNotAllowed:
        return "destinationNotAllowed(" + rawValue(destination_) + ")";
    case Code::io:
        return "io(" + message_ + ")";
    case Code::encodingFailed:
        return "encodingFailed";
    case Code::bitmapContextFailed:
        return "bitmapContextFailed";
    case Code::invalidRegion:
        return "invalidRegion(" + message_ + ")";
    }
    return {};
}

} // namespace ExportKit
