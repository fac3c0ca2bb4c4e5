#include "CaptureKit/AppIdentity.h"
#include "CaptureKit/CaptureError.h"
#include "CaptureKit/CaptureService.h"
#include "TestPolicy.h"
#include "CaptureKit/PlaceholderRenderer.h"
#include "FakeScreenContentProvider.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace CaptureKit;
using CaptureKitTests::FakeScreenContentProvider;
using CaptureKitTests::blockingPolicy;
using CaptureKitTests::captureErrorOf;
using CaptureKitTests::plateGrey;
using PolicyKit::BlockedAppBehavior;
using Support::Rect;

namespace {

constexpr std::int64_t unknown = WindowInfo::unknownZIndex;

std::vector<Rect> rects(std::initializer_list<Rect> list) { return list; }

void expectRects(const std::vector<Rect>& actual, const std::vector<Rect>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_TRUE(actual[i].equalTo(expected[i])) << "piece " << i << ": " << actual[i].x() << "," << actual[i].y()
                                                    << " " << actual[i].width() << "x" << actual[i].height();
}

} // namespace

TEST(SubtractingTest, PiecesAndTheirOrder) {
    const Rect base(0, 0, 100, 100);
    struct Case {
        const char* name;
        Rect cut;
        std::vector<Rect> pieces;
    } cases[] = {
        {"inside: top, bottom, left, right", Rect(20, 30, 10, 40),
         rects({Rect(0, 0, 100, 30), Rect(0, 70, 100, 30), Rect(0, 30, 20, 40), Rect(30, 30, 70, 40)})},
        {"covers the base", Rect(-5, -5, 200, 200), {}},
        {"misses the base", Rect(200, 200, 10, 10), rects({base})},
        {"only touches the right edge", Rect(100, 0, 50, 100), rects({base})},
        {"right half", Rect(50, -10, 80, 200), rects({Rect(0, 0, 50, 100)})},
        {"top-left corner", Rect(-10, -10, 30, 30), rects({Rect(0, 20, 100, 80), Rect(20, 0, 80, 20)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRects(CaptureService::subtracting(c.cut, base), c.pieces);
    }
}

TEST(PixelRectTest, ScalesFromTheDisplayOriginAndRoundsOutward) {
    const DisplayInfo retina{1, Rect(0, 0, 1000, 800), 2000, 1600};
    const Rect pixels = CaptureService::pixelRect(Rect(10.25, 0, 10.25, 5), retina);
    EXPECT_EQ(pixels.x(), 20);
    EXPECT_EQ(pixels.width(), 21);
    // A display to the right of the main one; no clamping to its bounds.
    const DisplayInfo right{2, Rect(1000, -100, 500, 400), 500, 400};
    EXPECT_TRUE(CaptureService::pixelRect(Rect(900, -150, 200, 100), right).equalTo(Rect(-100, -50, 200, 100)));
}

TEST(BlockedWindowsTest, OnlyOnScreenWindowsOfBlockedAppsMeetingTheTarget) {
    const ShareableSnapshot snapshot{
        {},
        {
            {1, Rect(0, 0, 50, 50), QString("blocked.App"), true, 0},
            {2, Rect(0, 0, 50, 50), QString("blocked.App"), false, unknown}, // off screen
            {3, Rect(500, 500, 50, 50), QString("blocked.App"), true, 1},    // elsewhere
            {4, Rect(0, 0, 50, 50), std::nullopt, true, 2},                 // no identity
            {5, Rect(0, 0, 50, 50), QString("Blocked.app"), true, 3},       // case differs
            {6, Rect(100, 0, 50, 50), QString("blocked.App"), true, 4},     // touches the edge only
        }};
    const std::vector<WindowInfo> blocked =
        CaptureService::blockedWindows(snapshot, {"blocked.App"}, Rect(40, 0, 60, 100));
    ASSERT_EQ(blocked.size(), 1u);
    EXPECT_EQ(blocked[0].windowID, 1u);
}

TEST(VisiblePlatesTest, OccludersCutOnlyWhenInFrontKnownOnScreenAndUnblocked) {
    const QStringList blockList{"blocked.App"};
    const WindowInfo blocked{1, Rect(0, 0, 100, 100), QString("blocked.App"), true, 5};
    const Rect rightHalf(50, 0, 100, 100);
    struct Case {
        const char* name;
        WindowInfo occluder;
        std::vector<Rect> plates;
    } cases[] = {
        {"in front", {2, rightHalf, QString("other.App"), true, 1}, rects({Rect(0, 0, 50, 100)})},
        {"behind", {2, rightHalf, QString("other.App"), true, 9}, rects({blocked.frame})},
        {"same order", {2, rightHalf, QString("other.App"), true, 5}, rects({blocked.frame})},
        {"unknown order", {2, rightHalf, QString("other.App"), true, unknown}, rects({blocked.frame})},
        {"off screen", {2, rightHalf, QString("other.App"), false, 1}, rects({blocked.frame})},
        {"no identity still cuts", {2, rightHalf, std::nullopt, true, 1}, rects({Rect(0, 0, 50, 100)})},
        {"blocked windows never occlude", {2, rightHalf, QString("blocked.App"), true, 1}, rects({blocked.frame})},
        {"covers it all", {2, Rect(-1, -1, 200, 200), QString("other.App"), true, 0}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectRects(CaptureService::visiblePlates({blocked}, {blocked, c.occluder}, blockList), c.plates);
    }
    // A blocked window of unknown order keeps its whole frame whatever lies in front.
    WindowInfo unordered = blocked;
    unordered.zIndex = unknown;
    const WindowInfo front{2, rightHalf, QString("other.App"), true, 0};
    expectRects(CaptureService::visiblePlates({unordered}, {unordered, front}, blockList), rects({blocked.frame}));
}

namespace {

// Two side-by-side displays; the left one at twice the pixel density.
ShareableSnapshot twoDisplays(std::vector<WindowInfo> windows) {
    return {{{10, Rect(0, 0, 100, 100), 200, 200}, {20, Rect(100, 0, 100, 100), 100, 100}}, std::move(windows)};
}

} // namespace

// A window goes by one ID but may be given others (its launcher's, its transient owner's): any of
// them on the block list blocks it, and a refusal names the blocked ones.
TEST(CaptureServiceTest, AnyIdentityOfAWindowBlocksIt) {
    const auto window = [](std::uint32_t id, std::optional<QString> bundleID, QStringList identities) {
        return WindowInfo{id, Rect(10, 10, 20, 20), std::move(bundleID), true, std::int64_t(id), true, std::move(identities)};
    };
    struct Case {
        const char* name;
        WindowInfo window;
        std::optional<QStringList> refusal;
    } cases[] = {
        {"by the ID it goes by", window(1, QString("org.example.Foo"), {"org.example.Foo", "Foo"}), QStringList{"org.example.Foo"}},
        {"by another ID only", window(1, QString("my-foo"), {"my-foo", "org.example.Foo"}), QStringList{"org.example.Foo"}},
        {"by several other IDs", window(1, QString("Dialog"), {"Dialog", "Foo", "org.example.Foo"}),
         QStringList{"Foo", "org.example.Foo"}},
        {"without an ID it goes by", window(1, std::nullopt, {"Foo"}), QStringList{"Foo"}},
        {"by none", window(1, QString("Other"), {"Other", "foo"}), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto provider = std::make_shared<FakeScreenContentProvider>(twoDisplays({c.window}));
        const QStringList blocked{"org.example.Foo", "Foo"};
        const auto refused = captureErrorOf([&] {
            CaptureService(blockingPolicy(BlockedAppBehavior::cancelCapture, blocked), provider).captureDisplay();
        });
        EXPECT_EQ(refused, c.refusal ? std::optional(CaptureError::blockedContentPresent(*c.refusal)) : std::nullopt);
        const auto windowRefused = captureErrorOf([&] {
            CaptureService(blockingPolicy(BlockedAppBehavior::omit, blocked), provider).captureWindow(1);
        });
        EXPECT_EQ(windowRefused, c.refusal ? std::optional(CaptureError::blockedContentPresent(*c.refusal)) : std::nullopt);
        // A window blocked by any of its IDs hides nothing in front of another blocked window.
        const WindowInfo behind{2, Rect(0, 0, 100, 100), QString("org.example.Foo"), true, 9};
        const std::size_t plates = CaptureService::visiblePlates({behind}, {behind, c.window}, blocked).size();
        EXPECT_EQ(plates, c.refusal ? 1u : 4u);
    }
}

// A window whose process cannot be looked at is told by its names: blocked when one resembles a
// blocked ID, or while anything is blocked when it has none ("unidentified window"); a window of
// other names is an ordinary window.
TEST(CaptureServiceTest, AWindowWhoseProcessIsUnknownIsToldByItsNames) {
    const auto unknownProcess = [](std::optional<QString> name, QStringList identities) {
        return WindowInfo{1, Rect(10, 10, 20, 20), name, true, 0, true, std::move(identities), false};
    };
    struct Case {
        const char* name;
        WindowInfo window;
        QStringList blocked;
        std::optional<QStringList> refusal;
    } cases[] = {
        {"names of another application", unknownProcess(QString("Tool"), {"Tool"}), {"org.example.Vault"}, std::nullopt},
        {"a name resembling a blocked ID", unknownProcess(QString("vault"), {"vault", "Vault"}), {"org.example.Vault"},
         QStringList{"org.example.Vault"}},
        {"the ID it goes by resembling one", unknownProcess(QString("Vault"), {}), {"org.example.Vault"},
         QStringList{"org.example.Vault"}},
        {"nameless", unknownProcess(std::nullopt, {}), {"org.example.Vault"}, QStringList{unidentifiedWindow}},
        {"nothing blocked", unknownProcess(std::nullopt, {}), {}, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto provider = std::make_shared<FakeScreenContentProvider>(twoDisplays({c.window}));
        const auto refusal = c.refusal ? std::optional(CaptureError::blockedContentPresent(*c.refusal)) : std::nullopt;
        EXPECT_EQ(captureErrorOf([&] {
                      CaptureService(blockingPolicy(BlockedAppBehavior::cancelCapture, c.blocked), provider).captureDisplay();
                  }), refusal);
        EXPECT_EQ(captureErrorOf([&] {
                      CaptureService(blockingPolicy(BlockedAppBehavior::omit, c.blocked), provider).captureWindow(1);
                  }), refusal);
        const std::size_t blocked = CaptureService::blockedWindows(provider->snapshot, c.blocked, Rect(0, 0, 100, 100)).size();
        EXPECT_EQ(blocked, c.refusal ? 1u : 0u);
    }
}

TEST(CaptureServiceTest, CancelCaptureRefusesWithSortedDistinctIdentifiersBeforeAnyImage) {
    // By code point: U+1D400 (a surrogate pair in UTF-16) sorts after U+FF21.
    const QString fullwidth = QString::fromUcs4(U"org.\uFF21"), mathematical = QString::fromUcs4(U"org.\U0001D400");
    auto provider = std::make_shared<FakeScreenContentProvider>(twoDisplays({
        {1, Rect(10, 10, 20, 20), QString("org.zeta.Chat"), true, 0},
        {2, Rect(40, 10, 20, 20), QString("org.zeta.Chat"), true, 1},
        {3, Rect(70, 10, 20, 20), mathematical, true, 2},
        {4, Rect(70, 10, 20, 20), QString("Org.alpha.Mail"), true, 3},
        {5, Rect(70, 10, 20, 20), fullwidth, true, 4},
    }));
    const CaptureService service(
        blockingPolicy(BlockedAppBehavior::cancelCapture, {"org.zeta.Chat", "Org.alpha.Mail", mathematical, fullwidth}), provider);
    for (auto capture : std::vector<std::function<QImage()>>{
             [&] { return service.captureDisplay(); }, [&] { return service.captureDisplayContent(10); },
             [&] { return service.captureRegion(Rect(0, 0, 100, 50)); },
             [&] { return service.captureRegionContent(Rect(0, 0, 100, 50)); }}) {
        const auto error = captureErrorOf(capture);
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, CaptureError::blockedContentPresent({"Org.alpha.Mail", "org.zeta.Chat", fullwidth, mathematical}));
    }
    EXPECT_FALSE(provider->tookAnImage());
}

TEST(CaptureServiceTest, WindowCaptureOfABlockedAppIsRefusedForEveryBehaviour) {
    for (BlockedAppBehavior behavior : {BlockedAppBehavior::omit, BlockedAppBehavior::placeholder, BlockedAppBehavior::cancelCapture}) {
        auto provider = std::make_shared<FakeScreenContentProvider>(
            twoDisplays({{7, Rect(10, 10, 20, 20), QString("org.example.Vault"), false, unknown}}));
        const CaptureService service(blockingPolicy(behavior, {"org.example.Vault"}), provider);
        EXPECT_EQ(captureErrorOf([&] { return service.captureWindow(7); }),
                  CaptureError::blockedContentPresent({"org.example.Vault"}));
        EXPECT_FALSE(provider->tookAnImage());
    }
}

TEST(CaptureServiceTest, WindowCaptureReturnsTheProvidersImageUntouched) {
    auto provider = std::make_shared<FakeScreenContentProvider>(
        twoDisplays({{7, Rect(10, 10, 20, 30), std::nullopt, true, 0}, {8, Rect(0, 0, 50, 50), QString("b"), true, 1}}));
    const CaptureService service(blockingPolicy(BlockedAppBehavior::placeholder, {"b"}), provider);
    const QImage image = service.captureWindow(7);
    EXPECT_EQ(image.size(), QSize(20, 30));
    EXPECT_EQ(image.pixel(0, 0), QColor(Qt::green).rgb());
    EXPECT_EQ(captureErrorOf([&] { return service.captureWindow(99); }), CaptureError::windowNotFound());
}

TEST(CaptureServiceTest, OmitCapturesWithTheWholeBlockListExcludedAndDrawsNoPlate) {
    auto provider = std::make_shared<FakeScreenContentProvider>(twoDisplays({{1, Rect(110, 10, 50, 50), QString("b"), true, 0}}));
    const QStringList blocked{"a", "b"};
    const CaptureService service(blockingPolicy(BlockedAppBehavior::omit, blocked), provider);
    EXPECT_EQ(service.captureDisplay(20).pixel(30, 30), QColor(Qt::blue).rgb());
    service.captureRegionContent(Rect(0, 0, 10, 10));
    ASSERT_EQ(provider->calls.size(), 4u);
    EXPECT_EQ(provider->calls[1].kind, FakeScreenContentProvider::Call::captureDisplay);
    EXPECT_EQ(provider->calls[1].id, 20u);
    EXPECT_EQ(provider->calls[1].excluded, blocked);
    EXPECT_EQ(provider->calls[3].kind, FakeScreenContentProvider::Call::captureDisplayContent);
    EXPECT_EQ(provider->calls[3].excluded, blocked);
}

TEST(CaptureServiceTest, PlaceholderPaintsTheVisiblePartInDisplayPixels) {
    // The blocked window's right half is under a window in front of it.
    auto provider = std::make_shared<FakeScreenContentProvider>(twoDisplays({
        {1, Rect(30, 10, 30, 20), QString("front.App"), true, 0},
        {2, Rect(10, 10, 40, 20), QString("b"), true, 1},
    }));
    const QImage image = CaptureService(blockingPolicy(BlockedAppBehavior::placeholder, {"b"}), provider).captureDisplay(10);
    ASSERT_EQ(image.size(), QSize(200, 200));
    // The visible part is x 10..30, y 10..30 in points: 20..60 x 20..60 in pixels.
    EXPECT_EQ(image.pixel(20, 20), plateGrey);
    EXPECT_EQ(image.pixel(59, 59), plateGrey);
    // Checked above the label, which may run past a plate this narrow.
    EXPECT_EQ(image.pixel(60, 25), QColor(Qt::blue).rgb());
    EXPECT_EQ(image.pixel(19, 25), QColor(Qt::blue).rgb());
    EXPECT_EQ(image.pixel(40, 19), QColor(Qt::blue).rgb());
}

TEST(CaptureServiceTest, RegionComesFromTheFirstDisplayItMeetsAndIsCroppedInPixels) {
    auto provider = std::make_shared<FakeScreenContentProvider>(twoDisplays({}));
    const CaptureService service(blockingPolicy(BlockedAppBehavior::placeholder, {}), provider);
    // 10.25 .. 20.5 points at scale 2: pixel x 20, width 21.
    EXPECT_EQ(service.captureRegion(Rect(10.25, 0, 10.25, 10)).size(), QSize(21, 20));
    // Over both displays: only the left display's part, 50 points = 100 pixels wide.
    const QImage spanning = service.captureRegion(Rect(50, 0, 100, 10));
    EXPECT_EQ(spanning.size(), QSize(100, 20));
    EXPECT_EQ(provider->calls.back().id, 10u);
    // Only on the right display.
    EXPECT_EQ(service.captureRegion(Rect(150, 0, 20, 10)).size(), QSize(20, 10));
    EXPECT_EQ(provider->calls.back().id, 20u);
}

TEST(CaptureServiceTest, BlockedWindowOnTheOtherDisplayStillRefusesASpanningRegion) {
    auto provider = std::make_shared<FakeScreenContentProvider>(
        twoDisplays({{1, Rect(160, 0, 20, 20), QString("b"), true, 0}}));
    const CaptureService service(blockingPolicy(BlockedAppBehavior::cancelCapture, {"b"}), provider);
    EXPECT_EQ(captureErrorOf([&] { return service.captureRegion(Rect(50, 0, 120, 10)); }),
              CaptureError::blockedContentPresent({"b"}));
    // Off screen it is ignored (the provider still leaves it out).
    provider->snapshot.windows[0].isOnScreen = false;
    EXPECT_NO_THROW(service.captureRegion(Rect(50, 0, 120, 10)));
}

TEST(CaptureServiceTest, MissingDisplaysAndRegionsOutsideEveryDisplay) {
    auto provider = std::make_shared<FakeScreenContentProvider>(twoDisplays({}));
    const CaptureService service(blockingPolicy(BlockedAppBehavior::placeholder, {}), provider);
    EXPECT_EQ(captureErrorOf([&] { return service.captureDisplay(99); }), CaptureError::displayNotFound());
    EXPECT_EQ(captureErrorOf([&] { return service.captureRegion(Rect(500, 500, 10, 10)); }), CaptureError::invalidRegion());
    EXPECT_EQ(captureErrorOf([&] { return service.captureRegion(Rect(10, 10, 0, 10)); }), CaptureError::invalidRegion());
    // Regions that are not real numbers: refused before anything is asked of the provider.
    const double nan = std::nan(""), endless = std::numeric_limits<double>::infinity();
    const std::size_t callsBefore = provider->calls.size();
    for (const Rect& region : {Rect(nan, 10, 5, 5), Rect(10, nan, 5, 5), Rect(10, 10, nan, 5), Rect(10, 10, 5, nan),
                               Rect(150, 0, endless, endless), Rect(-endless, 0, endless, 10), Rect(10, -endless, 5, 5)}) {
        SCOPED_TRACE(testing::Message() << region.x() << "," << region.y() << " " << region.width() << "x" << region.height());
        EXPECT_EQ(captureErrorOf([&] { return service.captureRegion(region); }), CaptureError::invalidRegion());
        EXPECT_EQ(captureErrorOf([&] { return service.captureRegionContent(region); }), CaptureError::invalidRegion());
    }
    EXPECT_EQ(provider->calls.size(), callsBefore);
    provider->snapshot.displays.clear();
    EXPECT_EQ(captureErrorOf([&] { return service.captureDisplay(); }), CaptureError::displayNotFound());
}

TEST(PlaceholderRendererTest, DrawsLabelledPlatesClippedToTheImage) {
    QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    const QImage drawn = PlaceholderRenderer::draw(image, {Rect(-50, 50, 350, 100), Rect(500, 500, 10, 10)});
    ASSERT_EQ(drawn.size(), image.size());
    EXPECT_EQ(drawn.pixel(0, 50), plateGrey);
    EXPECT_EQ(drawn.pixel(299, 149), plateGrey);
    EXPECT_EQ(drawn.pixel(300, 100), qRgb(255, 255, 255));
    EXPECT_EQ(drawn.pixel(150, 49), qRgb(255, 255, 255));
    // Some label pixels (light grey) lie around the plate's centre.
    int light = 0;
    for (int y = 80; y < 120; ++y)
        for (int x = 0; x < 300; ++x) light += qRed(drawn.pixel(x, y)) > 150;
    EXPECT_GT(light, 50);
    // The input is not changed; no plates gives an equal copy.
    EXPECT_EQ(image.pixel(0, 50), qRgb(255, 255, 255));
    EXPECT_EQ(PlaceholderRenderer::draw(image, {}), image);
}
