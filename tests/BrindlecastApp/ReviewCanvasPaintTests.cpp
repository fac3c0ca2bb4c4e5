#include "BrindlecastApp/Review/CanvasRenderer.h"
#include "ExportKit/Exporter.h"

#include "CanvasTestSupport.h"

#include <QApplication>
#include <QPainterPath>

#include <gtest/gtest.h>

#include <cmath>

using namespace BrindlecastApp;
using namespace CanvasTesting;
using DetectionKit::PatternAction;
namespace Exporter = ExportKit::Exporter;

namespace {

bool isGrey(QRgb p, int tolerance = 2) {
    return std::abs(qRed(p) - qGreen(p)) <= tolerance && std::abs(qGreen(p) - qBlue(p)) <= tolerance;
}

QImage filled(int width, int height, QColor colour) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

QPoint pixelAt(const Point& view) { return QPoint(int(std::floor(view.x)), int(std::floor(view.y))); }

} // namespace

TEST(CanvasPainting, MatCardAndShadow) {
    const QRgb mat = qRgb(28, 28, 28); // white 0.11
    // A canvas too small for its margins shows only the mat.
    {
        CanvasHarness h;
        h.canvas.resize(50, 120);
        const QImage frame = h.frame();
        for (const QPoint p : {QPoint(0, 0), QPoint(25, 60), QPoint(49, 119)}) EXPECT_EQ(frame.pixel(p), mat);
    }
    // A transparent capture shows the card, which takes the mat's colour, and its shadow falls
    // below it onto the mat.
    {
        CanvasHarness h(filled(1000, 600, Qt::transparent));
        const QImage frame = h.frame();
        EXPECT_EQ(frame.pixel(viewOf({500, 300})), mat);
        EXPECT_LT(qRed(frame.pixel(viewOf({500, 604}))), 20); // 4 points below the card, within the clip
        EXPECT_EQ(frame.pixel(5, 5), mat);                    // far from it
    }
    // Without a mat the card is white 0.97.
    {
        CanvasHarness h(filled(1000, 600, Qt::transparent));
        h.canvas.setMatColor(std::nullopt);
        EXPECT_EQ(h.frame().pixel(viewOf({500, 300})), qRgb(247, 247, 247));
    }
}

// Every card casts its shadow onto the mat below it, however small or thin the capture.
TEST(CanvasPainting, SmallAndThinCardsKeepTheirShadow) {
    const QRgb mat = qRgb(28, 28, 28);
    const struct {
        int width, height;
    } sizes[] = {{1000, 600}, {60, 40}, {900, 4}, {3, 300}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width << " x " << size.height);
        CanvasHarness h(filled(size.width, size.height, Qt::white));
        const QImage frame = h.frame();
        const QPoint below = pixelAt(h.canvas.toView(Point{size.width / 2.0, size.height + 4.0}));
        ASSERT_TRUE(frame.rect().contains(below));
        EXPECT_LT(qRed(frame.pixel(below)), qRed(mat));
        EXPECT_EQ(frame.pixel(5, 5), mat); // far from it
    }
}

// The canvas shows every scramble cell in the grey the export burns in, at any zoom.
TEST(CanvasPainting, ScrambleCellsMatchTheExport) {
    const QImage image = stripedImage(1000, 600);
    const Rect box(400, 270, 240, 60); // cells of 20: 12 x 3, near the middle to stay in view when zoomed
    const QImage exported = Exporter::redact(image, std::vector<Rect>{box}, Exporter::RedactionStyle::scramble);
    for (double zoom : {1.0, 2.0}) {
        CanvasHarness h(image, {detected(PatternAction::blurMandatory, box)});
        h.model.setShowDetectionOutlines(false);
        h.model.setZoom(zoom);
        QApplication::processEvents();
        const QImage frame = h.frame();
        int compared = 0;
        for (double y = box.minY() + 10; y < box.maxY(); y += 20) {
            for (double x = box.minX() + 10; x < box.maxX() - 40; x += 20) { // the lock badge sits at the right
                const QPoint on = pixelAt(h.canvas.toView(Point{x, y}));
                if (on.y() < 76 || on.y() >= 676 || on.x() < 28 || on.x() >= 1028) continue; // beyond the working area
                EXPECT_EQ(frame.pixel(on), exported.pixel(int(x), int(y))) << "zoom " << zoom << " at " << x << "," << y;
                ++compared;
            }
        }
        EXPECT_GE(compared, 20) << zoom;
    }
}

// A turned blur hides the same pixels of the image on screen as in the exported file.
TEST(CanvasPainting, TurnedBlurCoversWhatTheExportCovers) {
    const QImage image = stripedImage(1000, 600);
    const Rect rect(300, 200, 200, 120);
    const double rotation = 0.6;
    for (const auto style : Annotation::allRedactionStyles) {
        const Annotation blur(QUuid::createUuid(), 0, Annotation::Blur{rect, style, rotation});
        const QImage exported = Exporter::flatten(image, {blur});
        CanvasHarness h(image);
        h.model.setAnnotations({blur});
        const QImage frame = h.frame();
        int covered = 0, mismatched = 0;
        for (int y = 100; y < 420; y += 3) {
            for (int x = 200; x < 600; x += 3) {
                // Distance from the turned rectangle's edges, in its own frame.
                const double dx = x + 0.5 - rect.midX(), dy = y + 0.5 - rect.midY();
                const double u = std::cos(rotation) * dx + std::sin(rotation) * dy;
                const double v = -std::sin(rotation) * dx + std::cos(rotation) * dy;
                const double inside = std::min(rect.width() / 2 - std::abs(u), rect.height() / 2 - std::abs(v));
                const bool nearCorner = std::abs(u) > rect.width() / 2 - 5 && std::abs(v) > rect.height() / 2 - 5;
                if (std::abs(inside) < 2.5 || nearCorner) continue; // edges are smoothed differently
                const bool hiddenInFile = isGrey(exported.pixel(x, y));
                const bool hiddenOnScreen = isGrey(frame.pixel(viewOf({double(x), double(y)})));
                covered += hiddenInFile;
                mismatched += hiddenInFile != hiddenOnScreen;
                EXPECT_EQ(hiddenInFile, inside > 0) << x << "," << y;
            }
        }
        EXPECT_GT(covered, 1500) << int(style);
        EXPECT_EQ(mismatched, 0) << int(style);
    }
}

// Inside a mandatory region's rounded box no pixel of the capture shows through, at any zoom and
// whatever fraction of a pixel the box starts on.
TEST(CanvasPainting, NothingOfTheCaptureShowsInsideAMandatoryBox) {
    const Rect box(451.3, 281.7, 97.2, 43.9); // near the middle, so it stays in view when zoomed
    for (const auto style : Annotation::allRedactionStyles) {
        for (double zoom : {0.5, 1.0, 1.37, 2.0, 3.0}) {
            CanvasHarness h(filled(1000, 600, QColor(0, 255, 0)), {detected(PatternAction::blurMandatory, box)});
            h.model.setShowDetectionOutlines(false);
            h.model.setRedactionStyle(style);
            h.model.setZoom(zoom);
            QApplication::processEvents();
            const QImage frame = h.frame();
            const QRectF v = h.canvas.toView(box).toQRectF();
            const auto badge = CanvasRenderer::lockBadgeCircle(v);
            QPainterPath rounded;
            rounded.addRoundedRect(v, 3, 3);
            int checked = 0;
            for (int y = int(v.top()) - 1; y <= int(v.bottom()) + 1; ++y) {
                for (int x = int(v.left()) - 1; x <= int(v.right()) + 1; ++x) {
                    const QPointF centre(x + 0.5, y + 0.5);
                    if (!rounded.contains(centre) || !frame.rect().contains(x, y)) continue;
                    if (badge && badge->adjusted(-1, -1, 1, 1).contains(centre)) continue; // the red badge
                    ++checked;
                    EXPECT_TRUE(isGrey(frame.pixel(x, y))) << "zoom " << zoom << " style " << int(style) << " at " << x
                                                           << "," << y << ": " << std::hex << frame.pixel(x, y);
                    if (HasFailure()) return;
                }
            }
            EXPECT_GT(checked, 100) << zoom;
        }
    }
}

TEST(CanvasPainting, LockBadgesByBoxSize) {
    struct Case {
        Rect box;
        std::optional<double> diameter;
    };
    const Case cases[] = {
        {Rect(100, 100, 200, 40), 16}, {Rect(100, 200, 200, 12), 10}, {Rect(100, 300, 60, 20), 16},
        {Rect(400, 100, 16, 12), std::nullopt}, // not wider than 10 + 6
        {Rect(400, 200, 17, 12), 10},
    };
    std::vector<Detection> detections;
    for (const Case& c : cases) detections.push_back(detected(PatternAction::blurMandatory, c.box));
    CanvasHarness h(filled(1000, 600, Qt::white), detections);
    h.model.setShowDetectionOutlines(false);
    const QImage frame = h.frame();
    for (const Case& c : cases) {
        const QRectF v = h.canvas.toView(c.box).toQRectF();
        const auto circle = CanvasRenderer::lockBadgeCircle(v);
        ASSERT_EQ(circle.has_value(), c.diameter.has_value());
        if (!circle) {
            EXPECT_TRUE(isGrey(frame.pixel(pixelAt({v.right() - 5, v.center().y()}))));
            continue;
        }
        EXPECT_EQ(circle->size(), QSizeF(*c.diameter, *c.diameter));
        EXPECT_EQ(circle->right(), v.right() - 3);
        const QRgb red = frame.pixel(pixelAt({circle->left() + 1.5, circle->center().y()}));
        EXPECT_GT(qRed(red), 200);
        EXPECT_LT(qGreen(red), 100);
    }
}

TEST(CanvasPainting, CropToolDimsOutsideTheDraftAndACropClipsTheRest) {
    CanvasHarness h(filled(1000, 600, Qt::white));
    h.model.setTool(AnnotationTool::crop);
    h.model.setCropDraft(Rect(200, 150, 400, 300));
    QImage frame = h.frame();
    EXPECT_EQ(qRed(frame.pixel(viewOf({100, 100}))), 115); // white under black 0.55
    EXPECT_EQ(qRed(frame.pixel(viewOf({420, 320}))), 255);
    // Committed, the crop is all the canvas shows, fitted and centred; annotations beyond it
    // are cut away with the rest.
    h.model.applyCropDraft();
    h.model.addAnnotation(Annotation::Box{Rect(0, 0, 150, 100), Annotation::Style("#FF0000", 8, 1, false, std::nullopt, false),
                                          std::nullopt, 0});
    QApplication::processEvents();
    const Rect fit = h.canvas.fitRect();
    EXPECT_NEAR(h.canvas.toView(Rect(200, 150, 400, 300)).midX(), 28 + 500, 1e-9);
    EXPECT_NEAR(fit.width() / 1000, 2.0, 1e-9); // 400 x 300 fitted into 1000 x 600
    frame = h.frame();
    EXPECT_EQ(frame.pixel(10, 10), qRgb(28, 28, 28));
}

// Redaction cells and annotations are made once and reused: a second frame makes nothing, and a
// drag makes again only what moved.
TEST(CanvasPainting, FramesReuseWhatDidNotChange) {
    CanvasHarness h(stripedImage(1000, 600), {detected(PatternAction::blurMandatory, Rect(100, 100, 200, 40)),
                                              detected(PatternAction::blurSuggested, Rect(100, 200, 200, 40))});
    const Annotation::Style style("#FF3B30", 4, 1, true, std::nullopt, true);
    h.model.addAnnotation(Annotation::Blur{Rect(500, 100, 100, 60), Annotation::RedactionStyle::blur, 0.3});
    h.model.addAnnotation(Annotation::Text{{500, 300}, "Note", Annotation::Style("#FFD60A", 30, 1, true, std::nullopt, true),
                                           std::nullopt, Annotation::TextAlignment::left, 0});
    const QUuid arrow = h.model.addAnnotation(Annotation::Arrow{{100, 400}, {300, 500}, style, std::nullopt});
    h.frame();
    RedactionCells& cells = h.canvas.renderer().cells();
    AnnotationSprites& sprites = h.canvas.renderer().sprites();
    const auto cellRenders = cells.renders();
    const auto spriteRenders = sprites.renders();
    EXPECT_EQ(cells.count(), 3u);
    EXPECT_EQ(sprites.count(), 2u);
    h.frame();
    EXPECT_EQ(cells.renders(), cellRenders);
    EXPECT_EQ(sprites.renders(), spriteRenders);

    h.model.setSelectedAnnotationID(arrow);
    h.press(200, 450);
    for (int step = 1; step <= 5; ++step) {
        h.move(200 + 7 * step, 450 + 3 * step);
        h.frame();
    }
    h.release(235, 465);
    EXPECT_EQ(cells.renders(), cellRenders);
    EXPECT_EQ(sprites.renders(), spriteRenders + 5);
}

// After a crop the canvas frames what leaves: the backdrop lies all around the cropped image, as
// the export draws it, wherever in the capture the crop was taken.
TEST(CanvasPainting, ACroppedCaptureShowsTheBackdropTheExportDraws) {
    using ExportKit::Backdrop;
    const struct {
        const char* name;
        Rect crop;
        Backdrop backdrop;
    } cases[] = {
        {"inside, solid", Rect(100, 80, 200, 120), Backdrop{Backdrop::Solid{"#FF3B30"}, 24, 8}},
        {"top-left corner, gradient", Rect(0, 0, 160, 100), Backdrop{Backdrop::Gradient{"#F9CF93", "#3A3F78", 0.3}, 30, 12}},
        {"bottom-right corner, gradient", Rect(260, 180, 140, 120),
         Backdrop{Backdrop::Gradient{"#8EC5FF", "#1B2A6B", 5.5}, 20, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CanvasHarness h(stripedImage(400, 300));
        h.model.setTool(AnnotationTool::crop);
        h.model.setCropDraft(c.crop);
        h.model.applyCropDraft();
        h.model.setBackdrop(c.backdrop);
        // Zoomed out, so that all of the backdrop shows.
        h.model.setZoom(0.5);
        QApplication::processEvents();
        const QImage exported =
            Exporter::applyBackdrop(Exporter::crop(h.model.activeImage(), c.crop), c.backdrop).convertToFormat(QImage::Format_ARGB32);
        const QImage frame = h.frame();
        const double pad = c.backdrop.padding;
        const double w = exported.width(), hgt = exported.height();
        // Around the four sides and in the corners of the backdrop, and in the image (in the
        // middle of its stripes, well inside its rounded corners).
        const QPointF probes[] = {{pad / 2, hgt / 2},     {w / 2, pad / 2},        {w - pad / 2, hgt / 2},
                                  {w / 2, hgt - pad / 2}, {pad / 2, pad / 2},      {w - pad / 2, hgt - pad / 2},
                                  {pad + 4, hgt / 2},     {pad + 20, pad + 20},    {w - pad - 12, hgt - pad - 20}};
        for (const QPointF& probe : probes) {
            const Point view = h.canvas.toView(Point{c.crop.x() + probe.x() - pad, c.crop.y() + probe.y() - pad});
            const QColor shown = frame.pixelColor(int(view.x), int(view.y));
            const QColor drawn = exported.pixelColor(int(probe.x()), int(probe.y()));
            const int difference = std::abs(shown.red() - drawn.red()) + std::abs(shown.green() - drawn.green()) +
                                   std::abs(shown.blue() - drawn.blue());
            EXPECT_LT(difference, 40) << "at " << probe.x() << "," << probe.y() << ": canvas " << shown.name().toStdString()
                                      << ", export " << drawn.name().toStdString();
        }
        frame.save(artefactsFolder() + "/backdrop-after-crop-" + QString::number(&c - cases) + ".png");
    }
}

// The card's shadow is laid out in pieces; where they meet, a band under the card shows no seam
// (no device-pixel column painted twice), wherever the card falls between device pixels.
TEST(CanvasPainting, TheCardShadowShowsNoSeamAtAnyScale) {
    for (const double dpr : {1.0, 1.25, 2.0}) {
        for (const double width : {1100.0, 1100.5, 1101.25, 1101.75}) {
            SCOPED_TRACE(testing::Message() << "scale " << dpr << ", canvas " << width);
            CanvasHarness h(filled(801, 401, Qt::white));
            BrindlecastApp::CanvasRenderer renderer;
            QImage frame(int(std::ceil(width * dpr)), int(std::ceil(700 * dpr)), QImage::Format_ARGB32_Premultiplied);
            frame.setDevicePixelRatio(dpr);
            frame.fill(Qt::transparent);
            BrindlecastApp::CanvasRenderer::Scene scene;
            scene.bounds = QRectF(0, 0, width, 700);
            scene.mat = QColor(28, 28, 28);
            scene.devicePixelRatio = dpr;
            {
                QPainter painter(&frame);
                renderer.paint(painter, h.model, scene);
            }
            // The card is white: find its bottom and its sides through its middle.
            const int cx = frame.width() / 2, cy = frame.height() / 2;
            ASSERT_EQ(frame.pixel(cx, cy), qRgb(255, 255, 255));
            int bottom = cy, left = cx, right = cx;
            while (bottom + 1 < frame.height() && qRed(frame.pixel(cx, bottom + 1)) > 200) ++bottom;
            while (left > 0 && qRed(frame.pixel(left - 1, cy)) > 200) --left;
            while (right + 1 < frame.width() && qRed(frame.pixel(right + 1, cy)) > 200) ++right;
            // Clear of the rounded corners' shadow (the blur reaches out 66 points around them).
            const int inset = int(std::ceil(80 * dpr));
            for (int below = 1; below < 52; ++below) {
                const int y = bottom + int(std::round(below * dpr));
                for (int x = left + inset; x < right - inset; ++x)
                    ASSERT_LE(std::abs(qRed(frame.pixel(x, y)) - qRed(frame.pixel(x + 1, y))), 1)
                        << "at " << x << ", " << y;
            }
        }
    }
}
