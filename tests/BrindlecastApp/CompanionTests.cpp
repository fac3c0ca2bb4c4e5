#include "PipelineTestSupport.h"

#include "BrindlecastApp/Pipeline/Companion.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QPainter>

#include <future>

using namespace PipelineTests;

namespace {

QImage withRows(QImage image, std::initializer_list<int> rows, QRgb colour) {
    for (const int y : rows) image.setPixel(7, y, colour);
    return image;
}

// The screen as captured: a grey dock over the window's bottom. The companion shows the window
// under it, where a mandatory item sits: a block of pure red.
const QRect kDock(100, 250, 200, 40);
const QRect kItem(150, 258, 60, 20);

void putItemUnderTheDock(Harness& h) {
    QPainter dock(&h.screen->display);
    dock.fillRect(kDock, QColor(128, 128, 128));
    QImage companion = h.screen->display.copy();
    QPainter window(&companion);
    window.drawImage(kDock.topLeft(), FakeScreen::patterned(kDock.size(), 0));
    window.fillRect(kItem, QColor(255, 0, 0));
    h.screen->content = companion;
}

// Finds the red block, in the coordinates of the image it is given.
DetectionKit::DetectionResult findRed(const QImage& image) {
    QRect red;
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) == 0xff0000) {
                red |= QRect(x, y, 1, 1);
                ++count;
            }
    if (count < 100) return {};
    return DetectionKit::DetectionResult{{mandatory("ssn", Support::Rect(red.x(), red.y(), red.width(), red.height()))}, {}};
}

QImage companionOnDisk(const Harness& h) {
    return QImage(h.libraryFolder + "/Screenshot 2026-12-05 at 6.25.34 PM.content.png")
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

// The companion is searched again only in the rows where it shows what the capture does not.
TEST(Companion, ChangedBandsCoverOnlyRowsThatShowSomethingElse) {
    const QImage capture = FakeScreen::patterned(QSize(40, 300), 0);
    QImage clearBelow = capture.copy();
    clearBelow.setPixel(7, 150, qRgba(0, 0, 0, 0)); // the desktop's place: nothing to read
    struct Row {
        const char* name;
        QImage companion;
        std::vector<QRect> bands;
    };
    const std::vector<Row> rows = {
        {"the same pixels", capture, {}},
        {"a transparent pixel", clearBelow, {}},
        {"one changed row", withRows(capture, {150}, qRgb(1, 2, 3)), {QRect(0, 140, 40, 21)}},
        {"at the top edge", withRows(capture, {2}, qRgb(1, 2, 3)), {QRect(0, 0, 40, 13)}},
        {"at the bottom edge", withRows(capture, {299}, qRgb(1, 2, 3)), {QRect(0, 289, 40, 11)}},
        {"two changes close together", withRows(capture, {100, 118}, qRgb(1, 2, 3)), {QRect(0, 90, 40, 39)}},
        {"two changes far apart", withRows(capture, {50, 200}, qRgb(1, 2, 3)), {QRect(0, 40, 40, 21), QRect(0, 190, 40, 21)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(changedBands(capture, row.companion, 10), row.bands);
    }
}

// A mandatory item under the dock is visible only in the companion: it is still hidden there,
// found by searching just the rows around the dock. Without a mandatory pattern nothing is
// searched again (faces never are mandatory).
TEST(Companion, AMandatoryItemUnderADockIsHiddenInTheCompanion) {
    for (const bool mandatoryPattern : {true, false}) {
        SCOPED_TRACE(mandatoryPattern ? "a mandatory pattern" : "suggested patterns only");
        Harness h;
        h.policy.piiPatterns = {{"ssn", "", mandatoryPattern ? PolicyKit::PIIAction::blurMandatory
                                                                : PolicyKit::PIIAction::blurSuggested}};
        putItemUnderTheDock(h);
        std::mutex mutex;
        std::vector<QSize> searched;
        h.detector = [&](const QImage& image) {
            std::lock_guard lock(mutex);
            searched.push_back(image.size());
            return findRed(image);
        };
        ASSERT_EQ(h.capture(Mode::display()), true);
        const QImage written = companionOnDisk(h);
        ASSERT_FALSE(written.isNull());
        EXPECT_EQ(written.copy(kItem) == h.screen->content->copy(kItem), !mandatoryPattern);
        EXPECT_EQ(written.copy(0, 0, 400, 100), h.screen->content->copy(0, 0, 400, 100));
        if (mandatoryPattern)
            EXPECT_EQ(searched, (std::vector<QSize>{QSize(400, 300), QSize(400, 300 - (kDock.top() - 96))}));
        else
            EXPECT_EQ(searched, std::vector<QSize>{QSize(400, 300)});
    }
}

// The editor shows the working copy while the companion is still being searched; the companion
// follows, and an export under a backdrop waits for it. The run ends with the companion written.
TEST(Companion, TheEditorOpensBeforeTheCompanionAndItsBackdropWaitsForIt) {
    Harness h;
    h.policy.piiPatterns = {{"ssn", "", PolicyKit::PIIAction::blurMandatory}};
    h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::folder};
    putItemUnderTheDock(h);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    h.detector = [released](const QImage& image) {
        if (image.height() < 300) released.wait();
        return findRed(image);
    };
    std::optional<bool> result;
    run(h.env, Mode::display(), [&](bool ok) { result = ok; });
    ASSERT_TRUE(waitUntil([&] { return !h.editor->presented.empty(); }));
    const std::shared_ptr<EditSession> edit = h.editor->presented[0];
    EXPECT_FALSE(result);
    EXPECT_FALSE(edit->viewModel().contentImage());
    EXPECT_EQ(h.libraryFiles().size(), 1);

    ExportKit::Backdrop backdrop;
    backdrop.style = ExportKit::Backdrop::Solid{"#336699"};
    edit->viewModel().setBackdrop(backdrop);
    edit->exportToFolder();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(h.libraryFiles().size(), 1) << "the export did not wait for the companion";

    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return result.has_value() && h.libraryFiles().size() == 3; }));
    EXPECT_TRUE(*result);
    ASSERT_TRUE(edit->viewModel().contentImage());
    const QImage shown = edit->viewModel().contentImage()->convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(shown, companionOnDisk(h));
    EXPECT_NE(shown.copy(kItem), h.screen->content->copy(kItem));
}
