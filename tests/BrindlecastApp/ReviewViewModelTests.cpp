// The review model's state: construction from a capture and a policy, the tools and the rules
// that run when the tool changes, and how each published property announces its changes.

#include "ReviewTestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using namespace ReviewTesting;
using SidecarKit::Annotation;

TEST(ReviewViewModel, PolicyDestinationsWithoutADeliveryAreDropped) {
    using PolicyKit::ExportDestination;
    using ExportKit::DestinationKind;
    struct Case {
        std::vector<ExportDestination> allowed;
        ExportKit::DestinationSet expected;
    };
    const Case cases[] = {
        {{ExportDestination::clipboard, ExportDestination::folder, ExportDestination::uploadEndpoint},
         {DestinationKind::clipboard, DestinationKind::folder}},
        {{ExportDestination::uploadEndpoint}, {}},
        {{ExportDestination::folder, ExportDestination::folder}, {DestinationKind::folder}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        PolicyKit::EffectivePolicy policy;
        policy.allowedExportDestinations = c.allowed;
        EXPECT_EQ(makeModel({.policy = policy})->allowedDestinations(), c.expected);
    }
}

TEST(ReviewViewModel, StrokeWidthsFollowTheImageHeightAndTheScreenScale) {
    struct Case {
        int height;
        double screenScale;
        double pixelsPerPoint;
        double selectWidth;
        double highlighterWidth;
    };
    const Case cases[] = {
        {900, 2, 2, 6, 21},      // 450 points x 0.004 is below the 3-point floor
        {3000, 1, 1, 12, 42},    // 0.4 % of 3000 points
        {3000, 2, 2, 12, 42},    // 1500 points: 6 points, times 2
        {900, 0.5, 1, 3.6, 12.6}, // a scale below 1 counts as 1
        {0, 2, 2, 6, 21},        // no pixels at all: the floor
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.height << " px at " << c.screenScale << "x");
        auto model = makeModel({.height = c.height, .screenScale = c.screenScale});
        EXPECT_EQ(model->pixelsPerPoint(), c.pixelsPerPoint);
        EXPECT_DOUBLE_EQ(model->defaultStrokeWidth(), c.selectWidth);
        model->setTool(AnnotationTool::highlighter);
        EXPECT_DOUBLE_EQ(model->defaultStrokeWidth(), c.highlighterWidth);
        model->setTool(AnnotationTool::arrow);
        EXPECT_DOUBLE_EQ(model->defaultStrokeWidth(), c.selectWidth);
    }
}

TEST(ReviewViewModel, ARememberedWidthWinsWhenTheToolComesBack) {
    auto model = makeModel({.height = 900, .screenScale = 2});
    model->setTool(AnnotationTool::arrow);
    model->setStrokeWidth(14);
    EXPECT_EQ(model->toolWidths().at(AnnotationTool::arrow), 14);
    model->setTool(AnnotationTool::box);
    EXPECT_EQ(model->defaultStrokeWidth(), 6);
    model->setTool(AnnotationTool::arrow);
    EXPECT_EQ(model->defaultStrokeWidth(), 14);

    // Assigning the current tool again re-applies its width and leaves the colours alone.
    model->setDefaultStrokeWidth(30);
    model->setDefaultStrokeColorHex("#34C759");
    model->setTool(AnnotationTool::arrow);
    EXPECT_EQ(model->defaultStrokeWidth(), 14);
    EXPECT_EQ(model->defaultStrokeColorHex(), "#34C759");
}

TEST(ReviewViewModel, TheHighlighterKeepsAColourOfItsOwn) {
    auto model = makeModel();
    model->setTool(AnnotationTool::arrow);
    model->setDefaultStrokeColorHex("#34C759");
    struct Step {
        AnnotationTool tool;
        const char* choose; // colour picked after switching, or nullptr
        const char* shown;  // colour shown right after switching
    };
    const Step steps[] = {
        {AnnotationTool::highlighter, "#AF52DE", "#FFD60A"},
        {AnnotationTool::box, nullptr, "#34C759"},
        {AnnotationTool::highlighter, nullptr, "#AF52DE"},
        {AnnotationTool::highlighter, nullptr, "#AF52DE"}, // the same tool again swaps nothing
        {AnnotationTool::crop, nullptr, "#34C759"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(AnnotationTools::rawValue(step.tool).toStdString());
        model->setTool(step.tool);
        EXPECT_EQ(model->defaultStrokeColorHex(), step.shown);
        if (step.choose) model->setDefaultStrokeColorHex(step.choose);
    }
}

TEST(ReviewViewModel, TheCropToolOpensADraftAndLeavingItDropsTheDraft) {
    auto model = makeModel({.width = 1600, .height = 900});
    model->setTool(AnnotationTool::crop);
    EXPECT_EQ(model->cropDraft(), Support::Rect(0, 0, 1600, 900));
    model->setCropDraft(Support::Rect(10, 10, 100, 100));
    model->setTool(AnnotationTool::crop); // already in the crop tool: the draft stays
    EXPECT_EQ(model->cropDraft(), Support::Rect(10, 10, 100, 100));
    model->setTool(AnnotationTool::highlighter);
    EXPECT_EQ(model->cropDraft(), std::nullopt);
    EXPECT_EQ(model->cropRect(), std::nullopt);
}

TEST(ReviewViewModel, ActiveImageIsTheDesktopLessVariantOnlyUnderABackdrop) {
    QImage content = blankImage(40, 30);
    content.fill(Qt::blue);
    ExportKit::Backdrop solid{ExportKit::Backdrop::Solid{"#000000"}, 0, 0};
    ExportKit::Backdrop paddedNone{ExportKit::Backdrop::None{}, 40, 12};

    auto withContent = makeModel({.width = 40, .height = 30, .contentImage = content});
    EXPECT_EQ(withContent->activeImage(), withContent->image());
    withContent->setBackdrop(paddedNone);
    EXPECT_EQ(withContent->activeImage(), withContent->image()) << "padding alone does not switch";
    withContent->setBackdrop(solid);
    EXPECT_EQ(withContent->activeImage(), content);

    auto withoutContent = makeModel({.width = 40, .height = 30});
    withoutContent->setBackdrop(solid);
    EXPECT_EQ(withoutContent->activeImage(), withoutContent->image());
}

TEST(ReviewViewModel, WritesThatAreNotFiniteLeaveTheValue) {
    const double bad[] = {std::nan(""), INFINITY, -INFINITY};
    for (double value : bad) {
        auto model = makeModel();
        QSignalSpy any(model.get(), &ReviewViewModel::changed);
        model->setZoom(value);
        model->setFitScale(value);
        model->setTopChromeHeight(value);
        model->setDefaultStrokeWidth(value);
        model->setDefaultStrokeOpacity(value);
        model->setStrokeWidth(value);
        model->setCropRect(Support::Rect(0, 0, value, 10));
        model->setCropDraft(Support::Rect(value, 0, 10, 10));
        model->setDefaultFill(Annotation::Fill{"#FFFFFF", value});
        EXPECT_EQ(any.count(), 0);
        EXPECT_EQ(model->zoom(), 1);
        EXPECT_EQ(model->fitScale(), 1);
        EXPECT_EQ(model->topChromeHeight(), 68);
        EXPECT_EQ(model->defaultStrokeWidth(), 6);
        EXPECT_TRUE(model->toolWidths().empty());
        model->setCropRatio(value);
        EXPECT_EQ(model->cropRatio(), std::nullopt) << "counts as free";
    }
}
