#include "Support/Geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using Support::Point;
using Support::Rect;

namespace {

const Rect kNull = Rect::null();

std::string show(const Rect& r) {
    if (r.isNull()) return "null";
    return "(" + std::to_string(r.x()) + ", " + std::to_string(r.y()) + ", " + std::to_string(r.width()) + ", " +
           std::to_string(r.height()) + ")";
}

} // namespace

TEST(Geometry, NullAndEmpty) {
    struct Case {
        Rect rect;
        bool null;
        bool empty;
    };
    const Case cases[] = {
        {kNull, true, true},
        {Rect(0, 0, 0, 0), false, true},
        {Rect(5, 5, 10, 0), false, true},
        {Rect(5, 5, 0, -3), false, true},
        {Rect(5, 5, -10, -10), false, false},
        {Rect(0, 0, 1, 1), false, false},
        {Rect(std::numeric_limits<double>::infinity(), 0, 4, 4), true, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.rect.isNull(), c.null) << show(c.rect);
        EXPECT_EQ(c.rect.isEmpty(), c.empty) << show(c.rect);
    }
}

TEST(Geometry, StandardizedAndEdges) {
    const Rect r(10, 20, -4, -6);
    EXPECT_EQ(r.standardized(), Rect(6, 14, 4, 6));
    EXPECT_DOUBLE_EQ(r.minX(), 6);
    EXPECT_DOUBLE_EQ(r.maxX(), 10);
    EXPECT_DOUBLE_EQ(r.midY(), 17);
    EXPECT_TRUE(kNull.standardized().isNull());
}

TEST(Geometry, BinaryOperations) {
    struct Case {
        const char* name;
        Rect a;
        Rect b;
        Rect intersection;
        bool intersects;
        Rect united;
    };
    const Case cases[] = {
        {"overlap", Rect(0, 0, 10, 10), Rect(5, 5, 10, 10), Rect(5, 5, 5, 5), true, Rect(0, 0, 15, 15)},
        {"inside", Rect(0, 0, 10, 10), Rect(2, 2, 3, 3), Rect(2, 2, 3, 3), true, Rect(0, 0, 10, 10)},
        {"touching edge", Rect(0, 0, 10, 10), Rect(10, 0, 5, 10), Rect(10, 0, 0, 10), false, Rect(0, 0, 15, 10)},
        {"apart", Rect(0, 0, 10, 10), Rect(20, 20, 5, 5), kNull, false, Rect(0, 0, 25, 25)},
        {"negative size", Rect(10, 10, -10, -10), Rect(5, 5, 10, 10), Rect(5, 5, 5, 5), true, Rect(0, 0, 15, 15)},
        {"empty inside", Rect(0, 0, 10, 10), Rect(3, 3, 0, 0), Rect(3, 3, 0, 0), false, Rect(0, 0, 10, 10)},
        {"null operand", Rect(0, 0, 10, 10), kNull, kNull, false, Rect(0, 0, 10, 10)},
        {"both null", kNull, kNull, kNull, false, kNull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(c.a.intersection(c.b).equalTo(c.intersection)) << show(c.a.intersection(c.b));
        EXPECT_TRUE(c.b.intersection(c.a).equalTo(c.intersection));
        EXPECT_EQ(c.a.intersects(c.b), c.intersects);
        EXPECT_TRUE(c.a.united(c.b).equalTo(c.united)) << show(c.a.united(c.b));
        EXPECT_TRUE(c.b.united(c.a).equalTo(c.united));
    }
}

TEST(Geometry, IntegralAndInset) {
    EXPECT_EQ(Rect(10.25, 0.5, 10.25, 1.0).integral(), Rect(10, 0, 11, 2));
    EXPECT_EQ(Rect(-0.5, -0.5, 1, 1).integral(), Rect(-1, -1, 2, 2));
    EXPECT_EQ(Rect(3, 3, -1.5, 2).integral(), Rect(1, 3, 2, 2));
    EXPECT_TRUE(kNull.integral().isNull());

    EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(2, 3), Rect(2, 3, 6, 4));
    EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(-4, -4), Rect(-4, -4, 18, 18));
    EXPECT_EQ(Rect(0, 0, 10, 10).insetBy(5, 5), Rect(5, 5, 0, 0));
    EXPECT_TRUE(Rect(0, 0, 10, 10).insetBy(6, 0).isNull());
    EXPECT_TRUE(kNull.insetBy(1, 1).isNull());
    EXPECT_TRUE(kNull.offsetBy(1, 1).isNull());
}

TEST(Geometry, Containment) {
    const Rect r(0, 0, 10, 10);
    struct PointCase {
        Point p;
        bool inside;
    };
    const PointCase points[] = {
        {{0, 0}, true}, {{9.999, 9.999}, true}, {{10, 5}, false}, {{5, 10}, false}, {{-0.001, 5}, false},
    };
    for (const PointCase& c : points) EXPECT_EQ(r.contains(c.p), c.inside) << c.p.x << "," << c.p.y;
    EXPECT_FALSE(kNull.contains(Point{0, 0}));

    EXPECT_TRUE(r.contains(Rect(0, 0, 10, 10)));
    EXPECT_TRUE(r.contains(Rect(10, 10, 0, 0)));
    EXPECT_FALSE(r.contains(Rect(5, 5, 6, 1)));
    EXPECT_FALSE(r.contains(kNull));
    EXPECT_FALSE(kNull.contains(r));
}
