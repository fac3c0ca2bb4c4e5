// The editor's chrome as it is drawn, judged on rendered pixels: what the chrome's shadows do to the
// picture, the strip's colours and lists in both schemes, and the sizes and figures of its type.
#include "StyleStripTestSupport.h"
#include "../CanvasTestSupport.h"
#include "../MotionTestSupport.h"
#include "../ThemedWindow.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Editor/MoreMenu.h"
#include "BrindlecastApp/Editor/RecentRow.h"
#include "BrindlecastApp/Editor/RecentsSidebar.h"
#include "BrindlecastApp/Editor/StylePicker.h"
#include "Support/Fonts.h"
#include "Support/UserDefaults.h"

#include <QAbstractItemView>
#include <QFile>
#include <QFontMetricsF>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace StripTesting;

namespace {

// A theme of its own in one scheme.
struct SchemeTheme {
    explicit SchemeTheme(bool dark) : store(TestSupport::makeTemporaryFolder("theme") + "/preferences.json"), theme(&store) {
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
    }
    Support::UserDefaults store;
    Theme theme;
};

// The real editor window, toolbar included, on a white capture.
struct ChromeWindow {
    ChromeWindow(Theme& theme, int width, int height) {
        ReviewTesting::ModelOptions options;
        options.width = width;
        options.height = height;
        options.screenScale = 1;
        model = std::shared_ptr<ReviewViewModel>(ReviewTesting::makeModel(options));
        EditorContent content;
        content.viewModel = model.get();
        content.owner = model;
        content.filename = "Screenshot chrome.png";
        controller = EditorWindowController::present(content, &theme, Pipeline::EditorWindowPresenter::defaultOptions());
        settle();
    }
    ~ChromeWindow() {
        controller.reset();
        settle();
    }
    EditorCanvasStage* stage() const { return controller->view()->stage(); }
    QWidget* window() const { return controller->window(); }

    std::shared_ptr<ReviewViewModel> model;
    std::unique_ptr<EditorWindowController> controller;
};

int colourDistance(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

double luminance(const QColor& c) { return 0.2126 * c.red() + 0.7152 * c.green() + 0.0722 * c.blue(); }

// The columns of `image` that hold ink, in runs of neighbouring columns (one glyph each, as long
// as glyphs do not touch): first and last column of each run.
std::vector<std::pair<int, int>> inkRuns(const QImage& image, int fromColumn = 0) {
    std::vector<std::pair<int, int>> runs;
    bool inRun = false;
    for (int x = fromColumn; x < image.width(); ++x) {
        bool ink = false;
        for (int y = 0; y < image.height() && !ink; ++y) ink = qAlpha(image.pixel(x, y)) > 80;
        if (ink && !inRun) runs.push_back({x, x});
        if (ink) runs.back().second = x;
        inRun = ink;
    }
    return runs;
}

// The inked width of the lowest line of text in `image` right of `fromColumn`: the rows up from the
// bottom until a blank row.
int lastLineInkWidth(const QImage& image, int fromColumn) {
    int bottom = image.height() - 1;
    const auto blankRow = [&](int y) {
        for (int x = fromColumn; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 80) return false;
        return true;
    };
    while (bottom > 0 && blankRow(bottom)) --bottom;
    int top = bottom;
    while (top > 0 && !blankRow(top - 1)) --top;
    const auto runs = inkRuns(image.copy(0, top, image.width(), bottom - top + 1), fromColumn);
    return runs.empty() ? 0 : runs.back().second - runs.front().first + 1;
}

// The inked width `text` has at `pixels` in the interface font: its outline measured ten times
// as large, where whole pixels are fine enough.
double inkWidthAt(const QString& text, double pixels, QFont::Weight weight) {
    const QFont large = Support::Fonts::interfaceFont(int(std::lround(pixels * 10)), weight);
    return QFontMetricsF(large).tightBoundingRect(text).width() / 10;
}

} // namespace

// The floating chrome's shadows fall on the mat beneath the picture: under the style strip the
// capture shows as it is, in both schemes (a shadow band there once darkened its top).
TEST(EditorRendering, TheChromesShadowsNeverDarkenThePicture) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        SchemeTheme scheme(dark);
        ChromeWindow w(scheme.theme, 1400, 900);
        DrivenAnimationClock clock;
        w.model->setTool(AnnotationTool::arrow);
        clock.advance(1);
        settle();
        QWidget* strip = w.stage()->styleStrip();
        ASSERT_FALSE(strip->isHidden());
        const QImage grab = w.window()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRect stripRect(strip->mapTo(w.window(), QPoint(0, 0)), strip->size());
        const Support::Rect fit = w.controller->view()->canvas()->fitRect();
        const QPoint canvasOrigin = w.controller->view()->canvas()->mapTo(w.window(), QPoint(0, 0));
        const QRect picture = QRectF(fit.x() + canvasOrigin.x(), fit.y() + canvasOrigin.y(), fit.width(), fit.height())
                                  .toAlignedRect()
                                  .adjusted(2, 2, -2, -2);
        ASSERT_LT(picture.top() - stripRect.bottom(), 12) << "the picture lies right under the strip";
        int probed = 0;
        for (int y = picture.top(); y < stripRect.bottom() + 60; y += 2) {
            for (int x = stripRect.left() + 4; x < stripRect.right() - 4; x += 8) {
                if (!picture.contains(x, y)) continue;
                ++probed;
                ASSERT_EQ(QColor(grab.pixel(x, y)), QColor(Qt::white)) << "at " << x << "," << y;
            }
        }
        EXPECT_GT(probed, 100);
        grab.save(CanvasTesting::artefactsFolder() + (dark ? "/editor-chrome-over-picture-dark.png"
                                                           : "/editor-chrome-over-picture-light.png"));
    }
}

// The strip's lists are windows of their own (the font menu's list, the outline well's menu):
// they drop down in the strip's scheme.
TEST(EditorRendering, TheStripsListsDropDownInItsScheme) {
    const auto meanLuminance = [](const QImage& image) {
        double sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) sum += luminance(image.pixelColor(x, y));
        return sum / std::max(1, image.width() * image.height());
    };
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        SchemeTheme scheme(dark);
        StripWindow w(800, 600, 2, &scheme.theme);
        w.model->setTool(AnnotationTool::text);
        w.model->setOutline(true);
        settle();
        QComboBox* menu = w.strip()->fontPicker()->menu();
        menu->showPopup();
        settle();
        QWidget* list = menu->view()->window();
        ASSERT_TRUE(list->isVisible());
        const QImage fonts = list->grab().toImage();
        menu->hidePopup();

        // The menu is taken as soon as it shows, and closed (whether or not it waits to be).
        QImage outline;
        QTimer take;
        QObject::connect(&take, &QTimer::timeout, [&] {
            for (QWidget* shown : QApplication::topLevelWidgets()) {
                auto* wellMenu = qobject_cast<QMenu*>(shown);
                if (!wellMenu || !wellMenu->isVisible()) continue;
                outline = wellMenu->grab().toImage();
                wellMenu->close();
                take.stop();
            }
        });
        take.start(10);
        QWidget* well = w.strip()->outlineColorWell()->button();
        QContextMenuEvent ask(QContextMenuEvent::Mouse, well->rect().center(), well->mapToGlobal(well->rect().center()));
        QApplication::sendEvent(well, &ask);
        ASSERT_TRUE(waitUntil([&] { return !outline.isNull(); }, 5000)) << "no menu came";

        for (const QImage& shown : {fonts, outline}) {
            if (dark) EXPECT_LT(meanLuminance(shown), 90);
            else EXPECT_GT(meanLuminance(shown), 170);
        }
        fonts.save(CanvasTesting::artefactsFolder() + (dark ? "/font-list-dark.png" : "/font-list-light.png"));
    }
}

// Every swatch's dot stands out at its edge from the strip around it, the near-black one on the
// dark strip included.
TEST(EditorRendering, EverySwatchStandsOutFromTheStrip) {
    for (const bool dark : {false, true}) {
        SchemeTheme scheme(dark);
        StripWindow w(800, 600, 2, &scheme.theme);
        DrivenAnimationClock clock;
        w.model->setTool(AnnotationTool::arrow);
        clock.advance(1);
        settle();
        QWidget* window = w.controller->window();
        const QImage grab = window->grab().toImage();
        SwatchPicker* row = w.strip()->swatchRow();
        for (int i = 0; i < row->swatchCount(); ++i) {
            SCOPED_TRACE(testing::Message() << (dark ? "dark " : "light ") << row->swatch(i)->objectName().toStdString());
            const QPointF centre = QPointF(row->swatch(i)->mapTo(window, QPoint(0, 0))) + QRectF(row->swatch(i)->rect()).center();
            // Half a point inside the dot's 14-point edge, and a point outside it (inside where the
            // selection ring would be).
            int weakest = 1000;
            for (int step = 0; step < 8; ++step) {
                const double angle = step * std::numbers::pi / 4;
                const QPointF direction(std::cos(angle), std::sin(angle));
                const auto pixel = [&](double radius) {
                    const QPointF at = centre + radius * direction;
                    return grab.pixelColor(int(std::floor(at.x())), int(std::floor(at.y())));
                };
                const QColor edge = pixel(6.5), around = pixel(8.2);
                weakest = std::min(weakest, colourDistance(edge, around));
            }
            EXPECT_GE(weakest, 60);
        }
    }
}

// Sizes changed by half points, measured on the drawn type: the More menu's titles at 12.5 points
// and the recents' times at 10.5, not at the 13 and 11 around them.
TEST(EditorRendering, MenuTitlesAndRecentTimesAreDrawnAtTheirHalfPointSizes) {
    ThemedWindow themed;
    MoreMenuPanel panel({}, &themed.window);
    themed.window.show();
    settle();
    for (const QString title : {"Export to Folder", "Flatten Image", "Show in Files"}) {
        SCOPED_TRACE(title.toStdString());
        MoreMenuRow* row = panel.row(title);
        ASSERT_NE(row, nullptr);
        // After the 9-point padding, the 18-point symbol frame and the 8 points between them.
        const QImage drawn = renderAlone(*row);
        const int inked = lastLineInkWidth(drawn, 9 + 18 + 4);
        const double at12_5 = inkWidthAt(title, 12.5, QFont::Medium), at13 = inkWidthAt(title, 13, QFont::Medium);
        ASSERT_GT(at13 - at12_5, 2.5);
        EXPECT_NEAR(inked, at12_5, 1.5);
    }

    const QString time = QStringLiteral("Yesterday");
    for (const QString& name : {QStringLiteral("Screenshot one.png"), QStringLiteral("A.png")}) {
        CaptureEntry entry{QUrl::fromLocalFile("/captures/" + name), name, QDateTime::currentDateTime(), QSize(10, 10), {}};
        RecentRow row(entry, time, false, &themed.window);
        row.resize(220, row.sizeHint().height());
        // The text column starts after the 7-point padding, the 54-point thumbnail and 10 points.
        const int inked = lastLineInkWidth(renderAlone(row), 7 + 54 + 4);
        const double at10_5 = inkWidthAt(time, 10.5, QFont::Normal), at11 = inkWidthAt(time, 11, QFont::Normal);
        ASSERT_GT(at11 - at10_5, 2);
        EXPECT_NEAR(inked, at10_5, 1.5) << name.toStdString();
    }
}

// The recents' count and the crop ratio chips set every figure in one width, measured on the drawn
// figures: a count keeps its first figure where it was as the count changes, and every ratio
// has its figures the same distance apart.
TEST(EditorRendering, TheRecentsCountAndTheRatioChipsSetFiguresInOneWidth) {
    std::vector<int> firstFigure;
    for (const int count : {11, 14, 18}) {
        SCOPED_TRACE(count);
        const QString folder = TestSupport::makeTemporaryFolder("recents");
        for (int i = 0; i < count; ++i) FakeScreen::patterned(QSize(8, 8), i).save(folder + QStringLiteral("/%1.png").arg(i), "PNG");
        CaptureLibrary library(folder);
        library.reload();
        library.waitUntilListed();
        ASSERT_EQ(int(library.entries().size()), count);
        ThemedWindow themed;
        EditorSelection selection;
        RecentsSidebar sidebar(library, selection, [](const CaptureEntry&) {}, &themed.window);
        sidebar.resize(220, 400);
        themed.window.resize(220, 400);
        themed.window.show();
        settle();
        QWidget* counter = sidebar.findChild<QWidget*>("recentsCount");
        ASSERT_NE(counter, nullptr);
        const auto runs = inkRuns(renderAlone(*counter));
        ASSERT_EQ(runs.size(), 2u) << "two figures";
        firstFigure.push_back(counter->x() + runs.front().first);
    }
    EXPECT_EQ(firstFigure[1], firstFigure[0]);
    EXPECT_EQ(firstFigure[2], firstFigure[0]);

    StripWindow w(800, 600, 2);
    w.model->setTool(AnnotationTool::crop);
    settle();
    ChipSegment* ratios = w.strip()->ratioSegment();
    std::vector<double> pitches;
    for (int i = 1; i <= 3; ++i) { // 1:1, 4:3 and 3:2; none of them is on
        SCOPED_TRACE(ratios->chip(i)->objectName().toStdString());
        const auto runs = inkRuns(renderAlone(*ratios->chip(i)));
        ASSERT_EQ(runs.size(), 3u) << "figure, colon, figure";
        const double first = (runs[0].first + runs[0].second) / 2.0, last = (runs[2].first + runs[2].second) / 2.0;
        pitches.push_back(last - first);
    }
    EXPECT_NEAR(pitches[1], pitches[0], 1.0) << "1:1 against 4:3";
    EXPECT_NEAR(pitches[2], pitches[0], 1.0) << "1:1 against 3:2";
}
