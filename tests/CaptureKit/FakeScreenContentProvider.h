#pragma once

#include "CaptureKit/ScreenContentProvider.h"

#include <QColor>
#include <QImage>

#include <functional>
#include <vector>

namespace CaptureKitTests {

// A provider over a fixed snapshot: display images are one solid colour (another for the
// desktop-less variant) and every call is recorded.
class FakeScreenContentProvider : public CaptureKit::ScreenContentProvider {
public:
    struct Call {
        enum Kind { shareableContent, captureDisplay, captureDisplayContent, captureWindow } kind;
        std::uint32_t id = 0;
        QStringList excluded;
    };

    explicit FakeScreenContentProvider(CaptureKit::ShareableSnapshot snapshot) : snapshot(std::move(snapshot)) {}

    CaptureKit::ShareableSnapshot shareableContent() override {
        calls.push_back({Call::shareableContent, 0, {}});
        return snapshot;
    }
    QImage captureDisplay(const CaptureKit::DisplayInfo& display, const QStringList& excluded) override {
        calls.push_back({Call::captureDisplay, display.displayID, excluded});
        return solid(display, Qt::blue);
    }
    QImage captureDisplayContent(const CaptureKit::DisplayInfo& display, const QStringList& excluded) override {
        calls.push_back({Call::captureDisplayContent, display.displayID, excluded});
        return solid(display, Qt::transparent);
    }
    QImage captureWindow(const CaptureKit::WindowInfo& window) override {
        calls.push_back({Call::captureWindow, window.windowID, {}});
        QImage image(int(window.frame.width()), int(window.frame.height()), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::green);
        return image;
    }

    bool tookAnImage() const {
        for (const Call& call : calls)
            if (call.kind != Call::shareableContent) return true;
        return false;
    }

    CaptureKit::ShareableSnapshot snapshot;
    std::vector<Call> calls;

private:
    static QImage solid(const CaptureKit::DisplayInfo& display, QColor colour) {
        QImage image(int(display.pixelWidth), int(display.pixelHeight), QImage::Format_ARGB32_Premultiplied);
        image.fill(colour);
        return image;
    }
};

} // namespace CaptureKitTests
