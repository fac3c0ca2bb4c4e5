#pragma once

#include "DetectionKit/Recognition.h"

#include <vector>

namespace DetectionKit::WrappedRows {

// The recognised lines with every row that a block of text wraps inside an address-like word
// joined to the row it continues on, as one line: a terminal wraps a long line at its last column
// wherever that falls ("ruth.okafor3@northwind" / "-mail.com>"), and neither part is an address
// alone. A row continues on the next when it ends at the right edge of its block of text (the
// right end of its longest row, within a character) with an address character, and the next row of
// the block, one line pitch below and on the same grid of character cells, starts at its left edge
// with one, the two making a word that holds one at sign. A joined line's text is its rows' texts
// one after the other, its glyphs theirs (each still on its own row) and its box their union; it
// takes the place of its first row, in the order of the lines. Lines without glyph boxes are never
// joined.
struct Joined {
    RecognizedLine line;
    std::vector<size_t> rows; // the indices of the lines it is made of, top first
};
std::vector<Joined> joined(const std::vector<RecognizedLine>& lines);

} // namespace DetectionKit::WrappedRows
