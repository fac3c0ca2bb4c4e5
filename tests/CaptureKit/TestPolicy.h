#pragma once

#include "PolicyKit/EffectivePolicy.h"

#include "CaptureKit/CaptureError.h"

#include <QColor>

#include <optional>

namespace CaptureKitTests {

// A policy that blocks `blocked` with `behavior`; everything else at the defaults.
inline PolicyKit::EffectivePolicy blockingPolicy(PolicyKit::BlockedAppBehavior behavior, QStringList blocked) {
    PolicyKit::EffectivePolicy policy;
    policy.blockedAppBehavior = behavior;
    policy.blockedBundleIDs = std::move(blocked);
    return policy;
}

// The placeholder plate's grey 0.15 in 8-bit sRGB.
inline const QRgb plateGrey = qRgb(38, 38, 38);

// The CaptureError `f` throws; nothing when it returns (another exception passes through).
template <typename F>
std::optional<CaptureKit::CaptureError> captureErrorOf(F&& f) {
    try {
        f();
    } catch (const CaptureKit::CaptureError& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace CaptureKitTests
