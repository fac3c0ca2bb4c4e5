// detect-image IMAGE... [PATTERNS.json]: runs personal-data detection on each image in turn, in one
// process, and prints per image one JSON object per detection, then one with the image's
// diagnostics and its own wall time: the first image pays for starting the engines (cold), the
// others find them warm. Last, the process's peak resident memory. With --lines, each image's
// recognised lines are printed first (this reads the image once more, outside the timing). With
// --every-line, lines read in an earlier image are read again (warm engines, nothing remembered).
#include "DetectionKit/NeuralFaceDetector.h"
#include "DetectionKit/PIIDetector.h"
#include "DetectionKit/SharedRecognizers.h"
#include "DetectionKit/TesseractRecognizer.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <nlohmann/json.hpp>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

using namespace DetectionKit;

namespace {

// Accepts the policy's spelling ("Name", "Regex", "Action" with "blurMandatory") as well as the
// detector's ("name", "regex", "action" with "blur-mandatory").
std::vector<PatternInput> readPatterns(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
    const nlohmann::json json = nlohmann::json::parse(file.readAll().toStdString());
    if (!json.is_array()) throw std::runtime_error("the patterns file must hold a JSON array");
    std::vector<PatternInput> patterns;
    for (const nlohmann::json& entry : json) {
        auto field = [&](const char* lower, const char* upper) -> QString {
            for (const char* key : {lower, upper})
                if (entry.contains(key) && entry[key].is_string())
                    return QString::fromStdString(entry[key].get<std::string>());
            throw std::runtime_error(std::string("a pattern has no string '") + lower + "'");
        };
        const QString actionText = field("action", "Action");
        std::optional<PatternAction> action = patternActionFromRawValue(actionText);
        if (!action && actionText == "blurMandatory") action = PatternAction::blurMandatory;
        if (!action && actionText == "blurSuggested") action = PatternAction::blurSuggested;
        if (!action) throw std::runtime_error("unknown action '" + actionText.toStdString() + "'");
        patterns.push_back({field("name", "Name"), field("regex", "Regex"), *action});
    }
    return patterns;
}

} // namespace

int main(int argc, char** argv) {
    // These tools only draw into images: they need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList images;
    QString patternsFile;
    bool printLines = false;
    bool everyLine = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--lines"))
            printLines = true;
        else if (arg == QLatin1String("--every-line"))
            everyLine = true;
        else if (arg.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
            patternsFile = arg;
        else
            images.append(arg);
    }
    if (images.isEmpty()) {
        std::fprintf(stderr, "usage: detect-image [--lines] [--every-line] IMAGE... [PATTERNS.json]\n");
        return 2;
    }
    try {
        const std::vector<PatternInput> patterns = patternsFile.isEmpty() ? std::vector<PatternInput>{}
                                                                          : readPatterns(patternsFile);
        TesseractRecognizer::Options readEveryLine;
        readEveryLine.rememberLines = false;
        const auto detector = everyLine ? std::make_unique<PIIDetector>(std::make_shared<TesseractRecognizer>(readEveryLine),
                                                                        std::make_shared<NeuralFaceDetector>())
                                        : std::make_unique<PIIDetector>();
        for (qsizetype i = 0; i < images.size(); ++i) {
            const QImage image(images[i]);
            if (image.isNull()) throw std::runtime_error("cannot read an image from " + images[i].toStdString());
            const auto started = std::chrono::steady_clock::now();
            const DetectionResult result = detector->detect(image, patterns);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

            const std::string name = images[i].toStdString();
            // With --lines, what was read, line by line, before the detections.
            if (printLines)
                for (const RecognizedLine& line : sharedTextRecognizer()->recognize(image))
                    std::cout << nlohmann::json{{"image", name}, {"line", line.text.toStdString()}}.dump() << '\n';
            for (const Detection& d : result.detections) {
                const Support::Rect& b = d.boundingBox();
                const nlohmann::json line = {{"image", name},
                                             {"detector", d.detectorName().toStdString()},
                                             {"action", rawValue(d.action()).toStdString()},
                                             {"box", {b.x(), b.y(), b.width(), b.height()}},
                                             {"text", d.matchedText().toStdString()}};
                std::cout << line.dump() << '\n';
            }
            nlohmann::json diagnostics = nlohmann::json::array();
            for (const QString& text : result.diagnostics) diagnostics.push_back(text.toStdString());
            std::cout << nlohmann::json{{"image", name}, {"diagnostics", diagnostics}, {"wallSeconds", seconds},
                                        {"engines", i == 0 ? "cold" : "warm"}}
                             .dump()
                      << std::endl;
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::cout << nlohmann::json{{"peakResidentMiB", double(usage.ru_maxrss) / 1024.0}}.dump() << std::endl;
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "detect-image: %s\n", e.what());
        return 1;
    }
}
