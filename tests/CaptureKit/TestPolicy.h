#pragma once

#include "PolicyKit/EffectivePolicy.h"

#include <QColor>

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

} // namespace CaptureKitTests
