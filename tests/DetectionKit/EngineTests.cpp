// Detection and text extraction with the real engines: Tesseract on text rendered here, OpenCV on a
// real photograph. Kept few: each one recognises whole images.
#include "BenchDrawing.h"
#include "QtPrinters.h"
#include "TestPhotograph.h"
#include "support/TestEnvironment.h"

#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/NeuralFaceDetector.h"
#include "DetectionKit/PIIDetector.h"
#include "DetectionKit/TesseractRecognizer.h"
#include "DetectionKit/TextExtractor.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include <cmath>
#include <future>

using namespace DetectionKit;

namespace {

struct Planted {
    QString detector;
    QString text;
    int pixelSize;
    std::vector<QPoint> ink; // every pixel the item's glyphs touch
};

QImage canvas(int w, int h, const QColor& background) { return DetectionBench::blankImage(w, h, background); }

QFont fontOf(const QString& family, int pixelSize) {
    QFont font(family);
    font.setPixelSize(pixelSize);
    return font;
}

// Draws `text` at `baseline` and returns the pixels it inked, found by drawing it alone as well.
std::vector<QPoint> drawAndTrace(QPainter& painter, QSize size, const QFont& font, const QColor& ink, QPoint baseline,
                                 const QString& text) {
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(baseline, text);

    QImage alone = canvas(size.width(), size.height(), Qt::transparent);
    QPainter p(&alone);
    p.setRenderHints(painter.renderHints());
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(baseline, text);
    p.end();
    std::vector<QPoint> pixels;
    for (int y = 0; y < alone.height(); ++y)
        for (int x = 0; x < alone.width(); ++x)
            if (qAlpha(alone.pixel(x, y)) > 0) pixels.push_back({x, y});
    return pixels;
}

struct Sheet {
    QImage image;
    std::vector<Planted> planted;
};

// Two lines per size from 11 to 16 px, with a label before every item.
Sheet personalDataSheet(const QString& family, bool dark) {
    const QColor background = dark ? QColor(30, 30, 32) : Qt::white;
    const QColor ink = dark ? QColor(230, 230, 235) : QColor(28, 28, 30);
    Sheet sheet{canvas(900, 12 * 30 + 20, background), {}};
    QPainter painter(&sheet.image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const std::vector<std::vector<std::pair<QString, std::pair<QString, QString>>>> lines = {
        {{"mail", {"email", "jane.doe@example.com"}}, {"tel", {"phone", "415-555-0132"}}, {"ssn", {"ssn", "123-45-6789"}}},
        {{"card", {"card", "4111 1111 1111 1111"}}, {"iban", {"iban", "DE89370400440532013000"}},
         {"ip", {"ipv4", "192.168.10.24"}}},
    };
    int y = 24;
    for (int size = 11; size <= 16; ++size) {
        const QFont font = fontOf(family, size);
        const QFontMetrics metrics(font);
        for (const auto& line : lines) {
            int x = 16;
            for (const auto& [label, item] : line) {
                painter.setFont(font);
                painter.setPen(ink);
                painter.drawText(QPoint(x, y), label);
                x += metrics.horizontalAdvance(label + "  ");
                sheet.planted.push_back({item.first, item.second, size,
                                         drawAndTrace(painter, sheet.image.size(), font, ink, {x, y}, item.second)});
                x += metrics.horizontalAdvance(item.second + "      ");
            }
            y += 30;
        }
    }
    painter.end();
    return sheet;
}

bool inside(const Support::Rect& box, const std::vector<QPoint>& pixels) {
    for (const QPoint& p : pixels)
        if (p.x() < box.minX() || p.x() + 1 > box.maxX() || p.y() < box.minY() || p.y() + 1 > box.maxY()) return false;
    return true;
}

} // namespace

TEST(EngineTest, FindsPersonalDataInInterfaceFontsLightAndDark) {
    PIIDetector detector;
    for (const QString family : {"DejaVu Sans", "Liberation Sans"}) {
        for (const bool dark : {false, true}) {
            const Sheet sheet = personalDataSheet(family, dark);
            const DetectionResult result = detector.detect(sheet.image, {});
            EXPECT_TRUE(result.diagnostics.isEmpty());
            for (const Planted& item : sheet.planted) {
                const bool covered = std::any_of(result.detections.begin(), result.detections.end(), [&](const Detection& d) {
                    return d.detectorName() == item.detector && inside(d.boundingBox(), item.ink);
                });
                EXPECT_TRUE(covered) << item.detector.toStdString() << " '" << item.text.toStdString() << "' at "
                                     << item.pixelSize << " px in " << family.toStdString()
                                     << (dark ? " on dark" : " on light");
            }
        }
    }
}

// A capture's own pixel format is read without a conversion of its own: the same screen in any
// format gives the same lines at the same places.
TEST(EngineTest, EveryPixelFormatReadsTheSame) {
    TesseractRecognizer recognizer;
    const QImage sheet = personalDataSheet("DejaVu Sans", true).image;
    const std::vector<RecognizedLine> expected = recognizer.recognize(sheet.convertToFormat(QImage::Format_RGB888));
    ASSERT_FALSE(expected.empty());
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}) {
        const std::vector<RecognizedLine> lines = recognizer.recognize(sheet.convertToFormat(format));
        ASSERT_EQ(lines.size(), expected.size()) << format;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].text, expected[i].text) << format;
            EXPECT_EQ(lines[i].box, expected[i].box) << format;
        }
    }
}

// A capture of the same window moved on the screen: its lines, read before, come back at their new
// places with the same text.
TEST(EngineTest, AWindowCapturedAgainElsewhereReadsTheSameAtItsNewPlace) {
    TesseractRecognizer recognizer;
    const QImage sheet = personalDataSheet("DejaVu Sans", false).image.convertToFormat(QImage::Format_RGB32);
    QImage moved(sheet.width() + 60, sheet.height() + 30, QImage::Format_RGB32);
    moved.fill(sheet.pixel(0, 0));
    QPainter(&moved).drawImage(37, 11, sheet);
    const std::vector<RecognizedLine> first = recognizer.recognize(sheet);
    const std::vector<RecognizedLine> again = recognizer.recognize(moved);
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(again.size(), first.size());
    // Boxes are normalised with the origin at the bottom left.
    const auto inPixels = [](const Support::Rect& box, const QImage& image) {
        return Support::Rect(box.x() * image.width(), (1 - box.y() - box.height()) * image.height(),
                             box.width() * image.width(), box.height() * image.height());
    };
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(again[i].text, first[i].text);
        const Support::Rect expected = inPixels(first[i].box, sheet).offsetBy(37, 11);
        const Support::Rect found = inPixels(again[i].box, moved);
        EXPECT_NEAR(found.x(), expected.x(), 0.01) << first[i].text.toStdString();
        EXPECT_NEAR(found.y(), expected.y(), 0.01) << first[i].text.toStdString();
        EXPECT_NEAR(found.width(), expected.width(), 0.01) << first[i].text.toStdString();
    }
}

// A rule under or around a line (a link's underline, an input field's border) passes under the
// blank between two words: the space in "(206) 555-0143" is still read.
TEST(EngineTest, UnderlinesAndFieldBordersKeepTheSpacesBetweenWords) {
    struct Case {
        const char* description;
        QString family;
        int pixelSize;
        bool underlined;
        bool bordered;
    };
    const Case cases[] = {
        {"an underlined link", "DejaVu Sans", 13, true, false},
        {"a bordered input field", "Liberation Serif", 15, false, true},
        {"an underlined link in a field", "Liberation Sans", 14, true, true},
    };
    const QString number = "(206) 555-0143";
    for (const Case& c : cases) {
        QImage image = canvas(600, 90, QColor(250, 249, 246));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        QFont font = fontOf(c.family, c.pixelSize);
        font.setUnderline(c.underlined);
        if (c.bordered) {
            // Two fields side by side, as a form's columns are.
            painter.setPen(QColor(170, 165, 155));
            painter.setBrush(Qt::white);
            painter.drawRect(QRect(20, 28, 250, 34));
            painter.drawRect(QRect(290, 28, 250, 34));
        }
        painter.setFont(font);
        painter.setPen(QColor(40, 90, 170));
        painter.drawText(QPoint(300, 50), number);
        painter.end();
        QStringList found;
        for (const Detection& d : PIIDetector().detect(image, {}).detections) found.append(d.detectorName() + ":" + d.matchedText());
        // Glued ("(206)555-0143") the number is no phone number at all.
        EXPECT_TRUE(found.filter("phone:").filter("206) 555-0143").size() == 1) << c.description << ": " << found.join(", ").toStdString();
    }
}

TEST(EngineTest, ExtractedTextNeverHoldsWhatIsExcluded) {
    QImage image = canvas(700, 160, Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont font = fontOf("DejaVu Sans", 16);
    const QFontMetrics metrics(font);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(20, 50), "Password:");
    const int secretX = 20 + metrics.horizontalAdvance("Password: ");
    const QString secret = "Zebulon7Quartz";
    painter.drawText(QPoint(secretX, 50), secret);
    painter.drawText(QPoint(20, 110), "Remember to rotate it monthly");
    painter.end();
    const Support::Rect excluded(secretX - 4, 50 - metrics.ascent() - 4, metrics.horizontalAdvance(secret) + 8,
                                 metrics.height() + 8);

    const QString open = TextExtractor::text(image, std::nullopt, {});
    ASSERT_TRUE(QString(open).remove(' ').contains(secret)) << "the engine must be able to read the word for this test to mean anything: "
                                       << open.toStdString();

    const QString text = TextExtractor::text(image, std::nullopt, {excluded});
    EXPECT_FALSE(text.contains("Zebulon")) << text.toStdString();
    EXPECT_FALSE(text.contains("Quartz")) << text.toStdString();
    // The black box's edge may read as a stroke; the word that stands in for it follows the label.
    const QString firstLine = text.split('\n').first();
    EXPECT_TRUE(firstLine.startsWith("Password:") && firstLine.endsWith(" [redacted]")) << text.toStdString();
    EXPECT_TRUE(text.contains("monthly")) << text.toStdString();
}

// The astronaut's face (brow to chin, cheek to cheek) in the 512-pixel photograph.
const QRect kAstronautFace(178, 72, 88, 92);

QImage tintedPhoto(const QImage& photo, const QString& tint) {
    QImage out = photo.convertToFormat(QImage::Format_RGB32);
    if (tint == "colour") return out;
    const QPointF face = QRectF(kAstronautFace).center();
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = row[x];
            const int g = qGray(p);
            if (tint == "backlit") {
                // Exposed for a window behind the head: the face dark and flat, the window around it blown out.
                const double dx = (x - face.x()) / (0.8 * kAstronautFace.width()), dy = (y - face.y()) / (0.85 * kAstronautFace.height());
                const double t = std::clamp((std::sqrt(dx * dx + dy * dy) - 0.85) / 0.7, 0.0, 1.0);
                const double glow = 245 * t * t * (3 - 2 * t);
                auto lit = [&](double v) { return std::clamp(int(255 - (255 - (8 + 0.3 * v)) * (255 - glow) / 255), 0, 255); };
                row[x] = qRgb(lit(qRed(p)), lit(qGreen(p)), lit(qBlue(p)));
            } else {
                row[x] = tint == "grey" ? qRgb(g, g, g) : qRgb(std::min(255, qRed(p) + 18), int(qGreen(p) * 0.86), int(qBlue(p) * 0.62));
            }
        }
    }
    return out;
}

// The share of `face` covered by the union of the boxes.
double coverage(const QRect& face, const std::vector<Support::Rect>& boxes) {
    int covered = 0;
    for (int y = face.top(); y <= face.bottom(); ++y)
        for (int x = face.left(); x <= face.right(); ++x)
            covered += std::any_of(boxes.begin(), boxes.end(), [&](const Support::Rect& b) {
                return b.contains(Support::Rect(x, y, 1, 1));
            });
    return double(covered) / (face.width() * face.height());
}

std::vector<Support::Rect> faceBoxes(const DetectionResult& result) {
    std::vector<Support::Rect> faces;
    for (const Detection& d : result.detections)
        if (d.detectorName() == "face") faces.push_back(d.boundingBox());
    return faces;
}

TEST(EngineTest, FindsFacesInPhotographsOnInterfaces) {
    QString whyNot;
    const std::optional<QImage> photo = DetectionTests::astronautPhotograph(&whyNot);
    if (!photo) GTEST_SKIP() << "no photograph to test with: " << whyNot.toStdString();

    struct Case {
        const char* description;
        QColor window;
        const char* tint;
        int faceSize;
        enum { tile, avatar, filmstrip } frame;
    };
    const Case cases[] = {
        {"an avatar on a dark chat list", QColor(32, 33, 36), "colour", 27, Case::avatar},
        {"a grey directory photo on white", Qt::white, "grey", 60, Case::tile},
        {"a warm call tile on dark", QColor(24, 24, 26), "warm", 140, Case::tile},
        {"a backlit call tile on light", QColor(236, 238, 241), "backlit", 140, Case::tile},
        {"a grey 22 px face in a call's filmstrip", QColor(236, 238, 241), "grey", 22, Case::filmstrip},
        {"a wallpaper-sized face on light", QColor(242, 242, 247), "colour", 250, Case::tile},
        {"a face filling a call window", QColor(24, 24, 26), "colour", 380, Case::tile},
        {"a face close to the camera, filling the screen", QColor(24, 24, 26), "warm", 700, Case::tile},
    };
    for (const Case& c : cases) {
        QImage screen = canvas(1280, 800, c.window);
        QPainter painter(&screen);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setFont(fontOf("DejaVu Sans", 13));
        painter.setPen(c.window.lightness() > 128 ? Qt::black : Qt::white);
        painter.drawText(QPoint(20, 22), "People \u2014 Mission archive");
        const double scale = double(c.faceSize) / kAstronautFace.width();
        const QPointF centre(640, 420);
        const QRectF tile = c.frame == Case::avatar      ? QRectF(centre - QPointF(18, 18), QSizeF(36, 36))
                            : c.frame == Case::filmstrip ? QRectF(centre - QPointF(34, 26), QSizeF(68, 51))
                                                         : QRectF(centre - QPointF(c.faceSize, c.faceSize * 1.2), QSizeF(c.faceSize * 2.0, c.faceSize * 2.4));
        QPainterPath clip;
        if (c.frame == Case::avatar)
            clip.addEllipse(tile);
        else
            clip.addRoundedRect(tile, 8, 8);
        painter.setClipPath(clip);
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-QPointF(kAstronautFace.center()));
        painter.drawImage(QPointF(0, 0), tintedPhoto(*photo, c.tint));
        painter.end();
        const QRect face = QRectF(centre - QPointF(c.faceSize / 2.0, kAstronautFace.height() * scale / 2),
                                  QSizeF(c.faceSize, kAstronautFace.height() * scale))
                               .toAlignedRect();

        const std::vector<Support::Rect> faces = faceBoxes(PIIDetector().detect(screen, {}));
        EXPECT_GE(coverage(face, faces), 0.9) << c.description;
        for (const Support::Rect& box : faces)
            EXPECT_TRUE(box.intersects(Support::Rect(face.x(), face.y(), face.width(), face.height())))
                << c.description << ": a face box away from the face";
    }
}

// A face in a photograph as a directory card or a chat shows it, a tile not much larger than the
// head, gets one box: hair at its corner, which the search of small photographs at twice their
// size takes for a small face, or its eyes and nose seen as a smaller face, are part of it.
TEST(EngineTest, AFaceInAPhotoTileGetsOneBox) {
    QString whyNot;
    const std::optional<QImage> photo = DetectionTests::astronautPhotograph(&whyNot);
    if (!photo) GTEST_SKIP() << "no photograph to test with: " << whyNot.toStdString();
    struct Case {
        const char* description;
        bool dark;
        const char* tint;
        double tileSide;
        QPointF tileAt;
        double faceSize;
    };
    // The face's centre lies 4 pixels below the tile's.
    const Case cases[] = {
        {"a colour photo on white, hair beside the face", false, "colour", 76, {303, 181.4}, 44.4},
        {"a grey photo on white, eyes and nose as a smaller face", false, "grey", 119, {304.5, 182.1}, 69.6},
        {"a grey photo on dark", true, "grey", 113, {301.5, 180.7}, 67.2},
        {"a larger grey photo on dark", true, "grey", 130, {309, 184.2}, 74.4},
    };
    for (const Case& c : cases) {
        QImage screen = canvas(640, 400, c.dark ? QColor(32, 33, 36) : Qt::white);
        QPainter painter(&screen);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF tile(c.tileAt, QSizeF(c.tileSide, c.tileSide));
        QPainterPath clip;
        clip.addRoundedRect(tile, 8, 8);
        painter.fillPath(clip, c.dark ? QColor(60, 64, 67) : QColor(218, 220, 224));
        painter.setFont(DetectionBench::fontOf("DejaVu Sans", 14, true));
        painter.setPen(c.dark ? QColor(232, 234, 237) : QColor(32, 33, 36));
        painter.drawText(QPoint(int(tile.right()) + 14, 182 + painter.fontMetrics().ascent()), "Ada Whitlock");
        const double scale = c.faceSize / kAstronautFace.width();
        const QPointF centre = tile.center() + QPointF(0, 4);
        painter.setClipPath(clip);
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-QPointF(kAstronautFace.center()) - QPointF(0.5, 0.5));
        painter.drawImage(QPointF(0, 0), tintedPhoto(*photo, c.tint));
        painter.end();
        const QSizeF size = QSizeF(kAstronautFace.size()) * scale;
        const QRect face = QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size).toAlignedRect();

        std::vector<Support::Rect> boxes;
        for (const Support::Rect& n : NeuralFaceDetector().detectFaces(screen))
            boxes.push_back(ImageBoxes::findingBox(n, screen.width(), screen.height()));
        EXPECT_GE(coverage(face, boxes), 0.9) << c.description;
        const Support::Rect faceRect(face.x(), face.y(), face.width(), face.height());
        EXPECT_EQ(std::count_if(boxes.begin(), boxes.end(), [&](const Support::Rect& b) { return b.intersects(faceRect); }), 1)
            << c.description;
        for (const Support::Rect& box : boxes) EXPECT_LT(box.width(), 2 * face.width()) << c.description;
    }
}

// The nets a detector keeps between calls carry nothing from one call to the next: prepared
// ahead, then used on screens of other sizes in turn, it finds what a fresh detector finds.
TEST(EngineTest, KeptFaceNetsFindTheSameFacesCallAfterCall) {
    QString whyNot;
    const std::optional<QImage> photo = DetectionTests::astronautPhotograph(&whyNot);
    if (!photo) GTEST_SKIP() << "no photograph to test with: " << whyNot.toStdString();
    QImage screen = canvas(1280, 800, QColor(24, 24, 26));
    QPainter painter(&screen);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(QPointF(640, 420));
    painter.scale(140.0 / kAstronautFace.width(), 140.0 / kAstronautFace.width());
    painter.translate(-QPointF(kAstronautFace.center()));
    painter.drawImage(QPointF(0, 0), *photo);
    painter.end();
    const QImage empty = canvas(700, 300, Qt::white);

    const std::vector<Support::Rect> expected = NeuralFaceDetector().detectFaces(screen);
    ASSERT_FALSE(expected.empty());
    NeuralFaceDetector kept;
    kept.prepare();
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(kept.detectFaces(screen), expected) << "round " << round;
        EXPECT_TRUE(kept.detectFaces(empty).empty()) << "round " << round;
    }
}

TEST(EngineTest, ScreensWithoutPeopleGiveNoFaces) {
    for (const bool dark : {false, true}) {
        const Sheet sheet = personalDataSheet("DejaVu Sans", dark);
        QImage screen = canvas(1280, 800, dark ? QColor(30, 30, 32) : Qt::white);
        QPainter painter(&screen);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.drawImage(QPoint(0, 0), sheet.image);
        // Round coloured icons with initials, as contact lists show for people without photos.
        for (int i = 0; i < 12; ++i) {
            painter.setBrush(QColor::fromHsv(i * 30, 140, 210));
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(QRectF(40 + i * 90, 560, 40, 40));
            painter.setPen(Qt::white);
            painter.setFont(fontOf("DejaVu Sans", 18));
            painter.drawText(QRectF(40 + i * 90, 560, 40, 40), Qt::AlignCenter, QString(QChar('A' + i)));
        }
        painter.end();
        EXPECT_TRUE(faceBoxes(PIIDetector().detect(screen, {})).empty()) << (dark ? "dark" : "light");
    }
}

TEST(EngineTest, MissingEngineDataIsAnErrorNotAnEmptyResult) {
    TesseractRecognizer::Options options;
    options.workers = 1;
    options.dataPath = TestSupport::makeTemporaryFolder("no-tessdata");
    auto text = std::make_shared<TesseractRecognizer>(options);
    const QImage image = canvas(200, 50, Qt::white);
    EXPECT_THROW(text->recognize(image), RecognitionError);

    // A damaged face model: a detection that cannot look for faces fails, it never finds none.
    const unsigned char damaged[] = {0x08, 0x07, 0x12, 0xff, 0x00, 0x42};
    NeuralFaceDetector::Options broken;
    broken.model = damaged;
    broken.modelSize = sizeof damaged;
    EXPECT_THROW(NeuralFaceDetector(broken).detectFaces(image), RecognitionError);
}

// The build's rewrite of the face model computes what the shipped graph computes, on the one size
// the shipped graph takes.
TEST(EngineTest, RewrittenFaceModelAgreesWithTheShippedOne) {
    cv::dnn::Net shipped = cv::dnn::readNetFromONNX(FACE_MODEL_SHIPPED);
    cv::dnn::Net rewritten = cv::dnn::readNetFromONNX(FACE_MODEL_CONVERTED);
    ASSERT_FALSE(shipped.empty());
    ASSERT_FALSE(rewritten.empty());
    cv::Mat nhwc(std::vector<int>{1, 128, 128, 3}, CV_32F);
    cv::randu(nhwc, -1.0, 1.0);
    shipped.setInput(nhwc);
    std::vector<cv::Mat> lists; // per anchor, in cell order: scores8, scores16, boxes8, boxes16
    shipped.forward(lists, std::vector<cv::String>{"Identity:0", "Identity_1:0", "Identity_2:0", "Identity_3:0"});

    cv::Mat nchw(std::vector<int>{1, 3, 128, 128}, CV_32F);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) nchw.at<float>(std::vector<int>{0, c, y, x}.data()) = nhwc.at<float>(std::vector<int>{0, y, x, c}.data());
    rewritten.setInput(nchw);
    std::vector<cv::Mat> maps;
    rewritten.forward(maps, std::vector<cv::String>{"scores8", "scores16", "boxes8", "boxes16"});
    ASSERT_EQ(lists.size(), 4u);
    ASSERT_EQ(maps.size(), 4u);
    for (size_t k = 0; k < 4; ++k) {
        const cv::Mat& list = lists[k];
        const cv::Mat& map = maps[k];
        const int perAnchor = list.size[2], rows = map.size[2], columns = map.size[3];
        const int anchors = map.size[1] / perAnchor;
        ASSERT_EQ(list.size[1], rows * columns * anchors) << k;
        float worst = 0;
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x)
                for (int a = 0; a < anchors; ++a)
                    for (int v = 0; v < perAnchor; ++v) {
                        const float expected = list.at<float>(std::vector<int>{0, (y * columns + x) * anchors + a, v}.data());
                        const float got = map.at<float>(std::vector<int>{0, a * perAnchor + v, y, x}.data());
                        worst = std::max(worst, std::abs(expected - got));
                    }
        EXPECT_LE(worst, 1e-4f) << "output " << k;
    }
}

TEST(EngineTest, ConcurrentCallsShareTheEnginesAndAgree) {
    QImage image = canvas(500, 60, Qt::white);
    QPainter painter(&image);
    painter.setFont(fontOf("DejaVu Sans", 14));
    painter.setPen(Qt::black);
    painter.drawText(QPoint(10, 35), "reach me at pat@example.org or 10.1.2.3");
    painter.end();

    auto describe = [&image] {
        QStringList found;
        for (const Detection& d : PIIDetector().detect(image, {}).detections)
            found.append(d.detectorName() + ":" + d.matchedText());
        return found;
    };
    const QStringList alone = describe();
    EXPECT_EQ(alone, (QStringList{"email:pat@example.org", "ipv4:10.1.2.3"}));
    std::vector<std::future<QStringList>> calls;
    for (int i = 0; i < 4; ++i) calls.push_back(std::async(std::launch::async, describe));
    for (auto& call : calls) EXPECT_EQ(call.get(), alone);
}
