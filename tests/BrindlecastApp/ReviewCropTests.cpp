// The crop draft, the committed crop and the display scale of a review.

#include "ReviewTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace BrindlecastApp;
using namespace ReviewTesting;
using Support::Rect;

TEST(ReviewCrop, RatiosShrinkTheDraftAboutItsCentre) {
    auto model = makeModel({.width = 1600, .height = 900});
    model->setTool(AnnotationTool::crop);
    ASSERT_EQ(model->cropDraft(), Rect(0, 0, 1600, 900));
    struct Step {
        std::optional<double> ratio;
        Rect draft;
    };
    const Step steps[] = {
        {1.0, {350, 0, 900, 900}},
        {16.0 / 9.0, {350, 196.875, 900, 506.25}},
        {std::nullopt, {350, 196.875, 900, 506.25}}, // free: the draft stays
        {0.0, {350, 196.875, 900, 506.25}},          // no usable ratio: free
    };
    for (const Step& step : steps) {
        model->setCropDraftRatio(step.ratio);
        EXPECT_EQ(model->cropDraft(), step.draft);
    }
    EXPECT_EQ(model->cropRatio(), std::nullopt);
}

TEST(ReviewCrop, ARefittedDraftIsKeptInsideTheImage) {
    auto model = makeModel({.width = 1000, .height = 500});
    model->setTool(AnnotationTool::crop);
    model->setCropDraft(Rect(0, 0, 300, 100));
    model->setCropDraftRatio(1.0); // 100 x 100 about (150, 50)
    EXPECT_EQ(model->cropDraft(), Rect(100, 0, 100, 100));
    model->setCropDraft(Rect(950, 400, 50, 100));
    model->setCropDraftRatio(0.25); // 25 x 100 centred at x 975
    EXPECT_EQ(model->cropDraft(), Rect(962.5, 400, 25, 100));
    model->setCropDraft(Rect(-10, 0, 100, 100));
    model->setCropDraftRatio(2.0); // 100 x 50 about (40, 50), pushed back in at the left
    EXPECT_EQ(model->cropDraft(), Rect(0, 25, 100, 50));
}

TEST(ReviewCrop, ARatioWithoutADraftIsOnlyStored) {
    auto model = makeModel();
    model->setCropDraftRatio(4.0 / 3.0);
    EXPECT_EQ(model->cropRatio(), 4.0 / 3.0);
    EXPECT_EQ(model->cropDraft(), std::nullopt);
    model->setTool(AnnotationTool::crop);
    EXPECT_EQ(model->cropDraft(), Rect(0, 0, 1600, 900)) << "entering applies no ratio";
    model->cancelCropDraft();
    EXPECT_EQ(model->cropRatio(), 4.0 / 3.0) << "the ratio outlives the crop tool";
}

TEST(ReviewCrop, CommittingTheDraft) {
    const double W = 1600, H = 900;
    struct Case {
        const char* name;
        Rect draft;
        std::optional<Rect> committed;
    };
    const Case cases[] = {
        {"within 2 pixels of every edge", {1, 1, W - 2, H - 2}, std::nullopt},
        {"the whole image", {0, 0, W, H}, std::nullopt},
        {"3 pixels in from the left", {3, 0, W - 3, H}, Rect(3, 0, W - 3, H)},
        {"an inner rectangle", {100, 50, 400, 300}, Rect(100, 50, 400, 300)},
        {"too narrow", {100, 50, 4, 300}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = makeModel({.width = int(W), .height = int(H)});
        model->setTool(AnnotationTool::crop);
        model->setCropDraft(c.draft);
        model->applyCropDraft();
        EXPECT_EQ(model->cropRect(), c.committed);
        EXPECT_EQ(model->cropDraft(), std::nullopt);
        EXPECT_EQ(model->tool(), AnnotationTool::select);
    }
}

TEST(ReviewCrop, CommittingWithoutADraftOnlyLeavesTheTool) {
    auto model = makeModel();
    model->setCrop({10, 10, 100, 100});
    model->setTool(AnnotationTool::crop);
    model->setCropDraft(std::nullopt);
    model->applyCropDraft();
    EXPECT_EQ(model->cropRect(), Rect(10, 10, 100, 100));
    EXPECT_EQ(model->tool(), AnnotationTool::select);
}

TEST(ReviewCrop, SetCropKeepsThePartInsideTheImageWhenItIsLargeEnough) {
    const double nan = std::nan("");
    struct Case {
        Rect rect;
        std::optional<Rect> committed;
    };
    const Case cases[] = {
        {{-50, -50, 200, 200}, Rect(0, 0, 150, 150)},
        {{10, 10, 4, 100}, std::nullopt},
        {{10, 10, 5, 5}, Rect(10, 10, 5, 5)},
        {{10, 10, 100, 4}, std::nullopt},
        {{2000, 10, 100, 100}, std::nullopt}, // misses the image
        {{1598, 0, 100, 100}, std::nullopt},  // 2 pixels of it inside
        {{110, 110, -100, -100}, Rect(10, 10, 100, 100)},
        {{nan, 0, 100, 100}, std::nullopt},
        {{0, 0, INFINITY, 100}, std::nullopt},
    };
    for (const Case& c : cases) {
        auto model = makeModel({.width = 1600, .height = 900});
        model->setCrop({1, 1, 50, 50});
        model->setCrop(c.rect);
        EXPECT_EQ(model->cropRect(), c.committed) << testing::PrintToString(c.rect);
    }
}

TEST(ReviewCrop, CancellingKeepsTheCommittedCropAndReenteringStartsThere) {
    auto model = makeModel();
    model->setCrop({100, 100, 300, 200});
    model->setTool(AnnotationTool::crop);
    EXPECT_EQ(model->cropDraft(), Rect(100, 100, 300, 200));
    model->setCropDraft(Rect(0, 0, 50, 50));
    model->cancelCropDraft();
    EXPECT_EQ(model->cropDraft(), std::nullopt);
    EXPECT_EQ(model->tool(), AnnotationTool::select);
    EXPECT_EQ(model->cropRect(), Rect(100, 100, 300, 200));
    model->setTool(AnnotationTool::crop);
    EXPECT_EQ(model->cropDraft(), Rect(100, 100, 300, 200));
}

TEST(ReviewCrop, DisplayScaleKeepsTheZoomWithinAQuarterAndFourTimes) {
    struct Case {
        double fitScale;
        double scale;
        double zoom;
    };
    const Case cases[] = {
        {0.5, 1.0, 2},       {0.1, 1.0, 4},      {0.5, 0.01, 0.25}, {0.5, 0.5, 1},
        {0, 1.0, 1.5},       {-1, 1.0, 1.5},     // no fitting scale yet: nothing changes
        {0.5, std::nan(""), 1.5}, {0.5, INFINITY, 1.5},
    };
    for (const Case& c : cases) {
        auto model = makeModel();
        model->setZoom(1.5);
        model->setFitScale(c.fitScale);
        model->setDisplayScale(c.scale);
        EXPECT_DOUBLE_EQ(model->zoom(), c.zoom) << c.fitScale << " " << c.scale;
    }
}
