#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Settings/AccentSwatch.h"
#include "BrindlecastApp/Settings/MacCheckbox.h"
#include "BrindlecastApp/Settings/MiniSegmented.h"
#include "BrindlecastApp/Design/PillToggle.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsCheckRow.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "BrindlecastApp/Settings/ThemeSegmented.h"
#include "../ThemedWindow.h"

#include <QDir>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QTest>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

// Within `tolerance` of `expected` in every premultiplied channel (faint colours lose their hue
// to rounding when read back unpremultiplied).
::testing::AssertionResult near(QColor actual, QColor expected, int tolerance = 3) {
    const QRgb a = actual.rgba64().premultiplied().toArgb32(), e = expected.rgba64().premultiplied().toArgb32();
    const int dr = std::abs(qRed(a) - qRed(e)), dg = std::abs(qGreen(a) - qGreen(e)), db = std::abs(qBlue(a) - qBlue(e)),
              da = std::abs(qAlpha(a) - qAlpha(e));
    if (std::max({dr, dg, db, da}) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << actual.name(QColor::HexArgb).toStdString() << ", expected "
                                         << expected.name(QColor::HexArgb).toStdString();
}

QColor pixel(const QImage& image, QPointF point) { return image.pixelColor(point.toPoint()); }

// A control placed in a themed window of the given scheme, shown.
template <typename W>
struct Hosted {
    explicit Hosted(W* control, ThemeMode mode = ThemeMode::light) : themed(mode), widget(control) {
        auto* layout = new QHBoxLayout(&themed.window);
        layout->setContentsMargins(10, 10, 10, 10);
        layout->addWidget(control);
        themed.window.show();
        control->resize(control->sizeHint());
    }
    QImage render() { return renderAlone(*widget); }
    ThemedWindow themed;
    W* widget;
};

std::vector<std::pair<QString, int>> threeOptions() { return {{"One", 1}, {"Two", 2}, {"Also two", 2}}; }

} // namespace

TEST(MiniSegmented, SegmentsEqualToTheSelectedValueAreDrawnSelected) {
    struct Case {
        int selected;
        QList<bool> expected;
    };
    for (const Case& c : {Case{1, {true, false, false}}, Case{2, {false, true, true}}, Case{9, {false, false, false}}}) {
        MiniSegmented<int> control(threeOptions(), c.selected, false, nullptr);
        QList<bool> drawn;
        for (int i = 0; i < control.count(); ++i) drawn << control.isSegmentSelected(i);
        EXPECT_EQ(drawn, c.expected) << "selected " << c.selected;
    }
    MiniSegmented<int> empty({}, 0, false, nullptr);
    EXPECT_EQ(empty.sizeHint(), QSize(4, 28)); // the track alone
}

TEST(MiniSegmented, EveryClickReportsItsValueAndTheOwnerDecidesTheSelection) {
    std::vector<int> chosen;
    auto* control = new MiniSegmented<int>(threeOptions(), 1, false, [&](const int& v) { chosen.push_back(v); });
    Hosted<MiniSegmented<int>> hosted(control);
    for (int index : {0, 0, 2}) QTest::mouseClick(control, Qt::LeftButton, {}, control->segmentRect(index).center().toPoint());
    EXPECT_EQ(chosen, (std::vector<int>{1, 1, 2}));
    EXPECT_TRUE(control->isSegmentSelected(0)); // nothing moves until the owner says so
    control->setSelected(2);
    EXPECT_FALSE(control->isSegmentSelected(0));
    EXPECT_TRUE(control->isSegmentSelected(1) && control->isSegmentSelected(2));

    control->setLocked(true);
    QTest::mouseClick(control, Qt::LeftButton, {}, control->segmentRect(0).center().toPoint());
    EXPECT_EQ(chosen.size(), 3u);
    EXPECT_TRUE(control->isSegmentSelected(1)); // a locked control keeps showing the value
}

TEST(MiniSegmented, ColoursInBothSchemesAndDimmedWhenLocked) {
    for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        const bool dark = mode == ThemeMode::dark;
        SCOPED_TRACE(dark ? "dark" : "light");
        QImage images[2];
        QRectF first, second;
        for (bool locked : {false, true}) {
            auto* control = new MiniSegmented<int>({{"Suggested", 0}, {"Required", 1}}, 0, locked, nullptr);
            Hosted<MiniSegmented<int>> hosted(control, mode);
            images[locked] = hosted.render();
            first = control->segmentRect(0);
            second = control->segmentRect(1);
        }
        // The bare track beside the unselected segment's label, and the raised plate over it.
        const QPointF trackPoint(second.left() + 2, second.top() + 2), platePoint(first.left() + 3, first.center().y());
        EXPECT_TRUE(near(pixel(images[0], trackPoint), dark ? Design::white(0.09) : Design::black(0.05)));
        const QColor plate = dark ? QColor::fromRgb(14, 14, 18) : QColor::fromRgb(248, 248, 250);
        EXPECT_TRUE(near(pixel(images[0], platePoint), plate, 8));
        // Locked: the same drawing at 0.55.
        for (const QPointF point : {trackPoint, platePoint})
            EXPECT_NEAR(pixel(images[1], point).alphaF(), 0.55 * pixel(images[0], point).alphaF(), 0.02);
    }
}

TEST(PillToggle, AClickAsksForTheOppositeAndTheKnobRestsTwoPointsInside) {
    std::vector<bool> asked;
    PillToggle* toggle = nullptr;
    toggle = new PillToggle(false, [&](bool on) {
        asked.push_back(on);
        toggle->setOn(on); // the owner stores and renders again
    });
    Hosted<PillToggle> hosted(toggle);
    EXPECT_EQ(toggle->knobRect(), QRectF(2, 2, 20, 20));
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_EQ(asked, std::vector<bool>{true});
    EXPECT_TRUE(QTest::qWaitFor([&] { return toggle->knobRect() == QRectF(18, 2, 20, 20); }, 5000));
    QTest::mouseClick(toggle, Qt::LeftButton);
    EXPECT_EQ(asked, (std::vector<bool>{true, false}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return toggle->knobRect() == QRectF(2, 2, 20, 20); }, 5000));
}

TEST(PillToggle, TrackColoursInBothSchemes) {
    for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        const bool dark = mode == ThemeMode::dark;
        for (bool on : {false, true}) {
            Hosted<PillToggle> hosted(new PillToggle(on, nullptr), mode);
            const QImage image = hosted.render();
            const QColor expected = on ? QColor::fromRgb(52, 199, 89) : dark ? Design::white(0.16) : Design::black(0.1);
            const QPointF bare = on ? QPointF(8, 12) : QPointF(32, 12); // track the knob does not cover
            EXPECT_TRUE(near(pixel(image, bare), expected)) << (dark ? "dark " : "light ") << on;
            EXPECT_TRUE(near(pixel(image, hosted.widget->knobRect().center()), Qt::white));
        }
    }
}

TEST(MacCheckbox, OffDrawsOnlyTheBorderOnDrawsTheAccentPlate) {
    for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        const bool dark = mode == ThemeMode::dark;
        Hosted<MacCheckbox> off(new MacCheckbox(false), mode);
        QImage image = off.render();
        EXPECT_TRUE(near(pixel(image, QPointF(8, 0)), dark ? Design::white(0.32) : Design::black(0.28), 8));
        EXPECT_EQ(pixel(image, QPointF(8, 8)).alpha(), 0);

        Hosted<MacCheckbox> on(new MacCheckbox(true), mode);
        image = on.render();
        const QColor accent = on.themed.theme.accent();
        EXPECT_TRUE(near(pixel(image, QPointF(8, 1)), accent)); // the plate reaches the edge: no border
        EXPECT_TRUE(near(pixel(image, QPointF(3, 3)), accent));
        int white = 0;
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 17; ++x) white += near(image.pixelColor(x, y), Qt::white, 20) ? 1 : 0;
        EXPECT_GT(white, 10) << "the check mark";
    }
}

TEST(ThemeSegmented, FollowsTheThemeAndAClickStoresTheMode) {
    auto* picker = new ThemeSegmented(ThemeSegmented::standardItems());
    Hosted<ThemeSegmented> hosted(picker);
    Theme& theme = hosted.themed.theme;
    theme.setMode(ThemeMode::system);
    QTest::qWait(1);
    EXPECT_EQ(picker->selectionAmount(0), 0);
    EXPECT_EQ(picker->selectionAmount(1), 0);
    EXPECT_EQ(picker->selectionAmount(2), 1);

    QTest::mouseClick(picker, Qt::LeftButton, {}, picker->segmentRect(1).center().toPoint());
    EXPECT_EQ(theme.mode(), ThemeMode::dark);
    EXPECT_EQ(hosted.themed.defaults.value("theme.mode"), nlohmann::json("dark"));
    EXPECT_LT(picker->selectionAmount(1), 1) << "the plate moves with the quick spring";
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return std::abs(picker->selectionAmount(1) - 1) < 1e-3 && std::abs(picker->selectionAmount(2)) < 1e-3;
    }, 5000));
}

TEST(AccentSwatch, SelectedExactlyWhenTheEightBitColoursMatch) {
    ThemedWindow themed;
    auto* layout = new QHBoxLayout(&themed.window);
    QList<AccentSwatch*> swatches;
    for (const QColor& color : Theme::accentSwatches()) {
        swatches << new AccentSwatch(color);
        layout->addWidget(swatches.back());
    }
    themed.window.show();
    const auto selected = [&] {
        QList<int> indices;
        for (int i = 0; i < swatches.size(); ++i)
            if (swatches[i]->isSelected()) indices << i;
        return indices;
    };
    themed.theme.setAccent(QColor::fromRgbF(0, 122.9f / 255, 1)); // truncates to (0, 122, 255)
    EXPECT_EQ(selected(), QList<int>{0});
    themed.theme.setAccent(QColor::fromRgbF(0, 122.0f / 255, 0.9999f)); // blue truncates to 254, not 255
    EXPECT_EQ(selected(), QList<int>{});
    themed.theme.setAccent(QColor::fromRgb(10, 20, 30));
    EXPECT_EQ(selected(), QList<int>{});
    QTest::mouseClick(swatches[3], Qt::LeftButton);
    EXPECT_EQ(selected(), QList<int>{3});
    EXPECT_EQ(themed.defaults.value("theme.accent"), nlohmann::json("#FF9500"));

    // The ring of the selected swatch, in its own colour; none around the others.
    const QImage ring = renderAlone(*swatches[3]);
    EXPECT_TRUE(near(ring.pixelColor(16, 1), QColor::fromRgb(255, 149, 0), 40));
    EXPECT_EQ(renderAlone(*swatches[0]).pixelColor(16, 1).alpha(), 0);
}

TEST(SettingsCard, HairlinesOnlyBetweenRowsAndThePlateInBothSchemes) {
    for (int rows : {1, 3}) {
        SettingsCard card;
        QList<QWidget*> widgets;
        for (int i = 0; i < rows; ++i) widgets << makeSettingsRow(9);
        card.setRows(widgets);
        EXPECT_EQ(card.hairlineCount(), rows - 1);
        EXPECT_EQ(card.findChildren<Hairline*>().size(), rows - 1);
    }

    auto* card = new SettingsCard;
    card->setRows({makeSettingsRow(9)});
    card->setMinimumSize(200, 60);
    Hosted<SettingsCard> hosted(card);
    for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        hosted.themed.theme.setMode(mode); // a change of scheme redraws the card at once
        const bool dark = mode == ThemeMode::dark;
        const QImage image = hosted.render();
        EXPECT_TRUE(near(pixel(image, QPointF(100, 30)), dark ? Design::white(0.045) : Design::black(0.025)));
        // The border over the plate.
        const QColor edge = pixel(image, QPointF(100, 0));
        EXPECT_GT(edge.alpha(), pixel(image, QPointF(100, 30)).alpha() + 10);
        EXPECT_EQ(edge.red() > 128, dark);
    }
}

TEST(SettingsCheckRow, ALockedRowShowsItsLockAndIgnoresClicksAnUnlockedOneRunsOnce) {
    for (bool locked : {false, true}) {
        int runs = 0;
        auto* row = new SettingsCheckRow("Open editor after capture", true, locked, [&] { ++runs; });
        row->setMinimumWidth(400);
        Hosted<SettingsCheckRow> hosted(row);
        row->resize(400, row->sizeHint().height());
        EXPECT_EQ(row->toolTip(), locked ? "Managed by your organization" : "");
        auto* lock = row->findChild<SettingsSymbol*>();
        ASSERT_TRUE(lock);
        EXPECT_EQ(lock->isVisible(), locked);
        if (locked) {
            EXPECT_GT(lock->geometry().left(), 350) << "at the trailing edge";
        }
        const int middle = row->height() / 2;
        for (int x : {row->findChild<MacCheckbox*>()->geometry().center().x(), 60, 300})
            QTest::mouseClick(row, Qt::LeftButton, {}, QPoint(x, middle));
        EXPECT_EQ(runs, locked ? 0 : 3);
        EXPECT_TRUE(row->isOn()); // it shows what it is handed
    }
}

// The controls side by side, as a person sees them, in both schemes.
TEST(SettingsControls, Screenshots) {
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        ThemedWindow themed(mode);
        themed.window.setAutoFillBackground(true);
        auto* column = new QVBoxLayout(&themed.window);
        column->setContentsMargins(26, 24, 26, 26);
        auto* card = new SettingsCard;
        card->setRows({new SettingsCheckRow("Show floating thumbnail", true, false, nullptr),
                       new SettingsCheckRow("Copy to clipboard automatically", false, false, nullptr),
                       new SettingsCheckRow("Start at login", true, true, nullptr)});
        column->addWidget(card);
        auto* controls = new QHBoxLayout;
        controls->addWidget(new PillToggle(true, nullptr));
        controls->addWidget(new PillToggle(false, nullptr));
        controls->addWidget(new ThemeSegmented(ThemeSegmented::standardItems()));
        controls->addWidget(new MiniSegmented<int>({{"PNG", 0}, {"JPEG", 1}}, 1, false, nullptr));
        controls->addWidget(new MiniSegmented<int>({{"Off", 0}, {"File", 1}, {"Embedded", 2}}, 2, true, nullptr));
        controls->addStretch(1);
        column->addLayout(controls);
        auto* swatches = new QHBoxLayout;
        for (const QColor& color : Theme::accentSwatches()) swatches->addWidget(new AccentSwatch(color));
        swatches->addStretch(1);
        column->addLayout(swatches);
        themed.window.resize(580, themed.window.sizeHint().height());
        themed.window.show();
        QTest::qWait(1);
        const QImage image = themed.window.grab().toImage();
        ASSERT_FALSE(image.isNull());
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            image.save(folder + QString("/settings-controls-%1.png").arg(mode == ThemeMode::dark ? "dark" : "light"));
        }
    }
}
