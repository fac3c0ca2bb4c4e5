#include "EditorTestSupport.h"

#include "BrindlecastApp/Editor/EditorStatusBar.h"
#include "BrindlecastApp/Review/ShellControls.h"

#include <QAbstractButton>

#include <gtest/gtest.h>

using namespace EditorTesting;

namespace {

struct Bar {
    explicit Bar(std::vector<Detection> detections = {}, ReviewViewModel::DetectFunction detect = {})
        : model(FakeScreen::patterned(QSize(1400, 900), 5), detections, PolicyKit::EffectivePolicy::safeDefaults(),
                std::nullopt, [] {}, ReviewViewModel::Environment{1.0, std::move(detect)}),
          bar(model) {}

    void scale(double fitScale, double zoom) {
        model.setFitScale(fitScale);
        model.setZoom(zoom);
    }
    static bool active(QAbstractButton* button) { return button->property("active").toBool(); }
    QString percent() const { return bar.percentText(); }
    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    ReviewViewModel model;
    EditorStatusBar bar;
};

std::vector<Detection> suggestions(int count) {
    std::vector<Detection> found;
    for (int i = 0; i < count; ++i) found.push_back(suggested("email", Support::Rect(10 + 50 * i, 10, 40, 10)));
    return found;
}

} // namespace

TEST(EditorStatusBar, ZoomButtonsAndSnapsFollowTheModelsRule) {
    struct Case {
        const char* name;
        double fitScale, zoom;
        void (*press)(Bar&);
        double zoomAfter;
        const char* percentAfter;
    };
    const Case cases[] = {
        // Without a fit scale nothing but Fit changes the zoom.
        {"fit 0, zoom out", 0, 1.5, [](Bar& b) { b.click(b.bar.zoomOutButton()); }, 1.5, "0%"},
        {"fit 0, zoom in", 0, 1.5, [](Bar& b) { b.click(b.bar.zoomInButton()); }, 1.5, "0%"},
        {"fit 0, 50%", 0, 1.5, [](Bar& b) { b.click(b.bar.halfButton()); }, 1.5, "0%"},
        {"fit 0, 100%", 0, 1.5, [](Bar& b) { b.click(b.bar.actualSizeButton()); }, 1.5, "0%"},
        {"fit 0, Fit", 0, 1.5, [](Bar& b) { b.click(b.bar.fitButton()); }, 1, "0%"},
        // 100% would need a zoom of 5: it stops at 4, 80%.
        {"fit 0.2, 100%", 0.2, 1, [](Bar& b) { b.click(b.bar.actualSizeButton()); }, 4, "80%"},
        {"fit 0.2, 100% then in", 0.2, 1,
         [](Bar& b) {
             b.click(b.bar.actualSizeButton());
             b.click(b.bar.zoomInButton());
         },
         4, "80%"},
        {"fit 1 at 30%, out", 1, 0.3, [](Bar& b) { b.click(b.bar.zoomOutButton()); }, 0.25, "25%"},
        {"fit 1 at 100%, out three times", 1, 1,
         [](Bar& b) {
             for (int i = 0; i < 3; ++i) b.click(b.bar.zoomOutButton());
         },
         0.55, "55%"},
        {"fit 0.5, 50%", 0.5, 2, [](Bar& b) { b.click(b.bar.halfButton()); }, 1, "50%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bar b;
        b.scale(c.fitScale, c.zoom);
        c.press(b);
        EXPECT_NEAR(b.model.zoom(), c.zoomAfter, 1e-9);
        EXPECT_EQ(b.percent(), c.percentAfter);
    }
}

TEST(EditorStatusBar, PercentAndHighlightsRoundAsTheyShould) {
    struct Case {
        double fitScale, zoom;
        const char* percent;
        bool fit, half, actual;
    };
    const Case cases[] = {
        {1, 0.994, "99%", false, false, false},
        {1, 0.996, "100%", false, false, true},
        {1, 0.125, "13%", false, false, false},
        {0.5, 1.0005, "50%", true, true, false},
        {0.5, 1.002, "50%", false, true, false},
        {1, 1, "100%", true, false, true}, // Fit and 100% together
        {0.2, 4, "80%", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fitScale << " x " << c.zoom);
        Bar b;
        b.scale(c.fitScale, c.zoom);
        EXPECT_EQ(b.percent(), c.percent);
        EXPECT_EQ(Bar::active(b.bar.fitButton()), c.fit);
        EXPECT_EQ(Bar::active(b.bar.halfButton()), c.half);
        EXPECT_EQ(Bar::active(b.bar.actualSizeButton()), c.actual);
    }
    Bar b;
    EXPECT_EQ(b.bar.dimensionsText(), "1400 \u00D7 900 px");
    // A crop does not change the size shown.
    b.model.setCrop(Support::Rect(0, 0, 200, 100));
    EXPECT_EQ(b.bar.dimensionsText(), "1400 \u00D7 900 px");
}

TEST(EditorStatusBar, TheSuggestedChipReleasesAndRestoresThemAll) {
    struct Case {
        int suggested;
        std::set<int> released;
        QString before, after, afterSecond;
    };
    const Case cases[] = {
        {5, {}, "5/5", "0/5", "5/5"},
        {5, {1, 3}, "3/5", "0/5", "5/5"}, // from a mixed state one click releases all
        {1, {0}, "0/1", "1/1", "0/1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before.toStdString());
        Bar b(suggestions(c.suggested));
        b.model.setReleasedSuggested(c.released);
        QAbstractButton* chip = b.bar.suggestedChip();
        EXPECT_FALSE(chip->isHidden());
        EXPECT_TRUE(b.bar.mandatoryChip()->isHidden());
        EXPECT_EQ(chip->text(), c.before);
        b.click(chip);
        EXPECT_EQ(chip->text(), c.after);
        b.click(chip);
        EXPECT_EQ(chip->text(), c.afterSecond);
    }

    Bar b(suggestions(5));
    QAbstractButton* chip = b.bar.suggestedChip();
    EXPECT_EQ(chip->property("symbol").toString(), "eye.fill");
    EXPECT_EQ(chip->property("opacity").toDouble(), 1.0);
    EXPECT_EQ(chip->toolTip(), "Suggested PII blurs \u2014 click to release all (they ship exposed)");
    b.click(chip);
    EXPECT_EQ(chip->property("symbol").toString(), "eye.slash.fill");
    EXPECT_EQ(chip->property("opacity").toDouble(), 0.55);
    EXPECT_EQ(chip->toolTip(), "All suggested blurs released \u2014 click to restore all");
}

TEST(EditorStatusBar, ChipsShowOnlyWhatThereIs) {
    Bar none;
    EXPECT_TRUE(none.bar.suggestedChip()->isHidden());
    EXPECT_TRUE(none.bar.mandatoryChip()->isHidden());
    EXPECT_TRUE(none.bar.chipSeparator()->isHidden()) << "the row starts with the image size";

    Bar one({mandatory("ssn", Support::Rect(1, 1, 20, 10))});
    EXPECT_FALSE(one.bar.mandatoryChip()->isHidden());
    EXPECT_TRUE(one.bar.suggestedChip()->isHidden());
    EXPECT_FALSE(one.bar.chipSeparator()->isHidden());
    EXPECT_EQ(one.bar.mandatoryChip()->text(), "1");
    EXPECT_EQ(one.bar.mandatoryChip()->toolTip(), "1 mandatory redactions \u2014 enforced by policy");
}

TEST(EditorStatusBar, CountsFollowADetectPIIRun) {
    Bar b({mandatory("ssn", Support::Rect(1, 1, 20, 10))}, [](const QImage&, const std::vector<DetectionKit::PatternInput>&) {
        return std::vector<Detection>{suggested("email", Support::Rect(100, 100, 60, 12)),
                                      suggested("phone", Support::Rect(100, 130, 60, 12)),
                                      mandatory("ssn", Support::Rect(1, 1, 20, 10))};
    });
    EXPECT_TRUE(b.bar.suggestedChip()->isHidden());
    b.model.runDetectPII();
    ASSERT_TRUE(waitUntil([&] { return !b.model.isDetectingPII(); }));
    EXPECT_FALSE(b.bar.suggestedChip()->isHidden());
    EXPECT_EQ(b.bar.suggestedChip()->text(), "2/2");
    EXPECT_EQ(b.bar.mandatoryChip()->text(), "1") << "the one already present is not counted twice";
}
