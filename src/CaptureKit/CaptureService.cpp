#include "CaptureKit/CaptureService.h"

#include "CaptureKit/AppIdentity.h"
#include "CaptureKit/CaptureError.h"
#include "CaptureKit/PlaceholderRenderer.h"

#include <algorithm>
#include <cmath>

namespace CaptureKit {

using PolicyKit::BlockedAppBehavior;
using Support::Rect;

namespace {

bool isBlocked(const std::optional<QString>& bundleID, const QStringList& blockedBundleIDs) {
    return bundleID && blockedBundleIDs.contains(*bundleID, Qt::CaseSensitive);
}

// The blocked IDs a refusal names for a window: the ID it goes by when that one is blocked, else
// the blocked IDs it may also be given, or for a window whose process cannot be looked at, those
// its names resemble, or "unidentified window". Empty: the window is not blocked.
QStringList blockedIDsOf(const WindowInfo& window, const QStringList& blockedBundleIDs) {
    if (isBlocked(window.bundleID, blockedBundleIDs)) return {*window.bundleID};
    QStringList identities = window.identities;
    if (window.bundleID && !identities.contains(*window.bundleID)) identities.prepend(*window.bundleID);
    return blockedIdentities(identities, window.isProcessKnown, blockedBundleIDs);
}

bool isBlocked(const WindowInfo& window, const QStringList& blockedBundleIDs) {
    return !blockedIDsOf(window, blockedBundleIDs).isEmpty();
}

// A region of real numbers: NaN compares false with everything, so it would pass every check
// below and reach the pixel arithmetic, and an endless edge gives NaN there (infinity minus
// infinity).
bool isFinite(const Rect& rect) {
    return std::isfinite(rect.x()) && std::isfinite(rect.y()) && std::isfinite(rect.width()) && std::isfinite(rect.height());
}

// By code point: comparing UTF-16 code units would put characters beyond U+FFFF (surrogate
// pairs) before those from U+E000 to U+FFFF.
bool precedesByCodePoint(const QString& a, const QString& b) {
    const QList<uint> x = a.toUcs4(), y = b.toUcs4();
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
}

} // namespace

CaptureService::CaptureService(PolicyKit::EffectivePolicy policy, std::shared_ptr<ScreenContentProvider> provider)
    : policy_(std::move(policy)), provider_(std::move(provider)) {}

QImage CaptureService::captureDisplay(std::optional<std::uint32_t> displayID) const {
    return captureDisplay(displayID, false);
}

QImage CaptureService::captureDisplayContent(std::optional<std::uint32_t> displayID) const {
    return captureDisplay(displayID, true);
}

QImage CaptureService::captureRegion(const Rect& region) const { return captureRegion(region, false); }

QImage CaptureService::captureRegionContent(const Rect& region) const { return captureRegion(region, true); }

QImage CaptureService::captureDisplay(std::optional<std::uint32_t> displayID, bool excludeDesktop) const {
    const ShareableSnapshot snapshot = provider_->shareableContent();
    const auto display = std::find_if(snapshot.displays.begin(), snapshot.displays.end(), [&](const DisplayInfo& d) {
        return !displayID || d.displayID == *displayID;
    });
    if (display == snapshot.displays.end()) throw CaptureError::displayNotFound();
    return capture(*display, display->frame, snapshot, std::nullopt, excludeDesktop);
}

QImage CaptureService::captureRegion(const Rect& region, bool excludeDesktop) const {
    if (!isFinite(region)) throw CaptureError::invalidRegion();
    const ShareableSnapshot snapshot = provider_->shareableContent();
    // A region over several displays comes from the first one listed; blocked windows are still
    // judged against the whole region.
    const auto display = std::find_if(snapshot.displays.begin(), snapshot.displays.end(),
                                      [&](const DisplayInfo& d) { return d.frame.intersects(region); });
    if (display == snapshot.displays.end()) throw CaptureError::invalidRegion();
    return capture(*display, region, snapshot, pixelRect(region, *display), excludeDesktop);
}

QImage CaptureService::capture(const DisplayInfo& display, const Rect& target, const ShareableSnapshot& snapshot,
                               std::optional<Rect> cropPixels, bool excludeDesktop) const {
    const QStringList& blockedIDs = policy_.blockedBundleIDs;
    const std::vector<WindowInfo> blocked = blockedWindows(snapshot, blockedIDs, target);
    const BlockedAppBehavior behavior = policy_.blockedAppBehavior;

    if (behavior == BlockedAppBehavior::cancelCapture && !blocked.empty()) {
        QStringList ids;
        for (const WindowInfo& w : blocked) ids << blockedIDsOf(w, blockedIDs);
        std::sort(ids.begin(), ids.end(), precedesByCodePoint);
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        throw CaptureError::blockedContentPresent(ids);
    }

    // Every behaviour captures with the whole block list excluded, not only the windows found
    // above: a window the snapshot missed must not show either.
    QImage image = excludeDesktop ? provider_->captureDisplayContent(display, blockedIDs)
                                  : provider_->captureDisplay(display, blockedIDs);

    if (behavior == BlockedAppBehavior::placeholder && !blocked.empty()) {
        std::vector<Rect> plates;
        for (const Rect& plate : visiblePlates(blocked, snapshot.windows, blockedIDs))
            plates.push_back(pixelRect(plate, display));
        image = PlaceholderRenderer::draw(image, plates);
    }

    if (cropPixels) {
        // Keep the part of the crop inside the image; nothing left is an invalid region.
        const Rect crop = cropPixels->integral().intersection(Rect(0, 0, image.width(), image.height()));
        if (crop.isEmpty()) throw CaptureError::invalidRegion();
        image = image.copy(QRect(int(crop.x()), int(crop.y()), int(crop.width()), int(crop.height())));
        if (image.isNull()) throw CaptureError::invalidRegion();
    }
    return image;
}

QImage CaptureService::captureWindow(std::uint32_t windowID) const {
    const ShareableSnapshot snapshot = provider_->shareableContent();
    const auto window = std::find_if(snapshot.windows.begin(), snapshot.windows.end(),
                                     [&](const WindowInfo& w) { return w.windowID == windowID; });
    if (window == snapshot.windows.end()) throw CaptureError::windowNotFound();
    if (isBlocked(*window, policy_.blockedBundleIDs))
        throw CaptureError::blockedContentPresent(blockedIDsOf(*window, policy_.blockedBundleIDs));
    return provider_->captureWindow(*window);
}

std::vector<WindowInfo> CaptureService::blockedWindows(const ShareableSnapshot& snapshot,
                                                       const QStringList& blockedBundleIDs, const Rect& target) {
    std::vector<WindowInfo> blocked;
    for (const WindowInfo& w : snapshot.windows)
        if (w.isOnScreen && isBlocked(w, blockedBundleIDs) && w.frame.intersects(target)) blocked.push_back(w);
    return blocked;
}

std::vector<Rect> CaptureService::visiblePlates(const std::vector<WindowInfo>& blocked,
                                                const std::vector<WindowInfo>& windows,
                                                const QStringList& blockedBundleIDs) {
    std::vector<const WindowInfo*> occluders;
    for (const WindowInfo& w : windows)
        if (w.isOnScreen && w.zIndex != WindowInfo::unknownZIndex && !isBlocked(w, blockedBundleIDs))
            occluders.push_back(&w);

    std::vector<Rect> plates;
    for (const WindowInfo& b : blocked) {
        std::vector<Rect> pieces{b.frame};
        if (b.zIndex != WindowInfo::unknownZIndex) {
            for (const WindowInfo* o : occluders) {
                if (pieces.empty()) break;
                if (o->zIndex >= b.zIndex) continue;
                std::vector<Rect> rest;
                for (const Rect& piece : pieces)
                    for (const Rect& part : subtracting(o->frame, piece)) rest.push_back(part);
                pieces = std::move(rest);
            }
        }
        plates.insert(plates.end(), pieces.begin(), pieces.end());
    }
    return plates;
}

std::vector<Rect> CaptureService::subtracting(const Rect& cut, const Rect& base) {
    const Rect i = base.intersection(cut);
    if (i.isEmpty()) return {base};
    std::vector<Rect> pieces;
    if (base.minY() < i.minY()) pieces.emplace_back(base.minX(), base.minY(), base.width(), i.minY() - base.minY());
    if (i.maxY() < base.maxY()) pieces.emplace_back(base.minX(), i.maxY(), base.width(), base.maxY() - i.maxY());
    if (base.minX() < i.minX()) pieces.emplace_back(base.minX(), i.minY(), i.minX() - base.minX(), i.height());
    if (i.maxX() < base.maxX()) pieces.emplace_back(i.maxX(), i.minY(), base.maxX() - i.maxX(), i.height());
    return pieces;
}

Rect CaptureService::pixelRect(const Rect& rect, const DisplayInfo& display) {
    const double s = display.scale();
    return Rect((rect.minX() - display.frame.minX()) * s, (rect.minY() - display.frame.minY()) * s, rect.width() * s,
                rect.height() * s)
        .integral();
}

} // namespace CaptureKit
