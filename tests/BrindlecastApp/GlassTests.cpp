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

TEST(Glass, RadiiAndShadowsByVariant) {
    EXPECT_EQ(Glass::radius(GlassVariant::window, light), 20);
    EXPECT_EQ(Glass::radius(GlassVariant::sidebar, light), 20); // the window radius, not one of its own
    EXPECT_EQ(Glass::radius(GlassVariant::toolbar, light), 16);
    EXPECT_EQ(Glass::radius(GlassVariant::popover, light), 14);
    EXPECT_EQ(Glass::radius(GlassVariant::popover, light, 0.0), 0);

    EXPECT_TRUE(Glass::shadows(GlassVariant::window, light).isEmpty());
    EXPECT_EQ(Glass::shadows(GlassVariant::toolbar, dark), QList<Tokens::Shadow>{dark.toolbarShadow});
    EXPECT_EQ(Glass::shadows(GlassVariant::popover, light), QList<Tokens::Shadow>{light.toolbarShadow});
    EXPECT_EQ(Glass::shadows(GlassVariant::sidebar, light), (QList<Tokens::Shadow>{{Design::black(0.18), 9, 0, 5}}));
}

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

TEST(Hairline, SizesByAxisAndLength) {
    Hairline vertical(Qt::Vertical);
    EXPECT_EQ(vertical.size(), QSize(1, 22));
    Hairline measured(Qt::Horizontal, 30.0);
    EXPECT_EQ(measured.size(), QSize(30, 1));

    QWidget container;
    auto* layout = new QHBoxLayout(&container);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* stretching = new Hairline(Qt::Horizontal);
    layout->addWidget(stretching);
    container.resize(200, 20);
    container.show();
    layout->activate();
    EXPECT_EQ(stretching->width(), 200);
    EXPECT_EQ(stretching->height(), 1);
}
