// Lines of one baseline that the regions cut apart are read as one line; a field's border beside
// the text is cut from its region.
#include "QtPrinters.h"

#include "DetectionKit/BaselineJoin.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace DetectionKit;
using LineAssembly::PixelLine;

namespace {

// A line as read: each character a glyph `advance` wide (less a pixel), standing `height` on the
// baseline; brackets reach a fifth of the height above and below. Spaces have no glyph.
PixelLine lineOf(const QString& text, double x, double baseline, double height = 15, double advance = 10) {
    PixelLine line;
    line.text = text;
    for (qsizetype i = 0; i < text.size(); ++i, x += advance) {
        if (text[i] == QLatin1Char(' ')) continue;
        const bool bracket = text[i] == QLatin1Char('(') || text[i] == QLatin1Char(')');
        const double reach = bracket ? 0.2 * height : 0;
        const Support::Rect box(x, baseline - height - reach, advance - 1, height + 2 * reach);
        line.glyphs.push_back({i, 1, box});
        line.box = line.box.united(box);
    }
    return line;
}

cv::Mat white() { return cv::Mat(200, 400, CV_8UC3, cv::Scalar(255, 255, 255)); }

QStringList textsOf(const std::vector<PixelLine>& lines) {
    QStringList texts;
    for (const PixelLine& line : lines) texts << line.text;
    return texts;
}

struct JoinCase {
    const char* name;
    std::vector<std::vector<PixelLine>> regions;
    std::vector<Support::Rect> blanks;
    bool ruleInGap; // a grey vertical line at x 105, rows 40-70
    QStringList expected;
};

TEST(BaselineJoin, JoinsWordsOfOneBaselineFromDifferentRegionsOnly) {
    const std::vector<JoinCase> cases = {
        {"a word space apart", {{lineOf("(753)", 50, 60)}, {lineOf("555-5976", 108, 60)}}, {}, false, {"(753) 555-5976"}},
        {"a column apart", {{lineOf("(753)", 50, 60)}, {lineOf("555-5976", 130, 60)}}, {}, false, {"(753)", "555-5976"}},
        {"baselines apart", {{lineOf("(753)", 50, 60)}, {lineOf("555-5976", 108, 64)}}, {}, false, {"(753)", "555-5976"}},
        {"another size", {{lineOf("(753)", 50, 60)}, {lineOf("555-5976", 108, 60, 30)}}, {}, false, {"(753)", "555-5976"}},
        {"a blank between", {{lineOf("(753)", 50, 60)}, {lineOf("555-5976", 108, 60)}}, {{101, 40, 5, 25}}, false,
         {"(753)", "555-5976"}},
        {"a border between", {{lineOf("(753)", 50, 60)}, {lineOf("555-5976", 108, 60)}}, {}, true, {"(753)", "555-5976"}},
        {"a region read as two lines",
         {{lineOf("(753)", 50, 60), lineOf("Mobile", 50, 90)}, {lineOf("555-5976", 108, 60)}},
         {},
         false,
         {"(753)", "Mobile", "555-5976"}},
        {"three regions, the order kept",
         {{lineOf("Title", 10, 20)}, {lineOf("555-5976", 108, 60)}, {lineOf("Call", 0, 60)}, {lineOf("(753)", 50, 60)}},
         {},
         false,
         {"Title", "Call (753) 555-5976"}},
    };
    for (const JoinCase& c : cases) {
        cv::Mat bgr = white();
        if (c.ruleInGap) cv::line(bgr, {105, 40}, {105, 70}, cv::Scalar(150, 150, 150));
        EXPECT_EQ(textsOf(BaselineJoin::join(bgr, c.regions, c.blanks)), c.expected) << c.name;
    }
}

TEST(BaselineJoin, JoinedLineKeepsEveryGlyphBox) {
    const PixelLine left = lineOf("(753)", 50, 60);
    const PixelLine right = lineOf("555", 108, 60);
    const std::vector<PixelLine> lines = BaselineJoin::join(white(), {{left}, {right}}, {});
    ASSERT_EQ(lines.size(), 1u);
    const PixelLine& line = lines[0];
    EXPECT_EQ(line.box, left.box.united(right.box));
    ASSERT_EQ(line.glyphs.size(), left.glyphs.size() + right.glyphs.size());
    // The right part's glyphs follow the space, each still boxing its own character.
    const auto& first = line.glyphs[left.glyphs.size()];
    EXPECT_EQ(line.text.mid(first.start, first.length), QStringLiteral("5"));
    EXPECT_EQ(first.start, 6);
    EXPECT_EQ(first.box, right.glyphs[0].box);
}

// A bordered field 46 pixels tall at x 60-300, y 100-145, text blocks 15 pixels tall from x 72,
// the side of another field at x 56; the region found took in a side or two and so is as tall as
// the field.
struct BorderCase {
    const char* name;
    int left, right; // the region's columns
    bool text;       // text inside the field
    bool cut;        // whether the region loses the borders
};

TEST(BaselineJoin, CutsAFieldsSideFromTheTextBesideIt) {
    const std::vector<BorderCase> cases = {
        {"the left side and the text", 59, 130, true, true},
        {"both sides and the text", 59, 302, true, true},
        {"the field before's side too", 55, 130, true, true},
        {"both sides alone", 59, 302, false, false},
    };
    for (const BorderCase& c : cases) {
        cv::Mat bgr(240, 400, CV_8UC3, cv::Scalar(255, 255, 255));
        cv::rectangle(bgr, cv::Rect(60, 100, 241, 46), cv::Scalar(140, 140, 140));
        cv::rectangle(bgr, cv::Rect(20, 100, 37, 46), cv::Scalar(140, 140, 140));
        if (c.text)
            for (int x = 72; x < 126; x += 10) cv::rectangle(bgr, cv::Rect(x, 115, 7, 15), cv::Scalar(30, 30, 30), cv::FILLED);
        const cv::Rect found(c.left, 99, c.right - c.left, 48);
        std::vector<ScreenTextRegions::Region> regions = {{found, c.text ? 15 : 46, false}, {cv::Rect(72, 10, 50, 15), 15, false}};
        BaselineJoin::cutSideBorders(bgr, regions);
        EXPECT_EQ(regions[1].area, cv::Rect(72, 10, 50, 15)) << c.name;
        if (!c.cut) {
            EXPECT_EQ(regions[0].area, found) << c.name;
            continue;
        }
        EXPECT_EQ(regions[0].area.x, 72) << c.name;
        EXPECT_GE(regions[0].area.br().x, 126) << c.name;
        EXPECT_LT(regions[0].area.br().x, 300) << c.name;
        EXPECT_EQ(regions[0].area.y, 114) << c.name;
        EXPECT_EQ(regions[0].area.height, 17) << c.name;
    }
}

} // namespace
