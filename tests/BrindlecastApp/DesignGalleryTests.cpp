#include "BrindlecastApp/Design/DesignGallery.h"

#include "BrindlecastApp/Design/IconView.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolButton.h"

#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QMap>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace BrindlecastApp;

namespace {

struct Gallery {
    explicit Gallery(bool dark)
        : defaults(TestSupport::makeTemporaryFolder("gallery") + "/preferences.json"),
          window(DesignGallery::show(dark, &defaults)) {
        QApplication::processEvents();
    }
    ~Gallery() { delete window; }

    Support::UserDefaults defaults;
    QWidget* window;
};

QString artefactsFolder() {
    QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (folder.isEmpty()) folder = TestSupport::makeTemporaryFolder("artefacts");
    QDir().mkpath(folder);
    return folder;
}

double meanLightness(const QImage& image) {
    double sum = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4) sum += QColor(image.pixel(x, y)).lightnessF();
    return sum / ((image.height() / 4) * (image.width() / 4));
}

} // namespace

// The grabs are kept so a person can look at both schemes.
TEST(DesignGallery, OpensInEitherSchemeStoresTheModeAndIsNotBlank) {
    const QString folder = artefactsFolder();
    double lightness[2] = {0, 0};
    for (bool dark : {false, true}) {
        Gallery gallery(dark);
        ASSERT_NE(gallery.window, nullptr);
        EXPECT_EQ(DesignGallery::lastWindow(), gallery.window);
        EXPECT_EQ(gallery.window->windowTitle(), "Design Gallery");
        EXPECT_EQ(gallery.window->size(), QSize(720, 720));
        EXPECT_FALSE(gallery.window->testAttribute(Qt::WA_DeleteOnClose));
        EXPECT_EQ(tokensFor(gallery.window).scheme, dark ? ColorScheme::dark : ColorScheme::light);
        EXPECT_EQ(gallery.defaults.value("theme.mode"), nlohmann::json(dark ? "dark" : "light"));

        const QImage image = gallery.window->grab().toImage();
        const QString path = folder + (dark ? "/design-gallery-dark.png" : "/design-gallery-light.png");
        ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 50) << "a blank or nearly blank gallery";
        lightness[dark ? 1 : 0] = meanLightness(image);

        // The page fits the window, so no scroll indicator shows until the window is shorter.
        auto* scroll = gallery.window->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        EXPECT_FALSE(scroll->verticalScrollBar()->isVisible());
        gallery.window->resize(720, 300);
        QApplication::processEvents();
        EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
    }
    EXPECT_GT(lightness[0], lightness[1] + 0.2);
}

TEST(DesignGallery, DeveloperFlagsChooseWhetherAndInWhichScheme) {
    struct Case {
        QStringList flags;
        bool opens;
        ColorScheme scheme;
    };
    const Case cases[] = {
        {{"--preview-gallery"}, true, ColorScheme::light},
        {{"--preview-gallery", "--dark"}, true, ColorScheme::dark},
        {{"--dark", "--preview-gallery"}, true, ColorScheme::dark},
        {{"--preview-gallery", "--darker"}, true, ColorScheme::light},
        {{"--preview-editor", "--dark"}, false, ColorScheme::light},
        {{}, false, ColorScheme::light},
    };
    for (const Case& c : cases) {
        Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("flags") + "/preferences.json");
        std::unique_ptr<QWidget> window(DesignGallery::showForFlags(c.flags, &defaults));
        EXPECT_EQ(window != nullptr, c.opens) << c.flags.join(' ').toStdString();
        if (window) {
            EXPECT_EQ(tokensFor(window.get()).scheme, c.scheme) << c.flags.join(' ').toStdString();
        } else {
            EXPECT_FALSE(defaults.value("theme.mode").has_value()); // nothing stored
        }
    }
}

TEST(DesignGallery, IconGridIsCentredOnThePage) {
    Gallery gallery(false);
    auto* page = gallery.window->findChild<DesignGalleryView*>();
    ASSERT_NE(page, nullptr);
    int left = page->width(), right = 0;
    for (IconView* cell : gallery.window->findChildren<IconView*>()) {
        const QRect frame(cell->mapTo(page, QPoint(0, 0)), cell->size());
        left = std::min(left, frame.left());
        right = std::max(right, frame.right() + 1);
    }
    // The page's content runs from 28 to width - 28; the grid's margins either side match.
    EXPECT_NEAR(left - 28, page->width() - 28 - right, 1);
    EXPECT_GT(left, 28 + 10);
}
