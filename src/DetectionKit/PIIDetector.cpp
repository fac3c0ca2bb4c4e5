#include "DetectionKit/PIIDetector.h"

#include "DetectionKit/Characters.h"
#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/SharedRecognizers.h"
#include "DetectionKit/WrappedRows.h"

#include <algorithm>
#include <future>
#include <iterator>
#include <map>

namespace DetectionKit {

namespace {

using Clock = std::chrono::steady_clock;

// A detector as it runs in one call, with the lines it could not finish in time.
struct RunningDetector {
    const PIIDetector::CompiledDetector* compiled;
    PatternAction action;
    bool builtin;
    std::chrono::milliseconds budgetPerLine;
    int unfinishedLines = 0;
    QString reason; // why the first unfinished line stopped
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

QString linesText(int lines) {
    return lines == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(lines);
}

// Names the detector, how many lines it could not finish and why; never the text it was matching.
QString unfinishedDiagnostic(const RunningDetector& d) {
    const QString who = d.builtin ? QStringLiteral("built-in detector '%1'").arg(d.compiled->name)
                                  : QStringLiteral("custom pattern '%1'").arg(d.compiled->name);
    if (d.action == PatternAction::blurMandatory)
        return QStringLiteral("%1 could not finish %2 (%3); hidden whole as mandatory findings")
            .arg(who, linesText(d.unfinishedLines), d.reason);
    return QStringLiteral("%1 skipped %2: %3").arg(who, linesText(d.unfinishedLines), d.reason);
}

// The longest local part and domain an address can have. A candidate is searched only this far
// either side of its "@", so the work per candidate is bounded however long the word around it is.
constexpr qsizetype kLocalPartLimit = 64;
constexpr qsizetype kDomainLimit = 255;

void append(Support::IcuRegex::Matches& all, const Support::IcuRegex::Matches& part, qsizetype offset) {
    for (const Support::IcuRegex::Range& r : part.ranges) all.ranges.push_back({r.start + offset, r.length});
    if (part.status != Support::IcuRegex::Status::completed && all.status == Support::IcuRegex::Status::completed) {
        all.status = part.status;
        all.error = part.error;
    }
}

// Matches of an anchored detector (every match holds the anchor once and no whitespace): each
// anchor is searched in a window around it, from where the previous match ended.
Support::IcuRegex::Matches anchoredMatches(const PIIDetector::CompiledDetector& detector, const QString& line,
                                           std::chrono::milliseconds budget) {
    Support::IcuRegex::Matches all;
    const auto deadline = Clock::now() + budget;
    qsizetype wordStart = 0;
    while (wordStart < line.size()) {
        while (wordStart < line.size() && line.at(wordStart).isSpace()) ++wordStart;
        qsizetype wordEnd = wordStart;
        while (wordEnd < line.size() && !line.at(wordEnd).isSpace()) ++wordEnd;
        qsizetype consumed = wordStart;
        for (qsizetype at = line.indexOf(detector.anchor, wordStart); at >= 0 && at < wordEnd;
             at = line.indexOf(detector.anchor, at + 1)) {
            if (at < consumed) continue;
            const qsizetype from = std::max(consumed, at - kLocalPartLimit);
            const qsizetype to = std::min(wordEnd, at + 1 + kDomainLimit);
            const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                                       std::chrono::milliseconds(1));
            Support::IcuRegex::Matches window = detector.regex.findAll(line.mid(from, to - from), left);
            Support::IcuRegex::Matches holding; // the match around this anchor, if any
            for (const Support::IcuRegex::Range& r : window.ranges)
                if (from + r.start <= at && at < from + r.start + r.length) {
                    holding.ranges.push_back(r);
                    consumed = from + r.start + r.length;
                    break;
                }
            holding.status = window.status;
            holding.error = window.error;
            append(all, holding, from);
        }
        wordStart = wordEnd;
    }
    return all;
}

// The range of whole characters a match covers: one that ends inside a character takes all of it.
PIIDetector::Range wholeCharacters(const Support::IcuRegex::Range& match, const Characters& characters) {
    return {characters.boundaryAtOrBefore(match.start), characters.boundaryAtOrAfter(match.start + match.length)};
}

bool overlapsAny(const Support::IcuRegex::Range& r, const std::vector<Support::IcuRegex::Range>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(), [&r](const Support::IcuRegex::Range& o) {
        return r.start < o.start + o.length && o.start < r.start + r.length;
    });
}

// All matches of a detector in a line, within the budget, in the order of their starts.
Support::IcuRegex::Matches matchesIn(const PIIDetector::CompiledDetector& detector, const Characters& characters,
                                     std::chrono::milliseconds budget) {
    const QString line = detector.reading ? detector.reading(characters.text()) : characters.text();
    const auto deadline = Clock::now() + budget;
    Support::IcuRegex::Matches matches;
    if (!detector.anchor.isNull()) {
        if (line.contains(detector.anchor)) matches = anchoredMatches(detector, line, budget);
    } else if (detector.luhn) {
        matches = detector.regex.findAccepted(
            line,
            [&](const Support::IcuRegex::Range& r) {
                const PIIDetector::Range whole = wholeCharacters(r, characters);
                return PIIDetector::luhnAcceptable(line.mid(whole.start, whole.end - whole.start));
            },
            budget);
    } else {
        matches = detector.regex.findAll(line, budget);
    }
    if (!detector.misread || matches.status != Support::IcuRegex::Status::completed) return matches;

    const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()),
                               std::chrono::milliseconds(1));
    const Support::IcuRegex::Matches misread =
        detector.misreadAcceptable
            ? detector.misread->findAccepted(
                  line,
                  [&](const Support::IcuRegex::Range& r) { return detector.misreadAcceptable(line.mid(r.start, r.length)); },
                  left)
            : detector.misread->findAll(line, left);
    // A misread match takes the place of the matches it holds whole (the "0@example.com" of
    // "lee.kim/0@example.com"); one that only partly overlaps a match is left out.
    Support::IcuRegex::Matches added;
    for (const Support::IcuRegex::Range& r : misread.ranges) {
        const auto inside = [&r](const Support::IcuRegex::Range& o) {
            return r.start <= o.start && o.start + o.length <= r.start + r.length;
        };
        std::vector<Support::IcuRegex::Range> others;
        std::copy_if(matches.ranges.begin(), matches.ranges.end(), std::back_inserter(others),
                     [&](const Support::IcuRegex::Range& o) { return !inside(o); });
        if (overlapsAny(r, others)) continue;
        matches.ranges = std::move(others);
        added.ranges.push_back(r);
    }
    added.status = misread.status;
    added.error = misread.error;
    append(matches, added, 0);
    std::stable_sort(matches.ranges.begin(), matches.ranges.end(),
                     [](const Support::IcuRegex::Range& a, const Support::IcuRegex::Range& b) { return a.start < b.start; });
    return matches;
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

std::map<QString, PatternAction> PIIDetector::builtinOverrides(const std::vector<PatternInput>& customPatterns) {
    std::map<QString, PatternAction> overrides;
    for (const PatternInput& input : customPatterns) {
        if (builtinNames().contains(input.name)) overrides[input.name] = input.action;
    }
    return overrides;
}

PIIDetector::MandatoryPatterns PIIDetector::mandatoryPatterns(const std::vector<PatternInput>& customPatterns) {
    MandatoryPatterns mandatory;
    const std::map<QString, PatternAction> overrides = builtinOverrides(customPatterns);
    for (const CompiledDetector& builtin : builtins()) {
        const auto it = overrides.find(builtin.name);
        if ((it != overrides.end() ? it->second : builtin.action) == PatternAction::blurMandatory)
            mandatory.insert({builtin.name, QString()});
    }
    for (const PatternInput& input : customPatterns) {
        if (!builtinNames().contains(input.name) && input.action == PatternAction::blurMandatory)
            mandatory.insert({input.name, input.regex});
    }
    return mandatory;
}

DetectionResult PIIDetector::findings(const std::vector<RecognizedLine>& lines, const std::vector<Support::Rect>& faces,
                                      double imageWidth, double imageHeight,
                                      const std::vector<PatternInput>& customPatterns) {
    DetectionResult result;

    const std::map<QString, PatternAction> overrides = builtinOverrides(customPatterns);
    std::vector<CompiledDetector> custom;
    for (const PatternInput& input : customPatterns) {
        if (builtinNames().contains(input.name)) continue;
        Support::IcuRegex::CompileError error;
        auto regex = Support::IcuRegex::compile(input.regex, &error);
        if (!regex) {
            result.diagnostics.append(
                QStringLiteral("custom pattern '%1' skipped: invalid regex (%2)").arg(input.name, error.message));
            continue;
        }
        custom.push_back({input.name, input.action, std::move(*regex), false, QChar(), std::nullopt, nullptr, nullptr});
    }

    std::vector<RunningDetector> detectors;
    for (const CompiledDetector& builtin : builtins()) {
        auto it = overrides.find(builtin.name);
        detectors.push_back({&builtin, it != overrides.end() ? it->second : builtin.action, true, kBuiltinBudget, 0, {}});
    }
    for (const CompiledDetector& c : custom) detectors.push_back({&c, c.action, false, kCustomPatternBudget, 0, {}});

    // The matches of one detector in one line become detections: one per row of text the match
    // lies on. What a mandatory pattern could not rule out in time is hidden whole: the line
    // becomes one of its findings. A suggested one only loses this line.
    const auto report = [&](const RecognizedLine& line, const Characters& characters, RunningDetector& detector,
                            const Support::IcuRegex::Matches& matches) {
        for (const Support::IcuRegex::Range& match : matches.ranges) {
            const Range range = wholeCharacters(match, characters);
            const QString matched = line.text.mid(range.start, range.end - range.start);
            const Range widened = wordExtended(range, characters);
            std::vector<Support::Rect> boxes = ImageBoxes::rangeBoxes(line, widened.start, widened.end, imageWidth, imageHeight);
            // A line read without glyph boxes: all of it, the only box known to hold the match.
            if (boxes.empty()) boxes.push_back(ImageBoxes::findingBox(line.box, imageWidth, imageHeight));
            for (const Support::Rect& box : boxes)
                result.detections.push_back(Detection(detector.compiled->name, detector.action, box, matched));
        }
        if (matches.status == Support::IcuRegex::Status::completed) return;
        if (detector.unfinishedLines++ == 0) detector.reason = stopReason(matches);
        if (detector.action == PatternAction::blurMandatory) {
            result.detections.push_back(Detection(detector.compiled->name, detector.action,
                                                  ImageBoxes::findingBox(line.box, imageWidth, imageHeight), line.text));
        }
    };

    // A row a terminal wrapped inside an address is matched together with the row it goes on in.
    for (const WrappedRows::Joined& joined : WrappedRows::joined(lines)) {
        const Characters characters(joined.line.text);
        for (RunningDetector& detector : detectors) {
            // Every line has its own bound, so an odd line (one the user does not control, such as
            // a chat message) costs only itself, never the lines after it.
            const Support::IcuRegex::Matches matches = matchesIn(*detector.compiled, characters, detector.budgetPerLine);
            report(joined.line, characters, detector, matches);
            if (joined.rows.size() < 2) continue;
            // Each row also alone: joined to the next, a number that ended a row can run on into
            // a word and no longer match. What the joined rows' matches hold is not found twice.
            qsizetype offset = 0;
            for (size_t row : joined.rows) {
                const RecognizedLine& part = lines[row];
                const Characters partCharacters(part.text);
                Support::IcuRegex::Matches alone = matchesIn(*detector.compiled, partCharacters, detector.budgetPerLine);
                std::erase_if(alone.ranges, [&](const Support::IcuRegex::Range& r) {
                    return std::any_of(matches.ranges.begin(), matches.ranges.end(), [&](const Support::IcuRegex::Range& m) {
                        return m.start <= offset + r.start && offset + r.start + r.length <= m.start + m.length;
                    });
                });
                report(part, partCharacters, detector, alone);
                offset += part.text.size();
            }
        }
    }
    for (const RunningDetector& detector : detectors) {
        if (detector.unfinishedLines == 0) continue;
        result.diagnostics.append(unfinishedDiagnostic(detector));
        result.unfinished.push_back({detector.compiled->name, detector.action, detector.unfinishedLines});
    }

    for (const Support::Rect& face : faces)
        result.detections.push_back(Detection(QStringLiteral("face"), PatternAction::blurSuggested,
                                              ImageBoxes::findingBox(face, imageWidth, imageHeight), QString()));
    return result;
}

} // namespace DetectionKit
