// Where the canvas puts the image, how it converts between view points and image pixels, how it
// pans, and how the crop draft is dragged and grabbed.

#include "BrindlecastApp/Review/CanvasGeometry.h"

#include "ReviewTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace BrindlecastApp;
using namespace BrindlecastApp::CanvasGeometry;
using namespace ReviewTesting;
using Support::Point;
using Support::Rect;
using Support::Size;

namespace {

const Size kImage{1600, 900};
const Rect kBounds{0, 0, 1000, 800};
// kBounds less the side margins, a 68-point top chrome with its gap and the bottom margin.
const Rect kArea{28, 76, 944, 656};

void expectNear(const Rect& actual, const Rect& expected) {
    EXPECT_NEAR(actual.x(), expected.x(), 1e-9);
    EXPECT_NEAR(actual.y(), expected.y(), 1e-9);
    EXPECT_NEAR(actual.width(), expected.width(), 1e-9);
    EXPECT_NEAR(actual.height(), expected.height(), 1e-9);
}

} // namespace

TEST(CanvasGeometry, FittingAndPanning) {
    const Rect whole{0, 0, 1600, 900};
    struct Case {
        const char* name;
        Size image;
        Rect content;
        Rect area;
        double zoom;
        Point pan;
        Rect fit;
        std::optional<double> scale;
    };
    const Case cases[] = {
        {"whole image, fitted to the width", kImage, whole, kArea, 1, {}, {28, 138.5, 944, 531}, 0.59},
        {"pan is ignored at zoom 1", kImage, whole, kArea, 1, {300, 300}, {28, 138.5, 944, 531}, 0.59},
        {"a committed crop fills the area", kImage, {400, 300, 800, 300}, kArea, 1, {}, {-444, -127, 1888, 1062}, 1.18},
        {"zoomed in, panned past the left edge", kImage, whole, kArea, 2, {1000, -50}, {28, -177, 1888, 1062}, 0.59},
        {"zoomed in, panned past the right edge", kImage, whole, kArea, 2, {-1000, 0}, {-916, -127, 1888, 1062}, 0.59},
        {"zoomed in on a short image: it stays centred vertically", {1600, 300}, {0, 0, 1600, 300}, kArea, 2,
         {0, 500}, {-444, 227, 1888, 354}, 0.59},
        {"a working area without height", kImage, whole, {28, 76, 944, 0}, 1, {}, {0, 0, 0, 0}, std::nullopt},
        {"a window narrower than the margins", kImage, whole, {28, 76, -6, 300}, 1, {}, {0, 0, 0, 0}, std::nullopt},
        {"an image without pixels", {0, 0}, {0, 0, 0, 0}, kArea, 1, {}, {0, 0, 0, 0}, std::nullopt},
        {"a zoom that is not a number", kImage, whole, kArea, std::nan(""), {}, {0, 0, 0, 0}, std::nullopt},
        {"a pan that is not finite", kImage, whole, kArea, 2, {INFINITY, 0}, {0, 0, 0, 0}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Fit fit = fitRect(c.image, c.content, c.area, c.zoom, c.pan);
        expectNear(fit.fitRect, c.fit);
        ASSERT_EQ(fit.fitScale.has_value(), c.scale.has_value());
        if (c.scale) {
            EXPECT_NEAR(*fit.fitScale, *c.scale, 1e-12);
        }
    }
}

TEST(CanvasGeometry, FittingTheModelUsesItsCropToolAndChrome) {
    auto model = makeModel({.width = 1600, .height = 900});
    model->setCrop({400, 300, 800, 300});
    expectNear(fitRect(*model, kBounds, {}).fitRect, {-444, -127, 1888, 1062});
    model->setTool(AnnotationTool::crop);
    expectNear(fitRect(*model, kBounds, {}).fitRect, {28, 138.5, 944, 531});
    model->setTopChromeHeight(0);
    expectNear(fitRect(*model, kBounds, {}).fitRect, {28, 104.5, 944, 531});
}

TEST(CanvasGeometry, ConversionsBetweenViewAndImage) {
    const ImageViewMapping mapping({28, 138.5, 944, 531}, kImage);
    EXPECT_DOUBLE_EQ(mapping.scale(), 0.59);
    const Point view = mapping.toView(Point{100, 100});
    EXPECT_DOUBLE_EQ(view.x, 87);
    EXPECT_DOUBLE_EQ(view.y, 197.5);
    expectNear(mapping.toView(Rect(100, 100, 200, 50)), {87, 197.5, 118, 29.5});
    const Point back = mapping.toImage({87, 197.5});
    EXPECT_NEAR(back.x, 100, 1e-9);
    EXPECT_NEAR(back.y, 100, 1e-9);
    EXPECT_EQ(mapping.toImage({0, 0}), Point(0, 0)) << "clamped to the image";
    EXPECT_EQ(mapping.toImage({5000, 5000}), Point(1600, 900));
    EXPECT_EQ(mapping.toImage({std::nan(""), 5}), Point(0, 0));

    const ImageViewMapping nothingShown(Rect(0, 0, 0, 0), kImage);
    EXPECT_EQ(nothingShown.toView(Point{100, 100}), Point(0, 0)) << "the view's origin";
    EXPECT_EQ(nothingShown.toImage({300, 300}), Point(0, 0));
}

TEST(CanvasGeometry, PanningKeepsTheImageOverTheWorkingArea) {
    struct Case {
        double zoom;
        Point pan;
        Point delta;
        Point expected;
    };
    // At fit 0.59 and zoom 2 the image is 1888 x 1062 over a 944 x 656 area: 472 and 203 to spare.
    const Case cases[] = {
        {2, {0, 0}, {100, -50}, {100, -50}},
        {2, {0, 0}, {500, -300}, {472, -203}},
        {2, {400, 0}, {100, 0}, {472, 0}},
        {1, {0, 0}, {100, 100}, {0, 0}},     // not zoomed in: no panning
        {1.001, {0, 0}, {100, 100}, {0, 0}}, // the threshold itself is not zoomed in
        {2, {10, 10}, {std::nan(""), 0}, {10, 10}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(panBy(c.pan, c.delta, kImage, 0.59, c.zoom, kArea), c.expected) << c.zoom;
    }
    // An axis on which the image is smaller than the area does not pan at all.
    EXPECT_EQ(panBy({}, {100, 100}, {1600, 300}, 0.59, 2, kArea), Point(100, 0));
}

TEST(CanvasGeometry, DraggingTheCropDraft) {
    const Rect draft{100, 100, 400, 300};
    const Rect wide{800, 400, 400, 225}; // 16:9
    const double ratio = 16.0 / 9.0;
    struct Case {
        const char* name;
        Rect draft;
        CropHandle handle;
        double dx, dy;
        std::optional<double> ratio;
        Rect expected;
    };
    const Case cases[] = {
        {"move", draft, CropHandle::move, 50, -20, std::nullopt, {150, 80, 400, 300}},
        {"move stops at the left edge", draft, CropHandle::move, -500, 0, std::nullopt, {0, 100, 400, 300}},
        {"move stops at the far edges", draft, CropHandle::move, 2000, 2000, std::nullopt, {1200, 600, 400, 300}},
        {"right edge", draft, CropHandle::right, 20, 99, std::nullopt, {100, 100, 420, 300}},
        {"top edge", draft, CropHandle::top, 99, -10, std::nullopt, {100, 90, 400, 310}},
        {"bottom-left corner", draft, CropHandle::bottomLeft, 10, 10, std::nullopt, {110, 100, 390, 310}},
        {"clipped to the image", {1400, 700, 150, 150}, CropHandle::right, 100, 0, std::nullopt, {1400, 700, 200, 150}},
        {"below 24 pixels wide is refused", {100, 100, 30, 30}, CropHandle::right, -10, 0, std::nullopt, {100, 100, 30, 30}},
        {"below 24 pixels high is refused", {100, 100, 30, 30}, CropHandle::topLeft, 0, 10, std::nullopt, {100, 100, 30, 30}},
        {"exactly 24 is allowed", {100, 100, 30, 30}, CropHandle::right, -6, 0, std::nullopt, {100, 100, 24, 30}},
        {"16:9 right edge stays vertically centred", wide, CropHandle::right, 80, 0, ratio, {800, 377.5, 480, 270}},
        {"16:9 top edge stays horizontally centred", wide, CropHandle::top, 0, -45, ratio, {760, 355, 480, 270}},
        {"16:9 top-left keeps the right edge", wide, CropHandle::topLeft, -40, -45, ratio, {720, 355, 480, 270}},
        {"16:9 top-right keeps the left edge", wide, CropHandle::topRight, 40, -45, ratio, {800, 355, 480, 270}},
        {"16:9 bottom-left keeps the right edge", wide, CropHandle::bottomLeft, 0, 45, ratio, {720, 400, 480, 270}},
        {"a ratio of 0 is free", draft, CropHandle::right, 20, 0, 0.0, {100, 100, 420, 300}},
        {"a step that is not a number", draft, CropHandle::move, std::nan(""), 0, std::nullopt, draft},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectNear(dragCropDraft(c.draft, c.handle, c.dx, c.dy, kImage, c.ratio), c.expected);
    }
}

TEST(CanvasGeometry, DraggingTheModelsDraftNeedsADraft) {
    auto model = makeModel({.width = 1600, .height = 900});
    dragCropDraft(*model, CropHandle::move, 10, 10);
    EXPECT_EQ(model->cropDraft(), std::nullopt);
    model->setTool(AnnotationTool::crop);
    dragCropDraft(*model, CropHandle::left, 100, 0);
    EXPECT_EQ(model->cropDraft(), Rect(100, 0, 1500, 900));
}

TEST(CanvasGeometry, CropHandlesAreGrabbedCornersFirstWithinTwelvePoints) {
    const Rect r{100, 100, 200, 100};
    struct Case {
        Point p;
        std::optional<CropHandle> expected;
    };
    const Case cases[] = {
        {{88, 88}, CropHandle::topLeft}, // exactly 12 points away on both axes
        {{300, 100}, CropHandle::topRight},
        {{100, 212}, CropHandle::bottomLeft},
        {{305, 195}, CropHandle::bottomRight},
        {{200, 95}, CropHandle::top},
        {{200, 211}, CropHandle::bottom},
        {{95, 150}, CropHandle::left},
        {{312, 150}, CropHandle::right},
        {{200, 150}, CropHandle::move},
        {{113, 113}, CropHandle::move},
        {{87, 150}, std::nullopt},
        {{200, 60}, std::nullopt},
        {{320, 95}, std::nullopt}, // level with the top edge but beyond the draft's side
        {{std::nan(""), 100}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cropHandleHit(c.p, r), c.expected) << c.p.x << ", " << c.p.y;
    }
    EXPECT_EQ(cropHandleHit({200, 150}, Rect::null()), std::nullopt);
    // Inside a draft too small to have a middle, only edges and corners can be grabbed.
    EXPECT_EQ(cropHandleHit({110, 110}, {100, 100, 20, 20}), CropHandle::topLeft);
    EXPECT_EQ(cropHandleHit({115, 110}, {100, 100, 20, 40}), CropHandle::topRight);
    EXPECT_EQ(cropHandleHit({110, 120}, {100, 100, 20, 40}), CropHandle::left);
}

TEST(CanvasGeometry, NewAnnotationsTakeTheModelsDefaults) {
    auto model = makeModel({.width = 1600, .height = 1000});
    model->setDefaultStrokeColorHex("#34C759");
    model->setDefaultStrokeOpacity(0.8);
    model->setDefaultStrokeOutline(true);
    model->setDefaultOutlineColorHex("#000000");
    model->setDefaultStrokeShadow(true);
    model->setDefaultStrokeWidth(7);

    const SidecarKit::Annotation::Style expected{"#34C759", 7, 0.8, true, QString("#000000"), true};
    EXPECT_EQ(defaultStyle(*model), expected);
    SidecarKit::Annotation::Style text = expected;
    text.lineWidth = 40;
    EXPECT_EQ(textStyle(*model), text);

    model->setTool(AnnotationTool::highlighter);
    EXPECT_EQ(defaultStyle(*model).opacity, 0.45);
    EXPECT_EQ(textStyle(*model).opacity, 0.8);

    EXPECT_EQ(textStyle(*makeModel({.width = 800, .height = 500})).lineWidth, 28);
}
