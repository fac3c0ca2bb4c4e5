#include "SidecarKit/SidecarError.h"

namespace SidecarKit {

SidecarError::SidecarError(Kind kind, std::int64_t found, std::int64_t supported, QString message)
    : kind_(kind), found_(found), supported_(supported), message_(std::move(message)),
      what_(description().toStdString()) {}

SidecarError SidecarError::unsupportedVersion(std::int64_t found, std::int64_t supported) {
    return SidecarError(Kind::unsupportedVersion, found, supported, {});
}

SidecarError SidecarError::io(const QString& message) { return SidecarError(Kind::io, 0, 0, message); }

QString SidecarError::description() const {
    switch (kind_) {
    case Kind::unsupportedVersion:
        return QStringLiteral("The annotation document has version %1; this version of Brindlecast reads up to %2.")
            .arg(found_)
            .arg(supported_);
    case Kind::io: return message_;
    }
    return message_;
}

DamagedDocument::DamagedDocument(const JSONDecodingError& error, SidecarSource source, QString file)
    : JSONDecodingError(error), source_(source), file_(std::move(file)),
      whatWithFile_(((source == SidecarSource::file ? QStringLiteral("annotation file %1: %2")
                                                    : QStringLiteral("annotations embedded in %1: %2"))
                         .arg(file_, error.description()))
                        .toStdString()) {}

} // namespace SidecarKit
