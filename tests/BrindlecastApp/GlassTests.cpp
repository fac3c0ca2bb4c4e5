#include "BrindlecastApp/Design/Glass.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/ShadowCaster.h"

#include "ThemedWindow.h"

#include <QHBoxLayout>
#include <QPainter>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

const Tokens light(ColorScheme::light, Qt::blue);
const Tokens dark(ColorScheme::dark, Qt::blue);

} // namespace

TEST(GlassPanel, ReduceTransparencyMakesThePanelOpaque) {
    for (bool reduce : {false, true}) {
        ThemedWindow themed(ThemeMode::dark);
        themed.desktop.setReduceTransparency(reduce);
        auto* panel = new GlassPanel(GlassVariant::window, std::nullopt, &themed.window);
        panel->resize(120, 80);
        const QImage image = renderAlone(*panel);
        const QColor centre = image.pixelColor(60, 40);
        EXPECT_EQ(centre.alpha() == 255, reduce);
        if (reduce) {
            EXPECT_NEAR(centre.red(), 14, 1);
        }
        // The border shows in both forms.
        EXPECT_GT(image.pixelColor(60, 0).lightness(), centre.lightness());
    }
}

TEST(Glass, TopHighlightWithNoBandDrawsNothing) {
    QImage image(40, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    Glass::paintTopHighlight(painter, QRectF(0, 0, 40, 40), 0, 0.9, 0);
    Glass::paintTopHighlight(painter, QRectF(0, 0, 40, 40), 10, 0.9, 10);
    painter.end();
    EXPECT_GT(qAlpha(image.pixel(20, 0)), 0);  // lit along the top
    EXPECT_EQ(qAlpha(image.pixel(20, 39)), 0); // faded out below the band
}

TEST(ShadowStack, LayersFallBelowTheShapeAndFromEachOther) {
    QImage source(60, 60, QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::transparent);
    QPainter(&source).fillRect(QRect(20, 10, 20, 20), Qt::white);

    EXPECT_EQ(ShadowPainter::apply(source, {}, 1), source);
    const Tokens::Shadow down{Design::black(0.8), 2, 0, 10};
    const QImage one = ShadowPainter::apply(source, {down}, 1);
    EXPECT_GT(qAlpha(one.pixel(30, 36)), 0); // below the shape
    EXPECT_EQ(qAlpha(one.pixel(30, 5)), 0);  // nothing above it
    EXPECT_EQ(one.pixel(30, 20), source.pixel(30, 20)); // the shape stays on top
    const QImage two = ShadowPainter::apply(source, {down, down}, 1);
    EXPECT_GT(qAlpha(two.pixel(30, 46)), qAlpha(one.pixel(30, 46))); // the second falls from the first
}
