// The popover kit and the backdrop popover, driven with clicks in a popup of the popover glass
// panel on the offscreen platform and read back from the review model; pixel probes compare the
// exported backdrop with the canvas preview. Screenshots of the popover go to artefacts/.
#include "../CanvasTestSupport.h"
#include "../ReviewTestSupport.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/CustomColorPanel.h"
#include "BrindlecastApp/Editor/Popovers/BackdropPopover.h"
#include "BrindlecastApp/Editor/Popovers/PopoverControls.h"
#include "BrindlecastApp/Review/Color.h"
#include "BrindlecastApp/Design/PillToggle.h"
#include "ExportKit/Exporter.h"
#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QColorDialog>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <numbers>

using namespace BrindlecastApp;
using ExportKit::Backdrop;
using TestSupport::waitUntil;

namespace {

void click(QWidget* widget, QPoint at) { QTest::mouseClick(widget, Qt::LeftButton, {}, at); }
void click(QWidget* widget) { click(widget, widget->rect().center()); }

// A popup of the popover glass panel holding the backdrop popover, as the toolbar shows it.
struct PopoverHost {
    explicit PopoverHost(ReviewViewModel& model, bool dark = false)
        : defaults(TestSupport::makeTemporaryFolder("theme") + "/preferences.json"), theme(&defaults) {
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
        window.setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
        window.setAttribute(Qt::WA_TranslucentBackground);
        ThemedRoot::install(&window, &theme);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        panel = new GlassPanel(GlassVariant::popover, std::nullopt, &window);
        auto* inside = new QVBoxLayout(panel);
        inside->setContentsMargins(0, 0, 0, 0);
        popover = new BackdropPopover(model, panel);
        inside->addWidget(popover);
        layout->addWidget(panel);
        window.show();
        QApplication::processEvents();
    }

    void save(const QString& name) {
        window.adjustSize();
        // After the entrance and the switch's move.
        EXPECT_TRUE(waitUntil([&] { return PopoverControls::floatInFrame(panel).opacity == 1; }, 10000));
        PillToggle* toggle = popover->toggle();
        EXPECT_TRUE(waitUntil([&] {
            const double knob = toggle->knobRect().center().x();
            return toggle->isOn() ? knob > toggle->width() - toggle->height() / 2.0 - 1 : knob < toggle->height() / 2.0 + 1;
        }, 10000));
        window.grab().save(CanvasTesting::artefactsFolder() + "/" + name);
    }

    Support::UserDefaults defaults;
    Theme theme;
    QWidget window;
    GlassPanel* panel = nullptr;
    BackdropPopover* popover = nullptr;
};

std::unique_ptr<ReviewViewModel> model(int width = 1000, int height = 600) {
    ReviewTesting::ModelOptions options;
    options.width = width;
    options.height = height;
    return ReviewTesting::makeModel(options);
}

Backdrop gradient(const char* a, const char* b, double padding, double corners) {
    return Backdrop{Backdrop::Gradient{a, b, 7 * std::numbers::pi / 4}, padding, corners};
}

} // namespace

// --- The kit -----------------------------------------------------------------------------------

TEST(PopoverControls, ThePaletteIsTheTokensPaletteAsUpperCaseHex) {
    const QList<QColor> tokens = Tokens::defaults().applePalette;
    ASSERT_EQ(PopoverControls::palette().size(), tokens.size());
    for (int i = 0; i < tokens.size(); ++i) EXPECT_EQ(PopoverControls::palette()[i], Color::hexRGB(tokens[i])) << i;
    EXPECT_EQ(PopoverControls::palette().first(), "#FF3B30");
    EXPECT_EQ(PopoverControls::palette().last(), "#FFFFFF");
}

TEST(PopoverControls, TheGridMarksItsSelectionInAnyCaseAndPicksPassThePalettesString) {
    struct Case {
        std::optional<QString> selection;
        int marked; // -1: none
    };
    for (const Case& c : {Case{std::nullopt, -1}, Case{"#ff3b30", 0}, Case{"#FF3B30", 0}, Case{"#1d1d1f", 13},
                          Case{"#123456", -1}}) {
        QString picked;
        PaletteGrid grid(c.selection, [&](const QString& hex) { picked = hex; });
        grid.resize(188, grid.heightForWidth(188));
        grid.show();
        for (int i = 0; i < int(grid.swatches().size()); ++i)
            EXPECT_EQ(grid.swatches()[std::size_t(i)]->isSelectedSwatch(), i == c.marked)
                << c.selection.value_or("none").toStdString() << " swatch " << i;
        Swatch* first = grid.swatches().front();
        click(first, first->discRect().center().toPoint());
        EXPECT_EQ(picked, "#FF3B30");
    }
}

TEST(PopoverControls, FifteenSwatchesFillThreeRowsOfFive84PointsHigh) {
    PaletteGrid grid(std::nullopt, [](const QString&) {});
    grid.resize(194, grid.heightForWidth(194));
    grid.show();
    const int margin = (Swatch::kSide - Swatch::kDisc) / 2;
    EXPECT_EQ(grid.height() - 2 * margin, 84);
    std::set<int> rows, columns;
    for (Swatch* swatch : grid.swatches()) {
        rows.insert(swatch->geometry().center().y());
        columns.insert(swatch->geometry().center().x());
    }
    EXPECT_EQ(rows.size(), 3u);
    EXPECT_EQ(columns.size(), 5u);
    EXPECT_EQ(*std::next(rows.begin()) - *rows.begin(), Swatch::kDisc + 9);
}

TEST(PopoverControls, AHeaderShowsItsTitleInCapitalsAndTheDividerFollowsTheScheme) {
    PopoverHeader lower("Backdrop"), upper("BACKDROP");
    EXPECT_EQ(lower.shownText(), "BACKDROP");
    lower.resize(180, lower.sizeHint().height());
    upper.resize(180, upper.sizeHint().height());
    EXPECT_EQ(lower.grab().toImage(), upper.grab().toImage());

    for (const bool dark : {false, true}) {
        Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("theme") + "/preferences.json");
        Theme theme(&defaults);
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
        QWidget root;
        ThemedRoot::install(&root, &theme);
        auto* divider = new PopoverDivider(&root);
        EXPECT_EQ(divider->height(), 1);
        EXPECT_EQ(divider->color(), dark ? QColor(255, 255, 255, 25) : QColor(0, 0, 0, 20));
    }
}

TEST(PopoverControls, AHoveredSwatchSpringsTo118AndBack) {
    Swatch swatch("#34C759", true, [] {});
    swatch.show();
    QEnterEvent enter(QPointF(17, 17), QPointF(17, 17), QPointF(17, 17));
    QApplication::sendEvent(&swatch, &enter);
    EXPECT_TRUE(waitUntil([&] { return std::abs(swatch.drawnScale() - 1.18) < 0.005; }, 10000));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&swatch, &leave);
    EXPECT_TRUE(waitUntil([&] { return std::abs(swatch.drawnScale() - 1) < 0.005; }, 10000));
}

TEST(PopoverControls, AFloatingPanelComesInFromBelowFadedAndSmaller) {
    EXPECT_EQ(PopoverControls::floatInAnimation(), Animation::easeOut(0.16));
    QWidget window;
    auto* panel = new QWidget(&window);
    panel->resize(100, 100);
    PopoverControls::floatIn(panel);
    const PopoverControls::FloatInFrame start = PopoverControls::floatInFrame(panel);
    EXPECT_DOUBLE_EQ(start.opacity, 0);
    EXPECT_DOUBLE_EQ(start.offset, 14);
    EXPECT_DOUBLE_EQ(start.scale, 0.985);
    window.show();
    EXPECT_TRUE(waitUntil([&] { return PopoverControls::floatInFrame(panel).opacity == 1; }, 10000));
    const PopoverControls::FloatInFrame rest = PopoverControls::floatInFrame(panel);
    EXPECT_DOUBLE_EQ(rest.offset, 0);
    EXPECT_DOUBLE_EQ(rest.scale, 1);
    // Shown again, it comes in again.
    window.hide();
    EXPECT_DOUBLE_EQ(PopoverControls::floatInFrame(panel).opacity, 0);
}

// --- The backdrop popover ------------------------------------------------------------------------

TEST(BackdropPopover, SwitchingOnAFreshPopoverGivesTheFirstPresetAt315Degrees) {
    auto capture = model();
    PopoverHost host(*capture);
    EXPECT_FALSE(host.popover->slidersShown());
    host.save("backdrop-popover-off.png");
    click(host.popover->toggle());
    EXPECT_EQ(capture->backdrop(), gradient("#F9CF93", "#3A3F78", 64, 12));
    EXPECT_TRUE(host.popover->isPresetMarked(0));
    EXPECT_TRUE(host.popover->slidersShown());
    EXPECT_EQ(host.popover->paddingText(), "64 px");
    EXPECT_EQ(host.popover->cornerText(), "12 px");
    host.save("backdrop-popover-light.png");
    PopoverHost dark(*capture, true);
    dark.save("backdrop-popover-dark.png");
}

// The frame is 214 wide whatever shows; rows stand 10 apart as high as their tiles, discs and
// rules, the rings and the hover growth reaching past them; the sliders take the scheme's look.
TEST(BackdropPopover, TheFrameIs214WideAndRingsTakeNoRoomFromTheRows) {
    auto capture = model();
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        for (const Backdrop& backdrop : {Backdrop::none(), gradient("#F9CF93", "#3A3F78", 64, 12)}) {
            capture->setBackdrop(backdrop);
            PopoverHost host(*capture, dark);
            host.window.adjustSize();
            BackdropPopover* popover = host.popover;
            EXPECT_EQ(popover->width(), 214);
            EXPECT_EQ(host.window.width(), 214);
            const auto inPopover = [&](QWidget* widget, const QRectF& rect) {
                return rect.translated(widget->mapTo(popover, QPoint(0, 0)));
            };
            // The tiles: 30 square, 9 apart, 13 in from the leading edge.
            const QRectF first = inPopover(popover->presetTile(0), QRectF(3, 3, 30, 30));
            const QRectF second = inPopover(popover->presetTile(1), QRectF(3, 3, 30, 30));
            EXPECT_EQ(first.left(), 13);
            EXPECT_EQ(second.left() - first.right(), 9);
            const QRect header = popover->toggle()->parentWidget()->geometry();
            EXPECT_EQ(first.top() - header.bottom() - 1, 10);
            const std::vector<Swatch*>& swatches = popover->palette()->swatches();
            const QRectF top = inPopover(swatches.front(), swatches.front()->discRect());
            const QRectF bottom = inPopover(swatches.back(), swatches.back()->discRect());
            EXPECT_EQ(bottom.bottom() - top.top(), 84);
            // Tile row, rule, palette and the custom colour row stand 10 apart.
            const auto* rule = popover->findChildren<PopoverDivider*>().front();
            EXPECT_EQ(rule->y() - first.bottom(), 10);
            EXPECT_EQ(top.top() - rule->geometry().bottom() - 1, 10);
            const QWidget* customRow = popover->findChild<CustomColorRow*>();
            EXPECT_EQ(customRow->y() - bottom.bottom(), 10);
            if (!popover->slidersShown()) {
                EXPECT_EQ(popover->height() - customRow->geometry().bottom() - 1, 13);
            }
            // The slider's groove is drawn in the scheme's colours.
            if (popover->slidersShown()) {
                const QImage slider = popover->paddingSlider()->grab().toImage();
                const QColor groove = slider.pixelColor(slider.width() - 6, slider.height() / 2);
                EXPECT_EQ(groove.lightnessF() < 0.5, dark) << groove.name().toStdString();
            }
        }
    }
}

TEST(BackdropPopover, EveryPresetWrittenOffKeepsNoPaddingAndOnKeepsTheSliders) {
    for (int i = 0; i < 5; ++i) {
        auto capture = model();
        PopoverHost host(*capture);
        const auto& preset = BackdropPopover::gradients()[std::size_t(i)];
        click(host.popover->presetTile(i));
        EXPECT_EQ(capture->backdrop(), gradient(preset.a, preset.b, 0, 0)) << i;
        EXPECT_TRUE(host.popover->slidersShown());
        EXPECT_EQ(host.popover->paddingText(), "0 px");
        for (int j = 0; j < 5; ++j) EXPECT_EQ(host.popover->isPresetMarked(j), i == j);

        capture->setBackdrop(Backdrop{Backdrop::Solid{"#FFFFFF"}, 40, 8});
        click(host.popover->presetTile(i));
        EXPECT_EQ(capture->backdrop(), gradient(preset.a, preset.b, 40, 8)) << i;
    }
}

TEST(BackdropPopover, EveryPaletteColourBecomesASolidBackdropAndItsSwatchIsMarked) {
    auto capture = model();
    PopoverHost host(*capture);
    capture->setBackdrop(gradient("#8EC5FF", "#1B2A6B", 30, 6));
    for (Swatch* swatch : host.popover->palette()->swatches()) {
        click(swatch, swatch->discRect().center().toPoint());
        EXPECT_EQ(capture->backdrop(), (Backdrop{Backdrop::Solid{swatch->hex()}, 30, 6})) << swatch->hex().toStdString();
        EXPECT_TRUE(swatch->isSelectedSwatch());
        for (int i = 0; i < 5; ++i) EXPECT_FALSE(host.popover->isPresetMarked(i));
    }
    // A solid colour outside the palette marks nothing.
    capture->setBackdrop(Backdrop{Backdrop::Solid{"#123456"}, 30, 6});
    for (Swatch* swatch : host.popover->palette()->swatches()) EXPECT_FALSE(swatch->isSelectedSwatch());
}

// In the dark scheme every swatch's disc stands out at its edge from the panel around it, the
// near-black one included.
TEST(BackdropPopover, EverySwatchStandsOutFromTheDarkPanel) {
    auto capture = model();
    PopoverHost host(*capture, true);
    host.save("backdrop-popover-dark-swatches.png");
    const QImage grab = host.window.grab().toImage();
    const double scale = grab.devicePixelRatio();
    for (Swatch* swatch : host.popover->palette()->swatches()) {
        SCOPED_TRACE(swatch->hex().toStdString());
        const QPointF centre = QPointF(swatch->mapTo(&host.window, QPoint(0, 0))) + swatch->discRect().center();
        int weakest = 1000;
        for (int step = 0; step < 8; ++step) {
            const double angle = step * std::numbers::pi / 4;
            const QPointF direction(std::cos(angle), std::sin(angle));
            const auto pixel = [&](double radius) {
                const QPointF at = (centre + radius * direction) * scale;
                return grab.pixelColor(int(std::floor(at.x())), int(std::floor(at.y())));
            };
            const QColor edge = pixel(10.5), around = pixel(12.5);
            weakest = std::min(weakest, std::abs(edge.red() - around.red()) + std::abs(edge.green() - around.green()) +
                                            std::abs(edge.blue() - around.blue()));
        }
        EXPECT_GE(weakest, 40);
    }
}

TEST(BackdropPopover, TheSlidersWritePaddingAndCornersAndOffThenOnRestoresTheExactBackdrop) {
    auto capture = model(1000, 600);
    PopoverHost host(*capture);
    EXPECT_DOUBLE_EQ(BackdropPopover::maximumPadding(*capture), 180);
    click(host.popover->palette()->swatches()[7]);
    click(host.popover->palette()->swatches()[7], host.popover->palette()->swatches()[7]->discRect().center().toPoint());
    host.popover->paddingSlider()->setValue(250); // a quarter of 180
    host.popover->cornerSlider()->setValue(1000);
    const Backdrop chosen{Backdrop::Solid{"#007AFF"}, 45, 48};
    EXPECT_EQ(capture->backdrop(), chosen);
    EXPECT_EQ(host.popover->lastBackdrop(), chosen);
    EXPECT_EQ(host.popover->paddingText(), "45 px");

    click(host.popover->toggle());
    EXPECT_EQ(capture->backdrop(), Backdrop::none());
    EXPECT_FALSE(host.popover->slidersShown());
    for (Swatch* swatch : host.popover->palette()->swatches()) EXPECT_FALSE(swatch->isSelectedSwatch());
    click(host.popover->toggle());
    EXPECT_EQ(capture->backdrop(), chosen);
}

TEST(BackdropPopover, APaddingAboveASmallImagesRangeIsShownAndNotRewritten) {
    auto capture = model(100, 80);
    capture->setBackdrop(gradient("#F9CF93", "#3A3F78", 64, 12));
    QSignalSpy writes(capture.get(), &ReviewViewModel::backdropChanged);
    PopoverHost host(*capture);
    EXPECT_DOUBLE_EQ(BackdropPopover::maximumPadding(*capture), 24);
    EXPECT_EQ(host.popover->paddingSlider()->value(), host.popover->paddingSlider()->maximum());
    EXPECT_EQ(capture->backdrop().padding, 64);
    EXPECT_EQ(host.popover->paddingText(), "64 px");
    EXPECT_EQ(writes.count(), 0);
    // Moving the corners leaves the padding as it was.
    host.popover->cornerSlider()->setValue(500);
    EXPECT_EQ(capture->backdrop(), gradient("#F9CF93", "#3A3F78", 64, 24));
}

TEST(BackdropPopover, ValuesRoundHalvesUpAndLowerCaseGradientsMarkTheirTile) {
    auto capture = model();
    capture->setBackdrop(Backdrop{Backdrop::Gradient{"#c8f7d4", "#155e4a", 0.5}, 63.5, 2.49});
    PopoverHost host(*capture);
    EXPECT_TRUE(host.popover->isPresetMarked(2));
    EXPECT_EQ(host.popover->paddingText(), "64 px");
    EXPECT_EQ(host.popover->cornerText(), "2 px");
    EXPECT_EQ(host.popover->customColor(), QColor(88, 86, 214));
}

TEST(BackdropPopover, TheCustomColourWritesTheCaptureItWasOpenedForEvenAfterThePopoverCloses) {
    auto capture = model();
    auto other = model();
    QSignalSpy writes(capture.get(), &ReviewViewModel::backdropChanged);
    {
        PopoverHost host(*capture);
        capture->setBackdrop(gradient("#F9CF93", "#3A3F78", 20, 4));
        writes.clear();
        QAbstractButton* row = host.popover->findChild<CustomColorRow*>();
        ASSERT_TRUE(row);
        click(row);
        ASSERT_TRUE(CustomColorPanel::panel());
        EXPECT_EQ(CustomColorPanel::boundModel(), capture.get());
        EXPECT_EQ(writes.count(), 0) << "opening wrote";
        EXPECT_EQ(CustomColorPanel::panel()->currentColor(), QColor(88, 86, 214));
        CustomColorPanel::panel()->setCurrentColor(QColor(10, 20, 30));
        CustomColorPanel::panel()->setCurrentColor(QColor(40, 50, 60));
    }
    // The popover is gone; the chooser still writes into its capture.
    CustomColorPanel::panel()->setCurrentColor(QColor(0xAB, 0xCD, 0xEF));
    EXPECT_EQ(writes.count(), 3);
    EXPECT_EQ(capture->backdrop(), (Backdrop{Backdrop::Solid{"#ABCDEF"}, 20, 4}));
    EXPECT_EQ(other->backdrop(), Backdrop::none());
    CustomColorPanel::detach(capture.get());
    CustomColorPanel::panel()->hide();
}

// What the export draws is what the canvas previewed: probes in the backdrop and in the image.
TEST(BackdropPopover, TheExportOfTheChosenBackdropMatchesTheCanvasPreview) {
    CanvasTesting::CanvasHarness harness(CanvasTesting::stripedImage(400, 300));
    // The canvas fits the image and draws the backdrop around it: zoomed out, all of it shows.
    harness.model.setZoom(0.6);
    PopoverHost host(harness.model);
    click(host.popover->presetTile(1));
    host.popover->paddingSlider()->setValue(500); // 45 of 90
    QApplication::processEvents();
    const double pad = harness.model.backdrop().padding;
    ASSERT_DOUBLE_EQ(pad, 45);
    const QImage exported =
        ExportKit::Exporter::applyBackdrop(harness.model.activeImage(), harness.model.backdrop()).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(exported.size(), QSize(490, 390));
    QApplication::processEvents();
    const QImage frame = harness.frame();
    frame.save(CanvasTesting::artefactsFolder() + "/backdrop-canvas-preview.png");
    exported.save(CanvasTesting::artefactsFolder() + "/backdrop-export.png");
    const QPointF probes[] = {{22, 195}, {245, 20}, {468, 195}, {245, 370}, {57, 60}, {433, 330},
                              {49, 200}, {249, 195}, {441, 200}}; // image probes in the middle of its 8-pixel stripes
    for (const QPointF& probe : probes) {
        const Support::Point view = harness.canvas.toView(Support::Point{probe.x() - pad, probe.y() - pad});
        const QColor shown = frame.pixelColor(int(view.x), int(view.y));
        const QColor drawn = exported.pixelColor(probe.toPoint());
        const int difference = std::abs(shown.red() - drawn.red()) + std::abs(shown.green() - drawn.green()) +
                               std::abs(shown.blue() - drawn.blue());
        EXPECT_LT(difference, 30) << "at " << probe.x() << "," << probe.y() << ": canvas " << shown.name().toStdString()
                                  << ", export " << drawn.name().toStdString();
    }
}
