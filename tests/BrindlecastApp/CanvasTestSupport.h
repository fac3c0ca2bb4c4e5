#pragma once

#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "DetectionKit/DetectionTesting.h"
#include "ExportKit/Clipboard.h"
#include "PolicyKit/EffectivePolicy.h"
#include "ReviewTestSupport.h"
#include "support/TestEnvironment.h"
#include "Support/WorkerPool.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSemaphore>
#include <QTest>
#include <QThreadPool>

#include <memory>
#include <vector>

namespace CanvasTesting {

using BrindlecastApp::AnnotationTool;
using BrindlecastApp::ReviewCanvasView;
using BrindlecastApp::ReviewViewModel;
using DetectionKit::Detection;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

// The canvas is sized so that the image is shown at one point per pixel, its top-left corner at
// (28, 76): the side margin, and the top chrome (68) with the gap under it (8).
inline QSize canvasSizeForOneToOne(int width, int height) { return {width + 56, height + 68 + 8 + 68}; }
inline QPoint viewOf(const Point& image) { return QPoint(int(image.x) + 28, int(image.y) + 76); }

// Stripes of two colours, so that any pixel the canvas or the export shows can be told apart
// from the greys of a redaction.
inline QImage stripedImage(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    for (int x = 0; x < width; x += 16) painter.fillRect(x, 0, 8, height, QColor(0, 200, 60));
    for (int x = 8; x < width; x += 16) painter.fillRect(x, 0, 8, height, QColor(30, 90, 240));
    return image;
}

inline Detection detected(DetectionKit::PatternAction action, Rect box, QString text = "x") {
    return DetectionKit::DetectionTesting::make("email", action, box, std::move(text));
}

inline PolicyKit::EffectivePolicy policyAllowing(std::vector<PolicyKit::ExportDestination> destinations) {
    PolicyKit::EffectivePolicy policy = PolicyKit::EffectivePolicy::safeDefaults();
    policy.allowedExportDestinations = std::move(destinations);
    return policy;
}

// Records what reaches the clipboard; `accepts` false plays a clipboard that refuses.
class FakeClipboard : public ExportKit::Clipboard {
public:
    bool setData(const QString& mimeType, const QByteArray& bytes) override {
        writes.push_back({mimeType, bytes});
        return accepts;
    }
    bool accepts = true;
    std::vector<std::pair<QString, QByteArray>> writes;
};

// A model and its canvas, shown at one point per pixel on a 1x screen.
struct CanvasHarness {
    explicit CanvasHarness(QImage image = stripedImage(1000, 600), std::vector<Detection> detections = {},
                           PolicyKit::EffectivePolicy policy = PolicyKit::EffectivePolicy::safeDefaults(),
                           double screenScale = 1.0)
        : model(image, detections, policy, std::nullopt, [this] { ++tampers; },
                ReviewViewModel::Environment{screenScale, [](const QImage&, const std::vector<DetectionKit::PatternInput>&) {
                                                 return std::vector<Detection>{};
                                             }}),
          clipboard(std::make_shared<FakeClipboard>()),
          canvas(model, ReviewCanvasView::Services{[this](const QImage&, const Rect& region, const std::vector<Rect>& excluded) {
                                                      if (extractionGate) extractionGate->acquire();
                                                      extractedRegion = region;
                                                      excludedAreas = excluded;
                                                      if (whileReading) whileReading();
                                                      if (extractionFails) throw std::runtime_error("no recogniser");
                                                      return extractedText;
                                                  },
                                                  clipboard}) {
        canvas.setOpensTextEditorWhenShown(false);
        canvas.resize(canvasSizeForOneToOne(image.width(), image.height()));
        canvas.show();
        QApplication::processEvents();
    }

    // A copy-text run still reading on a worker uses the harness's fake recogniser: it ends first.
    ~CanvasHarness() { Support::workerPool().waitForDone(); }

    QPoint at(double x, double y) const { return viewOf({x, y}); }

    void press(double x, double y, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mousePress(&canvas, Qt::LeftButton, modifiers, at(x, y));
    }
    void move(double x, double y, Qt::KeyboardModifiers modifiers = {}) {
        QMouseEvent event(QEvent::MouseMove, QPointF(at(x, y)), canvas.mapToGlobal(QPointF(at(x, y))), Qt::NoButton,
                          Qt::LeftButton, modifiers);
        QApplication::sendEvent(&canvas, &event);
    }
    void release(double x, double y, Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseRelease(&canvas, Qt::LeftButton, modifiers, at(x, y));
    }
    void drag(Point from, Point to, Qt::KeyboardModifiers modifiers = {}) {
        press(from.x, from.y, modifiers);
        move((from.x + to.x) / 2, (from.y + to.y) / 2, modifiers);
        move(to.x, to.y, modifiers);
        release(to.x, to.y, modifiers);
    }
    void click(double x, double y, Qt::KeyboardModifiers modifiers = {}) {
        press(x, y, modifiers);
        release(x, y, modifiers);
    }
    // True when the canvas took the key, false when it passed it on.
    bool key(int key, Qt::KeyboardModifiers modifiers = {}, QString text = {}) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(&canvas, &event);
        return event.isAccepted();
    }
    QImage frame() { return canvas.grab().toImage().convertToFormat(QImage::Format_ARGB32); }

    int tampers = 0;
    ReviewViewModel model;
    std::shared_ptr<FakeClipboard> clipboard;
    QString extractedText = "hello";
    bool extractionFails = false;
    // When set, each reading waits on the worker until the test releases it.
    QSemaphore* extractionGate = nullptr;
    std::optional<Rect> extractedRegion;
    std::vector<Rect> excludedAreas;
    // Runs on the worker while the text is read.
    std::function<void()> whileReading;
    ReviewCanvasView canvas;
};

inline QString artefactsFolder() {
    QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (folder.isEmpty()) folder = TestSupport::makeTemporaryFolder("artefacts");
    QDir().mkpath(folder);
    return folder;
}

} // namespace CanvasTesting
