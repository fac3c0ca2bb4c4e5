// The real app binary on a 2560 x 1440 screen of the test's own, with openbox, at the scales
// users run it at (QT_SCALE_FACTOR 1 and 2): the editor window lies wholly on the screen, its
// title strip and window buttons included, the floating thumbnail draws its picture and caption
// over its whole card, and the window-pick pointer is drawn at the screen's pixels. Grabs are kept
// in artefacts/. Skips without Xvfb or openbox.
#include "support/AppProcess.h"
#include "support/OwnDisplay.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRect>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

using TestSupport::waitUntil;

constexpr QSize kScreen(2560, 1440);

class HiDpiEndToEnd : public testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"Xvfb", "openbox"})
            if (!TestSupport::hasProgram(tool)) GTEST_SKIP() << tool << " is not installed";
        server_ = std::make_unique<TestSupport::OwnDisplay>(
            QStringList{"-screen", "0", QString("%1x%2x24").arg(kScreen.width()).arg(kScreen.height()), "+extension",
                        "Composite"});
        ASSERT_FALSE(server_->display().isEmpty()) << "Xvfb did not start";
        home_ = TestSupport::makeTemporaryFolder("home");
        environment_ = TestSupport::appEnvironment(home_);
        environment_.insert("DISPLAY", server_->display());
        x_ = xcb_connect(server_->display().toLatin1().constData(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(x_));
        root_ = xcb_setup_roots_iterator(xcb_get_setup(x_)).data->root;
        start("openbox", {"--sm-disable"});
        ASSERT_TRUE(waitUntil([&] { return cardinal(root_, "_NET_SUPPORTING_WM_CHECK").has_value(); }, 20000))
            << "openbox did not start";
    }

    void TearDown() override {
        processes_.endAll();
        if (x_) xcb_disconnect(x_);
        server_.reset();
    }

    QProcess* start(const QString& program, const QStringList& arguments) {
        QProcess* process = processes_.start(program, arguments, environment_);
        EXPECT_TRUE(process) << program.toStdString();
        return process;
    }

    QProcess* startApp(const QString& scale, const QStringList& arguments) {
        environment_.insert("QT_SCALE_FACTOR", scale);
        return start(BRINDLECAST_BINARY, arguments);
    }

    xcb_atom_t atom(const char* name) {
        Reply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(x_, xcb_intern_atom(x_, 0, static_cast<uint16_t>(strlen(name)), name), nullptr), &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    std::optional<std::uint32_t> cardinal(xcb_window_t window, const char* name) {
        Reply<xcb_get_property_reply_t> value(
            xcb_get_property_reply(x_, xcb_get_property(x_, 0, window, atom(name), XCB_ATOM_ANY, 0, 1), nullptr), &std::free);
        if (!value || value->format != 32 || xcb_get_property_value_length(value.get()) < 4) return std::nullopt;
        return *static_cast<const std::uint32_t*>(xcb_get_property_value(value.get()));
    }

    // The managed window whose name is `name`, from the window manager's client list.
    std::optional<xcb_window_t> client(const QString& name) {
        Reply<xcb_get_property_reply_t> list(
            xcb_get_property_reply(x_, xcb_get_property(x_, 0, root_, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 1024),
                                   nullptr),
            &std::free);
        if (!list) return std::nullopt;
        const auto* windows = static_cast<const xcb_window_t*>(xcb_get_property_value(list.get()));
        for (int i = 0; i < xcb_get_property_value_length(list.get()) / 4; ++i) {
            Reply<xcb_get_property_reply_t> title(
                xcb_get_property_reply(x_, xcb_get_property(x_, 0, windows[i], atom("_NET_WM_NAME"), atom("UTF8_STRING"), 0, 1024),
                                       nullptr),
                &std::free);
            if (title && QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(title.get())),
                                           xcb_get_property_value_length(title.get())) == name)
                return windows[i];
        }
        return std::nullopt;
    }

    // Where a window is on the screen, in pixels.
    QRect frame(xcb_window_t window) {
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(x_, xcb_get_geometry(x_, window), nullptr), &std::free);
        Reply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(x_, xcb_translate_coordinates(x_, window, root_, 0, 0), nullptr), &std::free);
        if (!geometry || !origin) return {};
        return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    }

    // What the screen shows in `area` (no compositor runs: the windows' own pixels).
    QImage pixels(const QRect& area) {
        Reply<xcb_get_image_reply_t> reply(
            xcb_get_image_reply(x_, xcb_get_image(x_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, int16_t(area.x()), int16_t(area.y()),
                                                  uint16_t(area.width()), uint16_t(area.height()), ~0u),
                                nullptr),
            &std::free);
        if (!reply || xcb_get_image_data_length(reply.get()) != area.width() * area.height() * 4) return {};
        return QImage(xcb_get_image_data(reply.get()), area.width(), area.height(), area.width() * 4, QImage::Format_RGB32)
            .copy();
    }

    static void keep(const QImage& image, const QString& name) {
        QDir().mkpath(BRINDLECAST_ARTEFACTS_DIR);
        image.save(QString(BRINDLECAST_ARTEFACTS_DIR) + "/" + name + ".png");
    }

    std::unique_ptr<TestSupport::OwnDisplay> server_;
    QString home_;
    QProcessEnvironment environment_;
    xcb_connection_t* x_ = nullptr;
    xcb_window_t root_ = 0;
    TestSupport::Processes processes_;
};

} // namespace

TEST_F(HiDpiEndToEnd, TheEditorWindowLiesWhollyOnTheScreenAtEveryScale) {
    const QRect screen(QPoint(0, 0), kScreen);
    // The editor's 1180 x 760 points: 2360 x 1520 pixels at 2x, taller than the screen.
    for (const auto& [scale, size] : {std::pair{QString("1"), QSize(1180, 760)}, std::pair{QString("2"), QSize(2360, 1440)}}) {
        SCOPED_TRACE(scale.toStdString());
        QProcess* app = startApp(scale, {"--preview-editor"});
        ASSERT_TRUE(app);
        std::optional<xcb_window_t> editor;
        ASSERT_TRUE(waitUntil([&] {
            editor = client("Screen Shot 2026-07-05 at 2.14.09 PM");
            return (editor && frame(*editor).width() > 0) || app->state() != QProcess::Running;
        }, 60000)) << "no editor window";
        ASSERT_EQ(app->state(), QProcess::Running);
        // Placed once the window manager has taken it.
        QTest::qWait(500);
        const QRect shown = frame(*editor);
        EXPECT_EQ(shown.size(), size);
        EXPECT_TRUE(screen.contains(shown)) << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
        keep(pixels(shown.intersected(screen)), "hidpi-e2e-editor-" + scale + "x");
        EXPECT_TRUE(TestSupport::endsCleanly(*app));
    }
}

TEST_F(HiDpiEndToEnd, TheThumbnailDrawsItsPictureAndCaptionOverItsWholeCardAt2x) {
    QProcess* app = startApp("2", {"--preview-thumbnail"});
    ASSERT_TRUE(app);
    std::optional<xcb_window_t> thumbnail;
    ASSERT_TRUE(waitUntil([&] {
        thumbnail = client("Brindlecast Thumbnail");
        return thumbnail.has_value() || app->state() != QProcess::Running;
    }, 60000)) << "no thumbnail";
    ASSERT_EQ(app->state(), QProcess::Running);
    // The card slides in for about half a second, once the app has painted it; it stays six.
    QImage image;
    int frameHeight = 0;
    const auto at = [&](double x, double y) { return image.pixelColor(int(2 * x), int(2 * y)); };
    const auto grab = [&] {
        image = pixels(frame(*thumbnail));
        // In points: the card 14 in from the panel's edges, the picture's 230-point frame over
        // the 38-point caption bar; two pixels a point.
        frameHeight = image.height() / 2 - 28 - 38;
        return !image.isNull() && image.width() == 2 * (230 + 28);
    };
    waitUntil([&] { return grab() && at(14 + 115, 14 + frameHeight - 3).blue() > 60; }, 20000);
    ASSERT_TRUE(grab()) << image.width();
    QTest::qWait(500);
    ASSERT_TRUE(grab());
    keep(image, "hidpi-e2e-thumbnail-2x");
    // The sample's foot is a deep indigo; the bands beside a picture of another shape are black.
    const QColor foot = at(14 + 115, 14 + frameHeight - 3);
    EXPECT_LT(foot.red(), 120) << "the picture's foot";
    EXPECT_GT(foot.blue(), foot.green()) << "the picture's foot";
    const QColor farCorner = at(14 + 230 - 30, 14 + frameHeight - 3);
    EXPECT_LT(farCorner.lightness(), 160) << "the picture reaches the frame's far corner";
    // The caption bar is dark to the card's far end, its close button's disc lighter on it.
    const QColor bar = at(14 + 230 - 50, 14 + frameHeight + 32);
    EXPECT_LT(bar.lightness(), 110) << "caption bar";
    const QColor close = at(14 + 230 - 11 - 11, 14 + frameHeight + 19 + 6);
    EXPECT_GT(close.lightness(), bar.lightness()) << "close button";
}

TEST_F(HiDpiEndToEnd, TheWindowPickPointerIsTwentyFourPointsAtEveryScale) {
    xcb_xfixes_query_version_cookie_t version = xcb_xfixes_query_version(x_, 4, 0);
    std::free(xcb_xfixes_query_version_reply(x_, version, nullptr));
    for (const auto& [scale, pixels] : {std::pair{QString("1"), 24}, std::pair{QString("1.25"), 30}, std::pair{QString("2"), 48}}) {
        SCOPED_TRACE(scale.toStdString());
        QProcess* app = startApp(scale, {"--test-window-pick"});
        ASSERT_TRUE(app);
        // The pointer the server shows over the overlay, once the overlay holds it.
        int width = 0, hotX = 0;
        QImage picture;
        waitUntil([&] {
            Reply<xcb_xfixes_get_cursor_image_reply_t> image(
                xcb_xfixes_get_cursor_image_reply(x_, xcb_xfixes_get_cursor_image(x_), nullptr), &std::free);
            if (!image) return false;
            width = image->width;
            hotX = image->xhot;
            if (width == pixels) {
                // 32-bit ARGB words, one a pixel.
                const std::uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(image.get());
                picture = QImage(image->width, image->height, QImage::Format_ARGB32);
                for (int y = 0; y < image->height; ++y)
                    for (int x = 0; x < image->width; ++x) picture.setPixel(x, y, argb[y * image->width + x]);
            }
            return width == pixels || app->state() != QProcess::Running;
        }, 60000);
        EXPECT_EQ(width, pixels) << "the window-pick pointer";
        EXPECT_EQ(hotX, pixels / 2) << "its hot spot";
        if (!picture.isNull()) keep(picture, "hidpi-e2e-window-pick-pointer-" + scale + "x");
        EXPECT_TRUE(TestSupport::endsCleanly(*app));
    }
}
