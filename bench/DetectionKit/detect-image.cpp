// detect-image IMAGE [PATTERNS.json]: runs personal-data detection on one image and prints one
// JSON object per detection, then one with the diagnostics and the wall time.
#include "DetectionKit/PIIDetector.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <iostream>

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
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: detect-image IMAGE [PATTERNS.json]\n");
        return 2;
    }
    try {
        const QImage image(QString::fromLocal8Bit(argv[1]));
        if (image.isNull()) throw std::runtime_error(std::string("cannot read an image from ") + argv[1]);
        const std::vector<PatternInput> patterns = argc == 3 ? readPatterns(QString::fromLocal8Bit(argv[2]))
                                                             : std::vector<PatternInput>{};
        PIIDetector detector;
        const auto started = std::chrono::steady_clock::now();
        const DetectionResult result = detector.detect(image, patterns);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

        for (const Detection& d : result.detections) {
            const Support::Rect& b = d.boundingBox();
            const nlohmann::json line = {{"detector", d.detectorName().toStdString()},
                                         {"action", rawValue(d.action()).toStdString()},
                                         {"box", {b.x(), b.y(), b.width(), b.height()}},
                                         {"text", d.matchedText().toStdString()}};
            std::cout << line.dump() << '\n';
        }
        nlohmann::json diagnostics = nlohmann::json::array();
        for (const QString& text : result.diagnostics) diagnostics.push_back(text.toStdString());
        std::cout << nlohmann::json{{"diagnostics", diagnostics}, {"wallSeconds", seconds}}.dump() << '\n';
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "detect-image: %s\n", e.what());
        return 1;
    }
}
