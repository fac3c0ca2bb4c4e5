#include "Support/Fonts.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

using namespace Support;

TEST(Fonts, TheFirstInstalledPreferenceWinsElseTheDesktopFont) {
    struct Case {
        QStringList preferred, installed;
        QString expected;
    };
    const Case cases[] = {
        {{"Inter"}, {"DejaVu Sans", "Inter"}, "Inter"},
        {{"Inter"}, {"DejaVu Sans", "inter"}, "Inter"}, // fontconfig names are matched without case
        {{"Inter"}, {"DejaVu Sans"}, "Desktop Sans"},
        {{"Inter"}, {}, "Desktop Sans"},
        {{"JetBrains Mono", "Noto Mono"}, {"Noto Mono"}, "Noto Mono"},
        {{}, {"Inter"}, "Desktop Sans"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Fonts::chooseFamily(c.preferred, c.installed, "Desktop Sans"), c.expected)
            << c.preferred.join(',').toStdString() << " / " << c.installed.join(',').toStdString();
    }
}

// scripts/deps installs both families: a missing package must show here, not as heavy "Done" labels.
TEST(Fonts, InterfaceAndMonospacedFamiliesAreInstalled) {
    EXPECT_EQ(Fonts::interfaceFamily(), "Inter");
    EXPECT_EQ(Fonts::monospacedFamily(), "JetBrains Mono");
    EXPECT_EQ(QFontInfo(Fonts::interfaceFont(13)).family(), "Inter");
    EXPECT_TRUE(QFontInfo(Fonts::monospacedFont(13)).fixedPitch());
}

// Each weight the design uses has a face of its own: none collapses to regular or to bold.
TEST(Fonts, EveryDesignWeightHasItsOwnFace) {
    auto inkOf = [](QFont::Weight weight) {
        QImage image(400, 40, QImage::Format_Grayscale8);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setFont(Fonts::interfaceFont(20, weight));
        painter.setPen(Qt::black);
        painter.drawText(QPointF(4, 28), "Done Copy Export");
        painter.end();
        long ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) ink += 255 - qGray(image.pixel(x, y));
        return ink;
    };
    const QFont::Weight weights[] = {QFont::Normal, QFont::Medium, QFont::DemiBold, QFont::Bold};
    const char* styles[] = {"Regular", "Medium", "Semi Bold", "Bold"};
    long previous = 0;
    for (size_t k = 0; k < std::size(weights); ++k) {
        EXPECT_EQ(QFontInfo(Fonts::interfaceFont(13, weights[k])).styleName(), styles[k]);
        const long ink = inkOf(weights[k]);
        EXPECT_GT(ink, previous * 1.04) << styles[k] << " is no heavier than the weight below it";
        previous = ink;
    }
}
