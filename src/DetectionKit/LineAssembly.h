#pragma once

#include "Support/Geometry.h"

#include <QString>

#include <vector>

namespace DetectionKit::LineAssembly {

// What the engine read for one glyph and one word, with boxes in image pixels (top-left origin).
struct Glyph {
    QString text;
    Support::Rect box;
};
using Word = std::vector<Glyph>;

struct PixelGlyph {
    qsizetype start;
    qsizetype length;
    Support::Rect box;
};

// One line of text with its glyphs' places in the text.
struct PixelLine {
    QString text;
    Support::Rect box = Support::Rect::null();
    std::vector<PixelGlyph> glyphs;
};

// Joins the engine's words into one line, one space between words, except where the engine broke
// a word at a dot or an at sign that sits in its own character cell (monospaced text reads
// "jane. doe@example. com" otherwise): when the gap there is well under the line's character pitch,
// the two words are one.
PixelLine assemble(const std::vector<Word>& words);

} // namespace DetectionKit::LineAssembly
