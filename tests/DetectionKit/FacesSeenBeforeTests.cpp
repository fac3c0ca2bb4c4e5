// What the face net saw in a part of the screen is kept for the same pixels in the same place:
// whatever a detector saw before, it finds on each screen what a fresh detector that keeps
// nothing finds there.
#include "BenchDrawing.h"
#include "TestPhotograph.h"

#include "DetectionKit/NeuralFaceDetector.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace DetectionKit;

namespace {

// The astronaut's face in the 512-pixel photograph.
const QRect kFace(178, 72, 88, 92);

// A dark call window with a caption and the photograph, its face `side` pixels wide at `centre`.
QImage callScreen(const QImage& photo, QPointF centre, double side, const QString& caption) {
    QImage screen = DetectionBench::blankImage(1280, 800, QColor(24, 24, 26));
    QPainter painter(&screen);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::white);
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    painter.setFont(font);
    painter.drawText(QPoint(20, 22), caption);
    painter.setClipRect(QRectF(centre - QPointF(side, 1.2 * side), QSizeF(2 * side, 2.4 * side)));
    painter.translate(centre);
    painter.scale(side / kFace.width(), side / kFace.width());
    painter.translate(-QPointF(kFace.center()));
    painter.drawImage(QPointF(0, 0), photo);
    return screen;
}

} // namespace

TEST(FacesSeenBefore, AKeepingDetectorFindsWhatAFreshOneFinds) {
    QString whyNot;
    const std::optional<QImage> photo = DetectionTests::astronautPhotograph(&whyNot);
    if (!photo) GTEST_SKIP() << "no photograph to test with: " << whyNot.toStdString();

    const QImage first = callScreen(*photo, {640, 420}, 140, "Call with mission control");
    QImage touched = first;
    touched.setPixel(640, 420, qRgb(255, 0, 255)); // on the face itself
    struct Case {
        const char* what;
        QImage screen;
    };
    const Case cases[] = {
        {"the same screen again", first},
        {"the caption changed", callScreen(*photo, {640, 420}, 140, "Call with the flight surgeon")},
        {"the face moved", callScreen(*photo, {420, 380}, 140, "Call with mission control")},
        {"the face larger", callScreen(*photo, {640, 420}, 200, "Call with mission control")},
        {"one pixel of the face changed", touched},
        {"the face gone", DetectionBench::blankImage(1280, 800, QColor(24, 24, 26))},
        {"the first screen once more", first},
    };
    NeuralFaceDetector::Options keepsNothing;
    keepsNothing.rememberBytes = 0;
    NeuralFaceDetector keeping;
    ASSERT_FALSE(keeping.detectFaces(first).empty());
    for (const Case& c : cases) {
        const std::vector<Support::Rect> fresh = NeuralFaceDetector(keepsNothing).detectFaces(c.screen);
        EXPECT_EQ(keeping.detectFaces(c.screen), fresh) << c.what;
    }
}
