#include "DetectionKit/LineAssembly.h"

#include <algorithm>

namespace DetectionKit::LineAssembly {

namespace {

// A break narrower than this share of the character pitch is no space. Monospaced text leaves
// about 0.4 of a pitch beside a dot; a proportional space after a full stop is about 0.75.
constexpr double kJoinableGapInPitches = 0.55;

bool isJoiner(const QString& glyph) {
    return glyph == QLatin1String(".") || glyph == QLatin1String("@");
}

// The median distance between the centres of neighbouring glyphs inside words.
double characterPitch(const std::vector<Word>& words) {
    std::vector<double> distances;
    for (const Word& word : words)
        for (size_t i = 1; i < word.size(); ++i)
            distances.push_back(word[i].box.midX() - word[i - 1].box.midX());
    if (distances.empty()) return 0;
    std::nth_element(distances.begin(), distances.begin() + distances.size() / 2, distances.end());
    return distances[distances.size() / 2];
}

bool joined(const Word& before, const Word& after, double pitch) {
    if (before.empty() || after.empty() || pitch <= 0) return false;
    if (!isJoiner(before.back().text) && !isJoiner(after.front().text)) return false;
    const double gap = after.front().box.minX() - before.back().box.maxX();
    return gap < kJoinableGapInPitches * pitch;
}

} // namespace

PixelLine assemble(const std::vector<Word>& words) {
    PixelLine line;
    const double pitch = characterPitch(words);
    const Word* previous = nullptr;
    for (const Word& word : words) {
        if (word.empty()) continue;
        if (previous && !joined(*previous, word, pitch)) line.text.append(QLatin1Char(' '));
        for (const Glyph& glyph : word) {
            line.glyphs.push_back({line.text.size(), glyph.text.size(), glyph.box});
            line.box = line.box.united(glyph.box);
            line.text.append(glyph.text);
        }
        previous = &word;
    }
    return line;
}

} // namespace DetectionKit::LineAssembly
