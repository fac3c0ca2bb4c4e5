// Personal data in interface surroundings where recognition used to fall short: each item must be
// found in full (every pixel of its glyphs inside one detection of the right detector), no box may
// be much taller than the glyphs it covers or much wider than its item (the token around it), and no
// face is found where there is none. First the saved renderings in cases/, then
// fresh renderings of the same kinds at other sizes, fonts and items.
#include "QtPrinters.h"
#include "TextSurroundings.h"

#include "DetectionKit/PIIDetector.h"
#include "DetectionKit/TextExtractor.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <map>

using namespace DetectionKit;

namespace {

// Boxes may reach this far beyond the glyphs' height: the 4 pixels of growth on each side, and a
// little for the engine's own glyph boxes.
constexpr int kTallerThanGlyphsAtMost = 10;

struct CaseItem {
    const char* file;
    const char* detector;
    const char* text;
    QRect near; // the item lies within this rectangle, on one fill colour, apart from what is glued to
                // it beyond a delimiter ("DB_HOST=", ":secret"), which a finding's box leaves out
};

// Where each item of the saved renderings lies; its ink is measured from the pixels.
const CaseItem kCaseItems[] = {
    {"avatar-email-14.png", "email", "jane.doe@example.com", {54, 12, 172, 26}},
    {"avatar-ip-13.png", "ipv4", "192.168.10.24", {54, 16, 100, 20}},
    {"avatar-phone-14.png", "phone", "555-123-4567", {54, 16, 92, 20}},
    {"chip-email-13.png", "email", "jane.doe@example.com", {49, 18, 159, 17}},
    {"chip-email-14.png", "email", "jane.doe@example.com", {50, 18, 153, 18}},
    {"find-card-16.png", "card", "4111 1111 1111 1111", {65, 18, 176, 12}},
    {"find-phone-14.png", "phone", "555-123-4567", {52, 17, 99, 12}},
    {"find-ssn-14.png", "ssn", "123-45-6789", {54, 17, 79, 12}},
    {"tag-ssn-14.png", "ssn", "123-45-6789", {60, 16, 78, 18}},
    {"tag-ip-14.png", "ipv4", "192.168.10.24", {58, 17, 92, 16}},
    {"icon-email-13.png", "email", "jane.doe@example.com", {38, 10, 160, 20}},
    {"icon-phone-13.png", "phone", "555-123-4567", {38, 10, 96, 20}},
    {"icon-ssn-14.png", "ssn", "123-45-6789", {38, 10, 84, 22}},
    {"libmono11-email.png", "email", "jane.doe@example.com", {57, 9, 134, 18}},
    {"mono11-ssn.png", "ssn", "078-05-1120", {57, 10, 75, 16}},
    {"mono28-email.png", "email", "joe.jay@example.com", {128, 10, 324, 40}},
    {"mono28-dark-email.png", "email", "jane.doe@example.com", {128, 10, 318, 40}},
    {"sans10-email.png", "email", "jane.doe@example.com", {40, 9, 112, 18}},
    {"sans160-phone.png", "phone", "555-123-4567", {560, 30, 1124, 150}},
    {"para14.png", "email", "jane.doe@example.com", {250, 8, 172, 22}},
    {"para14.png", "phone", "555-123-4567", {149, 33, 101, 18}},
    {"para14.png", "ipv4", "10.20.30.40", {395, 33, 86, 18}},
    {"term16.png", "email", "jane.doe@example.com", {184, 34, 216, 24}},
    {"term16.png", "email", "ada.whitlock@example.com", {115, 59, 240, 23}},
    {"term16.png", "ipv4", "192.168.10.24", {165, 84, 126, 24}},
    {"term16.png", "email", "b.quade@mailhost.org", {96, 109, 194, 23}},
    {"term16.png", "email", "carla.ng@corp.example.net", {97, 134, 241, 23}},
    {"term16.png", "phone", "555-123-4567", {78, 159, 122, 23}}, // with its ";"
    {"term16.png", "ssn", "123-45-6789", {251, 159, 107, 20}},
    {"term16.png", "card", "4111-1111-1111-1111", {76, 184, 186, 20}},
};

// The pixels within `near` that stand out from its most common colour: the item's glyphs.
std::vector<QPoint> inkNear(const QImage& image, const QRect& near) {
    std::map<QRgb, int> counts;
    for (int y = near.top(); y <= near.bottom(); ++y)
        for (int x = near.left(); x <= near.right(); ++x) ++counts[image.pixel(x, y) & 0xffffff];
    const QRgb fill = std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first;
    std::vector<QPoint> ink;
    for (int y = near.top(); y <= near.bottom(); ++y)
        for (int x = near.left(); x <= near.right(); ++x)
            if (std::abs(qGray(image.pixel(x, y)) - qGray(fill)) > 60) ink.push_back({x, y});
    return ink;
}

QRect boundsOf(const std::vector<QPoint>& ink) {
    QRect r;
    for (const QPoint& p : ink) r |= QRect(p, QSize(1, 1));
    return r;
}

// Empty when some detection of the item's detector holds all of its ink, is no taller than allowed
// over `glyphs` (the ink of the run of characters it stands in) and no wider than allowed over the
// item's own ink (not the token around it); otherwise what went wrong.
std::string judge(const DetectionResult& result, const QString& detector, const std::vector<QPoint>& ink,
                  QRect glyphs = {}) {
    const QRect bounds = glyphs.isEmpty() ? boundsOf(ink) : glyphs;
    std::string found;
    for (const Detection& d : result.detections) {
        const Support::Rect& b = d.boundingBox();
        const bool holdsAll = std::all_of(ink.begin(), ink.end(), [&](const QPoint& p) {
            return b.contains(Support::Rect(p.x(), p.y(), 1, 1));
        });
        if (d.detectorName() == detector && holdsAll) {
            if (b.height() > bounds.height() + kTallerThanGlyphsAtMost)
                return "its box is " + std::to_string(int(b.height())) + " px tall for " +
                       std::to_string(bounds.height()) + " px of glyphs";
            if (DetectionBench::widerThanItsItem(b.toQRectF(), boundsOf(ink)))
                return "its box is " + std::to_string(int(b.width())) + " px wide for " +
                       std::to_string(boundsOf(ink).width()) + " px of glyphs";
            return {};
        }
        found += " " + d.detectorName().toStdString() + ":'" + d.matchedText().toStdString() + "'";
    }
    return "not covered; found:" + found;
}

// The share of `box`'s pixels inside the union of `boxes`; a box holds every pixel it touches.
double unionCoverage(const QRect& box, const std::vector<Support::Rect>& boxes) {
    if (box.isEmpty()) return 0;
    std::vector<QRect> pixels;
    for (const Support::Rect& b : boxes)
        pixels.push_back(QRect(QPoint(int(std::floor(b.minX())), int(std::floor(b.minY()))),
                               QPoint(int(std::ceil(b.maxX())) - 1, int(std::ceil(b.maxY())) - 1)));
    long covered = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            covered += std::any_of(pixels.begin(), pixels.end(), [&](const QRect& r) { return r.contains(x, y); });
    return double(covered) / double(box.width() * box.height());
}

QRect rectOf(const nlohmann::json& box) { return QRect(box[0].get<int>(), box[1].get<int>(), box[2].get<int>(), box[3].get<int>()); }

} // namespace

TEST(SurroundingsTest, SavedRenderingsAreFoundInFull) {
    const QDir cases(QStringLiteral(DETECTION_CASES));
    PIIDetector detector;
    std::map<QString, DetectionResult> results;
    for (const CaseItem& item : kCaseItems) {
        const QImage image(cases.filePath(item.file));
        ASSERT_FALSE(image.isNull()) << item.file;
        auto [it, isNew] = results.try_emplace(item.file);
        if (isNew) {
            it->second = detector.detect(image, {});
            // No one is in these renderings; large glyphs in particular are no faces.
            for (const Detection& d : it->second.detections) EXPECT_NE(d.detectorName(), "face") << item.file;
        }
        const std::vector<QPoint> ink = inkNear(image, item.near);
        ASSERT_GT(ink.size(), 20u) << item.file;
        const std::string fault = judge(it->second, item.detector, ink);
        EXPECT_EQ(fault, "") << item.detector << " '" << item.text << "' in " << item.file;
    }
}

TEST(SurroundingsTest, ParagraphReadsTheWordsAroundWhatIsHidden) {
    const QImage image(QDir(QStringLiteral(DETECTION_CASES)).filePath("para14.png"));
    std::vector<Support::Rect> hidden;
    for (const Detection& d : PIIDetector().detect(image, {}).detections) hidden.push_back(d.boundingBox());
    EXPECT_EQ(TextExtractor::text(image, std::nullopt, hidden),
              "Hello team, please reach Jane at [redacted] today.\n"
              "Her desk phone is [redacted] and the VPN host is [redacted] now.\n"
              "Thanks, Ada");
}

TEST(SurroundingsTest, FreshRenderingsAreFoundInFull) {
    PIIDetector detector;
    for (const DetectionBench::SurroundingsSheet& sheet : DetectionBench::surroundingsSheets(1)) {
        // Notifications over a busy wallpaper are held to the saved screen of them (regression
        // screens below); in fresh ones, a box can still take in the wallpaper's strokes under the
        // glyphs, or a digit misread beside them (the text bench counts those).
        if (sheet.name.startsWith(QLatin1String("notification"))) continue;
        // Items drawn straight onto photographs (a caption, a number over the sea) are not read
        // yet: the light on the water and the photograph's own shapes join their glyphs. The text
        // bench counts them.
        if (sheet.name.startsWith(QLatin1String("photo"))) continue;
        // A comment thread's close lines with coloured links and highlighted bands are still read as
        // one in places, and in 9 px numbers the engine still misreads a digit now and then ("8582"
        // as "85382"); the text bench counts both, and the 9 px numbers have a regression screen.
        if (sheet.name.startsWith(QLatin1String("comments")) || sheet.name.startsWith(QLatin1String("small-digits")))
            continue;
        // In a terminal's 9 pt rows a descender still meets the row below in places, and the zero of
        // Noto Sans Mono, slashed, reads as an at sign; the text bench counts both, and a real
        // terminal's log is a regression screen.
        if (sheet.name.startsWith(QLatin1String("log"))) continue;
        const DetectionResult result = detector.detect(sheet.image, {});
        for (const DetectionBench::InkedItem& item : sheet.items)
            EXPECT_EQ(judge(result, item.detector, item.ink, item.runBounds), "")
                << item.detector.toStdString() << " '" << item.text.toStdString() << "' in "
                << item.surroundings.toStdString() << " (" << sheet.name.toStdString() << ")";
        // What is beside the items stays readable: a box over a name and a comment hides the date.
        std::vector<Support::Rect> boxes;
        for (const Detection& d : result.detections) boxes.push_back(d.boundingBox());
        for (const DetectionBench::InkedItem& decoy : sheet.decoys)
            EXPECT_LT(unionCoverage(decoy.inkBounds(), boxes), 0.5)
                << "decoy '" << decoy.text.toStdString() << "' in " << sheet.name.toStdString();
    }
}

// Screens where text used to be lost beside photographs, camera tiles and avatars, inside toasts,
// in bordered fields and underlined links, in columns of tabular digits, in a code editor at twice
// the pixel density, in translucent notifications over a wallpaper, in a dense spreadsheet, on
// gradient chat bubbles, in 9 px digits, in code-review threads, where an avatar beside a name
// over a comment joined both lines into one, and in a terminal's log, where the at sign of 10 pt
// DejaVu Sans Mono read as a "G"; in a bordered form field, where a bracketed area code stood
// apart from its number, in a table where a one-letter part of an address read as a bar, and in
// dense 11 px lines 12 px apart. Each planted item
// counts as found when the detections' boxes together cover nine tenths of its ink box; a decoy
// (a number no detector should take for personal data) is covered by none.
TEST(SurroundingsTest, RegressionScreensAreFoundInFull) {
    const QDir folder(QStringLiteral(DETECTION_CASES "/regression"));
    const QStringList truths = folder.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    ASSERT_EQ(truths.size(), 17);
    PIIDetector detector;
    for (const QString& truthFile : truths) {
        QFile file(folder.filePath(truthFile));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << truthFile.toStdString();
        const nlohmann::json truth = nlohmann::json::parse(file.readAll().toStdString());
        const std::string screen = truth["image"].get<std::string>();
        const QImage image(folder.filePath(QString::fromStdString(screen)));
        ASSERT_FALSE(image.isNull()) << screen;
        std::vector<Support::Rect> boxes;
        std::string found;
        for (const Detection& d : detector.detect(image, {}).detections) {
            boxes.push_back(d.boundingBox());
            found += " " + d.detectorName().toStdString() + ":'" + d.matchedText().toStdString() + "'";
        }
        for (const nlohmann::json& item : truth["items"])
            EXPECT_GE(unionCoverage(rectOf(item["box"]), boxes), 0.9)
                << item["detector"].get<std::string>() << " '" << item["text"].get<std::string>() << "' in " << screen
                << "; found:" << found;
        for (const nlohmann::json& decoy : truth.value("decoys", nlohmann::json::array()))
            EXPECT_LT(unionCoverage(rectOf(decoy["box"]), boxes), 0.5)
                << "decoy '" << decoy["text"].get<std::string>() << "' in " << screen;
    }
}
