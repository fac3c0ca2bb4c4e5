#include "StyleStripTestSupport.h"

#include "../CanvasTestSupport.h"
#include "../MotionTestSupport.h"

#include "BrindlecastApp/Design/Fade.h"
#include "BrindlecastApp/Design/FadingSnapshot.h"
#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Editor/CustomColorPanel.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "ExportKit/Exporter.h"
#include "ExportKit/TextFonts.h"
#include "Support/UserDefaults.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace StripTesting;
using S = StripSection;

namespace {

const char* sectionName(S s) {
    switch (s) {
    case S::swatches: return "swatches";
    case S::text: return "text";
    case S::width: return "width";
    case S::fill: return "fill";
    case S::dashed: return "dashed";
    case S::badge: return "badge";
    case S::decor: return "decor";
    case S::ratio: return "ratio";
    case S::cropButtons: return "cropButtons";
    case S::redaction: return "redaction";
    case S::detectPII: return "detectPII";
    }
    return "?";
}

std::string describe(const std::vector<S>& sections) {
    std::string out;
    for (S s : sections) out += std::string(out.empty() ? "" : " ") + sectionName(s);
    return out.empty() ? "nothing" : out;
}

// Separators shown, in layout order, between the sections shown.
int separatorsShown(StyleStrip* strip) {
    int shown = 0;
    for (QObject* child : strip->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isHidden() && widget->findChild<Hairline*>()) ++shown;
    }
    return shown;
}

} // namespace

TEST(StyleStrip, ShowsTheSectionsOfEachToolAndSelection) {
    using T = AnnotationTool;
    struct Case {
        T tool;
        std::vector<Annotation::Kind> annotations;
        std::vector<int> selected;
        std::vector<S> sections;
    };
    const std::vector<S> stroke{S::swatches, S::width, S::decor};
    const std::vector<S> shape{S::swatches, S::width, S::fill, S::decor};
    const std::vector<S> redactionPanel{S::redaction, S::detectPII};
    const Case cases[] = {
        {T::select, {}, {}, {}},
        {T::select, {arrow(), arrow()}, {0, 1}, {}},
        {T::select, {arrow()}, {0}, stroke},
        {T::select, {freeform()}, {0}, stroke},
        {T::select, {box()}, {0}, shape},
        {T::select, {ellipse()}, {0}, shape},
        {T::select, {line()}, {0}, {S::swatches, S::width, S::dashed, S::decor}},
        {T::select, {text()}, {0}, {S::swatches, S::text, S::decor}},
        {T::select, {badge(1)}, {0}, {S::swatches, S::decor}},
        {T::select, {redaction()}, {0}, redactionPanel},
        {T::select, {unknown()}, {0}, {}},
        {T::arrow, {}, {}, stroke},
        {T::freeform, {}, {}, stroke},
        {T::highlighter, {}, {}, stroke},
        {T::box, {}, {}, shape},
        {T::ellipse, {}, {}, shape},
        {T::line, {}, {}, {S::swatches, S::width, S::dashed, S::decor}},
        {T::text, {}, {}, {S::swatches, S::text, S::decor}},
        {T::badge, {}, {}, {S::swatches, S::badge, S::decor}},
        {T::crop, {arrow()}, {0}, {S::ratio, S::cropButtons}},
        {T::blur, {}, {}, redactionPanel},
        // A drawing tool wins over the selection; a redaction selection shows its panel elsewhere.
        {T::box, {line()}, {0}, shape},
        {T::blur, {arrow()}, {0}, redactionPanel},
        {T::copyText, {redaction()}, {0}, redactionPanel},
        {T::copyText, {arrow()}, {0}, {}},
        {T::rectSelect, {}, {}, {}},
        {T::detectPII, {redaction()}, {0}, redactionPanel},
    };
    StripWindow w;
    StyleStrip* strip = w.strip();
    ASSERT_NE(strip, nullptr);
    for (const Case& c : cases) {
        w.model->setTool(c.tool);
        w.annotate(c.annotations, c.selected);
        const std::string label = std::string(AnnotationTools::rawValue(c.tool).toStdString()) + " with " +
                                  std::to_string(c.selected.size()) + " selected";
        EXPECT_EQ(describe(strip->shownSections()), describe(c.sections)) << label;
        // No glass panel at all when nothing fits; one separator before every section but the first.
        EXPECT_EQ(strip->isHidden(), c.sections.empty()) << label;
        if (!c.sections.empty()) {
            EXPECT_EQ(separatorsShown(strip), int(c.sections.size()) - 1) << label;
        }
    }
}

TEST(StyleStrip, TheTopChromeIsTheToolbarAndTheStripWhileItShows) {
    EditorWindowController::Options options;
    options.makeToolbar = [](ReviewViewModel&, const EditorToolbarActions&) -> QWidget* {
        auto* toolbar = new QWidget;
        toolbar->setFixedSize(300, 46);
        return toolbar;
    };
    auto model = std::shared_ptr<ReviewViewModel>(ReviewTesting::makeModel({.width = 800, .height = 600}));
    EditorContent content;
    content.viewModel = model.get();
    content.owner = model;
    content.filename = "chrome.png";
    auto controller = EditorWindowController::present(content, nullptr, options);
    settle();
    EditorCanvasStage* stage = controller->view()->stage();
    EXPECT_EQ(model->topChromeHeight(), 46);
    model->setTool(AnnotationTool::arrow);
    settle();
    const int strip = stage->styleStrip()->height();
    EXPECT_GT(strip, 24);
    EXPECT_EQ(stage->styleStrip()->y(), 46 + 2);
    EXPECT_EQ(model->topChromeHeight(), 46 + 2 + strip);
    model->setTool(AnnotationTool::select);
    settle();
    EXPECT_EQ(model->topChromeHeight(), 46);
    EXPECT_EQ(StyleStrip::cornerRadiusFor(16), 12);
    EXPECT_EQ(StyleStrip::cornerRadiusFor(6), 3);
    controller.reset();
    settle();
}

// Another panel for the new tool fades in while a picture of the old one fades out in its place, on
// the quick spring; a tool whose panel has the same sections changes nothing. However the tools
// switch on the way, the strip comes to rest fully opaque with no picture left.
TEST(StyleStrip, AToolSwitchFadesTheOldPanelOutAndTheNewOneIn) {
    using T = AnnotationTool;
    struct Case {
        const char* name;
        std::vector<T> tools; // switched to 0.04 s apart, from the arrow tool at rest
        bool fades;           // the last switch fades the old panel out
        bool shownAtTheEnd;
    };
    const Case cases[] = {
        {"arrow to crop", {T::crop}, true, true},
        {"arrow to box (a fill section more)", {T::box}, true, true},
        {"arrow to freeform (the same sections)", {T::freeform}, false, true},
        {"arrow to select with nothing selected", {T::select}, true, false},
        {"arrow to crop to blur to text", {T::crop, T::blur, T::text}, true, true},
        {"arrow to crop and back", {T::crop, T::arrow}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StripWindow w;
        DrivenAnimationClock clock;
        QWidget* stage = w.controller->view()->stage();
        const auto snapshots = [&] { return stage->findChildren<FadingSnapshot*>(); };
        w.model->setTool(T::arrow);
        clock.advance(0.02);
        StyleStrip* strip = w.strip();
        EXPECT_GT(Fade::opacityOf(*strip), 0) << "the first panel fades in";
        EXPECT_LT(Fade::opacityOf(*strip), 1);
        clock.advance(1);
        settle();
        ASSERT_TRUE(snapshots().isEmpty());
        ASSERT_EQ(Fade::opacityOf(*strip), 1);
        const QRect arrowPanel = strip->geometry();

        for (T tool : c.tools) {
            w.model->setTool(tool);
            clock.advance(0.04);
        }
        if (c.fades) {
            ASSERT_FALSE(snapshots().isEmpty());
            FadingSnapshot* last = snapshots().constLast();
            EXPECT_GT(last->opacity(), 0);
            EXPECT_LT(last->opacity(), 1);
            if (c.tools.size() == 1) {
                // For a person to look at: the two panels crossing.
                const QRect around = last->geometry().united(strip->geometry()).adjusted(-20, -10, 20, 20);
                const QString to = c.tools.front() == T::select ? "nothing" : c.tools.front() == T::crop ? "crop" : "box";
                ASSERT_TRUE(stage->grab(around).save(CanvasTesting::artefactsFolder() + "/style-strip-fading-to-" + to + ".png"));
                EXPECT_TRUE(last->geometry().contains(arrowPanel)) << "the old panel's picture stays in its place";
                EXPECT_TRUE(last->testAttribute(Qt::WA_TransparentForMouseEvents));
            }
            if (c.shownAtTheEnd) {
                EXPECT_LT(Fade::opacityOf(*strip), 1) << "the new panel is fading in";
            }
        } else {
            EXPECT_TRUE(snapshots().isEmpty());
            EXPECT_EQ(Fade::opacityOf(*strip), 1);
        }
        EXPECT_EQ(strip->isVisible(), c.shownAtTheEnd) << "the strip itself changes at once";

        clock.advance(1);
        settle();
        EXPECT_TRUE(snapshots().isEmpty()) << "every picture went";
        EXPECT_EQ(strip->graphicsEffect(), nullptr) << "the strip at rest draws straight to the window";
        EXPECT_EQ(strip->isVisible(), c.shownAtTheEnd);
    }
}

TEST(StyleStrip, SwatchesMarkTheActiveColourAndAPickRecoloursWithoutAnUndoStep) {
    using T = AnnotationTool;
    struct Case {
        const char* name;
        T tool;
        std::vector<Annotation::Kind> annotations;
        std::vector<int> selected;
        QString defaultColor;
        int ringedSwatch; // -1: the custom well
        int pick;
        std::vector<QString> colorsAfter;
    };
    const Case cases[] = {
        {"lower-case active colour", T::arrow, {}, {}, "#ff3b30", 0, 2, {}},
        {"custom colour", T::arrow, {}, {}, "#30B0C7", -1, 3, {}},
        {"drawing tool marks the default, recolours the selection", T::arrow, {box(style("#34C759"))}, {0}, "#FFD60A", 1, 4,
         {"#AF52DE"}},
        {"select tool marks the selected arrow", T::select, {arrow(style("#007AFF"))}, {0}, "#FF3B30", 3, 5, {"#1C1C1E"}},
        {"two arrows and a redaction", T::arrow, {arrow(), arrow(), redaction()}, {0, 1, 2}, "#FF3B30", 0, 1,
         {"#FFD60A", "#FFD60A", ""}},
    };
    for (const Case& c : cases) {
        StripWindow w;
        w.model->setTool(c.tool);
        w.model->setDefaultStrokeColorHex(c.defaultColor);
        w.annotate(c.annotations, c.selected);
        SwatchPicker* row = w.strip()->swatchRow();
        for (int i = -1; i < row->swatchCount(); ++i) EXPECT_EQ(row->ringShown(i), i == c.ringedSwatch) << c.name << " " << i;
        const std::size_t undoSteps = w.model->undoStack().size();
        click(row->swatch(c.pick));
        const QString picked = ReviewViewModel::colorSwatches()[c.pick];
        EXPECT_EQ(w.model->defaultStrokeColorHex(), picked) << c.name;
        for (std::size_t i = 0; i < c.colorsAfter.size(); ++i)
            if (!c.colorsAfter[i].isEmpty()) {
                EXPECT_EQ(w.styleOf(int(i)).colorHex, c.colorsAfter[i]) << c.name;
            }
        if (c.colorsAfter.size() == 3) {
            EXPECT_EQ(w.kind(2), redaction()) << c.name;
        }
        EXPECT_EQ(w.model->undoStack().size(), undoSteps) << c.name;
        EXPECT_TRUE(row->ringShown(c.pick)) << c.name;
    }
}

TEST(StyleStrip, ADefaultFillFollowsThePickedColourAndNoneIsMade) {
    for (const std::optional<Annotation::Fill>& fill : {std::optional(Annotation::Fill("#FF3B30", 0.25)),
                                                         std::optional<Annotation::Fill>()}) {
        StripWindow w;
        w.model->setTool(AnnotationTool::box);
        w.model->setDefaultFill(fill);
        click(w.strip()->swatchRow()->swatch(2));
        const std::optional<Annotation::Fill> expected =
            fill ? std::optional(Annotation::Fill("#34C759", 0.25)) : std::nullopt;
        EXPECT_EQ(w.model->defaultFill(), expected);
    }
}

TEST(StyleStrip, TheWidthControlShowsPointsAndWritesWholePoints) {
    struct Case {
        int imageHeight;
        double upper;
    };
    for (const Case& c : {Case{500, 32}, Case{4000, 60}}) {
        StripWindow w(800, c.imageHeight, 2);
        w.model->setTool(AnnotationTool::arrow);
        EXPECT_DOUBLE_EQ(w.strip()->widthControl()->upperBound(), c.upper) << c.imageHeight;
        EXPECT_EQ(w.strip()->widthControl()->slider()->maximum(), int(c.upper * WidthPicker::kStepsPerPoint));
    }
    // Selection kinds x values: a drag to 7.4 points stores 7 points in pixels everywhere it goes.
    struct Write {
        AnnotationTool tool;
        std::vector<Annotation::Kind> annotations;
        std::vector<int> selected;
    };
    const Write writes[] = {
        {AnnotationTool::arrow, {}, {}},
        {AnnotationTool::arrow, {box()}, {0}},
        {AnnotationTool::select, {line()}, {0}},
        {AnnotationTool::highlighter, {arrow(), freeform()}, {0, 1}},
    };
    for (const Write& write : writes) {
        StripWindow w(800, 600, 2);
        w.model->setTool(write.tool);
        w.annotate(write.annotations, write.selected);
        const std::size_t undoSteps = w.model->undoStack().size();
        w.strip()->widthControl()->slider()->setSliderPosition(740);
        EXPECT_EQ(w.model->defaultStrokeWidth(), 14);
        EXPECT_EQ(w.model->toolWidths().at(write.tool), 14);
        for (std::size_t i = 0; i < write.annotations.size(); ++i) EXPECT_EQ(w.styleOf(int(i)).lineWidth, 14);
        EXPECT_EQ(w.strip()->widthControl()->caption(), "7 pt");
        EXPECT_EQ(w.model->undoStack().size(), undoSteps);
    }
    // A selected width above the slider's top shows pinned and is not written back.
    StripWindow w(800, 600, 2);
    w.annotate({arrow(style("#FF3B30", 200))}, {0});
    WidthPicker* control = w.strip()->widthControl();
    EXPECT_EQ(control->slider()->value(), control->slider()->maximum());
    EXPECT_DOUBLE_EQ(control->value(), 100);
    EXPECT_EQ(control->caption(), "100 pt");
    EXPECT_EQ(w.styleOf(0).lineWidth, 200);
    // A width between the slider's steps reads back as set.
    w.model->updateSelectedStyle(std::nullopt, 7.123, std::nullopt);
    EXPECT_DOUBLE_EQ(control->value(), 3.5615);
}

TEST(StyleStrip, DashedOutlineAndShadowWriteTheDefaultAndTheSelection) {
    StripWindow w;
    w.model->setTool(AnnotationTool::select);
    w.annotate({line(true), arrow()}, {0});
    StyleStrip* strip = w.strip();
    EXPECT_TRUE(strip->dashedToggle()->isOn());
    click(strip->dashedToggle()->chip());
    EXPECT_FALSE(std::get<Annotation::Line>(w.kind(0)).dashed);
    EXPECT_FALSE(w.model->defaultLineDashed());

    // Outline off: the colour well is dimmed and opens nothing.
    EXPECT_FALSE(strip->outlineColorWell()->button()->isEnabled());
    QTest::mouseClick(strip->outlineColorWell()->button(), Qt::LeftButton);
    EXPECT_EQ(CustomColorPanel::boundModel(), nullptr);
    click(strip->outlineToggle()->chip());
    EXPECT_TRUE(w.styleOf(0).outline);
    EXPECT_TRUE(w.model->defaultStrokeOutline());
    EXPECT_TRUE(strip->outlineColorWell()->button()->isEnabled());
    EXPECT_EQ(strip->outlineColorWell()->button()->toolTip(), "Outline color: auto contrast");
    click(strip->shadowToggle()->chip());
    EXPECT_TRUE(w.styleOf(0).shadow);
    EXPECT_FALSE(w.styleOf(1).shadow);
    click(strip->shadowToggle()->chip());
    EXPECT_FALSE(w.styleOf(0).shadow);

    // With a drawing tool and nothing selected only the defaults change.
    w.model->setTool(AnnotationTool::arrow);
    w.model->setSelectedAnnotationIDs({});
    const auto before = w.model->annotations();
    click(strip->shadowToggle()->chip());
    EXPECT_TRUE(w.model->defaultStrokeShadow());
    EXPECT_EQ(w.model->annotations(), before);
    w.model->setOutlineColor("#112233");
    strip->outlineColorWell()->autoAction()->trigger();
    EXPECT_EQ(w.model->defaultOutlineColorHex(), std::nullopt);
    EXPECT_EQ(w.model->annotations(), before);
    EXPECT_TRUE(w.model->undoStack().empty());
}

TEST(StyleStrip, FillSegmentFollowsTheDefaultFill) {
    struct Case {
        std::optional<double> opacity;
        std::optional<int> on;
    };
    const Case cases[] = {{std::nullopt, 0}, {0.26, 1}, {0.3, std::nullopt}, {0.995, 2}};
    StripWindow w;
    w.model->setTool(AnnotationTool::select);
    w.annotate({box(style("#FF3B30"), Annotation::Fill("#FF3B30", 1.0))}, {0});
    ChipSegment* fill = w.strip()->fillSegment();
    for (const Case& c : cases) {
        w.model->setDefaultFill(c.opacity ? std::optional(Annotation::Fill("#123456", *c.opacity)) : std::nullopt);
        EXPECT_EQ(fill->current(), c.on) << c.opacity.value_or(-1);
    }
    // "Tint" takes the default stroke colour, not the shape's.
    w.model->setDefaultStrokeColorHex("#34C759");
    click(fill->chip(1));
    EXPECT_EQ(w.model->defaultFill(), Annotation::Fill("#34C759", 0.25));
    EXPECT_EQ(std::get<Annotation::Box>(w.kind(0)).fill, Annotation::Fill("#34C759", 0.25));
    click(fill->chip(0));
    EXPECT_EQ(std::get<Annotation::Box>(w.kind(0)).fill, std::nullopt);
    EXPECT_TRUE(w.model->undoStack().empty());
}

TEST(StyleStrip, BadgeStepperShowsAndSetsTheNextNumber) {
    struct Case {
        std::vector<std::int64_t> badges;
        std::optional<std::int64_t> start;
        int step;
        QString shownBefore;
        std::int64_t startAfter;
        QString shownAfter;
    };
    const Case cases[] = {
        {{1, 2, 3, 4}, std::nullopt, -1, "5", 4, "4"},
        {{1, 2, 3, 4}, std::nullopt, +1, "5", 6, "6"},
        {{}, std::nullopt, -1, "1", 1, "1"},
        {{1, 9}, 3, +1, "3", 4, "4"},
        {{}, std::numeric_limits<std::int64_t>::max(), +1, "9223372036854775807", std::numeric_limits<std::int64_t>::max(),
         "9223372036854775807"},
    };
    for (const Case& c : cases) {
        StripWindow w;
        w.model->setTool(AnnotationTool::badge);
        std::vector<Annotation::Kind> kinds;
        for (std::int64_t n : c.badges) kinds.push_back(badge(n));
        w.annotate(kinds);
        w.model->setBadgeStart(c.start);
        NumberStepper* stepper = w.strip()->badgeStepper();
        EXPECT_EQ(stepper->text(), c.shownBefore);
        click(c.step < 0 ? stepper->minusButton() : stepper->plusButton());
        EXPECT_EQ(w.model->badgeStart(), c.startAfter);
        EXPECT_EQ(stepper->text(), c.shownAfter);
    }
}

TEST(StyleStrip, TextSizeStepsOnePointWithinItsBounds) {
    struct Case {
        int imageHeight;
        std::optional<double> selectedSize;
        int step;
        QString shown;
        std::optional<double> sizeAfter;
    };
    const Case cases[] = {
        {1000, std::nullopt, +1, "20 pt", std::nullopt}, // max(40, 28) px at 2 px a point; nothing to change
        {1000, 9, -1, "5 pt", 8},                         // 7 would be below the floor
        {300, 63, +1, "32 pt", 64},                       // upper = max(60, 64)
        {1000, 64, +1, "32 pt", 66},
        {1000, 200, +1, "100 pt", 200},                   // upper = max(200, 64)
    };
    for (const Case& c : cases) {
        StripWindow w(800, c.imageHeight, 2);
        w.model->setTool(c.selectedSize ? AnnotationTool::select : AnnotationTool::text);
        if (c.selectedSize) w.annotate({text(std::nullopt, *c.selectedSize)}, {0});
        NumberStepper* size = w.strip()->textSizeStepper();
        EXPECT_EQ(size->text(), c.shown);
        click(c.step < 0 ? size->minusButton() : size->plusButton());
        if (c.sizeAfter) {
            EXPECT_DOUBLE_EQ(w.styleOf(0).lineWidth, *c.sizeAfter) << c.shown.toStdString();
        } else {
            EXPECT_TRUE(w.model->annotations().empty());
        }
        EXPECT_TRUE(w.model->undoStack().empty());
    }
}

TEST(StyleStrip, FontAndAlignmentWriteTheDefaultAndTheSelectedText) {
    StripWindow w;
    w.model->setTool(AnnotationTool::select);
    w.model->setDefaultFontFamily("Georgia");
    w.annotate({text()}, {0});
    FontPicker* font = w.strip()->fontPicker();
    // A system-font text shows the default family.
    EXPECT_EQ(font->family(), "Georgia");
    QTest::keyClick(font->menu(), Qt::Key_End);
    EXPECT_EQ(w.model->defaultFontFamily(), "Menlo");
    EXPECT_EQ(std::get<Annotation::Text>(w.kind(0)).fontFamily, "Menlo");
    QTest::keyClick(font->menu(), Qt::Key_Home);
    EXPECT_EQ(std::get<Annotation::Text>(w.kind(0)).fontFamily, std::nullopt);
    EXPECT_EQ(font->family(), std::nullopt);

    ChipSegment* alignment = w.strip()->alignmentSegment();
    EXPECT_EQ(alignment->current(), 0);
    click(alignment->chip(2));
    EXPECT_EQ(std::get<Annotation::Text>(w.kind(0)).alignment, Annotation::TextAlignment::right);
    EXPECT_EQ(w.model->defaultTextAlignment(), Annotation::TextAlignment::right);
    EXPECT_EQ(std::get<Annotation::Text>(w.kind(0)).fontFamily, std::nullopt);
    EXPECT_TRUE(w.model->undoStack().empty());
}

TEST(StyleStrip, CropRatiosApplyAndCancel) {
    StripWindow w(400, 200, 1);
    w.model->setTool(AnnotationTool::crop);
    StyleStrip* strip = w.strip();
    ChipSegment* ratios = strip->ratioSegment();
    EXPECT_EQ(ratios->current(), 0);
    w.model->setCropRatio(1.3333);
    EXPECT_EQ(ratios->current(), std::nullopt);
    w.model->setCropRatio(std::nullopt);
    w.model->setCropDraft(Support::Rect(0, 0, 400, 200));
    click(ratios->chip(1));
    EXPECT_EQ(w.model->cropDraft(), Support::Rect(100, 0, 200, 200));
    EXPECT_EQ(ratios->current(), 1);
    click(ratios->chip(1));
    EXPECT_EQ(w.model->cropDraft(), Support::Rect(100, 0, 200, 200));
    click(strip->cropConfirmButton());
    EXPECT_EQ(w.model->cropRect(), Support::Rect(100, 0, 200, 200));
    EXPECT_EQ(w.model->tool(), AnnotationTool::select);

    // A draft over the whole image crops nothing; cancel keeps what was there.
    w.model->setTool(AnnotationTool::crop);
    w.model->setCropRatio(std::nullopt);
    w.model->setCropDraft(Support::Rect(0, 0, 400, 200));
    click(strip->cropConfirmButton());
    EXPECT_EQ(w.model->cropRect(), std::nullopt);
    w.model->setTool(AnnotationTool::crop);
    w.model->setCropDraft(Support::Rect(10, 10, 50, 50));
    click(strip->cancelButton());
    EXPECT_EQ(w.model->cropRect(), std::nullopt);
    EXPECT_EQ(w.model->cropDraft(), std::nullopt);
    EXPECT_EQ(w.model->tool(), AnnotationTool::select);
    EXPECT_TRUE(w.model->undoStack().empty());
}

TEST(StyleStrip, RedactionLookOfTheSelectionIsOneUndoStep) {
    using R = Annotation::RedactionStyle;
    StripWindow w;
    w.model->setTool(AnnotationTool::select);
    w.annotate({redaction(R::blur)}, {0});
    ChipSegment* looks = w.strip()->redactionSegment();
    EXPECT_EQ(w.model->redactionStyle(), R::scramble);
    EXPECT_EQ(looks->current(), 1);
    click(looks->chip(2));
    EXPECT_EQ(w.model->redactionStyle(), R::solid);
    EXPECT_EQ(std::get<Annotation::Blur>(w.kind(0)).style, R::solid);
    EXPECT_EQ(w.model->undoStack().size(), 1u);
    w.model->undo();
    EXPECT_EQ(std::get<Annotation::Blur>(w.kind(0)).style, R::blur);

    w.model->setTool(AnnotationTool::blur);
    click(looks->chip(1));
    EXPECT_EQ(w.model->redactionStyle(), R::blur);
    EXPECT_EQ(w.model->undoStack().size(), 0u);
}

TEST(StyleStrip, DetectPIIRunsDetectionAgain) {
    int runs = 0;
    ReviewTesting::ModelOptions options;
    options.detect = [&runs](const QImage&, const std::vector<DetectionKit::PatternInput>&) {
        ++runs;
        return std::vector<Detection>{ReviewTesting::suggestedAt(20, "new@example.com")};
    };
    auto model = std::shared_ptr<ReviewViewModel>(ReviewTesting::makeModel(options));
    EditorContent content;
    content.viewModel = model.get();
    content.owner = model;
    auto controller = EditorWindowController::present(content, nullptr);
    model->setTool(AnnotationTool::blur);
    auto* strip = qobject_cast<StyleStrip*>(controller->view()->stage()->styleStrip());
    click(strip->detectPIIButton());
    const QDeadlineTimer deadline(10000);
    while (model->suggested().empty() && !deadline.hasExpired()) QTest::qWait(10);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(model->suggested().size(), 1u);
    controller.reset();
    settle();
}

TEST(StyleStrip, ScreenshotsOfThreeToolsInBothSchemes) {
    const QString folder = CanvasTesting::artefactsFolder();
    struct Shot {
        AnnotationTool tool;
        const char* name;
    };
    for (const bool dark : {false, true}) {
        Support::UserDefaults store(TestSupport::makeTemporaryFolder("theme") + "/preferences.json");
        Theme theme(&store);
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
        StripWindow w(1400, 900, 2, &theme);
        DrivenAnimationClock clock; // each panel has faded in, and the one before out
        for (const Shot& shot : {Shot{AnnotationTool::box, "box"}, Shot{AnnotationTool::text, "text"},
                                 Shot{AnnotationTool::crop, "crop"}, Shot{AnnotationTool::blur, "blur"}}) {
            w.model->setTool(shot.tool);
            clock.advance(1);
            settle();
            StyleStrip* strip = w.strip();
            ASSERT_FALSE(strip->isHidden());
            // The strip with the canvas around it, as the window shows it.
            QWidget* stage = w.controller->view()->stage();
            const QRect around = strip->geometry().adjusted(-40, -10, 40, 30).intersected(stage->rect());
            const QImage grab = stage->grab(around).toImage();
            ASSERT_TRUE(grab.save(folder + QStringLiteral("/style-strip-%1-%2.png").arg(shot.name, dark ? "dark" : "light")));
        }
        if (dark) {
            ASSERT_TRUE(w.controller->window()->grab().toImage().save(folder + "/style-strip-window-dark.png"));
        }
    }
}

// The look chosen in the strip is what the canvas paints over a finding and what the export
// burns in: the cells compare equal, look by look.
TEST(StyleStrip, TheRedactionLookChangesTheCanvasAndTheExportAlike) {
    using R = Annotation::RedactionStyle;
    const QImage image = FakeScreen::patterned(QSize(1000, 600), 7);
    const Support::Rect box(400, 270, 240, 60);
    auto model = std::make_shared<ReviewViewModel>(
        image, std::vector<Detection>{ReviewTesting::detection(DetectionKit::PatternAction::blurMandatory, box)},
        PolicyKit::EffectivePolicy::safeDefaults(), std::nullopt, [] {}, ReviewViewModel::Environment{1.0, {}});
    model->setShowDetectionOutlines(false);
    StripWindow w(model);
    w.model->setTool(AnnotationTool::blur);
    settle();
    ReviewCanvasView* canvas = w.controller->canvas();
    std::map<int, QImage> frames;
    for (const int option : {0, 2}) {
        click(w.strip()->redactionSegment()->chip(option));
        const R look = option == 0 ? R::scramble : R::solid;
        ASSERT_EQ(w.model->redactionStyle(), look);
        settle();
        const QImage frame = canvas->grab().toImage();
        const QImage exported = ExportKit::Exporter::redact(image, std::vector<Support::Rect>{box}, look);
        int compared = 0;
        for (double y = box.minY() + 10; y < box.maxY(); y += 20) {
            for (double x = box.minX() + 10; x < box.maxX() - 40; x += 20) { // the lock badge sits at the right
                const Support::Point view = canvas->toView(Support::Point{x, y});
                const QPoint on(int(std::floor(view.x)), int(std::floor(view.y)));
                if (!frame.rect().contains(on)) continue;
                EXPECT_EQ(frame.pixel(on), exported.pixel(int(x), int(y))) << option << " at " << x << "," << y;
                ++compared;
            }
        }
        EXPECT_GE(compared, 20) << option;
        frames[option] = frame;
    }
    EXPECT_NE(frames[0], frames[2]);
}

// A font chosen in the strip draws on the canvas in the family that stands in for it.
TEST(StyleStrip, AChosenFontDrawsOnTheCanvasInItsStandIn) {
    StripWindow w(600, 300, 1);
    w.model->setTool(AnnotationTool::select);
    const std::vector<QUuid> ids = w.annotate({text(std::nullopt, 40)}, {0});
    const auto frameWith = [&](const std::optional<QString>& family) {
        if (family) {
            auto list = w.model->annotations();
            std::get<Annotation::Text>(list[0].kind).fontFamily = family;
            w.model->setAnnotations(list);
        }
        w.model->setSelectedAnnotationIDs({});
        settle();
        const QImage frame = w.controller->canvas()->grab().toImage();
        w.model->setSelectedAnnotationIDs({ids[0]});
        return frame;
    };
    const QImage plain = frameWith(std::nullopt);
    for (const int row : {1, 5}) { // "Rounded", "Menlo"
        QComboBox* menu = w.strip()->fontPicker()->menu();
        QTest::keyClick(menu, Qt::Key_Home);
        for (int i = 0; i < row; ++i) QTest::keyClick(menu, Qt::Key_Down);
        const QString family = *StyleStrip::fontChoices()[row].family;
        ASSERT_EQ(std::get<Annotation::Text>(w.kind(0)).fontFamily, family);
        const QImage chosen = frameWith(std::nullopt);
        const QImage standIn = frameWith(ExportKit::TextFonts::installedFamily(family));
        EXPECT_EQ(chosen, standIn) << family.toStdString();
        EXPECT_NE(chosen, plain) << family.toStdString();
        frameWith(family);
    }
}
