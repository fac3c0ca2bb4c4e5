#include "StyleStripTestSupport.h"

#include "BrindlecastApp/Editor/CustomColorPanel.h"
#include "BrindlecastApp/Review/Color.h"

#include <QColorDialog>

#include <gtest/gtest.h>

using namespace StripTesting;

namespace {

// Everything a colour change could touch.
struct Looks {
    std::vector<Annotation> annotations;
    QString color;
    std::optional<QString> outlineColor;
    std::optional<Annotation::Fill> fill;
    ExportKit::Backdrop backdrop;
    explicit Looks(const ReviewViewModel& m)
        : annotations(m.annotations()), color(m.defaultStrokeColorHex()), outlineColor(m.defaultOutlineColorHex()),
          fill(m.defaultFill()), backdrop(m.backdrop()) {}
    bool operator==(const Looks&) const = default;
};

// The user moves the shared chooser to `color`.
void choose(const QColor& color) {
    QColorDialog* panel = CustomColorPanel::panel();
    ASSERT_NE(panel, nullptr);
    panel->setCurrentColor(color);
}

ExportKit::Backdrop gradientBackdrop() {
    return ExportKit::Backdrop{ExportKit::Backdrop::Gradient{"#112233", "#445566", 0.5}, 40, 12};
}

} // namespace

TEST(CustomColorPanel, OpeningFromEachCallerWritesNothing) {
    struct Caller {
        const char* name;
        std::function<void(StripWindow&)> prepare;
        std::function<void(StripWindow&)> open;
        QColor preset;
    };
    const Caller callers[] = {
        {"custom well over a custom colour",
         [](StripWindow& w) { w.annotate({arrow(style("#30B0C7"))}, {0}); },
         [](StripWindow& w) { click(w.strip()->swatchRow()->customWell()); }, QColor("#30B0C7")},
        {"outline well with the automatic colour",
         [](StripWindow& w) {
             Style s = style();
             s.outline = true;
             w.annotate({arrow(s)}, {0});
         },
         [](StripWindow& w) { click(w.strip()->outlineColorWell()->button()); }, QColor(Qt::white)},
        {"backdrop row over a gradient",
         [](StripWindow& w) { w.model->setBackdrop(gradientBackdrop()); },
         [](StripWindow& w) {
             CustomColorPanel::open(QColor("#112233"), *w.model, [](ReviewViewModel& m, const QString& hex) {
                 m.setBackdrop(ExportKit::Backdrop{ExportKit::Backdrop::Solid{hex}, m.backdrop().padding, m.backdrop().cornerRadius});
             });
         },
         QColor("#112233")},
    };
    for (const Caller& caller : callers) {
        StripWindow w;
        caller.prepare(w);
        // The chooser already shows another colour: presetting it is a change of its own.
        if (CustomColorPanel::panel()) CustomColorPanel::panel()->setCurrentColor(QColor("#010203"));
        const Looks before(*w.model);
        caller.open(w);
        QColorDialog* panel = CustomColorPanel::panel();
        ASSERT_NE(panel, nullptr) << caller.name;
        EXPECT_TRUE(panel->isVisible()) << caller.name;
        EXPECT_FALSE(panel->testOption(QColorDialog::ShowAlphaChannel)) << caller.name;
        EXPECT_EQ(panel->currentColor().rgb(), caller.preset.rgb()) << caller.name;
        EXPECT_TRUE(Looks(*w.model) == before) << caller.name;
        EXPECT_EQ(CustomColorPanel::boundModel(), w.model.get()) << caller.name;
    }
}

TEST(CustomColorPanel, ChangesGoToWhoeverOpenedItLastWithinTheCapture) {
    StripWindow w;
    w.model->setTool(AnnotationTool::select);
    Style outlined = style();
    outlined.outline = true;
    w.annotate({arrow(outlined), arrow(outlined), box(outlined)}, {0, 1, 2});
    // Several selected: the strip is absent under the select tool, so pick a drawing tool.
    w.model->setTool(AnnotationTool::arrow);
    click(w.strip()->swatchRow()->customWell());
    choose(QColor("#30B0C7"));
    EXPECT_EQ(w.model->defaultStrokeColorHex(), "#30B0C7");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(w.styleOf(i).colorHex, "#30B0C7");
    EXPECT_TRUE(w.strip()->swatchRow()->ringShown(-1));
    // A colour that is a swatch's marks that swatch.
    choose(QColor("#34C759"));
    EXPECT_TRUE(w.strip()->swatchRow()->ringShown(2));
    EXPECT_FALSE(w.strip()->swatchRow()->ringShown(-1));

    // A tool switch hides the strip's row; the chooser still writes into this capture.
    w.model->setTool(AnnotationTool::crop);
    w.model->setTool(AnnotationTool::select);
    w.model->setSelectedAnnotationIDs({w.model->annotations()[0].id});
    choose(QColor("#AABBCC"));
    EXPECT_EQ(w.styleOf(0).colorHex, "#AABBCC");
    EXPECT_EQ(w.styleOf(1).colorHex, "#34C759");

    // Opened from the outline well, it sets the outline colour of every selected annotation only.
    w.model->setTool(AnnotationTool::arrow);
    w.model->setSelectedAnnotationIDs({w.model->annotations()[0].id, w.model->annotations()[1].id,
                                       w.model->annotations()[2].id});
    w.model->setDefaultStrokeOutline(true);
    click(w.strip()->outlineColorWell()->button());
    choose(QColor("#102030"));
    EXPECT_EQ(w.model->defaultOutlineColorHex(), "#102030");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(w.styleOf(i).outlineColorHex, "#102030");
    EXPECT_EQ(w.styleOf(1).colorHex, "#34C759");
    EXPECT_TRUE(w.model->undoStack().empty());
}

TEST(CustomColorPanel, AReplacedOrClosedCaptureIsWrittenNoMore) {
    for (const bool close : {false, true}) {
        StripWindow w;
        w.model->setTool(AnnotationTool::arrow);
        w.annotate({arrow()}, {0});
        click(w.strip()->swatchRow()->customWell());
        const Looks firstBefore(*w.model);

        auto next = std::shared_ptr<ReviewViewModel>(ReviewTesting::makeModel({.width = 300, .height = 200}));
        next->setTool(AnnotationTool::arrow);
        const Looks nextBefore(*next);
        if (close) {
            w.controller->close();
        } else {
            EditorContent content;
            content.viewModel = next.get();
            content.owner = next;
            content.filename = "next.png";
            w.controller->load(content);
        }
        settle();
        EXPECT_EQ(CustomColorPanel::boundModel(), nullptr) << close;
        choose(QColor("#445566"));
        EXPECT_TRUE(Looks(*w.model) == firstBefore) << close;
        EXPECT_TRUE(Looks(*next) == nextBefore) << close;
    }
    // A binding to a model that is gone writes nowhere.
    {
        auto model = std::shared_ptr<ReviewViewModel>(ReviewTesting::makeModel());
        int calls = 0;
        CustomColorPanel::open(Qt::red, *model, [&calls](ReviewViewModel&, const QString&) { ++calls; });
        model.reset();
        choose(QColor("#445566"));
        EXPECT_EQ(calls, 0);
    }
}
