#include "BrindlecastApp/Review/EditorTextField.h"
#include "BrindlecastApp/Review/ReviewShellView.h"
#include "BrindlecastApp/Review/ShellControls.h"

#include "CanvasTestSupport.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using namespace CanvasTesting;

namespace {

const Annotation::Style kGreenText("#34C759", 30, 1, true, QString("#000000"), true);

Annotation::Text textOf(const Annotation& a) { return std::get<Annotation::Text>(a.kind); }

void type(EditorTextField* field, const QString& text) {
    field->selectAll();
    QTest::keyClicks(field, text);
}

QUuid addText(ReviewViewModel& model, const QString& string, Annotation::TextAlignment alignment = Annotation::TextAlignment::center) {
    const QUuid id = model.addAnnotation(Annotation::Text{{300, 300}, string, kGreenText, QString("DejaVu Serif"), alignment, 0.25});
    return id;
}

} // namespace

TEST(CanvasTextEditing, NewTextIsCommittedByReturnOrAClickAndNothingWhenEmpty) {
    struct Case {
        const char* name;
        QString typed;
        bool commitByClick;
        std::size_t annotations;
    };
    const Case cases[] = {{"Return", "Hello", false, 1}, {"click elsewhere", "Hello", true, 1}, {"nothing typed", "", true, 0}};
    for (const Case& c : cases) {
        CanvasHarness h;
        h.model.setTool(AnnotationTool::text);
        h.click(200, 200);
        ASSERT_NE(h.canvas.textEditor(), nullptr) << c.name;
        EXPECT_GE(h.canvas.textEditor()->width(), 240) << c.name;
        type(h.canvas.textEditor(), c.typed);
        if (c.commitByClick) {
            h.click(700, 500);
        } else {
            QTest::keyClick(h.canvas.textEditor(), Qt::Key_Return);
        }
        EXPECT_EQ(h.canvas.textEditor(), nullptr) << c.name;
        ASSERT_EQ(h.model.annotations().size(), c.annotations) << c.name;
        EXPECT_EQ(h.model.tool(), AnnotationTool::select) << c.name;
        if (c.annotations == 0) continue;
        const auto text = textOf(h.model.annotations()[0]);
        EXPECT_EQ(text.string, c.typed) << c.name;
        EXPECT_EQ(text.origin, (Point{200, 200})) << c.name;
        EXPECT_EQ(text.style.lineWidth, 28) << c.name; // max(600 x 0.04, 28)
    }
}

// Re-editing keeps the text in the model (undo can bring back what it was) and changes only
// its string and colour.
TEST(CanvasTextEditing, ReEditCancelEmptyAndUndo) {
    // Changed: one undo step returns the old string; id, z-index, family, alignment, rotation,
    // outline and shadow stay.
    {
        CanvasHarness h;
        h.model.addAnnotation(Annotation::Box{Rect(50, 50, 10, 10), kGreenText, std::nullopt, 0});
        const QUuid id = addText(h.model, "Before");
        h.model.setTool(AnnotationTool::text);
        h.click(330, 318); // inside the text, clear of its grips
        ASSERT_NE(h.canvas.textEditor(), nullptr);
        EXPECT_EQ(h.model.annotations().size(), 2u); // still there while edited
        type(h.canvas.textEditor(), "After");
        QTest::keyClick(h.canvas.textEditor(), Qt::Key_Return);
        ASSERT_EQ(h.model.annotations().size(), 2u);
        const Annotation& edited = h.model.annotations()[1];
        EXPECT_EQ(edited.id, id);
        EXPECT_EQ(edited.zIndex, 1);
        const auto text = textOf(edited);
        EXPECT_EQ(text.string, "After");
        EXPECT_EQ(text.fontFamily, QString("DejaVu Serif"));
        EXPECT_EQ(text.alignment, Annotation::TextAlignment::center);
        EXPECT_EQ(text.rotation, 0.25);
        EXPECT_TRUE(text.style.outline);
        EXPECT_EQ(text.style.outlineColorHex, QString("#000000"));
        EXPECT_TRUE(text.style.shadow);
        EXPECT_EQ(text.style.colorHex, "#34C759");
        EXPECT_EQ(h.model.selectedAnnotationID(), id);
        h.model.undo();
        EXPECT_EQ(textOf(h.model.annotations()[1]).string, "Before");
    }
    // Emptied: the text goes, and undo brings it back whole.
    {
        CanvasHarness h;
        const QUuid id = addText(h.model, "Gone soon");
        h.model.setSelectedAnnotationIDs({});
        h.canvas.setFocus();
        QTest::mouseDClick(&h.canvas, Qt::LeftButton, {}, h.at(310, 310));
        ASSERT_NE(h.canvas.textEditor(), nullptr);
        type(h.canvas.textEditor(), "");
        QTest::keyClick(h.canvas.textEditor(), Qt::Key_Backspace);
        QTest::keyClick(h.canvas.textEditor(), Qt::Key_Return);
        EXPECT_TRUE(h.model.annotations().empty());
        h.model.undo();
        ASSERT_EQ(h.model.annotations().size(), 1u);
        EXPECT_EQ(h.model.annotations()[0].id, id);
        EXPECT_EQ(textOf(h.model.annotations()[0]).string, "Gone soon");
    }
    // Cancelled: the model is as it was, the tool too.
    {
        CanvasHarness h;
        addText(h.model, "Stays");
        const auto before = h.model.annotations();
        const auto undoDepth = h.model.undoStack().size();
        h.model.setTool(AnnotationTool::text);
        h.click(330, 318); // inside the text, clear of its grips
        type(h.canvas.textEditor(), "Changed");
        QTest::keyClick(h.canvas.textEditor(), Qt::Key_Escape);
        EXPECT_EQ(h.canvas.textEditor(), nullptr);
        EXPECT_EQ(h.model.annotations(), before);
        EXPECT_EQ(h.model.undoStack().size(), undoDepth);
        EXPECT_EQ(h.model.tool(), AnnotationTool::text);
    }
}

// Opening a text takes its colour for the editor, but recolours nothing else that was selected.
TEST(CanvasTextEditing, OpeningATextRecoloursNoOtherAnnotation) {
    CanvasHarness h;
    const Annotation::Style blue("#007AFF", 4, 1, false, std::nullopt, false);
    const QUuid box = h.model.addAnnotation(Annotation::Box{Rect(600, 100, 100, 100), blue, std::nullopt, 0});
    const QUuid text = addText(h.model, "Green");
    h.model.setSelectedAnnotationIDs({box, text});
    h.model.setDefaultFill(Annotation::Fill("#FF3B30", 0.5));
    QTest::mouseDClick(&h.canvas, Qt::LeftButton, {}, h.at(310, 310));
    ASSERT_NE(h.canvas.textEditor(), nullptr);
    EXPECT_EQ(h.model.defaultStrokeColorHex(), "#34C759");
    EXPECT_EQ(h.model.defaultFill(), Annotation::Fill("#34C759", 0.5));
    EXPECT_EQ(std::get<Annotation::Box>(h.model.annotations()[0].kind).style.colorHex, "#007AFF");
}

// Whatever reads the annotations while a text is being typed reads it too: Copy and Export.
TEST(CanvasTextEditing, CopyAndExportTakeTheOpenEdit) {
    for (const auto destination : ExportKit::allDestinationKinds) {
        ReviewViewModel model(stripedImage(1000, 600), {}, PolicyKit::EffectivePolicy::safeDefaults(), std::nullopt, [] {},
                              ReviewViewModel::Environment{1.0, [](const QImage&, const std::vector<DetectionKit::PatternInput>&) {
                                                               return std::vector<Detection>{};
                                                           }});
        std::vector<ReviewDecision> decisions;
        model.setFinish([&decisions](const ReviewDecision& d) { decisions.push_back(d); });
        ReviewShellView shell(model);
        shell.resize(canvasSizeForOneToOne(1000, 600));
        shell.show();
        QApplication::processEvents();
        model.setTool(AnnotationTool::text);
        QTest::mouseClick(shell.canvas(), Qt::LeftButton, {}, viewOf({100, 100}));
        ASSERT_NE(shell.canvas()->textEditor(), nullptr);
        QTest::keyClicks(shell.canvas()->textEditor(), "typed, not yet committed");
        QTest::mouseClick(shell.destinationButton(destination), Qt::LeftButton);
        ASSERT_EQ(decisions.size(), 1u);
        const auto& exported = std::get<ReviewDecision::Export>(decisions[0].value);
        EXPECT_EQ(exported.destination, destination);
        ASSERT_EQ(exported.annotations.size(), 1u);
        EXPECT_EQ(std::get<Annotation::Text>(exported.annotations[0].kind).string, "typed, not yet committed");
    }
}
