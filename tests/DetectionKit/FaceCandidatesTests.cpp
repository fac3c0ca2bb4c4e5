// Reading the face model's head maps, merging what it saw across tiles and sizes, and the tiles a
// screen is searched in.
#include "DetectionKit/FaceCandidates.h"

#include <gtest/gtest.h>

#include <QFont>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

using namespace DetectionKit::FaceCandidates;

namespace {

// Head maps of one head, all cells quiet (score far below any threshold) until set.
struct Maps {
    Maps(int anchors, int stride, int rows, int columns)
        : anchors(anchors), stride(stride), rows(rows), columns(columns),
          scores(size_t(anchors * rows * columns), -20.f), boxes(size_t(anchors * 16 * rows * columns), 0.f) {}

    // A face seen by `anchor` of cell (x, y): raw score, centre offset and size.
    void set(int anchor, int x, int y, float raw, float dx, float dy, float w, float h) {
        const size_t plane = size_t(rows * columns), cell = size_t(y * columns + x);
        scores[size_t(anchor) * plane + cell] = raw;
        float* values = boxes.data() + size_t(anchor) * 16 * plane;
        values[cell] = dx;
        values[plane + cell] = dy;
        values[2 * plane + cell] = w;
        values[3 * plane + cell] = h;
    }
    Head head() const { return {scores.data(), boxes.data(), anchors, stride, rows, columns}; }

    int anchors, stride, rows, columns;
    std::vector<float> scores, boxes;
};

double logit(double p) { return std::log(p / (1 - p)); }

void expectRect(const Support::Rect& r, double x, double y, double w, double h, const char* what) {
    EXPECT_NEAR(r.x(), x, 1e-6) << what;
    EXPECT_NEAR(r.y(), y, 1e-6) << what;
    EXPECT_NEAR(r.width(), w, 1e-6) << what;
    EXPECT_NEAR(r.height(), h, 1e-6) << what;
}

} // namespace

TEST(FaceCandidatesTest, DecodesAnchorsAtCellCentresInImagePixels) {
    Maps maps(2, 8, 4, 6);
    // Cell (3, 1) of stride 8 has its centre at (28, 12); the second anchor's plane is used.
    maps.set(1, 3, 1, float(logit(0.9)), 2, -1, 20, 24);
    struct Case {
        const char* what;
        Placement placement;
        double x, y, w, h;
    };
    const Case cases[] = {
        {"a full-size tile at the origin", {0, 0, 1}, 20, -1, 20, 24},
        {"a full-size tile further in", {448, 252, 1}, 468, 251, 20, 24},
        {"the whole screen at a quarter size", {0, 0, 0.25}, 80, -4, 80, 96},
    };
    for (const Case& c : cases) {
        const std::vector<Candidate> found = decode(maps.head(), c.placement, 0.75);
        ASSERT_EQ(found.size(), 1u) << c.what;
        expectRect(found[0].box, c.x, c.y, c.w, c.h, c.what);
        EXPECT_NEAR(found[0].score, 0.9, 1e-6) << c.what;
    }
}

TEST(FaceCandidatesTest, KeepsOnlyScoresAtTheThresholdAndUsableSizes) {
    Maps maps(6, 16, 2, 2);
    maps.set(0, 0, 0, float(logit(0.74)), 0, 0, 30, 30);  // just below
    maps.set(2, 1, 0, float(logit(0.76)), 0, 0, 30, 30);  // just above
    maps.set(5, 1, 1, 1e30f, 0, 0, 30, 30);              // a huge raw value is a sure face, not a fault
    maps.set(3, 0, 1, float(logit(0.95)), 0, 0, 0, 30);   // no width: nothing to box
    maps.set(4, 0, 1, float(logit(0.95)), 0, 0, 30, std::nanf(""));
    const std::vector<Candidate> found = decode(maps.head(), {}, 0.75);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NEAR(found[0].score, 0.76, 1e-6);
    EXPECT_NEAR(found[1].score, 1.0, 1e-6);
    expectRect(found[1].box, 24 - 15 + 0, 24 - 15, 30, 30, "stride 16, cell (1, 1)");
}

TEST(FaceCandidatesTest, MergesOverlappingBoxesIntoTheirScoreWeightedMean) {
    // Two views of one face (overlap well above 0.3) and a face of its own beside them.
    const std::vector<Candidate> merged = merge({
        {Support::Rect(100, 100, 40, 40), 0.8},
        {Support::Rect(300, 100, 40, 40), 0.9},
        {Support::Rect(110, 100, 40, 40), 0.8},
    });
    ASSERT_EQ(merged.size(), 2u);
    expectRect(merged[0].box, 300, 100, 40, 40, "the stronger face first");
    expectRect(merged[1].box, 105, 100, 40, 40, "the mean of the two views");
    EXPECT_DOUBLE_EQ(merged[1].score, 0.8);

    // Boxes that only touch at an overlap below 0.3 stay apart: two faces side by side.
    EXPECT_EQ(merge({{Support::Rect(0, 0, 40, 40), 0.9}, {Support::Rect(30, 0, 40, 40), 0.9}}).size(), 2u);
    EXPECT_TRUE(merge({}).empty());
}

TEST(FaceCandidatesTest, TilesCoverTheScreenWithTheOverlap) {
    struct Case {
        const char* what;
        int width, height;
        std::vector<Tile> expected;
    };
    const Case cases[] = {
        {"smaller than a tile", 300, 200, {{0, 0, 300, 200}}},
        {"exactly a tile", 576, 576, {{0, 0, 576, 576}}},
        {"one tile high, two across", 1000, 400, {{0, 0, 576, 400}, {424, 0, 576, 400}}},
    };
    for (const Case& c : cases) EXPECT_EQ(tiles(c.width, c.height, 576, 128), c.expected) << c.what;

    const std::vector<Tile> screen = tiles(1920, 1080, 576, 128);
    ASSERT_EQ(screen.size(), 12u);
    EXPECT_EQ(screen.back(), (Tile{1344, 504, 576, 576}));
    for (size_t i = 0; i + 1 < 4; ++i) EXPECT_GE(screen[i].x + 576 - screen[i + 1].x, 128);
    EXPECT_TRUE(tiles(0, 100, 576, 128).empty());
}

TEST(FaceCandidatesTest, FaceBoxIsGrownAndRaisedFromTheModelsBox) {
    expectRect(faceBox(Support::Rect(100, 200, 50, 60)), 95, 191, 60, 72, "a tenth each side, raised a twentieth");
}

TEST(FaceCandidatesTest, DrawingsAreToldFromPhotographs) {
    // A flat cartoon head: a fill, two eyes and an outline on white.
    QImage drawn(120, 120, QImage::Format_RGB32);
    drawn.fill(Qt::white);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x) {
            const int dx = x - 60, dy = y - 60;
            if (dx * dx + dy * dy < 50 * 50) drawn.setPixel(x, y, qRgb(255, 205, 64));
            if ((x - 42) * (x - 42) + (y - 50) * (y - 50) < 36 || (x - 78) * (x - 78) + (y - 50) * (y - 50) < 36)
                drawn.setPixel(x, y, qRgb(40, 30, 25));
        }
    // A photograph stands in as shading that changes from pixel to pixel, with grain.
    QImage photo(120, 120, QImage::Format_RGB32);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 120; ++x) {
            const int grain = int((x * 7919 + y * 104729) % 13) - 6;
            photo.setPixel(x, y, qRgb(std::clamp(150 + x / 2 + grain, 0, 255), std::clamp(110 + y / 3 + grain, 0, 255), 90 + (x + y) / 8));
        }
    const Support::Rect box(10, 10, 100, 100);
    EXPECT_TRUE(looksDrawn(drawn, box));
    EXPECT_FALSE(looksDrawn(photo, box));
    // A box outside the image, or a single pixel, says nothing either way.
    EXPECT_FALSE(looksDrawn(drawn, Support::Rect(500, 500, 40, 40)));
    EXPECT_FALSE(looksDrawn(drawn, Support::Rect(5, 5, 1, 1)));
}

namespace {

// A photograph stands in as shading that changes from pixel to pixel, with grain.
void photograph(QImage& image, const QRect& r) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const int grain = int((x * 7919 + y * 104729) % 13) - 6;
            image.setPixel(x, y, qRgb(std::clamp(150 + x % 97 / 2 + grain, 0, 255), std::clamp(110 + y % 89 / 3 + grain, 0, 255), 90));
        }
}

// An interface without pictures: lines of small and larger text, light and dark, a filled button,
// a gradient bar.
void interface(QImage& image) {
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    QLinearGradient bar(0, 0, image.width(), 0);
    bar.setColorAt(0, QColor(40, 90, 200));
    bar.setColorAt(1, QColor(120, 40, 160));
    p.fillRect(0, 0, image.width(), 24, bar);
    p.fillRect(20, 200, 300, 80, QColor(28, 28, 30));
    for (int i = 0; i < 8; ++i) {
        QFont f(i % 2 ? QStringLiteral("DejaVu Sans") : QStringLiteral("Liberation Mono"));
        f.setPixelSize(11 + i);
        p.setFont(f);
        p.setPen(i < 6 ? QColor(32, 33, 36) : QColor(230, 230, 230));
        p.drawText(QPoint(i < 6 ? 24 : 30, 40 + i * 24 + (i < 6 ? 0 : 80)), QStringLiteral("ada.whitlock@example.com 4111 1111 1111 1111"));
    }
    p.fillRect(400, 40, 90, 28, QColor(0, 122, 255));
}

} // namespace

// The net runs only where a face can be: areas around photographs, grown by the margin, merged where
// they overlap; text, fills and gradients, and photographs too small for a face, give none.
TEST(FaceCandidatesTest, FaceAreasAreWhereThereArePhotographs) {
    struct Case {
        const char* what;
        std::function<void(QImage&)> draw;
        std::vector<Tile> expected;
    };
    const Case cases[] = {
        {"an interface of text, fills and gradients", interface, {}},
        {"a photograph in it", [](QImage& i) { interface(i); photograph(i, QRect(520, 120, 48, 64)); },
         {{520 - 32, 120 - 32, 48 + 64, 64 + 64}}},
        {"one at the corner, clipped", [](QImage& i) { photograph(i, QRect(0, 0, 40, 40)); }, {{0, 0, 72, 72}}},
        {"two close together, one area", [](QImage& i) { photograph(i, QRect(104, 104, 40, 40)); photograph(i, QRect(160, 104, 40, 40)); },
         {{72, 72, 160, 104}}},
        {"one too small for a face", [](QImage& i) { photograph(i, QRect(304, 304, 10, 10)); }, {}},
    };
    for (const Case& c : cases) {
        QImage image(640, 400, QImage::Format_RGB32);
        image.fill(QColor(248, 249, 250));
        c.draw(image);
        EXPECT_EQ(faceAreas(photographicCells(image, 8), image.width(), image.height(), 16, 32), c.expected) << c.what;
    }
}

TEST(FaceCandidatesTest, KeyPointsComeWithTheBoxAndAreMergedLikeIt) {
    Maps maps(1, 8, 2, 2);
    // Cell (1, 0) of stride 8 has its centre at (12, 4); key points as offsets from it.
    maps.set(0, 1, 0, float(logit(0.9)), 0, 0, 20, 20);
    const size_t plane = 4, cell = 1;
    for (int k = 0; k < keyPointCount; ++k) {
        maps.boxes[size_t(4 + 2 * k) * plane + cell] = float(k);
        maps.boxes[size_t(5 + 2 * k) * plane + cell] = float(-k);
    }
    const std::vector<Candidate> found = decode(maps.head(), {100, 50, 0.5}, 0.75);
    ASSERT_EQ(found.size(), 1u);
    for (int k = 0; k < keyPointCount; ++k) {
        EXPECT_NEAR(found[0].keyPoints[size_t(k)].x, 100 + (12 + k) / 0.5, 1e-6) << k;
        EXPECT_NEAR(found[0].keyPoints[size_t(k)].y, 50 + (4 - k) / 0.5, 1e-6) << k;
    }

    Candidate a{Support::Rect(0, 0, 40, 40), 0.9, {}}, b{Support::Rect(4, 0, 40, 40), 0.3, {}};
    a.keyPoints[nose] = {20, 24};
    b.keyPoints[nose] = {24, 28};
    const std::vector<Candidate> merged = merge({a, b});
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_NEAR(merged[0].keyPoints[nose].x, 21, 1e-6);
    EXPECT_NEAR(merged[0].keyPoints[nose].y, 25, 1e-6);
}

namespace {

// A candidate in a 100 x 100 box whose key points sit at the given shares of the box.
Candidate withLayout(double rightEyeX, double leftEyeX, double eyesY, double mouthY, double rightEarX, double leftEarX) {
    Candidate c{Support::Rect(200, 100, 100, 100), 0.9, {}};
    auto at = [&](KeyPoint k, double x, double y) { c.keyPoints[size_t(k)] = {200 + 100 * x, 100 + 100 * y}; };
    at(rightEye, rightEyeX, eyesY);
    at(leftEye, leftEyeX, eyesY);
    at(nose, (rightEyeX + leftEyeX) / 2, (eyesY + mouthY) / 2);
    at(mouth, (rightEyeX + leftEyeX) / 2, mouthY);
    at(rightEar, rightEarX, eyesY + 0.05);
    at(leftEar, leftEarX, eyesY + 0.05);
    return c;
}

} // namespace

TEST(FaceCandidatesTest, HumanLayoutTellsPeopleFromAnimals) {
    struct Case {
        const char* what;
        Candidate candidate;
        bool human;
    };
    const Case cases[] = {
        {"a face in plain view", withLayout(0.3, 0.72, 0.28, 0.72, 0.05, 0.93), true},
        {"turned three-quarter away", withLayout(0.45, 0.7, 0.3, 0.72, 0.3, 0.94), true},
        {"a snout: eyes close together", withLayout(0.45, 0.55, 0.3, 0.72, 0.05, 0.93), false},
        {"the mouth at the eyes' height", withLayout(0.3, 0.72, 0.4, 0.6, 0.05, 0.93), false},
        {"ears close together", withLayout(0.3, 0.72, 0.28, 0.72, 0.35, 0.7), false},
        {"eyes the wrong way round", withLayout(0.72, 0.3, 0.28, 0.72, 0.93, 0.05), false},
        {"no box", Candidate{Support::Rect(0, 0, 0, 0), 0.9, {}}, false},
    };
    for (const Case& c : cases) EXPECT_EQ(humanLayout(c.candidate), c.human) << c.what;
}

TEST(FaceCandidatesTest, ShadedAndSmallDrawingsAreToldFromPhotographs) {
    // Anime skin: a smooth ramp, one level every few pixels, under a few ink lines; a photograph's
    // skin: the same ramp with grain. Both large (not flat by colour count) and small.
    auto face = [](int side, bool grain) {
        QImage image(side + 40, side + 40, QImage::Format_RGB32);
        image.fill(QColor(30, 30, 32));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const int g = grain ? int((x * 7919 + y * 104729) % 13) - 6 : 0;
                image.setPixel(20 + x, 20 + y, qRgb(std::clamp(238 - y * 40 / side + g, 0, 255),
                                                    std::clamp(205 - y * 40 / side + g, 0, 255), std::clamp(180 - x * 20 / side + g, 0, 255)));
            }
        QPainter p(&image);
        p.setPen(QPen(QColor(40, 20, 20), std::max(1, side / 40)));
        p.drawLine(20 + side / 4, 20 + side / 3, 20 + side / 3, 20 + side / 3);
        p.drawLine(20 + side * 2 / 3, 20 + side / 3, 20 + side * 3 / 4, 20 + side / 3);
        p.drawLine(20 + side * 2 / 5, 20 + side * 3 / 4, 20 + side * 3 / 5, 20 + side * 3 / 4);
        return image;
    };
    struct Case {
        const char* what;
        QImage image;
        int side;
        bool drawn;
    };
    const Case cases[] = {
        {"a shaded drawing, large", face(300, false), 300, true},
        {"a shaded drawing at 64 px", face(64, false), 64, true},
        {"a photograph, large", face(300, true), 300, false},
        {"a photograph at 64 px", face(64, true), 64, false},
        {"a photograph at 22 px", face(22, true), 22, false},
    };
    for (const Case& c : cases) {
        const Support::Rect box(20, 20, c.side, c.side);
        EXPECT_EQ(drawing(c.image, box), c.drawn) << c.what << " (inner flatness " << flatInside(c.image, box) << ")";
    }

    // A 24 px sticker: outline and eyes over a flat fill, too few pixels for the inner face to tell.
    QImage sticker(64, 64, QImage::Format_RGB32);
    sticker.fill(QColor(32, 33, 36));
    QPainter p(&sticker);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 40, 30), 1));
    p.setBrush(QColor(255, 205, 64));
    p.drawEllipse(QRectF(20, 20, 24, 24));
    p.setBrush(QColor(40, 30, 25));
    p.drawEllipse(QPointF(27, 29), 2, 2);
    p.drawEllipse(QPointF(37, 29), 2, 2);
    p.drawArc(QRectF(26, 32, 12, 6), 200 * 16, 140 * 16);
    p.end();
    EXPECT_TRUE(drawing(sticker, Support::Rect(22, 24, 20, 20)));
    EXPECT_DOUBLE_EQ(flatInside(sticker, Support::Rect(500, 500, 20, 20)), 0);
}

TEST(FaceCandidatesTest, FlatCheeksAreJudgedByTheFacesContrast) {
    // Grainy skin with a smooth fill over a share of the cheeks (the middle half of the box) and a
    // dark line across them (brows, a mouth: the face's darkest pixels); `dim` is the same face
    // lit from behind, every level squeezed to a third before the camera's grain.
    auto face = [](int side, double fillShare, bool dim) {
        QImage image(side + 40, side + 40, QImage::Format_RGB32);
        image.fill(QColor(30, 30, 32));
        const int fillFrom = 20 + side / 4, fillTo = fillFrom + int(std::lround(fillShare * (side / 2)));
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const int g = int((unsigned(x) * 7919u + unsigned(y) * 104729u + unsigned(x * y) * 31u) % 13u) - 6;
                const bool fill = 20 + x >= fillFrom && 20 + x <= fillTo;
                const bool ink = y == side / 2 && x >= side * 5 / 8 && x < side * 3 / 4;
                int r = ink ? 40 : 214, gr = ink ? 24 : 172, b = ink ? 20 : 150;
                if (dim) r = 8 + r * 3 / 10, gr = 9 + gr * 3 / 10, b = 14 + b * 3 / 10;
                if (!fill && !ink) r += g, gr += g, b += g;
                image.setPixel(20 + x, 20 + y, qRgb(r, gr, b));
            }
        return image;
    };
    struct Case {
        const char* what;
        int side;
        double fillShare;
        bool dim;
        bool drawn;
    };
    const Case cases[] = {
        {"a quarter of the cheeks filled, full contrast", 64, 0.25, false, true},
        {"the same face lit from behind", 64, 0.25, true, false},
        {"an eighth filled, full contrast", 64, 0.125, false, false},
        {"a twelfth filled, small", 24, 0.08, false, true},
        {"no fill, small", 24, 0, false, false},
        {"half filled, lit from behind", 64, 0.5, true, true},
    };
    for (const Case& c : cases) {
        const QImage image = face(c.side, c.fillShare, c.dim);
        const Support::Rect box(20, 20, c.side, c.side);
        EXPECT_EQ(drawing(image, box), c.drawn) << c.what << " (inner flatness " << flatInside(image, box) << ", contrast "
                                                << contrastInside(image, box) << ")";
    }
    EXPECT_GE(contrastInside(face(64, 0, false), Support::Rect(20, 20, 64, 64)), 128);
    EXPECT_LT(contrastInside(face(64, 0, true), Support::Rect(20, 20, 64, 64)), 128);
    EXPECT_EQ(contrastInside(face(64, 0, false), Support::Rect(500, 500, 64, 64)), 0);
}

TEST(FaceCandidatesTest, EachFaceKeepsOneBox) {
    using Rects = std::vector<Support::Rect>;
    const Support::Rect face(100, 100, 60, 60);
    struct Case {
        const char* what;
        Rects boxes;
        Rects expected;
    };
    const Case cases[] = {
        {"hair at the top corner, seen as a small face at twice its size", {face, Support::Rect(146, 94, 24, 24)},
         {Support::Rect(100, 94, 70, 66)}},
        {"the eyes and nose inside the face", {face, Support::Rect(112, 118, 36, 36)}, {face}},
        {"a box around the head and shoulders, the weaker one first", {Support::Rect(70, 70, 150, 150), face},
         {Support::Rect(70, 70, 150, 150)}},
        {"three views of one face, joined one after the other", {face, Support::Rect(145, 145, 20, 20), Support::Rect(90, 90, 24, 24)},
         {Support::Rect(90, 90, 75, 75)}},
        {"two people side by side, boxes touching", {face, Support::Rect(150, 100, 60, 60)}, {face, Support::Rect(150, 100, 60, 60)}},
        {"a smaller face a quarter of which is hidden behind a larger one", {face, Support::Rect(152, 120, 30, 30)},
         {face, Support::Rect(152, 120, 30, 30)}},
        {"faces apart", {face, Support::Rect(400, 100, 30, 30)}, {face, Support::Rect(400, 100, 30, 30)}},
        {"none", {}, {}},
    };
    for (const Case& c : cases) {
        const Rects joined = oneBoxPerFace(c.boxes);
        ASSERT_EQ(joined.size(), c.expected.size()) << c.what;
        for (size_t i = 0; i < joined.size(); ++i)
            expectRect(joined[i], c.expected[i].x(), c.expected[i].y(), c.expected[i].width(), c.expected[i].height(), c.what);
    }
}
