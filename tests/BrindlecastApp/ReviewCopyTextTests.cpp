#include "BrindlecastApp/Review/CanvasRenderer.h"
#include "BrindlecastApp/Review/CopyTextAreas.h"

#include "CanvasTestSupport.h"

#include <QApplication>
#include <QSemaphore>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <numbers>

using namespace BrindlecastApp;
using namespace CanvasTesting;
using DetectionKit::PatternAction;

namespace {

// Drags a copy-text rectangle and waits for the recognition on its worker.
QString copyTextDrag(CanvasHarness& h, Point from, Point to) {
    QSignalSpy finished(&h.canvas, &ReviewCanvasView::copyTextFinished);
    h.model.setTool(AnnotationTool::copyText);
    h.drag(from, to);
    if (finished.isEmpty()) finished.wait(5000);
    return finished.isEmpty() ? QString() : finished.first().first().toString();
}

} // namespace

TEST(CopyTextAreas, RotatedBoxesAreEnclosedWhole) {
    struct Case {
        Rect rect;
        double rotation;
        Rect expected;
    };
    const Case cases[] = {
        {Rect(100, 100, 200, 100), 0, Rect(100, 100, 200, 100)},
        {Rect(100, 100, 200, 100), std::numbers::pi / 2, Rect(150, 50, 100, 200)},
        {Rect(0, 0, 100, 100), std::numbers::pi / 4, Rect(50 - 50 * std::sqrt(2), 50 - 50 * std::sqrt(2), 100 * std::sqrt(2), 100 * std::sqrt(2))},
        {Rect(300, 100, -200, 100), -std::numbers::pi, Rect(100, 100, 200, 100)}, // a flipped rectangle, a half turn
    };
    for (const Case& c : cases) {
        const Rect box = CopyTextAreas::rotatedEnclosingBox(c.rect, c.rotation);
        EXPECT_NEAR(box.x(), c.expected.x(), 1e-9);
        EXPECT_NEAR(box.y(), c.expected.y(), 1e-9);
        EXPECT_NEAR(box.width(), c.expected.width(), 1e-9);
        EXPECT_NEAR(box.height(), c.expected.height(), 1e-9);
    }
}

// The text is read with every area an export hides censored: detections kept, and the user's blur
// annotations by the box that holds them as turned.
TEST(CanvasCopyText, CensorsDetectionsAndBlursAndRespectsThePolicy) {
    const std::vector<Detection> detections{detected(PatternAction::blurMandatory, Rect(10, 10, 50, 20)),
                                            detected(PatternAction::blurSuggested, Rect(100, 10, 50, 20)),
                                            detected(PatternAction::blurSuggested, Rect(200, 10, 50, 20))};
    CanvasHarness h(stripedImage(1000, 600), detections);
    h.model.toggleSuggested(1); // released: readable
    h.model.addAnnotation(Annotation::Blur{Rect(400, 300, 200, 100), Annotation::RedactionStyle::blur, std::numbers::pi / 2});
    EXPECT_EQ(copyTextDrag(h, {50, 50}, {900, 500}), ReviewCanvasView::kCopied);
    EXPECT_EQ(h.extractedRegion, Rect(50, 50, 850, 450));
    const std::vector<Rect> expected{Rect(10, 10, 50, 20), Rect(100, 10, 50, 20), Rect(450, 250, 100, 200)};
    ASSERT_EQ(h.excludedAreas.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(h.excludedAreas[i].x(), expected[i].x(), 1e-9);
        EXPECT_NEAR(h.excludedAreas[i].y(), expected[i].y(), 1e-9);
        EXPECT_NEAR(h.excludedAreas[i].width(), expected[i].width(), 1e-9);
        EXPECT_NEAR(h.excludedAreas[i].height(), expected[i].height(), 1e-9);
    }
    ASSERT_EQ(h.clipboard->writes.size(), 1u);
    EXPECT_EQ(h.clipboard->writes[0].first, "text/plain");
    EXPECT_EQ(h.clipboard->writes[0].second, QByteArray("hello"));
    EXPECT_EQ(h.model.tool(), AnnotationTool::select);
    ASSERT_TRUE(h.canvas.copyFlash().has_value());
    EXPECT_EQ(h.canvas.copyFlash()->message, "Copied");
    EXPECT_EQ(h.canvas.copyFlash()->rect, QRectF(78, 126, 850, 450)); // over the rectangle, in view points

    struct Case {
        const char* name;
        std::vector<PolicyKit::ExportDestination> allowed;
        QString text;
        bool fails, clipboardAccepts;
        QString message;
        std::size_t writes;
        bool recognised;
    };
    const Case cases[] = {
        {"no text", {PolicyKit::ExportDestination::clipboard}, "  \n", false, true, "No text found", 0, true},
        {"recognition failed", {PolicyKit::ExportDestination::clipboard}, "x", true, true, "No text found", 0, true},
        {"clipboard refused", {PolicyKit::ExportDestination::clipboard}, "x", false, false, "Copy failed", 1, true},
        {"clipboard not allowed", {PolicyKit::ExportDestination::folder}, "x", false, true, "Managed by your organization", 0, false},
    };
    for (const Case& c : cases) {
        CanvasHarness other(stripedImage(1000, 600), {}, policyAllowing(c.allowed));
        other.extractedText = c.text;
        other.extractionFails = c.fails;
        other.clipboard->accepts = c.clipboardAccepts;
        EXPECT_EQ(copyTextDrag(other, {50, 50}, {300, 300}), c.message) << c.name;
        EXPECT_EQ(other.clipboard->writes.size(), c.writes) << c.name;
        EXPECT_EQ(other.extractedRegion.has_value(), c.recognised) << c.name;
    }
}

// The policy of this moment decides, asked before the text is read and again before it leaves: a
// clipboard closed while it was read keeps its contents, and a pattern made mandatory meanwhile
// has the text read again once its findings are in.
TEST(CanvasCopyText, ThePolicyIsAskedAgainBeforeTheTextLeaves) {
    {
        CanvasHarness h;
        auto closed = std::make_shared<std::atomic<bool>>(false);
        h.model.setCurrentPolicySource([closed] {
            return policyAllowing({*closed ? PolicyKit::ExportDestination::folder : PolicyKit::ExportDestination::clipboard});
        });
        h.whileReading = [closed] { *closed = true; };
        EXPECT_EQ(copyTextDrag(h, {50, 50}, {300, 300}), ReviewCanvasView::kClipboardNotAllowed);
        EXPECT_TRUE(h.clipboard->writes.empty());
        EXPECT_EQ(copyTextDrag(h, {50, 50}, {300, 300}), ReviewCanvasView::kClipboardNotAllowed);
    }
    {
        CanvasHarness h;
        auto strict = std::make_shared<std::atomic<bool>>(false);
        auto reads = std::make_shared<std::atomic<int>>(0);
        h.model.setCurrentPolicySource([strict] {
            PolicyKit::EffectivePolicy policy = policyAllowing({PolicyKit::ExportDestination::clipboard});
            if (*strict) policy.piiPatterns = {{"ticket", "T-[0-9]+", PolicyKit::PIIAction::blurMandatory}};
            return policy;
        });
        h.whileReading = [strict, reads] {
            if (++*reads == 1) *strict = true;
        };
        EXPECT_EQ(copyTextDrag(h, {50, 50}, {300, 300}), ReviewCanvasView::kCopied);
        EXPECT_EQ(*reads, 2);
        EXPECT_EQ(h.clipboard->writes.size(), 1u);
    }
}

// One area is read at a time: a second drag while the first is read says so over the second
// area, and the first still ends in the clipboard.
TEST(CanvasCopyText, ASecondDragWhileOneIsReadIsNotDroppedWithoutAWord) {
    CanvasHarness h;
    QSemaphore gate;
    h.extractionGate = &gate;
    QSignalSpy finished(&h.canvas, &ReviewCanvasView::copyTextFinished);
    h.model.setTool(AnnotationTool::copyText);
    h.drag({50, 50}, {300, 300});
    h.model.setTool(AnnotationTool::copyText);
    h.drag({400, 300}, {600, 400});
    const auto notice = h.canvas.copyFlash();
    EXPECT_TRUE(notice.has_value());
    if (notice) {
        EXPECT_EQ(notice->message, ReviewCanvasView::kStillCopying);
        EXPECT_EQ(notice->rect, QRectF(QPointF(h.at(400, 300)), QSizeF(200, 100)));
    }
    EXPECT_EQ(h.model.tool(), AnnotationTool::select);
    EXPECT_TRUE(finished.isEmpty());
    gate.release();
    if (finished.isEmpty()) finished.wait(5000);
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.first().first().toString(), ReviewCanvasView::kCopied);
    EXPECT_EQ(h.extractedRegion, Rect(50, 50, 250, 250));
    EXPECT_EQ(h.clipboard->writes.size(), 1u);
}

// With a crop ratio the dashed preview shows the rectangle the text is read from, not the
// ratio's rectangle of the rectangular select.
TEST(CanvasCopyText, PreviewShowsTheRectangleReadFrom) {
    QImage black(1000, 600, QImage::Format_ARGB32_Premultiplied);
    black.fill(Qt::black);
    CanvasHarness h(black);
    h.model.setCropRatio(4.0 / 3.0);
    h.model.setTool(AnnotationTool::copyText);
    h.press(100, 100);
    h.move(500, 150);
    const QImage frame = h.frame();
    auto lit = [&](double x, double y) { return QColor(frame.pixel(viewOf({x, y}))).blue() > 100; };
    // The plain rectangle (100, 100)-(500, 150): its bottom edge is dashed, the 4:3 one
    // (100, 100)-(500, 400) is not drawn.
    int onBottom = 0, onRatio = 0;
    for (int x = 110; x < 490; ++x) {
        onBottom += lit(x, 150);
        onRatio += lit(x, 400);
    }
    EXPECT_GT(onBottom, 100);
    EXPECT_EQ(onRatio, 0);
    h.release(500, 150);
}
