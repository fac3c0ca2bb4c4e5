#include "EditorTestSupport.h"

#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Editor/EditorStatusBar.h"
#include "BrindlecastApp/Review/ShellControls.h"
#include "Support/Fonts.h"

#include <QAbstractButton>
#include <QDir>

#include <gtest/gtest.h>

using namespace EditorTesting;

namespace {

struct Bar {
    explicit Bar(std::vector<Detection> detections = {}, ReviewViewModel::DetectFunction detect = {},
                 QSize imageSize = QSize(1400, 900))
        : model(FakeScreen::patterned(imageSize, 5), detections, PolicyKit::EffectivePolicy::safeDefaults(),
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

std::vector<Detection> mandatoryAndSuggested(int count) {
    std::vector<Detection> found = suggestions(count);
    for (int i = 0; i < count; ++i) found.push_back(mandatory("ssn", Support::Rect(10 + 50 * i, 40, 40, 10)));
    return found;
}

// The rightmost column of `widget` that holds any ink.
int rightmostInk(QWidget* widget) {
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    for (int x = image.width() - 1; x >= 0; --x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qAlpha(image.pixel(x, y)) > 0) return x;
        }
    }
    return -1;
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

// Every figure takes one width: while the image size, the zoom or the counts change, the pieces
// and the whole bar keep their widths, and the percent sign stays where it was.
TEST(EditorStatusBar, FiguresKeepTheirWidthsWhileTheNumbersChange) {
    for (const QFont::Weight weight : {QFont::Medium, QFont::DemiBold}) {
        EXPECT_TRUE(TabularDigits::hasFontFigures(Support::Fonts::interfaceFont(12, weight))) << "Inter's own";
    }
    struct Shown {
        int bar, dimensions, mandatoryChip, suggestedChip, snap;
    };
    std::vector<Shown> widths;
    // Narrow and wide figures alike, with the same number of digits each time.
    const std::pair<QSize, int> cases[] = {{QSize(1011, 101), 1}, {QSize(1888, 888), 8}, {QSize(1404, 404), 4}};
    for (const auto& [size, count] : cases) {
        Bar b(mandatoryAndSuggested(count), {}, size);
        b.bar.adjustSize();
        widths.push_back({b.bar.width(), b.bar.findChild<QWidget*>("dimensions")->sizeHint().width(),
                          b.bar.mandatoryChip()->sizeHint().width(), b.bar.suggestedChip()->sizeHint().width(),
                          b.bar.actualSizeButton()->sizeHint().width()});
    }
    for (std::size_t i = 1; i < widths.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(widths[i].dimensions, widths[0].dimensions);
        EXPECT_EQ(widths[i].mandatoryChip, widths[0].mandatoryChip);
        EXPECT_EQ(widths[i].suggestedChip, widths[0].suggestedChip);
        EXPECT_EQ(widths[i].snap, widths[0].snap);
        EXPECT_EQ(widths[i].bar, widths[0].bar);
    }

    // The percent text is centred in a frame of its own: with figures of one width its "%" does
    // not move while the zoom does.
    Bar b(mandatoryAndSuggested(3));
    b.bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&b.bar));
    QWidget* percent = b.bar.findChild<QWidget*>("percent");
    ASSERT_NE(percent, nullptr);
    std::vector<int> signEdges;
    for (const double zoom : {1.11, 1.88, 1.04}) {
        b.scale(1, zoom);
        signEdges.push_back(rightmostInk(percent));
    }
    EXPECT_GT(signEdges[0], 0);
    EXPECT_EQ(signEdges[1], signEdges[0]) << b.percent().toStdString();
    EXPECT_EQ(signEdges[2], signEdges[0]) << b.percent().toStdString();

    // Kept for a person to look at.
    QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (folder.isEmpty()) folder = TestSupport::makeTemporaryFolder("artefacts");
    QDir().mkpath(folder);
    EXPECT_TRUE(b.bar.grab().save(folder + "/editor-status-bar.png"));
}
