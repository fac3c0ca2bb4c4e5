#include "QtPrinters.h"

#include "DetectionKit/LineAssembly.h"

#include <gtest/gtest.h>

using namespace DetectionKit::LineAssembly;

namespace {

// Monospaced text in cells of `pitch` pixels, glyph ink `inkWidth` wide and centred in its cell
// ("." and "@" narrower). A space is an empty cell; "|" is a word break the engine made where no
// cell is empty.
std::vector<Word> cells(const QString& text, double pitch, double inkWidth) {
    std::vector<Word> result(1);
    double cell = 0;
    for (QChar c : text) {
        if (c == ' ' || c == '|') {
            result.emplace_back();
            if (c == ' ') ++cell;
            continue;
        }
        const double width = (c == '.' || c == '@') ? inkWidth / 3 : inkWidth;
        result.back().push_back({QString(c), Support::Rect(cell * pitch + (pitch - width) / 2, 0, width, 10)});
        ++cell;
    }
    return result;
}

// Proportional text: glyphs of differing widths follow each other with a 1-pixel gap, spaces add
// `space` pixels.
std::vector<Word> proportional(const QStringList& words, double glyphWidth, double space) {
    std::vector<Word> result;
    double x = 0;
    for (const QString& w : words) {
        Word word;
        for (QChar c : w) {
            const double width = c == '.' ? 2 : glyphWidth - 2 + c.unicode() % 5;
            word.push_back({QString(c), Support::Rect(x, 0, width, 10)});
            x += width + 1;
        }
        result.push_back(word);
        x += space;
    }
    return result;
}

// A proportional font whose digits share one width (tabular digits): a digit has a cell of `pitch`
// pixels, its ink centred, a narrow "1" a little left of the centre; a hyphen, an "I" and an "F" have
// narrower cells. One word, as the engine reads a card number or an account number.
std::vector<Word> tabular(const QString& text, double pitch) {
    Word word;
    double x = 0;
    for (QChar c : text) {
        const double advance = c == '-' ? 0.6 * pitch : c == 'I' ? 0.5 * pitch : c == 'F' ? 0.9 * pitch : pitch;
        const double ink = c == '1' || c == 'I' ? 0.3 * pitch : c == '-' ? 0.4 * pitch : 0.55 * pitch;
        const double centre = x + advance / 2 - (c == '1' ? 0.1 * pitch : 0);
        word.push_back({QString(c), Support::Rect(centre - ink / 2, 0, ink, 10)});
        x += advance;
    }
    return {word};
}

} // namespace

TEST(LineAssemblyTest, JoinsWordsBrokenAtADotOnlyWhenNoSpaceIsThere) {
    struct Case {
        const char* description;
        std::vector<Word> words;
        const char* expected;
    };
    const std::vector<Case> cases = {
        // Monospaced: the engine broke after the dots although no cell is empty.
        {"monospaced address", cells("jane.|doe@example.|com", 13, 10), "jane.doe@example.com"},
        {"monospaced: a real space is kept", cells("mail: jane.doe@x.|org", 13, 10), "mail: jane.doe@x.org"},
        {"monospaced: a real space after a dot is kept", cells("end. next", 13, 10), "end. next"},
        {"monospaced: words without dots keep their spaces", cells("4111 1111 1111", 13, 10), "4111 1111 1111"},
        {"monospaced: broken after a hyphen", cells("tel 555-|123-4567", 9, 7), "tel 555-123-4567"},
        {"monospaced: a space after a hyphen is kept", cells("a - b", 9, 7), "a - b"},
        {"proportional sentence end keeps its space", proportional({"done.", "Next"}, 6, 4.5), "done. Next"},
        {"proportional words", proportional({"call", "555-123-4567"}, 6, 4.5), "call 555-123-4567"},
        {"nothing", {}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(assemble(c.words).text, QString::fromUtf8(c.expected)) << c.description;
}

TEST(LineAssemblyTest, GlyphOffsetsPointIntoTheText) {
    const PixelLine line = assemble(cells("ab c.|d", 10, 8));
    ASSERT_EQ(line.text, "ab c.d");
    ASSERT_EQ(line.glyphs.size(), 5u);
    const qsizetype starts[] = {0, 1, 3, 4, 5};
    for (size_t i = 0; i < line.glyphs.size(); ++i) {
        EXPECT_EQ(line.glyphs[i].start, starts[i]);
        EXPECT_EQ(line.text.mid(line.glyphs[i].start, line.glyphs[i].length), QString("abc.d").at(qsizetype(i)));
    }
    EXPECT_DOUBLE_EQ(line.box.minX(), 1);
    EXPECT_DOUBLE_EQ(line.box.maxX(), 59);
}

TEST(LineAssemblyTest, OneCellReadAsTwoCharactersKeepsTheFirst) {
    struct Case {
        const char* description;
        std::vector<Word> words;
        const char* expected;
    };
    auto withExtra = [](std::vector<Word> words, size_t word, size_t after, const char* text) {
        Glyph extra = words[word][after];
        extra.text = text;
        extra.box = Support::Rect(extra.box.minX() + 1, extra.box.minY(), extra.box.width() + 1, extra.box.height());
        words[word].insert(words[word].begin() + long(after) + 1, extra);
        return words;
    };
    const std::vector<Case> cases = {
        // "05" in a dotted-zero font, read as "065".
        {"repeat in one cell", withExtra(cells("078-05-1120", 9, 7), 0, 4, "6"), "078-05-1120"},
        // As many glyphs as cells: a misplaced box alone is no repeat.
        {"no more glyphs than cells", cells("jane.doe@example.com", 9, 7), "jane.doe@example.com"},
        {"proportional text is left alone", withExtra(proportional({"078-05-1120"}, 6, 4), 0, 4, "6"), "078-065-1120"},
        // An at sign read as itself and as a "G".
        {"at sign read twice", withExtra(cells("user=carla4@example.com", 9, 7), 0, 11, "G"), "user=carla4@example.com"},
        {"a G beside an at sign, one a cell", cells("JOHNG@EXAMPLE.COM", 9, 7), "JOHNG@EXAMPLE.COM"},
        // Digits one pitch apart, but the hyphens are narrower than a cell: no monospaced text.
        {"tabular digits with hyphens", tabular("6011-1111-1111-1117", 18), "6011-1111-1111-1117"},
        {"tabular digits after narrow letters", tabular("FI243331201171801", 17.5), "FI243331201171801"},
    };
    for (Case c : cases) {
        std::vector<Word> raw = c.words;
        dropRepeatsInACell(c.words, raw, spacingOf(c.words));
        EXPECT_EQ(assemble(c.words).text, QString::fromUtf8(c.expected)) << c.description;
    }
}

TEST(LineAssemblyTest, AFullStopBoxedIntoTheCellBeforeItIsNoRepeat) {
    // 22 px DejaVu Sans Mono: the engine boxed the stop of "joe." as a sliver at the end of the "e".
    std::vector<Word> words = cells("joe.|jay@example.com", 14, 11);
    words[0].back().box = Support::Rect(words[0][2].box.maxX() - 1, 0, 1, 10);
    std::vector<Word> raw = words;
    dropRepeatsInACell(words, raw, spacingOf(words));
    EXPECT_EQ(assemble(words, {7.0}).text, "joe.jay@example.com");
}

TEST(LineAssemblyTest, MeasuredBlankColumnsDecideOverGlyphBoxes) {
    // The engine boxed the dot inside the "e" before it; the ink shows half a cell of blank.
    std::vector<Word> words = cells("example.|com", 17, 13);
    words[0].back().box = words[0][words[0].size() - 2].box;
    EXPECT_EQ(assemble(words, {8.0}).text, "example.com");
    EXPECT_EQ(assemble(words, {25.0}).text, "example. com");

    // Small proportional text: the engine split at a full stop it then lost; the ink between the
    // words leaves almost no blank, which a space never does.
    const std::vector<Word> lostDot = proportional({"joe", "jay@example.com"}, 6, 4.5);
    EXPECT_EQ(assemble(lostDot, {1.0}).text, "joejay@example.com");
    EXPECT_EQ(assemble(lostDot, {4.5}).text, "joe jay@example.com");
}

TEST(LineAssemblyTest, AnAtSignReadAsALetterIsReadAsItsNextReadingInAnAddress) {
    struct Case {
        const char* read;
        qsizetype couldBeAt; // the glyph whose next reading is "@", or -1
        const char* expected;
    };
    const Case cases[] = {
        {"jane.doeGexample.com", 8, "jane.doe@example.com"},
        {"\"jane.doeGexample.com\",", 9, "\"jane.doe@example.com\","},
        {"jane.doeGexample", 8, "jane.doeGexample"},          // no domain after it
        {"jane.doeGexample.c", 8, "jane.doeGexample.c"},      // nor a two-letter end
        {"Gjane.doe@example.com", 0, "Gjane.doe@example.com"}, // the word has its at sign
        {"Gexample.com", 0, "Gexample.com"},                  // nothing before it
        {"jane.doeGexample.com", -1, "jane.doeGexample.com"}, // the engine saw no at sign in it
        {"user=fayOGexample.com", 9, "user=fayO@example.com"},  // glued to its key
        {"to=<jo26Gexample.com>,", 8, "to=<jo26@example.com>,"},
        {"mailto:Gexample.com", 7, "mailto:Gexample.com"},      // nothing between key and letter
    };
    for (const Case& c : cases) {
        std::vector<Word> words = cells(QString::fromUtf8(c.read), 9, 7);
        if (c.couldBeAt >= 0) words[0][size_t(c.couldBeAt)].couldBeAt = true;
        readAtSigns(words);
        EXPECT_EQ(assemble(words).text, QString::fromUtf8(c.expected)) << c.read;
    }
}

TEST(LineAssemblyTest, OtherReadingsAreAskedForOnlyWhereAnAtSignCouldMakeAnAddress) {
    const std::pair<const char*, bool> cases[] = {
        {"jane.doeGexample.com", true},
        {"(jane.doeGexample.com),", true},
        {"user=fayOGexample.com", true},
        {"user=", false},
        {"jane.doe@example.com", false}, // read right
        {"jane.doe example.com", true},  // the second word alone: "e" before "ample.com"
        {"janeGexample.c", false},       // one letter after the last dot
        {"version 2.10", false},         // digits after it
        {"ready", false},
        {"", false},
    };
    for (const auto& [read, expected] : cases)
        EXPECT_EQ(mayHideAtSign(proportional(QString::fromUtf8(read).split(QLatin1Char(' '), Qt::SkipEmptyParts), 6, 4.5)),
                  expected)
            << read;
}

namespace {

// `text` in cells of 9 px on the row `row` lines down (20 px a row).
std::vector<Word> cellsOnRow(const char* text, int row) {
    std::vector<Word> words = cells(QString::fromUtf8(text), 9, 7);
    for (Word& word : words)
        for (Glyph& glyph : word) glyph.box = glyph.box.offsetBy(0, 20.0 * row);
    return words;
}

} // namespace

TEST(LineAssemblyTest, MisreadWordsAreTakenFromASecondReadingWhereTheyReadRight) {
    struct Case {
        const char* first;
        const char* second;
        int secondRow;
        const char* expected;
    };
    const Case cases[] = {
        {"user=fayOGexample.com id=7", "user=fay0@example.com id=1", 0, "user=fay0@example.com id=7"},
        {"for dana7@@example.com from", "for dana70@example.com from", 0, "for dana70@example.com from"},
        {"to=<lee.k/@example.org>,", "to=<lee.k7@example.org>,", 0, "to=<lee.k7@example.org>,"},
        {"src=1@.221.190.147", "src=10.221.190.147", 0, "src=10.221.190.147"},
        {"[1®0.67.120.225]:25,", "[10.67.120.225]:25,", 0, "[10.67.120.225]:25,"}, // read twice
        {"src=1@.221.190.147", "src=10.221.190.148", 0, "src=1@.221.190.147"},      // another digit changed
        {"user=fayOGexample.com", "user=fayOGexample.com", 0, "user=fayOGexample.com"}, // no better there
        {"user=fay0@example.com", "user=fay0Gexample.com", 0, "user=fay0@example.com"}, // read right first
        {"user=fayOGexample.com", "user=fay0@example.com", 1, "user=fayOGexample.com"}, // another row
        {"user=fayOGexample.com", "fay0@example.com", 0, "user=fayOGexample.com"},      // other columns
    };
    for (const Case& c : cases) {
        std::vector<Word> words = cellsOnRow(c.first, 0);
        takeBetterReadings(words, {cellsOnRow(c.second, c.secondRow)});
        EXPECT_EQ(assemble(words).text, QString::fromUtf8(c.expected)) << c.first << " / " << c.second;
    }
}

TEST(LineAssemblyTest, ASecondReadingIsMadeOnlyForWordsThatLookMisread) {
    const std::pair<const char*, bool> cases[] = {
        {"user=fayOGexample.com", true},  // an at sign read as a letter
        {"dana7@@example.com", true},     // a digit read as an at sign
        {"emma.schulz/@contoso.org", true}, // or as a slash
        {"src=1@.221.190.147", true},     // a zero read as an at sign
        {"at @9:03:19", true},
        {"user=fay0@example.com phone=(355) 555-7468", false},
        {"icon@2x.png", false},           // an address as far as the pattern goes
        {"src=10.48.187.150 ssn=149-19-9779", false},
        {"https://example.com/@jane", false},
    };
    for (const auto& [read, expected] : cases) EXPECT_EQ(mayBeMisread(cells(QString::fromUtf8(read), 9, 7)), expected) << read;
}
