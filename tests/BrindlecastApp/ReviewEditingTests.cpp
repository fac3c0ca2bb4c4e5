// Editing a review: adding, moving, resizing, rotating, restyling and deleting annotations,
// badge numbers, and the undo history.

#include "ReviewTestSupport.h"

#include "ExportKit/Exporter.h"
#include "SidecarKit/AnnotationJSON.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace BrindlecastApp;
using namespace ReviewTesting;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

namespace {

const Annotation::Style kStyle{"#FF3B30", 4, 1, false, std::nullopt, false};

Annotation::Kind boxAt(Rect rect, double rotation = 0) { return Annotation::Box{rect, kStyle, std::nullopt, rotation}; }
Annotation::Kind arrow(Point from, Point to, std::optional<Point> control = std::nullopt) {
    return Annotation::Arrow{from, to, kStyle, control};
}
Annotation::Kind line(Point from, Point to) { return Annotation::Line{from, to, kStyle, false}; }
Annotation::Kind text(Point origin, double size = 28) {
    Annotation::Style style = kStyle;
    style.lineWidth = size;
    return Annotation::Text{origin, "Note", style, std::nullopt, Annotation::TextAlignment::left, 0};
}
Annotation::Kind badge(Point center, std::int64_t number) { return Annotation::Badge{center, number, 14, kStyle}; }
Annotation::Kind blur(Rect rect) { return Annotation::Blur{rect, Annotation::RedactionStyle::scramble, 0}; }
Annotation::Kind freeform(std::vector<Point> points) { return Annotation::Freeform{std::move(points), kStyle, false}; }

// An annotation of a type this build does not know, read from a stored document.
Annotation unknownFromDocument() {
    return SidecarKit::AnnotationJSON::decode(SidecarKit::JSONValue::parse(
        R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","zIndex":7,"type":"spotlight","rect":[[1,2],[3,4]],"strength":0.25})"));
}

const Annotation::Kind& kindOf(const ReviewViewModel& model, std::size_t index) { return model.annotations().at(index).kind; }

} // namespace

TEST(ReviewEditing, NewAnnotationsStackOnTopAndDeletingDoesNotRenumber) {
    auto model = makeModel();
    const QUuid a = model->addAnnotation(boxAt({0, 0, 10, 10}));
    const QUuid b = model->addAnnotation(boxAt({0, 0, 20, 20}));
    const QUuid c = model->addAnnotation(boxAt({0, 0, 30, 30}));
    EXPECT_EQ(model->selectedAnnotationID(), c) << "a new annotation is selected alone";
    std::vector<std::int64_t> z;
    for (const Annotation& annotation : model->annotations()) z.push_back(annotation.zIndex);
    EXPECT_EQ(z, (std::vector<std::int64_t>{0, 1, 2}));

    model->setSelectedAnnotationID(b);
    model->deleteSelectedAnnotation();
    EXPECT_TRUE(model->selectedAnnotationIDs().isEmpty());
    const QUuid d = model->addAnnotation(boxAt({0, 0, 40, 40}));
    ASSERT_EQ(model->annotations().size(), 3u);
    EXPECT_EQ(model->annotations()[0].id, a);
    EXPECT_EQ(model->annotations()[1].id, c);
    EXPECT_EQ(model->annotations()[2].id, d);
    EXPECT_EQ(model->annotations()[2].zIndex, 2) << "equal to the last one's";
}

TEST(ReviewEditing, DeletingWithNothingSelectedTakesNoSnapshot) {
    auto model = makeModel();
    model->addAnnotation(boxAt({0, 0, 10, 10}));
    model->setSelectedAnnotationID(std::nullopt);
    model->deleteSelectedAnnotation();
    EXPECT_EQ(model->annotations().size(), 1u);
    EXPECT_EQ(model->undoStack().size(), 1u);
}

TEST(ReviewEditing, UndoAndRedoSwapWholeAnnotationListsAndClearTheSelection) {
    auto model = makeModel();
    model->addAnnotation(boxAt({0, 0, 10, 10}));
    const auto before = model->annotations();
    const QUuid added = model->addAnnotation(arrow({0, 0}, {50, 50}));
    const auto after = model->annotations();

    model->undo();
    EXPECT_EQ(model->annotations(), before);
    EXPECT_TRUE(model->selectedAnnotationIDs().isEmpty());
    model->redo();
    EXPECT_EQ(model->annotations(), after);
    EXPECT_TRUE(model->selectedAnnotationIDs().isEmpty());

    model->undo();
    model->snapshotForUndo();
    EXPECT_TRUE(model->redoStack().empty()) << "a new snapshot forgets what was undone";
    model->redo();
    EXPECT_EQ(model->annotations(), before);
    (void)added;
}

TEST(ReviewEditing, UndoOfADeletedRotatedAnnotationRestoresItExactly) {
    auto model = makeModel({.detections = {suggestedAt(0)}});
    const QUuid id = model->addAnnotation(boxAt({100, 80, 60, 30}));
    model->rotateSelected(0.5);
    model->setCrop({10, 10, 500, 400});
    model->snapshotForUndo(); // as the canvas does before its own changes
    const auto rotated = model->annotations();

    model->setSelectedAnnotationID(id);
    model->deleteSelectedAnnotation();
    model->toggleSuggested(0);
    model->setDefaultStrokeColorHex("#007AFF");
    model->undo();

    EXPECT_EQ(model->annotations(), rotated);
    EXPECT_EQ(std::get<Annotation::Box>(kindOf(*model, 0)).rotation, 0.5);
    EXPECT_TRUE(model->selectedAnnotationIDs().isEmpty());
    // The crop, released redactions and style defaults are not part of the history.
    EXPECT_EQ(model->cropRect(), Rect(10, 10, 500, 400));
    EXPECT_EQ(model->releasedSuggested(), std::set<int>{0});
    EXPECT_EQ(model->defaultStrokeColorHex(), "#007AFF");

    model->redo();
    EXPECT_TRUE(model->annotations().empty());
    model->undo();
    EXPECT_EQ(model->annotations(), rotated);
}

TEST(ReviewEditing, UndoAndRedoWithAnEmptyStackChangeNothing) {
    auto model = makeModel();
    const QUuid id = model->addAnnotation(boxAt({0, 0, 10, 10}));
    model->undo();
    model->redo();
    model->setSelectedAnnotationID(id);
    model->redo();
    EXPECT_EQ(model->selectedAnnotationID(), id);
    model->undo();
    model->undo();
    EXPECT_TRUE(model->annotations().empty());
}

TEST(ReviewEditing, GripDragsPerKind) {
    struct Case {
        const char* name;
        Annotation::Kind kind;
        ResizeHandle handle;
        Point to;
        Annotation::Kind expected;
    };
    const Case cases[] = {
        {"box top-left past the far corner", boxAt({10, 10, 100, 50}), ResizeHandle::topLeft, {200, 100},
         boxAt({110, 60, 90, 40})},
        {"box top-right", boxAt({10, 10, 100, 50}), ResizeHandle::topRight, {150, 0}, boxAt({10, 0, 140, 60})},
        {"box bottom-left", boxAt({10, 10, 100, 50}), ResizeHandle::bottomLeft, {0, 80}, boxAt({0, 10, 110, 70})},
        {"box bottom-right onto the kept corner", boxAt({10, 10, 100, 50}), ResizeHandle::bottomRight, {10, 10},
         boxAt({10, 10, 0, 0})},
        {"box keeps its rotation", boxAt({10, 10, 100, 50}, 1), ResizeHandle::bottomRight, {60, 60},
         boxAt({10, 10, 50, 50}, 1)},
        {"box ignores the rotate grip", boxAt({10, 10, 100, 50}), ResizeHandle::rotate, {0, 0}, boxAt({10, 10, 100, 50})},
        {"blur corner", blur({0, 0, 10, 10}), ResizeHandle::bottomRight, {30, 40}, blur({0, 0, 30, 40})},
        {"text 30 below its origin", text({5, 100}), ResizeHandle::bottomRight, {0, 130}, text({5, 100}, 25)},
        {"text never below 8", text({5, 100}), ResizeHandle::topLeft, {0, 105}, text({5, 100}, 8)},
        {"text above its origin", text({5, 100}), ResizeHandle::rotate, {0, 40}, text({5, 100}, 50)},
        {"arrow start", arrow({0, 0}, {100, 0}), ResizeHandle::start, {5, 5}, arrow({5, 5}, {100, 0})},
        {"arrow end", arrow({0, 0}, {100, 0}), ResizeHandle::end, {90, 30}, arrow({0, 0}, {90, 30})},
        {"arrow bent through the grip", arrow({0, 0}, {100, 0}), ResizeHandle::mid, {50, 20},
         arrow({0, 0}, {100, 0}, Point{50, 40})},
        {"arrow grip at the middle stays straight", arrow({0, 0}, {100, 40}), ResizeHandle::mid, {50, 20},
         arrow({0, 0}, {100, 40}, Point{50, 20})},
        {"arrow ignores corners", arrow({0, 0}, {100, 0}), ResizeHandle::topLeft, {9, 9}, arrow({0, 0}, {100, 0})},
        {"line start", line({0, 0}, {10, 10}), ResizeHandle::start, {3, 4}, line({3, 4}, {10, 10})},
        {"line any other grip moves the end", line({0, 0}, {10, 10}), ResizeHandle::mid, {7, 8}, line({0, 0}, {7, 8})},
        {"freeform unchanged", freeform({{1, 1}, {2, 2}}), ResizeHandle::end, {9, 9}, freeform({{1, 1}, {2, 2}})},
        {"badge unchanged", badge({5, 5}, 1), ResizeHandle::bottomRight, {9, 9}, badge({5, 5}, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = makeModel();
        model->addAnnotation(c.kind);
        const std::size_t snapshots = model->undoStack().size();
        model->resizeSelected(c.handle, c.to);
        EXPECT_TRUE(kindOf(*model, 0) == c.expected);
        EXPECT_EQ(model->undoStack().size(), snapshots) << "grip drags take no snapshot";
    }
}

TEST(ReviewEditing, MovesShiftEveryPointWithoutClamping) {
    struct Case {
        const char* name;
        Annotation::Kind kind;
        Annotation::Kind expected;
    };
    const Case cases[] = {
        {"arrow without control", arrow({0, 0}, {10, 0}), arrow({-5000, 7}, {-4990, 7})},
        {"arrow with control", arrow({0, 0}, {10, 0}, Point{5, 5}), arrow({-5000, 7}, {-4990, 7}, Point{-4995, 12})},
        {"box", boxAt({1, 2, 3, 4}, 0.3), boxAt({-4999, 9, 3, 4}, 0.3)},
        {"text", text({1, 1}), text({-4999, 8})},
        {"freeform", freeform({{0, 0}, {1, 1}}), freeform({{-5000, 7}, {-4999, 8}})},
        {"line", line({0, 0}, {1, 1}), line({-5000, 7}, {-4999, 8})},
        {"badge", badge({0, 0}, 3), badge({-5000, 7}, 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = makeModel();
        const QUuid id = model->addAnnotation(c.kind);
        model->moveSelected(-2500, 3.5);
        model->moveAnnotation(id, -2500, 3.5);
        EXPECT_TRUE(kindOf(*model, 0) == c.expected);
    }
}

TEST(ReviewEditing, RotationAppliesToTurnableKindsOnly) {
    struct Case {
        Annotation::Kind kind;
        bool turns;
    };
    const Case cases[] = {{boxAt({0, 0, 5, 5}), true},   {Annotation::Ellipse{{0, 0, 5, 5}, kStyle, std::nullopt, 0}, true},
                          {text({0, 0}), true},          {blur({0, 0, 5, 5}), true},
                          {line({0, 0}, {5, 5}), false}, {badge({0, 0}, 1), false},
                          {arrow({0, 0}, {5, 5}), false}};
    for (const Case& c : cases) {
        auto model = makeModel();
        model->addAnnotation(c.kind);
        model->rotateSelected(0.75);
        EXPECT_EQ(kindOf(*model, 0) != c.kind, c.turns) << c.kind.index();
    }
}

TEST(ReviewEditing, StyleChangesSkipBlursAndUnknownKinds) {
    auto model = makeModel();
    const Annotation unknown = unknownFromDocument();
    model->setAnnotations({unknown});
    const QUuid boxID = model->addAnnotation(boxAt({0, 0, 5, 5}));
    const QUuid blurID = model->addAnnotation(blur({0, 0, 5, 5}));
    const QUuid lineID = model->addAnnotation(line({0, 0}, {5, 5}));
    model->setSelectedAnnotationIDs({unknown.id, boxID, blurID, lineID});

    model->updateSelectedStyle("#007AFF", 11, 0.5);
    model->setOutline(true);
    model->setShadow(true);
    model->setOutlineColor("#000000");
    model->setStrokeWidth(13);

    const Annotation::Style expected{"#007AFF", 13, 0.5, true, "#000000", true};
    EXPECT_EQ(std::get<Annotation::Box>(kindOf(*model, 1)).style, expected);
    EXPECT_EQ(std::get<Annotation::Line>(kindOf(*model, 3)).style, expected);
    EXPECT_TRUE(kindOf(*model, 2) == blur({0, 0, 5, 5}));
    EXPECT_EQ(model->annotations()[0], unknown);
    EXPECT_TRUE(model->defaultStrokeOutline());
    EXPECT_TRUE(model->defaultStrokeShadow());
    EXPECT_EQ(model->defaultOutlineColorHex(), "#000000");
    EXPECT_EQ(model->defaultStrokeWidth(), 13);
}

TEST(ReviewEditing, SingleSelectionOperationsNeedExactlyOneOfTheirKind) {
    auto model = makeModel();
    const QUuid boxID = model->addAnnotation(boxAt({0, 0, 5, 5}));
    const QUuid lineID = model->addAnnotation(line({0, 0}, {5, 5}));
    const QUuid textID = model->addAnnotation(text({0, 0}));

    // Dashes and redaction looks only change the defaults while a box is selected.
    model->setSelectedAnnotationID(boxID);
    const auto snapshots = model->undoStack().size();
    model->setLineDashed(true);
    model->setRedactionStyle(Annotation::RedactionStyle::solid);
    EXPECT_TRUE(model->defaultLineDashed());
    EXPECT_EQ(model->redactionStyle(), Annotation::RedactionStyle::solid);
    EXPECT_TRUE(kindOf(*model, 0) == boxAt({0, 0, 5, 5}));
    EXPECT_EQ(model->undoStack().size(), snapshots);

    model->updateSelectedFill(Annotation::Fill{"#FFFFFF", 0.3});
    EXPECT_EQ(std::get<Annotation::Box>(kindOf(*model, 0)).fill, (Annotation::Fill{"#FFFFFF", 0.3}));
    model->updateSelectedFill(std::nullopt);
    EXPECT_EQ(std::get<Annotation::Box>(kindOf(*model, 0)).fill, std::nullopt);

    model->setSelectedAnnotationID(lineID);
    model->setLineDashed(true);
    EXPECT_TRUE(std::get<Annotation::Line>(kindOf(*model, 1)).dashed);

    // Two selected: nothing on the single selection changes.
    model->setSelectedAnnotationIDs({lineID, textID});
    model->setLineDashed(false);
    model->rotateSelected(1);
    EXPECT_TRUE(std::get<Annotation::Line>(kindOf(*model, 1)).dashed);
    EXPECT_EQ(std::get<Annotation::Text>(kindOf(*model, 2)).rotation, 0);

    model->setSelectedAnnotationID(textID);
    model->updateSelectedText(std::optional<QString>("Serif"), Annotation::TextAlignment::center);
    EXPECT_EQ(model->selectedTextFontFamily(), "Serif");
    model->updateSelectedText(std::nullopt, std::nullopt); // absent: the family stays
    EXPECT_EQ(model->selectedTextFontFamily(), "Serif");
    model->updateSelectedText(std::optional<QString>(), std::nullopt); // present and none: cleared
    EXPECT_EQ(model->selectedTextFontFamily(), std::nullopt);
    EXPECT_EQ(model->selectedTextAlignment(), Annotation::TextAlignment::center);
}

TEST(ReviewEditing, RedactionStyleOfASelectedBlurIsUndoable) {
    auto model = makeModel();
    model->addAnnotation(blur({0, 0, 5, 5}));
    const auto snapshots = model->undoStack().size();
    model->setRedactionStyle(Annotation::RedactionStyle::blur);
    EXPECT_EQ(model->selectedRedactionStyle(), Annotation::RedactionStyle::blur);
    EXPECT_EQ(model->undoStack().size(), snapshots + 1);
    model->undo();
    EXPECT_EQ(std::get<Annotation::Blur>(kindOf(*model, 0)).style, Annotation::RedactionStyle::scramble);
    EXPECT_EQ(model->redactionStyle(), Annotation::RedactionStyle::blur) << "the default is not history";
}

TEST(ReviewEditing, SelectionQueriesPerKind) {
    struct Case {
        const char* name;
        Annotation::Kind kind;
        bool isText;
        bool hasStyle;
        std::optional<bool> dashed;
        bool hasRedactionStyle;
        ReviewViewModel::SizeRange range;
    };
    const Case cases[] = {
        {"text", text({0, 0}), true, true, std::nullopt, false, {8, 180}},
        {"line", line({0, 0}, {1, 1}), false, true, false, false, {1, 48}},
        {"blur", blur({0, 0, 1, 1}), false, false, std::nullopt, true, {1, 48}},
        {"badge", badge({0, 0}, 1), false, true, std::nullopt, false, {1, 48}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = makeModel({.width = 1600, .height = 900});
        model->addAnnotation(c.kind);
        EXPECT_EQ(model->selectedIsText(), c.isText);
        EXPECT_EQ(model->selectedStyle().has_value(), c.hasStyle);
        EXPECT_EQ(model->selectedLineDashed(), c.dashed);
        EXPECT_EQ(model->selectedRedactionStyle().has_value(), c.hasRedactionStyle);
        EXPECT_EQ(model->selectedSizeRange(), c.range);
        model->setSelectedAnnotationID(std::nullopt);
        EXPECT_FALSE(model->selectedStyle());
        EXPECT_EQ(model->selectedSizeRange(), (ReviewViewModel::SizeRange{1, 48}));
    }
    auto small = makeModel({.height = 200});
    small->addAnnotation(text({0, 0}));
    EXPECT_EQ(small->selectedSizeRange(), (ReviewViewModel::SizeRange{8, 64}));
}

TEST(ReviewEditing, BadgeNumbers) {
    struct Case {
        std::vector<std::int64_t> badges;
        std::optional<std::int64_t> start;
        std::int64_t expected;
    };
    const std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    const Case cases[] = {
        {{}, std::nullopt, 1},         {{1, 2, 7}, std::nullopt, 8}, {{1, 2, 7}, 0, 1},
        {{1, 2, 7}, 5, 5},             {{}, -3, 1},                  {{-4}, std::nullopt, -3},
        {{largest}, std::nullopt, largest}, // a damaged document cannot make the count wrap
    };
    for (const Case& c : cases) {
        auto model = makeModel();
        for (std::int64_t number : c.badges) model->addAnnotation(badge({0, 0}, number));
        model->setBadgeStart(c.start);
        EXPECT_EQ(model->nextBadgeNumber(), c.expected);
    }
}

TEST(ReviewEditing, GeometryThatIsNotFiniteNeverReachesTheAnnotations) {
    const double nan = std::nan("");
    auto model = makeModel();
    EXPECT_TRUE(model->addAnnotation(boxAt({0, 0, nan, 5})).isNull());
    EXPECT_TRUE(model->addAnnotation(line({0, 0}, {INFINITY, 1})).isNull());
    EXPECT_TRUE(model->annotations().empty());
    EXPECT_TRUE(model->undoStack().empty());

    model->addAnnotation(boxAt({0, 0, 10, 10}));
    const auto before = model->annotations();
    model->moveSelected(nan, 1);
    model->moveSelected(1, INFINITY);
    model->resizeSelected(ResizeHandle::topLeft, {nan, 0});
    model->rotateSelected(INFINITY);
    model->updateSelectedStyle(std::nullopt, nan, INFINITY);
    model->updateSelectedFill(Annotation::Fill{"#FFFFFF", nan});
    model->setStrokeWidth(nan);
    EXPECT_EQ(model->annotations(), before);

    // A large but finite rotation, as a damaged document may hold, is stored as given.
    model->rotateSelected(1e300);
    EXPECT_EQ(std::get<Annotation::Box>(kindOf(*model, 0)).rotation, 1e300);
}

TEST(ReviewEditing, AnUnknownKindSurvivesEditsAndTheExportOfTheOthers) {
    auto model = makeModel({.width = 64, .height = 48});
    const Annotation unknown = unknownFromDocument();
    model->setAnnotations({unknown});
    const QUuid boxID = model->addAnnotation(boxAt({4, 4, 20, 10}));
    model->setSelectedAnnotationIDs({unknown.id, boxID});
    model->moveSelected(3, 3);
    model->rotateSelected(1);
    model->updateSelectedStyle("#34C759", 2, 1);
    model->setOutline(true);
    model->setSelectedAnnotationID(unknown.id);
    model->resizeSelected(ResizeHandle::bottomRight, {60, 60});
    model->rotateSelected(2);
    model->updateSelectedText(std::optional<QString>("Serif"), Annotation::TextAlignment::right);

    ASSERT_EQ(model->annotations().size(), 2u);
    EXPECT_EQ(model->annotations()[0], unknown);
    EXPECT_EQ(SidecarKit::AnnotationJSON::encode(model->annotations()[0]).serialized(),
              SidecarKit::AnnotationJSON::encode(unknown).serialized());

    const QImage flattened = ExportKit::Exporter::flatten(model->activeImage(), model->annotations());
    EXPECT_NE(flattened, model->image()) << "the box is drawn";
    EXPECT_EQ(model->annotations()[0], unknown);

    model->deleteSelectedAnnotation(); // deletion is the one thing that applies to it
    ASSERT_EQ(model->annotations().size(), 1u);
    EXPECT_EQ(model->annotations()[0].id, boxID);
}
