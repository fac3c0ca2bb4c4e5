#include "CaptureKit/CaptureError.h"

namespace CaptureKit {

CaptureError::CaptureError(Kind kind, QStringList bundleIDs)
    : kind_(kind), bundleIDs_(std::move(bundleIDs)) {
    what_ = description().toStdString();
}

QString CaptureError::description() const {
    switch (kind_) {
    case Kind::blockedContentPresent: {
        QStringList quoted;
        for (const QString& id : bundleIDs_) quoted << '"' + id + '"';
        return "blockedContentPresent(bundleIDs: [" + quoted.join(", ") + "])";
    }
    case Kind::displayNotFound: return "displayNotFound";
    case Kind::windowNotFound: return "windowNotFound";
    case Kind::invalidRegion: return "invalidRegion";
    case Kind::notAuthorized: return "notAuthorized";
    }
    return {};
}

} // namespace CaptureKit
