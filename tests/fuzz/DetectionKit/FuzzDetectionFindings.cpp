// The detection step over arbitrary recognised lines and an arbitrary custom pattern (the first
// line of the input): no crash, every box inside the image, every matched text taken from its
// line (or from rows that follow one another, a wrapped address), and no diagnostic that repeats a
// line's text.
#include "DetectionKit/PIIDetector.h"
#include "DetectionKit/ImageBoxes.h"

#include "../SidecarKit/FuzzCheck.h"

#include <cstddef>
#include <cstdint>

using namespace DetectionKit;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QStringList parts = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    const double w = 800, h = 600;
    std::vector<RecognizedLine> lines;
    for (qsizetype i = 1; i < parts.size() && i < 40; ++i) {
        RecognizedLine line;
        line.text = parts[i];
        const double y = 10.0 * double(i);
        line.box = ImageBoxes::normalized(Support::Rect(5, y, 7.0 * double(line.text.size()) + 1, 9), w, h);
        for (qsizetype c = 0; c < line.text.size(); ++c)
            if (c % 3 != 2) // some units without a glyph box, as spaces and merged glyphs have
                line.glyphs.push_back({c, 1, ImageBoxes::normalized(Support::Rect(5 + 7.0 * double(c), y, 7, 9), w, h)});
        lines.push_back(line);
    }
    const std::vector<PatternInput> patterns = {{"custom", parts.value(0), PatternAction::blurMandatory},
                                                {"card", parts.value(0), PatternAction::blurMandatory}};
    const std::vector<Support::Rect> faces = {Support::Rect(-0.5, 0.9, 2, 2)};

    const DetectionResult result = PIIDetector::findings(lines, faces, w, h, patterns);
    const Support::Rect image(0, 0, w, h);
    for (const Detection& d : result.detections) {
        FUZZ_CHECK(image.contains(d.boundingBox()) || d.boundingBox().isEmpty());
        bool fromALine = d.detectorName() == "face";
        for (size_t first = 0; first < lines.size() && !fromALine; ++first) {
            QString rows;
            for (size_t last = first; last < lines.size() && !fromALine; ++last) {
                rows += lines[last].text;
                fromALine = rows.contains(d.matchedText());
            }
        }
        FUZZ_CHECK(fromALine);
        if (d.detectorName() == "card") FUZZ_CHECK(d.action() == PatternAction::blurMandatory);
    }
    FUZZ_CHECK(result.diagnostics.size() <= 1);
    for (const QString& diagnostic : result.diagnostics)
        for (const RecognizedLine& line : lines)
            FUZZ_CHECK(line.text.size() < 12 || !diagnostic.contains(line.text));
    return 0;
}
