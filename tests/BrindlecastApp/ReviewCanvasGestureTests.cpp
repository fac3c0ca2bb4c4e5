#include "BrindlecastApp/Review/AnnotationGeometry.h"
#include "BrindlecastApp/Review/EditorTextField.h"

#include "CanvasTestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <numbers>

using namespace BrindlecastApp;
using namespace CanvasTesting;

namespace {

const Annotation::Style kRed("#FF3B30", 4, 1, false, std::nullopt, false);

QUuid add(ReviewViewModel& model, Annotation::Kind kind) { return model.addAnnotation(std::move(kind)); }

const Annotation& only(const ReviewViewModel& model) { return model.annotations().at(0); }

template <typename Kind>
const Kind& as(const Annotation& a) {
    return std::get<Kind>(a.kind);
}

} // namespace

// A press and release on one spot makes nothing; a drag of 4 pixels makes the tool's shape.
TEST(CanvasGestures, ShapesNeedMoreThanThreePixels) {
    struct Case {
        AnnotationTool tool;
        std::size_t kindIndex;
    };
    const Case cases[] = {{AnnotationTool::box, 1},   {AnnotationTool::ellipse, 2}, {AnnotationTool::line, 6},
                          {AnnotationTool::arrow, 0}, {AnnotationTool::blur, 4}};
    for (const Case& c : cases) {
        CanvasHarness h;
        h.model.setTool(c.tool);
        h.click(300, 300);
        EXPECT_TRUE(h.model.annotations().empty()) << AnnotationTools::rawValue(c.tool).toStdString();
        h.model.setTool(c.tool);
        h.drag({300, 300}, {303, 303}); // 4.2 pixels
        ASSERT_EQ(h.model.annotations().size(), 1u) << AnnotationTools::rawValue(c.tool).toStdString();
        EXPECT_EQ(only(h.model).kind.index(), c.kindIndex);
        EXPECT_EQ(h.model.selectedAnnotationID(), only(h.model).id);
    }
}

// A clockwise sweep of the rotation knob on screen turns the shape clockwise in the document,
// whose rotations turn clockwise as the export draws them.
TEST(CanvasGestures, RotationFollowsThePointerClockwise) {
    struct Case {
        Point to;
        double rotation;
    };
    const Point centre{500, 250};
    const Case cases[] = {
        {{centre.x + 120, centre.y}, std::numbers::pi / 2},        // a quarter turn clockwise
        {{centre.x - 120, centre.y}, -std::numbers::pi / 2},       // a quarter turn the other way
        {{centre.x + 85, centre.y - 85}, std::numbers::pi / 4},    // an eighth
    };
    for (const Case& c : cases) {
        CanvasHarness h;
        add(h.model, Annotation::Box{Rect(400, 200, 200, 100), kRed, std::nullopt, 0});
        const Point knob{500, 200 - 22}; // the knob sits 22 points above the top edge
        h.press(knob.x, knob.y);
        ASSERT_TRUE(std::holds_alternative<CanvasDrag::Rotate>(h.canvas.drag()));
        h.move(c.to.x, c.to.y);
        h.release(c.to.x, c.to.y);
        EXPECT_NEAR(as<Annotation::Box>(only(h.model)).rotation, c.rotation, 1e-9);
        EXPECT_EQ(h.model.undoStack().size(), 2u); // one for the add, one for the whole gesture
    }
}

TEST(CanvasGestures, SelectModeHandlesAndDetections) {
    using DetectionKit::PatternAction;
    // Control stands in for Command: with the box tool it selects instead of drawing.
    {
        CanvasHarness h;
        const QUuid first = add(h.model, Annotation::Box{Rect(100, 100, 100, 100), kRed, std::nullopt, 0});
        add(h.model, Annotation::Box{Rect(600, 100, 100, 100), kRed, std::nullopt, 0});
        h.model.setTool(AnnotationTool::box);
        h.click(150, 150, Qt::ControlModifier);
        EXPECT_EQ(h.model.annotations().size(), 2u);
        EXPECT_EQ(h.model.selectedAnnotationID(), first);
    }
    // A grip of the selected ellipse resizes it, even with the ellipse tool active.
    {
        CanvasHarness h;
        add(h.model, Annotation::Ellipse{Rect(100, 100, 100, 100), kRed, std::nullopt, 0});
        h.model.setTool(AnnotationTool::ellipse);
        h.drag({200, 200}, {260, 240});
        ASSERT_EQ(h.model.annotations().size(), 1u);
        EXPECT_EQ(as<Annotation::Ellipse>(only(h.model)).rect, Rect(100, 100, 160, 140));
    }
    // Shift-click on a member of a multiple selection drops it and moves nothing.
    {
        CanvasHarness h;
        const QUuid a = add(h.model, Annotation::Box{Rect(100, 100, 100, 100), kRed, std::nullopt, 0});
        const QUuid b = add(h.model, Annotation::Box{Rect(400, 100, 100, 100), kRed, std::nullopt, 0});
        h.model.setSelectedAnnotationIDs({a, b});
        h.drag({450, 150}, {470, 170}, Qt::ShiftModifier);
        EXPECT_EQ(h.model.selectedAnnotationIDs(), QSet<QUuid>{a});
        EXPECT_EQ(as<Annotation::Box>(h.model.annotations()[1]).rect, Rect(400, 100, 100, 100));
    }
    // A drag on a member of a multiple selection moves them all.
    {
        CanvasHarness h;
        const QUuid a = add(h.model, Annotation::Box{Rect(100, 100, 100, 100), kRed, std::nullopt, 0});
        const QUuid b = add(h.model, Annotation::Box{Rect(400, 100, 100, 100), kRed, std::nullopt, 0});
        h.model.setSelectedAnnotationIDs({a, b});
        h.drag({450, 150}, {470, 160});
        EXPECT_EQ(as<Annotation::Box>(h.model.annotations()[0]).rect, Rect(120, 110, 100, 100));
        EXPECT_EQ(as<Annotation::Box>(h.model.annotations()[1]).rect, Rect(420, 110, 100, 100));
    }
    // Suggested boxes are released by a click, even where a mandatory one lies too; a mandatory box
    // is refused, and reported once.
    {
        CanvasHarness h(stripedImage(1000, 600), {detected(PatternAction::blurMandatory, Rect(100, 100, 200, 40)),
                                                  detected(PatternAction::blurSuggested, Rect(250, 100, 200, 40)),
                                                  detected(PatternAction::blurSuggested, Rect(600, 100, 100, 40))});
        h.click(650, 120);
        EXPECT_EQ(h.model.releasedSuggested(), (std::set<int>{1}));
        h.click(275, 120); // inside the mandatory box and the first suggested one
        EXPECT_EQ(h.model.releasedSuggested(), (std::set<int>{0, 1}));
        EXPECT_EQ(h.tampers, 0);
        h.click(150, 120);
        h.click(150, 120);
        EXPECT_EQ(h.tampers, 1);
        EXPECT_TRUE(h.model.tamperReported());
        EXPECT_EQ(h.model.mandatory().size(), 1u);
    }
}

// Empty canvas: a marquee at zoom 1, a pan when zoomed in; the selection goes at once.
TEST(CanvasGestures, EmptyCanvasMarqueesOrPans) {
    CanvasHarness h;
    const QUuid a = add(h.model, Annotation::Box{Rect(100, 100, 50, 50), kRed, std::nullopt, 0});
    const QUuid b = add(h.model, Annotation::Line{{300, 300}, {400, 300}, kRed, false});
    h.model.setSelectedAnnotationIDs({});
    struct Case {
        Point from, to;
        QSet<QUuid> selected;
    };
    const Case cases[] = {
        {{600, 400}, {603, 403}, {}},           // 3 x 3: too small to select
        {{410.5, 300}, {405.5, 301}, {b}},      // 5 x 1 reaches half a pixel into the line's bounds
        {{90, 90}, {420, 320}, {a, b}},
    };
    for (const Case& c : cases) {
        h.model.setSelectedAnnotationIDs({a});
        h.press(c.from.x, c.from.y);
        EXPECT_TRUE(h.model.selectedAnnotationIDs().isEmpty());
        EXPECT_TRUE(std::holds_alternative<CanvasDrag::Marquee>(h.canvas.drag()));
        h.move(c.to.x, c.to.y);
        h.release(c.to.x, c.to.y);
        EXPECT_EQ(h.model.selectedAnnotationIDs(), c.selected);
    }

    h.model.setZoom(2);
    QApplication::processEvents();
    const QPoint start = h.canvas.toView(Point{500, 300}).toQPointF().toPoint();
    QTest::mousePress(&h.canvas, Qt::LeftButton, {}, start);
    EXPECT_TRUE(std::holds_alternative<CanvasDrag::Pan>(h.canvas.drag()));
    QMouseEvent drag(QEvent::MouseMove, QPointF(start + QPoint(40, 25)), h.canvas.mapToGlobal(QPointF(start + QPoint(40, 25))),
                     Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&h.canvas, &drag);
    QTest::mouseRelease(&h.canvas, Qt::LeftButton, {}, start + QPoint(40, 25));
    EXPECT_EQ(h.canvas.pan(), (Point{40, 25}));
}

TEST(CanvasGestures, FreeformBadgesCropAndText) {
    // A stroke that never leaves 3 pixels of its start adds nothing; one that does is kept.
    {
        CanvasHarness h;
        h.model.setTool(AnnotationTool::freeform);
        h.press(200, 200);
        h.move(201, 202);
        h.release(202, 201);
        EXPECT_TRUE(h.model.annotations().empty());
        h.model.setTool(AnnotationTool::highlighter);
        h.press(200, 200);
        h.move(210, 200);
        h.move(220, 205);
        h.release(220, 205);
        ASSERT_EQ(h.model.annotations().size(), 1u);
        const auto& stroke = as<Annotation::Freeform>(only(h.model));
        EXPECT_EQ(stroke.points.size(), 3u);
        EXPECT_EQ(stroke.style.opacity, 0.45);
    }
    // Badges count on from badgeStart and take 2.4 % of the image height, at least 20.
    {
        struct Case {
            int imageHeight;
            double radius;
        };
        for (const Case& c : {Case{1000, 24}, Case{600, 20}}) {
            CanvasHarness h(stripedImage(800, c.imageHeight));
            h.model.setTool(AnnotationTool::badge);
            h.model.setBadgeStart(5);
            h.click(100, 100);
            h.click(200, 100);
            ASSERT_EQ(h.model.annotations().size(), 2u);
            EXPECT_EQ(as<Annotation::Badge>(h.model.annotations()[0]).number, 5);
            EXPECT_EQ(as<Annotation::Badge>(h.model.annotations()[1]).number, 6);
            EXPECT_EQ(h.model.badgeStart(), 7);
            EXPECT_EQ(as<Annotation::Badge>(h.model.annotations()[0]).radius, c.radius);
        }
    }
    // A rectangular select too thin to crop removes the crop there was.
    {
        CanvasHarness h;
        h.model.setCrop(Rect(100, 100, 300, 200));
        h.model.setTool(AnnotationTool::rectSelect);
        h.drag({200, 200}, {210, 203});
        EXPECT_FALSE(h.model.cropRect().has_value());
        h.model.setTool(AnnotationTool::rectSelect);
        h.drag({100, 100}, {400, 250});
        EXPECT_EQ(h.model.cropRect(), Rect(100, 100, 300, 150));
    }
    // The text tool opens a text under the pointer for editing, and keeps it in the list.
    {
        CanvasHarness h;
        const QUuid id = add(h.model, Annotation::Text{{300, 300}, "Hello", Annotation::Style("#34C759", 30, 1, false, std::nullopt, false),
                                                       std::nullopt, Annotation::TextAlignment::left, 0});
        h.model.setTool(AnnotationTool::text);
        h.click(310, 310);
        ASSERT_NE(h.canvas.textEditor(), nullptr);
        EXPECT_EQ(h.canvas.textEditor()->text(), "Hello");
        EXPECT_EQ(h.canvas.editedAnnotationID(), id);
        EXPECT_EQ(h.model.annotations().size(), 1u);
    }
}

// Keys, read back from the model; `taken` false means the canvas passed the key on.
TEST(CanvasKeyboard, KeysAndWhatTheyChange) {
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        QString text;
        AnnotationTool toolBefore;
        bool taken;
        AnnotationTool toolAfter;
    };
    const Case cases[] = {
        {"r", Qt::Key_R, {}, "r", AnnotationTool::select, true, AnnotationTool::box},
        {"Shift-R", Qt::Key_R, Qt::ShiftModifier, "R", AnnotationTool::select, true, AnnotationTool::box},
        {"Control-R", Qt::Key_R, Qt::ControlModifier, "\x12", AnnotationTool::select, false, AnnotationTool::select},
        {"Alt-A", Qt::Key_A, Qt::AltModifier, "a", AnnotationTool::select, false, AnnotationTool::select},
        {"v", Qt::Key_V, {}, "v", AnnotationTool::box, true, AnnotationTool::select},
        {"a", Qt::Key_A, {}, "a", AnnotationTool::select, true, AnnotationTool::arrow},
        {"l", Qt::Key_L, {}, "l", AnnotationTool::select, true, AnnotationTool::line},
        {"e", Qt::Key_E, {}, "e", AnnotationTool::select, true, AnnotationTool::ellipse},
        {"t", Qt::Key_T, {}, "t", AnnotationTool::select, true, AnnotationTool::text},
        {"n", Qt::Key_N, {}, "n", AnnotationTool::select, true, AnnotationTool::badge},
        {"h", Qt::Key_H, {}, "h", AnnotationTool::select, true, AnnotationTool::highlighter},
        {"b", Qt::Key_B, {}, "b", AnnotationTool::select, true, AnnotationTool::blur},
        {"c", Qt::Key_C, {}, "c", AnnotationTool::select, true, AnnotationTool::crop},
        {"x has no tool", Qt::Key_X, {}, "x", AnnotationTool::arrow, false, AnnotationTool::arrow},
        {"7 has no colour", Qt::Key_7, {}, "7", AnnotationTool::select, false, AnnotationTool::select},
        {"Return outside crop", Qt::Key_Return, {}, "\r", AnnotationTool::box, false, AnnotationTool::box},
        {"Escape outside crop", Qt::Key_Escape, {}, "\x1b", AnnotationTool::box, false, AnnotationTool::box},
        {"Return applies the crop", Qt::Key_Return, {}, "\r", AnnotationTool::crop, true, AnnotationTool::select},
        {"Enter applies the crop", Qt::Key_Enter, Qt::KeypadModifier, "\r", AnnotationTool::crop, true, AnnotationTool::select},
        {"Escape drops the draft", Qt::Key_Escape, {}, "\x1b", AnnotationTool::crop, true, AnnotationTool::select},
    };
    for (const Case& c : cases) {
        CanvasHarness h;
        h.model.setTool(c.toolBefore);
        if (c.toolBefore == AnnotationTool::crop) h.model.setCropDraft(Rect(100, 100, 400, 300));
        EXPECT_EQ(h.key(c.key, c.modifiers, c.text), c.taken) << c.name;
        EXPECT_EQ(h.model.tool(), c.toolAfter) << c.name;
        if (QString(c.name).contains("applies")) {
            EXPECT_EQ(h.model.cropRect(), Rect(100, 100, 400, 300)) << c.name;
        }
        if (QString(c.name).contains("drops")) {
            EXPECT_FALSE(h.model.cropRect().has_value()) << c.name;
        }
    }
}

TEST(CanvasKeyboard, PaletteWidthsAndDeletion) {
    // "4" picks the fourth swatch for new annotations, the selected ones and the fill.
    {
        CanvasHarness h;
        const QUuid a = add(h.model, Annotation::Box{Rect(100, 100, 50, 50), kRed, std::nullopt, 0});
        const QUuid b = add(h.model, Annotation::Line{{300, 300}, {400, 300}, kRed, false});
        h.model.setSelectedAnnotationIDs({a, b});
        h.model.setDefaultFill(Annotation::Fill("#FF3B30", 0.3));
        EXPECT_TRUE(h.key(Qt::Key_4, {}, "4"));
        EXPECT_EQ(h.model.defaultStrokeColorHex(), "#007AFF");
        EXPECT_EQ(h.model.defaultFill(), Annotation::Fill("#007AFF", 0.3));
        EXPECT_EQ(as<Annotation::Box>(h.model.annotations()[0]).style.colorHex, "#007AFF");
        EXPECT_EQ(as<Annotation::Line>(h.model.annotations()[1]).style.colorHex, "#007AFF");
    }
    // Width steps are one screen point of pixels, never below 1 and without a ceiling.
    {
        CanvasHarness h(stripedImage(1000, 600), {}, PolicyKit::EffectivePolicy::safeDefaults(), 2.0);
        h.model.setStrokeWidth(1.5);
        EXPECT_TRUE(h.key(Qt::Key_BracketLeft, {}, "["));
        EXPECT_EQ(h.model.defaultStrokeWidth(), 1);
        for (int i = 0; i < 40; ++i) h.key(Qt::Key_BracketRight, {}, "]");
        EXPECT_EQ(h.model.defaultStrokeWidth(), 81);
        EXPECT_EQ(h.model.toolWidths().at(AnnotationTool::select), 81);
    }
    // Delete removes the selection; Control-Delete asks to delete the screenshot, with Shift
    // without asking; with nothing to call it changes nothing.
    {
        CanvasHarness h;
        add(h.model, Annotation::Box{Rect(100, 100, 50, 50), kRed, std::nullopt, 0});
        h.model.setSelectedAnnotationIDs({});
        EXPECT_TRUE(h.key(Qt::Key_Backspace));
        EXPECT_EQ(h.model.annotations().size(), 1u);
        EXPECT_TRUE(h.key(Qt::Key_Delete, Qt::ControlModifier));
        EXPECT_EQ(h.model.annotations().size(), 1u);
        std::vector<bool> asked;
        h.model.setOnDeleteImage([&asked](bool askFirst) { asked.push_back(askFirst); });
        h.key(Qt::Key_Backspace, Qt::ControlModifier);
        h.key(Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(asked, (std::vector<bool>{true, false}));
        h.model.setSelectedAnnotationID(h.model.annotations()[0].id);
        h.key(Qt::Key_Delete);
        EXPECT_TRUE(h.model.annotations().empty());
    }
}

// While personal data is still looked for, the pointer is the busy arrow where it would be the
// arrow; drawing keeps its cross. It comes back once the findings are in.
TEST(CanvasPointer, TheArrowIsBusyWhileTheFindingsAreLookedFor) {
    CanvasHarness h;
    struct Step {
        const char* when;
        AnnotationTool tool;
        bool detecting;
        Qt::CursorShape shape;
    };
    const Step steps[] = {
        {"select, nothing looked for", AnnotationTool::select, false, Qt::ArrowCursor},
        {"select, findings on their way", AnnotationTool::select, true, Qt::BusyCursor},
        {"a drawing tool meanwhile", AnnotationTool::box, true, Qt::CrossCursor},
        {"select again, findings in", AnnotationTool::select, false, Qt::ArrowCursor},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.when);
        if (step.detecting) {
            h.model.awaitDetections();
        } else {
            h.model.receiveDetections(std::vector<Detection>{});
        }
        h.model.setTool(step.tool);
        EXPECT_EQ(h.canvas.cursor().shape(), step.shape);
    }
}
