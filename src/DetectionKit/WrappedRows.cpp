#include "DetectionKit/WrappedRows.h"

#include <algorithm>
#include <iterator>
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

// `lower` is a row below `upper`: its top no higher than a quarter of a line into `upper`, and its
// middle less than `heights` line heights below that of `upper`.
bool below(const Support::Rect& upper, const Support::Rect& lower, double heights) {
    const double height = std::max(upper.height(), lower.height());
    return similarHeights(upper, lower) && lower.maxY() <= upper.minY() + 0.25 * height &&
           upper.midY() - lower.midY() < heights * height;
}

// Rows of one block follow one another closely; a short word ("Dec", "org") is lower than its row.
constexpr double kBlockPitch = 2.5;
// The row a wrapped row goes on in is the next one, one line pitch down: the rows of a terminal are
// 1.2 to 1.6 heights apart; a blank row between (2.5 or more) parts them, and so do the rows of a
// table (2).
constexpr double kNextRowPitch = 1.8;

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
            if (i != j && ((overlapAcross(lines[i].box, lines[j].box) && below(lines[i].box, lines[j].box, kBlockPitch)) ||
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

// Whether a row lies on one grid of character cells with the row above it (the lines on the row of
// `upper`), as the rows of a terminal do: two in three glyphs of `lower` that have one above them
// sit right under it (within a sixth of a character; recognition places a glyph a little off here
// and there), where those of proportional text (a justified page, a table) fall anywhere.
bool oneCharacterGrid(const std::vector<RecognizedLine>& lines, const RecognizedLine& upper,
                      const RecognizedLine& lower, double advance) {
    std::vector<double> above;
    for (const RecognizedLine& line : lines)
        if (sameRow(line.box, upper.box))
            for (const GlyphBox& g : line.glyphs)
                if (g.length == 1) above.push_back(g.box.midX());
    std::sort(above.begin(), above.end());
    int compared = 0, aligned = 0;
    for (const GlyphBox& g : lower.glyphs) {
        if (g.length != 1) continue;
        const auto after = std::lower_bound(above.begin(), above.end(), g.box.midX());
        double distance = 1e9;
        if (after != above.end()) distance = *after - g.box.midX();
        if (after != above.begin()) distance = std::min(distance, g.box.midX() - *std::prev(after));
        if (distance > 0.5 * advance) continue; // under a space
        ++compared;
        aligned += distance <= 0.15 * advance;
    }
    return compared >= 3 && aligned >= 0.65 * compared;
}

// The width one character takes in the line, on average.
double advanceOf(const RecognizedLine& line) { return line.box.width() / double(std::max<qsizetype>(1, line.text.size())); }

} // namespace

std::vector<Joined> joined(const std::vector<RecognizedLine>& lines) {
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
        size_t nextRow = none;
        for (size_t j = 0; j < lines.size(); ++j) {
            if (j == i || block[j] != block[i] || lines[j].glyphs.empty() || continues[j]) continue;
            if (!below(upper.box, lines[j].box, kNextRowPitch) || lines[j].box.minX() > e.left + advance) continue;
            if (nextRow == none || lines[j].box.maxY() > lines[nextRow].box.maxY()) nextRow = j;
        }
        if (nextRow == none || !addressWordAcross(upper.text, lines[nextRow].text) ||
            !oneCharacterGrid(lines, upper, lines[nextRow], advance))
            continue;
        next[i] = nextRow;
        continues[nextRow] = true;
    }

    std::vector<Joined> result;
    result.reserve(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        if (continues[i]) continue;
        Joined joined{lines[i], {i}};
        for (size_t j = next[i]; j != none; j = next[j]) {
            const qsizetype offset = joined.line.text.size();
            joined.line.text += lines[j].text;
            joined.line.box = joined.line.box.united(lines[j].box);
            for (GlyphBox glyph : lines[j].glyphs) {
                glyph.start += offset;
                joined.line.glyphs.push_back(glyph);
            }
            joined.rows.push_back(j);
        }
        result.push_back(std::move(joined));
    }
    return result;
}

} // namespace DetectionKit::WrappedRows
