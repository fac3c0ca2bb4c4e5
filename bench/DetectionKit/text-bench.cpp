// text-bench [FOLDER [ONLY]]: personal data in hard surroundings (highlights, tags, chips, avatars, icons,
// terminals in three monospaced families, terminal logs, 10 to 200 px, faint text, tall fields),
// scored by ink coverage: an item counts when every pixel of its glyphs lies inside a detection of the right
// detector. Beside it, the `tesseract` command on the same files: an item counts there when its
// text appears in the command's output. Also counts boxes taller than their glyphs plus 10 px,
// and boxes wider than their item allows (widerThanItsItem: the whole token or line around it), and
// the decoys (a date beside a commenter's name) that detections hide.
// The sheets are written to FOLDER (default: a temporary folder), each with its items beside it in
// NAME.json (detector, text and ink box, and the decoys, as the regression screens list theirs); ONLY (e.g.
// "editor") limits the run to the sheets whose names start with it.
#include "TextSurroundings.h"

#include "DetectionKit/PIIDetector.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>
#include <map>

using namespace DetectionBench;

namespace {

struct Tally {
    int items = 0, ours = 0, reference = 0, tooTall = 0, tooWide = 0;
};

QString referenceText(const QString& png) {
    QProcess tesseract;
    tesseract.start(QStringLiteral("tesseract"), {png, QStringLiteral("-")});
    if (!tesseract.waitForFinished(120000)) return {};
    return QString::fromUtf8(tesseract.readAllStandardOutput()).replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
}

// The sheet's items in the regression screens' form: detector, text and the box of the ink.
void writeTruth(const SurroundingsSheet& sheet, const QString& png) {
    QJsonArray items;
    for (const InkedItem& item : sheet.items) {
        const QRect ink = item.inkBounds();
        items.append(QJsonObject{{QStringLiteral("detector"), item.detector},
                                 {QStringLiteral("text"), item.text},
                                 {QStringLiteral("box"), QJsonArray{ink.x(), ink.y(), ink.width(), ink.height()}}});
    }
    QJsonArray decoys;
    for (const InkedItem& decoy : sheet.decoys) {
        const QRect ink = decoy.inkBounds();
        decoys.append(QJsonObject{{QStringLiteral("text"), decoy.text},
                                  {QStringLiteral("box"), QJsonArray{ink.x(), ink.y(), ink.width(), ink.height()}}});
    }
    QFile file(png.chopped(4) + QStringLiteral(".json"));
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("image"), QFileInfo(png).fileName()},
                                         {QStringLiteral("width"), sheet.image.width()},
                                         {QStringLiteral("height"), sheet.image.height()},
                                         {QStringLiteral("items"), items},
                                         {QStringLiteral("decoys"), decoys}})
                   .toJson());
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    QDir().mkpath(folder);
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const bool verbose = qEnvironmentVariableIsSet("TEXT_BENCH_VERBOSE");

    DetectionKit::PIIDetector detector;
    std::map<QString, Tally> byKind;
    Tally all;
    int decoys = 0, hiddenDecoys = 0;
    for (int variant = 0; variant < 3; ++variant) {
        for (const SurroundingsSheet& sheet : surroundingsSheets(variant)) {
            if (!sheet.name.startsWith(only)) continue;
            const QString png = QDir(folder).filePath(sheet.name + ".png");
            sheet.image.save(png);
            writeTruth(sheet, png);
            const QString reference = referenceText(png);
            const DetectionKit::DetectionResult result = detector.detect(sheet.image, {});
            for (const InkedItem& item : sheet.items) {
                std::vector<QRectF> boxes;
                for (const DetectionKit::Detection& d : result.detections)
                    if (d.detectorName() == item.detector) boxes.push_back(d.boundingBox().toQRectF());
                const bool covered = inkCoverage(item, boxes) >= 1.0;
                const QRect ink = item.runBounds.isEmpty() ? item.inkBounds() : item.runBounds;
                const QRect glyphs = item.inkBounds();
                bool tooTall = false, tooWide = false;
                for (const QRectF& b : boxes) {
                    if (!b.intersects(QRectF(glyphs))) continue;
                    if (b.height() > ink.height() + 10) tooTall = true;
                    if (widerThanItsItem(b, glyphs)) tooWide = true;
                }
                const bool byReference = reference.contains(item.text);
                Tally& t = byKind[item.surroundings.section(' ', 0, 0)];
                for (Tally* tally : {&t, &all}) {
                    ++tally->items;
                    tally->ours += covered;
                    tally->reference += byReference;
                    tally->tooTall += tooTall;
                    tally->tooWide += tooWide;
                }
                if (verbose && (!covered || tooTall || tooWide)) {
                    const QRect b = item.inkBounds();
                    std::printf("    %s %s '%s' in %s (%s, ink at %d,%d %dx%d)\n",
                                !covered ? "missed:" : tooTall ? "too tall:" : "too wide:", qPrintable(item.detector),
                                qPrintable(item.text), qPrintable(item.surroundings), qPrintable(sheet.name), b.x(), b.y(),
                                b.width(), b.height());
                }
            }
            std::vector<QRectF> anyBoxes;
            for (const DetectionKit::Detection& d : result.detections) anyBoxes.push_back(d.boundingBox().toQRectF());
            for (const InkedItem& decoy : sheet.decoys) {
                const bool hidden = inkCoverage(decoy, anyBoxes) >= 0.5;
                ++decoys;
                hiddenDecoys += hidden;
                if (verbose && hidden)
                    std::printf("    decoy hidden: '%s' (%s)\n", qPrintable(decoy.text), qPrintable(sheet.name));
            }
        }
    }
    std::printf("%-12s %6s %14s %16s %9s %9s\n", "surroundings", "items", "covered (ours)", "read (tesseract)", "too tall",
                "too wide");
    for (const auto& [kind, t] : byKind)
        std::printf("%-12s %6d %14d %16d %9d %9d\n", qPrintable(kind), t.items, t.ours, t.reference, t.tooTall, t.tooWide);
    std::printf("%-12s %6d %14d %16d %9d %9d\n", "all", all.items, all.ours, all.reference, all.tooTall, all.tooWide);
    std::printf("decoys hidden (half their ink under a detection): %d of %d\n", hiddenDecoys, decoys);
    return 0;
}
