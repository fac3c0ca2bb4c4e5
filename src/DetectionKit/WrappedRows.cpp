#include "DetectionKit/WrappedRows.h"

#include <algorithm>
#include <numeric>

namespace DetectionKit::WrappedRows {

namespace {

bool isAddressCharacter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || QStringView(u"._%+-@").contains(c);
}

// Boxes are normalised with y growing upwards: a row's top is its maxY.
bool similarHeights(const Support::Rect& a, const Support::Rect& b) {
    return std::min(a.height(), b.height()) >= 0.5 * std::max(a.height(), b.height());
}

// `lower` is the row right below `upper`, one line pitch down: its top no higher than a quarter of
// a line into `upper`, and less than 1.7 line heights below the top of `upper`. The rows of a
// terminal are about 1.25 heights apart; a blank row between (2.5) parts them, and so do the wider
// rows of a table (2).
bool rightBelow(const Support::Rect& upper, const Support::Rect& lower) {
    const double height = std::max(upper.height(), lower.height());
    return similarHeights(upper, lower) && lower.maxY() <= upper.minY() + 0.25 * height &&
           upper.maxY() - lower.maxY() < 1.7 * height;
}

bool overlapAcross(const Support::Rect& a, const Support::Rect& b) { return a.minX() < b.maxX() && b.minX() < a.maxX(); }

// Two lines on one row: they share at least half the height of the shorter one.
bool sameRow(const Support::Rect& a, const Support::Rect& b) {
    return std::min(a.maxY(), b.maxY()) - std::max(a.minY(), b.minY()) >= 0.5 * std::min(a.height(), b.height());
}

// The blocks of text (a union-find): lines that follow one another down the screen, overlapping
// across, and the lines of one row, however far apart (recognition reads a row of a terminal in
// pieces, and may read nothing of a stretch of it).
std::vector<size_t> blocksOf(const std::vector<RecognizedLine>& lines) {
    std::vector<size_t> parent(lines.size());
    std::iota(parent.begin(), parent.end(), size_t(0));
    const auto root = [&parent](size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    for (size_t i = 0; i < lines.size(); ++i)
        for (size_t j = 0; j < lines.size(); ++j)
            if (i != j && ((overlapAcross(lines[i].box, lines[j].box) && rightBelow(lines[i].box, lines[j].box)) ||
                           sameRow(lines[i].box, lines[j].box)))
                parent[root(j)] = root(i);
    std::vector<size_t> block(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) block[i] = root(i);
    return block;
}

// Whether the end of `upper` and the start of `lower` are one address-like word: its at sign on
// one side only (one on each is two addresses, as in the cells of a column).
bool addressWordAcross(const QString& upper, const QString& lower) {
    if (upper.isEmpty() || lower.isEmpty() || !isAddressCharacter(upper.back()) || !isAddressCharacter(lower.front()))
        return false;
    bool atAbove = false, atBelow = false;
    for (qsizetype i = upper.size() - 1; i >= 0 && isAddressCharacter(upper.at(i)); --i)
        atAbove = atAbove || upper.at(i) == QLatin1Char('@');
    for (qsizetype i = 0; i < lower.size() && isAddressCharacter(lower.at(i)); ++i)
        atBelow = atBelow || lower.at(i) == QLatin1Char('@');
    return atAbove != atBelow;
}

// The width one character takes in the line, on average.
double advanceOf(const RecognizedLine& line) { return line.box.width() / double(std::max<qsizetype>(1, line.text.size())); }

} // namespace

std::vector<RecognizedLine> joined(const std::vector<RecognizedLine>& lines) {
    const std::vector<size_t> block = blocksOf(lines);
    struct Edges {
        double left = 1e9, right = -1e9;
    };
    std::vector<Edges> edges(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        Edges& e = edges[block[i]];
        e.left = std::min(e.left, lines[i].box.minX());
        e.right = std::max(e.right, lines[i].box.maxX());
    }

    constexpr size_t none = size_t(-1);
    std::vector<size_t> next(lines.size(), none);
    std::vector<bool> continues(lines.size(), false);
    for (size_t i = 0; i < lines.size(); ++i) {
        const RecognizedLine& upper = lines[i];
        const Edges& e = edges[block[i]];
        const double advance = advanceOf(upper);
        if (upper.glyphs.empty() || upper.box.maxX() < e.right - advance) continue;
        // The row below in the same block that starts at its left edge.
        size_t below = none;
        for (size_t j = 0; j < lines.size(); ++j) {
            if (j == i || block[j] != block[i] || lines[j].glyphs.empty() || continues[j]) continue;
            if (!rightBelow(upper.box, lines[j].box) || lines[j].box.minX() > e.left + advance) continue;
            if (below == none || lines[j].box.maxY() > lines[below].box.maxY()) below = j;
        }
        if (below == none || !addressWordAcross(upper.text, lines[below].text)) continue;
        next[i] = below;
        continues[below] = true;
    }

    std::vector<RecognizedLine> result;
    result.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (continues[i]) continue;
        RecognizedLine line = lines[i];
        for (size_t j = next[i]; j != none; j = next[j]) {
            const qsizetype offset = line.text.size();
            line.text += lines[j].text;
            line.box = line.box.united(lines[j].box);
            for (GlyphBox glyph : lines[j].glyphs) {
                glyph.start += offset;
                line.glyphs.push_back(glyph);
            }
        }
        result.push_back(std::move(line));
    }
    return result;
}

} // namespace DetectionKit::WrappedRows
