// Annotation shapes on the canvas: bounds, the selection chrome, and which grip or annotation a
// pointer lands on. A positive rotation turns clockwise on screen, as in the saved document.

#include "BrindlecastApp/Review/AnnotationGeometry.h"

#include "ReviewTestSupport.h"
#include "ExportKit/Exporter.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPolygonF>

#include <cmath>
#include <numbers>

using namespace BrindlecastApp;
using namespace BrindlecastApp::AnnotationGeometry;
using CanvasGeometry::ImageViewMapping;
using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

namespace {

const Annotation::Style kStyle{"#FF3B30", 4, 1, false, std::nullopt, false};
constexpr double kPi = std::numbers::pi;

Annotation make(Annotation::Kind kind, std::int64_t z = 0) { return Annotation(QUuid::createUuid(), z, std::move(kind)); }
Annotation box(Rect rect, double rotation = 0, std::int64_t z = 0) {
    return make(Annotation::Box{rect, kStyle, std::nullopt, rotation}, z);
}
Annotation textAt(Point origin, double size) {
    Annotation::Style style = kStyle;
    style.lineWidth = size;
    return make(Annotation::Text{origin, "Hello", style, std::nullopt, Annotation::TextAlignment::right, 0});
}
Annotation unknown() { return make(Annotation::Unknown{"spotlight", SidecarKit::JSONValue::object({})}); }

// One view point per image pixel, image at the view's origin.
const ImageViewMapping kOneToOne(Rect(0, 0, 1000, 1000), {1000, 1000});
// Half a point per pixel, image placed at (20, 40).
const ImageViewMapping kHalf(Rect(20, 40, 500, 500), {1000, 1000});

Point mapped(const QTransform& t, const Point& p) {
    const QPointF q = t.map(QPointF(p.x, p.y));
    return {q.x(), q.y()};
}

} // namespace

TEST(AnnotationGeometry, BoundsPerKind) {
    struct Case {
        const char* name;
        Annotation annotation;
        Rect expected;
    };
    const Case cases[] = {
        {"arrow, grown by 6", make(Annotation::Arrow{{50, 30}, {10, 10}, kStyle, std::nullopt}), {4, 4, 52, 32}},
        {"arrow with its control point", make(Annotation::Arrow{{10, 10}, {50, 30}, kStyle, Point{30, -20}}), {4, -26, 52, 62}},
        {"line, grown by 6", make(Annotation::Line{{10, 10}, {10, 30}, kStyle, true}), {4, 4, 12, 32}},
        {"box, rotation not applied", box({10, 20, 30, 40}, 0.5), {10, 20, 30, 40}},
        {"ellipse", make(Annotation::Ellipse{{1, 2, 3, 4}, kStyle, std::nullopt, 0}), {1, 2, 3, 4}},
        {"blur", make(Annotation::Blur{{5, 6, 7, 8}, Annotation::RedactionStyle::solid, 1}), {5, 6, 7, 8}},
        {"freeform with one point, grown by its width", make(Annotation::Freeform{{{50, 60}}, kStyle, false}), {46, 56, 8, 8}},
        {"freeform", make(Annotation::Freeform{{{50, 60}, {10, 80}, {30, 70}}, kStyle, true}), {6, 56, 48, 28}},
        {"badge", make(Annotation::Badge{{50, 50}, 3, 20, kStyle}), {30, 30, 40, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(annotationBounds(c.annotation), c.expected);
    }
    EXPECT_TRUE(annotationBounds(make(Annotation::Freeform{{}, kStyle, false})).isNull());
    EXPECT_TRUE(annotationBounds(unknown()).isNull());
}

TEST(AnnotationGeometry, TextBoundsAreTheMeasuredStringAtItsFontSize) {
    struct Case {
        double lineWidth;
        double measuredAt;
    };
    const Case cases[] = {{4, 16}, {5.9, 16}, {6, 6}, {40, 40}, {std::nan(""), 16}, {INFINITY, 16}};
    for (const Case& c : cases) {
        const Rect bounds = annotationBounds(textAt({10, 20}, c.lineWidth));
        const Support::Size size = textSize("Hello", c.measuredAt);
        EXPECT_EQ(bounds, Rect(10, 20, size.width, size.height)) << c.lineWidth;
        EXPECT_GT(size.width, c.measuredAt) << "five letters are wider than one em";
    }
    const Support::Size one = textSize("Hello", 20);
    const Support::Size two = textSize("Hello\nHello", 20);
    EXPECT_DOUBLE_EQ(two.width, one.width);
    EXPECT_NEAR(two.height, 2 * one.height, 1);
    EXPECT_EQ(textSize("", 20), Support::Size(0, 0));
    EXPECT_EQ(textSize("Hello", 0), Support::Size(0, 0));
    EXPECT_EQ(textSize("Hello", -3), Support::Size(0, 0));

    // Sizes no font engine lays out are measured smaller and scaled up, never cast.
    const Support::Size huge = textSize("Hello", 1e300);
    EXPECT_TRUE(std::isfinite(huge.width) && huge.width > 1e299);
    const Support::Size large = textSize("Hello", 4096);
    EXPECT_NEAR(large.width / 4096, textSize("Hello", 1024).width / 1024, 1e-9);
}

TEST(AnnotationGeometry, ChromeOfEachKind) {
    const auto frame = selectionChrome(box({100, 100, 200, 100}), kHalf);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->shape, SelectionChrome::Shape::frame);
    EXPECT_EQ(frame->frame, Rect(70, 90, 100, 50));
    EXPECT_EQ(frame->handles, (std::vector<Point>{{70, 90}, {170, 90}, {70, 140}, {170, 140}}));
    EXPECT_EQ(frame->knob, Point(120, 68));
    EXPECT_EQ(frame->stem, Rect(119.5, 68, 1, 22));
    EXPECT_TRUE(frame->transform().isIdentity());

    const auto line = selectionChrome(make(Annotation::Line{{0, 0}, {100, 50}, kStyle, false}), kHalf);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->shape, SelectionChrome::Shape::endpoints);
    EXPECT_EQ(line->handles, (std::vector<Point>{{20, 40}, {70, 65}}));
    EXPECT_EQ(line->knob, std::nullopt);

    const auto arrow = selectionChrome(make(Annotation::Arrow{{0, 0}, {100, 0}, kStyle, Point{50, 40}}), kHalf);
    ASSERT_TRUE(arrow);
    EXPECT_EQ(arrow->knob, Point(45, 50)) << "on the curve's middle";

    const auto badge = selectionChrome(make(Annotation::Badge{{100, 100}, 1, 20, kStyle}), kHalf);
    ASSERT_TRUE(badge);
    EXPECT_EQ(badge->shape, SelectionChrome::Shape::ring);
    EXPECT_EQ(badge->ringCenter, Point(70, 90));
    EXPECT_EQ(badge->ringRadius, 13);
    EXPECT_TRUE(badge->handles.empty());

    EXPECT_FALSE(selectionChrome(make(Annotation::Freeform{{{1, 1}, {5, 5}}, kStyle, false}), kHalf));
    EXPECT_FALSE(selectionChrome(unknown(), kHalf));
    EXPECT_FALSE(selectionChrome(box({std::nan(""), 0, 10, 10}), kHalf));
    EXPECT_FALSE(selectionChrome(box({1e300, 0, 10, 10}), kHalf)) << "too far away to place";
    EXPECT_FALSE(selectionChrome(make(Annotation::Line{{0, 0}, {INFINITY, 0}, kStyle, false}), kHalf));
}

TEST(AnnotationGeometry, RotatedChromeTurnsClockwiseOnScreen) {
    // A quarter turn clockwise carries the top edge to the right: the knob, 22 points above the
    // top of a 200 x 100 frame centred on (200, 150), lands 72 points right of the centre.
    const auto chrome = selectionChrome(box({100, 100, 200, 100}, kPi / 2), kOneToOne);
    ASSERT_TRUE(chrome);
    const Point knob = mapped(chrome->transform(), *chrome->knob);
    EXPECT_NEAR(knob.x, 272, 1e-9);
    EXPECT_NEAR(knob.y, 150, 1e-9);
    const Point topLeft = mapped(chrome->transform(), chrome->handles[0]);
    EXPECT_NEAR(topLeft.x, 250, 1e-9);
    EXPECT_NEAR(topLeft.y, 50, 1e-9);

    // Angles from a damaged document are brought into one turn, never used as they are.
    const auto wound = selectionChrome(box({100, 100, 200, 100}, kPi / 2 + 2 * kPi * 1000), kOneToOne);
    EXPECT_NEAR(wound->rotation, kPi / 2, 1e-9);
    EXPECT_EQ(selectionChrome(box({100, 100, 200, 100}, 1e300), kOneToOne)->rotation, std::remainder(1e300, 2 * kPi));
}

TEST(AnnotationGeometry, GripsAreHitWithinTwelvePointSixInTestOrder) {
    const Annotation plain = box({100, 100, 200, 100});
    const Annotation atOrigin = box({0, 0, 200, 100});
    const Annotation tiny = box({100, 100, 5, 5});
    const Annotation quarter = box({100, 100, 200, 100}, kPi / 2);
    const Annotation line = make(Annotation::Line{{10, 10}, {200, 10}, kStyle, false});
    const Annotation arrow = make(Annotation::Arrow{{10, 10}, {200, 10}, kStyle, std::nullopt});
    const Annotation shortArrow = make(Annotation::Arrow{{10, 10}, {20, 10}, kStyle, std::nullopt});
    struct Case {
        const char* name;
        const Annotation* annotation;
        Point p;
        std::optional<ResizeHandle> expected;
    };
    const Case cases[] = {
        {"top-left", &plain, {100, 100}, ResizeHandle::topLeft},
        {"top-right", &plain, {300, 100}, ResizeHandle::topRight},
        {"bottom-left", &plain, {100, 200}, ResizeHandle::bottomLeft},
        {"bottom-right", &plain, {300, 200}, ResizeHandle::bottomRight},
        {"the knob", &plain, {200, 78}, ResizeHandle::rotate},
        {"12.6 points away", &atOrigin, {12.6, 0}, ResizeHandle::topLeft},
        {"12.7 points away", &atOrigin, {-12.7, 0}, std::nullopt},
        {"on a diagonal", &plain, {100 - 8.9, 100 - 8.9}, ResizeHandle::topLeft},
        {"the middle of the body", &plain, {200, 150}, std::nullopt},
        {"a tiny box: top-left first", &tiny, {102, 102}, ResizeHandle::topLeft},
        {"turned knob, clockwise", &quarter, {272, 150}, ResizeHandle::rotate},
        {"where a counter-clockwise knob would be", &quarter, {128, 150}, std::nullopt},
        {"turned top-left corner", &quarter, {250, 50}, ResizeHandle::topLeft},
        {"line start", &line, {12, 12}, ResizeHandle::start},
        {"line end", &line, {195, 5}, ResizeHandle::end},
        {"line middle has no grip", &line, {105, 10}, std::nullopt},
        {"arrow middle", &arrow, {105, 10}, ResizeHandle::mid},
        {"short arrow: start before middle", &shortArrow, {15, 10}, ResizeHandle::start},
        {"a point that is not a number", &plain, {std::nan(""), 100}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(handleHit(c.p, *c.annotation, kOneToOne), c.expected) << c.name;
    }
    for (const Annotation& none : {make(Annotation::Freeform{{{100, 100}}, kStyle, false}),
                                   make(Annotation::Badge{{100, 100}, 1, 20, kStyle}), unknown()}) {
        EXPECT_EQ(handleHit({100, 100}, none, kOneToOne), std::nullopt);
    }
}

TEST(AnnotationGeometry, TheKnobIsHitWhereItIsDrawnAtAnyAngle) {
    for (double rotation : {0.5, -0.5, 2.0, kPi, 1e300}) {
        const Annotation turned = box({300, 200, 160, 80}, rotation);
        const auto chrome = selectionChrome(turned, kHalf);
        ASSERT_TRUE(chrome);
        const QTransform t = chrome->transform();
        EXPECT_EQ(handleHit(mapped(t, *chrome->knob), turned, kHalf), ResizeHandle::rotate) << rotation;
        EXPECT_EQ(handleHit(mapped(t, chrome->handles[3]), turned, kHalf), ResizeHandle::bottomRight) << rotation;
    }
    // Half a radian clockwise moves the knob to the right of the centre, never to the left.
    const auto chrome = selectionChrome(box({300, 200, 160, 80}, 0.5), kHalf);
    EXPECT_GT(mapped(chrome->transform(), *chrome->knob).x, chrome->frame.midX());
}

// A turned text is drawn about a point near its origin, not about the centre of its bounds: the
// chrome must turn about the same point, or it would frame empty space beside the drawn text.
TEST(AnnotationGeometry, TurnedTextChromeFramesTheTextAsExported) {
    QImage white(600, 600, QImage::Format_ARGB32_Premultiplied);
    white.fill(Qt::white);
    for (double rotation : {0.0, 0.7, kPi / 2, -2.0}) {
        Annotation text = textAt({200, 260}, 48);
        std::get<Annotation::Text>(text.kind).rotation = rotation;
        const QImage drawn = ExportKit::Exporter::flatten(white, {text});
        const auto chrome = selectionChrome(text, kOneToOne);
        ASSERT_TRUE(chrome);
        // The frame grown by a few pixels for antialiasing and glyphs that overhang their advance.
        const Rect grown = chrome->frame.insetBy(-4, -4);
        const QPolygonF frame = chrome->transform().map(QPolygonF(QRectF(grown.minX(), grown.minY(), grown.width(), grown.height())));
        int ink = 0, outside = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) {
                if (qGray(drawn.pixel(x, y)) > 200) continue;
                ++ink;
                outside += !frame.containsPoint(QPointF(x + 0.5, y + 0.5), Qt::OddEvenFill);
            }
        }
        EXPECT_GT(ink, 500) << rotation;
        EXPECT_EQ(outside, 0) << rotation;
    }
}

TEST(AnnotationGeometry, TheTopmostAnnotationWithinFourPixelsIsHit) {
    const Annotation low = box({0, 0, 100, 100}, 0, 5);
    const Annotation laterSameZ = box({50, 50, 100, 100}, 0, 5);
    const Annotation highButFirst = box({80, 80, 100, 100}, 0, 9);
    const std::vector<Annotation> stack{highButFirst, low, laterSameZ};
    struct Case {
        Point p;
        std::optional<QUuid> expected;
    };
    const Case cases[] = {
        {{10, 10}, low.id},
        {{60, 60}, laterSameZ.id},   // same z-index: the later one in the list
        {{90, 90}, highButFirst.id}, // the highest z-index, wherever it is listed
        {{-3, 10}, low.id},          // 3 pixels outside
        {{-4, 10}, low.id},          // the grown edge itself
        {{-5, 10}, std::nullopt},    // 5 pixels outside
        {{183.9, 100}, highButFirst.id},
        {{184, 100}, std::nullopt},  // the grown far edge is outside
        {{std::nan(""), 10}, std::nullopt},
    };
    for (const Case& c : cases) {
        const auto hit = hitAnnotation(c.p, stack);
        EXPECT_EQ(hit ? std::optional(hit->id) : std::nullopt, c.expected) << c.p.x << ", " << c.p.y;
    }
    // The body of a turned box is its unturned rectangle.
    const Annotation turned = box({0, 0, 200, 20}, kPi / 2);
    EXPECT_TRUE(hitAnnotation({190, 10}, {turned}));
    EXPECT_FALSE(hitAnnotation({100, 90}, {turned}));
    EXPECT_FALSE(hitAnnotation({10, 10}, {unknown()}));
}

TEST(AnnotationGeometry, MarqueeFollowsALockedCropRatio) {
    struct Case {
        const char* name;
        Point start, current;
        std::optional<double> ratio;
        Rect expected;
    };
    const Case cases[] = {
        {"free", {100, 100}, {500, 200}, std::nullopt, {100, 100, 400, 100}},
        {"free, dragged up and left", {500, 200}, {100, 100}, std::nullopt, {100, 100, 400, 100}},
        {"4:3 whatever the vertical drag", {100, 100}, {500, 120}, 4.0 / 3.0, {100, 100, 400, 300}},
        {"4:3 dragged upwards ends at the start", {100, 500}, {500, 100}, 4.0 / 3.0, {100, 200, 400, 300}},
        {"a ratio of 0 is free", {100, 100}, {500, 200}, 0.0, {100, 100, 400, 100}},
        {"a ratio that is not a number is free", {100, 100}, {500, 200}, std::nan(""), {100, 100, 400, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rect r = marqueeRect(c.start, c.current, c.ratio);
        EXPECT_EQ(r.origin, c.expected.origin);
        EXPECT_EQ(r.width(), c.expected.width());
        EXPECT_NEAR(r.height(), c.expected.height(), 1e-9);
    }
    EXPECT_NEAR(marqueeRect({0, 0}, {400, 10}, 1.3333).height(), 300, 0.01);
}
