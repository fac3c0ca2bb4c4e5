#include "DetectionKit/PIIDetector.h"

#include "DetectionKit/Characters.h"
#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/SharedRecognizers.h"

#include <future>
#include <map>

namespace DetectionKit {

namespace {

using Clock = std::chrono::steady_clock;

// A detector as it runs in one call: its share of time and whether it was stopped.
struct RunningDetector {
    const PIIDetector::CompiledDetector* compiled;
    PatternAction action;
    bool builtin;
    std::chrono::microseconds remaining; // finer than the budget, so short matches add up
    bool stopped = false;
};

QString stopReason(const Support::IcuRegex::Matches& matches) {
    switch (matches.status) {
    case Support::IcuRegex::Status::timedOut:
        return QStringLiteral("match timed out");
    case Support::IcuRegex::Status::tooDeep:
        return QStringLiteral("match exceeded the backtracking limit");
    case Support::IcuRegex::Status::failed:
    case Support::IcuRegex::Status::completed:
        break;
    }
    return QStringLiteral("match failed (%1)").arg(matches.error);
}

// Names the detector and why it stopped; never the text it was matching.
QString stopDiagnostic(const RunningDetector& d, const Support::IcuRegex::Matches& matches) {
    const QString kind = d.builtin ? QStringLiteral("built-in detector") : QStringLiteral("custom pattern");
    return QStringLiteral("%1 '%2' skipped: %3").arg(kind, d.compiled->name, stopReason(matches));
}

// All matches of a detector in a line, within the budget.
Support::IcuRegex::Matches matchesIn(const PIIDetector::CompiledDetector& detector, const QString& line,
                                     std::chrono::milliseconds budget) {
    if (detector.anchor.isNull()) return detector.regex.findAll(line, budget);

    Support::IcuRegex::Matches all;
    if (!line.contains(detector.anchor)) return all;
    const auto deadline = Clock::now() + budget;
    qsizetype start = 0;
    while (start < line.size()) {
        while (start < line.size() && line.at(start).isSpace()) ++start;
        qsizetype end = start;
        bool anchored = false;
        while (end < line.size() && !line.at(end).isSpace()) anchored |= line.at(end++) == detector.anchor;
        if (anchored) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            Support::IcuRegex::Matches word = detector.regex.findAll(line.mid(start, end - start), std::max(left, std::chrono::milliseconds(0)));
            for (const Support::IcuRegex::Range& r : word.ranges) all.ranges.push_back({r.start + start, r.length});
            if (word.status != Support::IcuRegex::Status::completed) {
                all.status = word.status;
                all.error = word.error;
                return all;
            }
        }
        start = end;
    }
    return all;
}

} // namespace

PIIDetector::PIIDetector() : PIIDetector(sharedTextRecognizer(), sharedFaceDetector()) {}

PIIDetector::PIIDetector(std::shared_ptr<TextRecognizer> text, std::shared_ptr<FaceDetector> faces)
    : text_(std::move(text)), faces_(std::move(faces)) {}

DetectionResult PIIDetector::detect(const QImage& image, const std::vector<PatternInput>& customPatterns) const {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0)
        throw RecognitionError("the image is empty");

    // Faces are looked for while the text is read; both must finish before anything is returned.
    std::future<std::vector<Support::Rect>> faces =
        std::async(std::launch::async, [this, &image] { return faces_->detectFaces(image); });
    std::vector<RecognizedLine> lines;
    try {
        lines = text_->recognize(image);
    } catch (...) {
        faces.wait();
        throw;
    }
    return findings(lines, faces.get(), image.width(), image.height(), customPatterns);
}

DetectionResult PIIDetector::findings(const std::vector<RecognizedLine>& lines, const std::vector<Support::Rect>& faces,
                                      double imageWidth, double imageHeight,
                                      const std::vector<PatternInput>& customPatterns) {
    DetectionResult result;

    // Overrides of built-in actions (the last one for a name wins) and compiled custom patterns.
    std::map<QString, PatternAction> overrides;
    std::vector<CompiledDetector> custom;
    for (const PatternInput& input : customPatterns) {
        if (builtinNames().contains(input.name)) {
            overrides[input.name] = input.action;
            continue;
        }
        Support::IcuRegex::CompileError error;
        auto regex = Support::IcuRegex::compile(input.regex, &error);
        if (!regex) {
            result.diagnostics.append(
                QStringLiteral("custom pattern '%1' skipped: invalid regex (%2)").arg(input.name, error.message));
            continue;
        }
        custom.push_back({input.name, input.action, std::move(*regex), false, QChar()});
    }

    std::vector<RunningDetector> detectors;
    for (const CompiledDetector& builtin : builtins()) {
        auto it = overrides.find(builtin.name);
        detectors.push_back({&builtin, it != overrides.end() ? it->second : builtin.action, true, kBuiltinBudget});
    }
    for (const CompiledDetector& c : custom) detectors.push_back({&c, c.action, false, kCustomPatternBudget});

    for (const RecognizedLine& line : lines) {
        const Characters characters(line.text);
        for (RunningDetector& detector : detectors) {
            if (detector.stopped) continue;
            const auto started = Clock::now();
            const Support::IcuRegex::Matches matches = matchesIn(
                *detector.compiled, line.text, std::chrono::ceil<std::chrono::milliseconds>(detector.remaining));
            detector.remaining -= std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
            if (matches.status != Support::IcuRegex::Status::completed || detector.remaining.count() <= 0) {
                // Out of time for this call. The matches found so far are real and are kept.
                detector.stopped = true;
                Support::IcuRegex::Matches reported = matches;
                if (reported.status == Support::IcuRegex::Status::completed)
                    reported.status = Support::IcuRegex::Status::timedOut;
                result.diagnostics.append(stopDiagnostic(detector, reported));
            }
            for (const Support::IcuRegex::Range& match : matches.ranges) {
                // Whole characters only: a match that ends inside a character takes all of it.
                const Range range{characters.boundaryAtOrBefore(match.start),
                                  characters.boundaryAtOrAfter(match.start + match.length)};
                const QString matched = line.text.mid(range.start, range.end - range.start);
                if (detector.compiled->luhn && !luhnAcceptable(matched)) continue;
                const Range widened = wordExtended(range, characters);
                const Support::Rect normalized =
                    line.boxForRange(widened.start, widened.end - widened.start).value_or(line.box);
                result.detections.push_back(Detection(detector.compiled->name, detector.action,
                                                      ImageBoxes::findingBox(normalized, imageWidth, imageHeight),
                                                      matched));
            }
        }
    }

    for (const Support::Rect& face : faces)
        result.detections.push_back(Detection(QStringLiteral("face"), PatternAction::blurSuggested,
                                              ImageBoxes::findingBox(face, imageWidth, imageHeight), QString()));
    return result;
}

} // namespace DetectionKit
