#pragma once

#include "Support/Geometry.h"

#include <QString>

#include <vector>

namespace DetectionKit::LineAssembly {

// What the engine read for one glyph and one word, with boxes in image pixels (top-left origin).
struct Glyph {
    QString text;
    Support::Rect box;
    double confidence = 100; // the engine's, 0-100
    bool couldBeAt = false;  // the engine's next reading of the glyph is "@"
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

// The lines and their glyphs moved by (dx, dy): what was read in one place, found again in another.
void moveLines(std::vector<PixelLine>& lines, double dx, double dy);

// Joins the engine's words into one line, one space between words, except where the engine broke
// a word at a dot, an at sign or a hyphen with no space there (monospaced text reads
// "jane. doe@example. com" and "555- 123-4567" otherwise). In monospaced text, where every
// character has a cell of the same pitch, a space is a whole empty cell.
// `blankAfter[k]`, when given, is the widest run of blank columns between word k and the next, in
// pixels, measured on the ink; otherwise the gap between their glyph boxes stands in.
PixelLine assemble(const std::vector<Word>& words, const std::vector<double>& blankAfter = {});

// The line's character pitch (median distance between neighbouring glyph centres in words), and
// whether most glyphs sit one pitch apart, as in monospaced text.
struct Spacing {
    double pitch = 0;
    bool monospaced = false;
};
Spacing spacingOf(const std::vector<Word>& words);

// In monospaced text the engine can read one character as two: a slashed or dotted zero as "09"
// or "06". A word with more glyphs than the cells its ink spans has such a repeat: of the two
// glyphs whose boxes start closest together, the second is dropped. `fitted` are the glyphs with
// boxes fitted to the ink (they count the cells), `raw` the same glyphs as the engine boxed them
// (they tell which two are one); the glyph is dropped from both.
void dropRepeatsInACell(std::vector<Word>& fitted, std::vector<Word>& raw, const Spacing& spacing);

// The engine can read the at sign of an address in some monospaced faces and sizes as a letter
// ("jane.doeGexample.com"), with "@" as its next reading. In a word without an at sign, such a
// glyph is read as "@" when that makes the word an address: a local part before it (after the key
// or bracket it is glued to, as in "user=" or "to=<"), and after it a domain that ends in a dot and
// two letters or more.
void readAtSigns(std::vector<Word>& words);

// Whether some word without an at sign would be an address if one of its glyphs were "@": only
// then are the engine's next readings worth asking for.
bool mayHideAtSign(const std::vector<Word>& words);

// Whether some word looks misread in a way a second reading of lighter ink can mend: an address
// with its at sign read as a letter (no address as it stands, but one if a glyph were "@"), an
// address with a stray "@" or "/" among the characters of its local part (a digit read as either:
// "dana7@@example.com"), or a number with a zero read as "@" or "®" ("1@.221.190.147").
bool mayBeMisread(const std::vector<Word>& words);

// Each word of `words` that looks misread is replaced by the word that `other`, a second reading
// of the same picture (boxes in the same pixels), has in nearly the same columns and rows, when
// that one is an address, or for a number, the same text with digits in place of the symbols.
void takeBetterReadings(std::vector<Word>& words, const std::vector<std::vector<Word>>& other);

} // namespace DetectionKit::LineAssembly
