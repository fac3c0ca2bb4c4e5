#pragma once

#include "DetectionKit/Detection.h"
#include "DetectionKit/Recognition.h"
#include "Support/IcuRegex.h"

#include <QImage>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace DetectionKit {

class Characters;

// Finds personal data in a captured image: recognises its text, runs the built-in detectors and
// the caller's custom patterns over every recognised line, and detects faces.
class PIIDetector {
public:
    // Uses the process's shared text recogniser and face detector (engines made once, reused).
    PIIDetector();
    // Uses the given services (fakes in tests).
    PIIDetector(std::shared_ptr<TextRecognizer> text, std::shared_ptr<FaceDetector> faces);

    // Detections in order: by recognised line, then by detector (built-ins in table order, then
    // custom patterns in input order), then by position in the line; faces last. A match whose
    // characters lie on two rows of text (a line read across a wrap) gives one detection per row. Throws
    // RecognitionError when recognition cannot be performed. Synchronous, callable from any thread.
    DetectionResult detect(const QImage& image, const std::vector<PatternInput>& customPatterns) const;

    // The detection step over already recognised lines; `detect` is recognition plus this.
    static DetectionResult findings(const std::vector<RecognizedLine>& lines, const std::vector<Support::Rect>& faces,
                                    double imageWidth, double imageHeight,
                                    const std::vector<PatternInput>& customPatterns);

    // Time one custom pattern may spend matching one line. A line it cannot finish in time costs
    // only itself: what was found on it is kept; under a mandatory pattern the whole line is
    // hidden as one more of its findings (its text is the line's), under a suggested one the line
    // is skipped. Either way a diagnostic and `DetectionResult::unfinished` say so.
    static constexpr std::chrono::milliseconds kCustomPatternBudget{250};
    // A built-in detector's bound for one line, handled the same way. Their expressions are
    // linear, and the e-mail one is searched only near each "@", so no line comes near it.
    static constexpr std::chrono::milliseconds kBuiltinBudget{2000};

    // One runnable detector.
    struct CompiledDetector {
        QString name;
        PatternAction action = PatternAction::blurSuggested;
        Support::IcuRegex regex;
        // Every match must pass luhnAcceptable; one that does not hides no match that would, from
        // the same start or a later one.
        bool luhn = false;
        // When set, every match holds this character once and no whitespace, so only a window
        // around each of its occurrences is searched: the same matches for any real address,
        // without the e-mail expression's quadratic backtracking over long runs of letters.
        QChar anchor;
        // Also looked for with this expression: the same data as recognition misreads it, where
        // a check of its own (`misreadAcceptable`, when set) tells it from other text. Its match
        // replaces the matches it holds whole.
        std::optional<Support::IcuRegex> misread;
        bool (*misreadAcceptable)(const QString&) = nullptr;
        // When set, the line as this detector reads it: of the same length, a character here and
        // there replaced by the one recognition took it for. Matches are reported in the line's
        // own text.
        QString (*reading)(const QString&) = nullptr;
    };

    // A range of UTF-16 offsets [start, end).
    struct Range {
        qsizetype start = 0;
        qsizetype end = 0;
        friend bool operator==(const Range&, const Range&) = default;
    };

    // The built-in table, compiled once on first use, in table order, each suggested.
    static const std::vector<CompiledDetector>& builtins();
    // The names of the built-in detectors.
    static const std::set<QString>& builtinNames();

    // What detection with `customPatterns` hides without fail, as (name, expression) pairs: each
    // built-in detector they make mandatory (by name alone, the expression empty) and each
    // mandatory custom pattern. Findings made with patterns whose set holds another's include
    // every mandatory finding that other would make.
    using MandatoryPatterns = std::set<std::pair<QString, QString>>;
    static MandatoryPatterns mandatoryPatterns(const std::vector<PatternInput>& customPatterns);

    // Card numbers: accepted unchecked when the text holds a letter recognition confuses with a
    // digit ("O", "o", "I", "l", "B", "S"); otherwise at least 13 digits with a valid Luhn sum.
    static bool luhnAcceptable(const QString& text);

    // An IBAN whose country code recognition read as digits or symbols of the same outline
    // ("1T60...", "$E45..."): accepted when reading them as the letters they look like gives a
    // country whose IBANs have exactly this length, and the IBAN's check digits hold.
    static bool misreadIbanAcceptable(const QString& text);

    // The text with each bar ("|", "!") glued inside an address-shaped word read as the letter l:
    // recognition reads a one-letter part of an address ("al.l@", "paul.I@") as a bar, which no
    // address holds. A bar counts when an address character or the at sign follows it in a word
    // that holds an at sign; a bar standing alone ("a | b@x.com") or ending a word stays a bar. A
    // backslash right after a bar is a piece of its stroke read apart, and is read with it.
    static QString addressReading(const QString& text);

    // The range widened over the characters glued to it up to, and with, the first delimiter
    // (bracket, quote, slash, colon, equals or at sign) on either side: the box asked for covers
    // what recognition broke off the item (the opening bracket of "(415) 555-0132", the end of an
    // address whose dot was read as a comma), and not the rest of the token around it (a URL,
    // "relay=host[10.1.2.3]:25"). The matched text is not widened.
    static Range wordExtended(Range range, const Characters& characters);

private:
    // The built-in detectors' actions as the inputs change them: the last input of a name wins.
    static std::map<QString, PatternAction> builtinOverrides(const std::vector<PatternInput>& customPatterns);

    std::shared_ptr<TextRecognizer> text_;
    std::shared_ptr<FaceDetector> faces_;
};

} // namespace DetectionKit
