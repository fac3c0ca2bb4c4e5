// Finding the lines of text on a screen: tall smooth pictures, avatars and frames beside or around
// text must leave every line a region of its own, read as a single line; large glyphs stay one.
#include "BenchDrawing.h"

#include "DetectionKit/ScreenTextRegions.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <array>
#include <cmath>
#include <functional>

using namespace DetectionKit;
using DetectionBench::fontOf;

namespace {

cv::Mat bgrOf(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()), size_t(rgb.bytesPerLine()));
    cv::Mat bgr;
    cv::cvtColor(view, bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

// Draws a line of text with its top-left at (x, y) and returns its ink box (the font's ascent and
// descent, as wide as the text).
QRect line(QPainter& painter, const QFont& font, const QColor& ink, int x, int y, const QString& text) {
    const QFontMetrics metrics(font);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(QPoint(x, y + metrics.ascent()), text);
    return QRect(x, y, metrics.horizontalAdvance(text), metrics.height());
}

// A smooth portrait: hair, a face and shoulders in soft gradients on a gradient ground; few edges
// inside, but their outlines run from top to bottom.
void portrait(QPainter& painter, const QRect& r) {
    QLinearGradient ground(r.topLeft(), r.bottomRight());
    ground.setColorAt(0, QColor(96, 120, 150));
    ground.setColorAt(1, QColor(170, 150, 130));
    painter.fillRect(r, ground);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QPointF centre = r.center();
    const double w = r.width(), h = r.height();
    painter.setBrush(QColor(60, 42, 30));
    painter.drawEllipse(centre - QPointF(0, 0.12 * h), 0.3 * w, 0.34 * h);
    QRadialGradient face(centre - QPointF(0, 0.05 * h), 0.3 * w);
    face.setColorAt(0, QColor(236, 200, 170));
    face.setColorAt(1, QColor(200, 155, 125));
    painter.setBrush(face);
    painter.drawEllipse(centre - QPointF(0, 0.05 * h), 0.22 * w, 0.28 * h);
    painter.setBrush(QColor(40, 70, 110));
    painter.drawChord(QRectF(r.left() + 0.1 * w, r.top() + 0.72 * h, 0.8 * w, 0.6 * h), 0, 180 * 16);
}

// A code-review comment: an initials disc of `disc` px at (x, y), beside a bold name with a grey
// date on its line and the comment set `gap` px below; returns the two lines.
std::vector<QRect> reviewComment(QPainter& p, int x, int y, int disc, std::array<int, 3> px, int gap, const char* comment) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(190, 80, 70));
    p.drawEllipse(QRect(x, y, disc, disc));
    const QFont initials = fontOf("DejaVu Sans", disc * 2 / 5, true);
    line(p, initials, Qt::white, x + disc / 2 - QFontMetrics(initials).horizontalAdvance("IM") / 2,
         y + (disc - QFontMetrics(initials).height()) / 2, "IM");
    const int left = x + disc + 8;
    const QFont name = fontOf("DejaVu Sans", px[0], true), date = fontOf("DejaVu Sans", px[1]);
    const QRect nameLine = line(p, name, QColor(31, 35, 40), left, y, "Ines Moreau");
    const int dateTop = y + QFontMetrics(name).ascent() - QFontMetrics(date).ascent();
    const QRect dateLine = line(p, date, QColor(101, 109, 118), nameLine.right() + 5, dateTop, "4 Dec 2026, 09:12 \u00b7 edited");
    return {nameLine | dateLine,
            line(p, fontOf("DejaVu Sans", px[2]), QColor(31, 35, 40), left, nameLine.bottom() + 1 + gap, comment)};
}

struct Case {
    const char* description;
    QSize size;
    std::function<std::vector<QRect>(QPainter&)> draw; // returns the lines of text drawn
};

const Case kCases[] = {
    {"photographs beside contact lines, cards along a row", {1300, 320},
     [](QPainter& p) {
         std::vector<QRect> lines;
         for (int card = 0; card < 2; ++card) {
             const int x = 16 + card * 640;
             portrait(p, QRect(x, 30, 250, 250));
             const QFont font = fontOf("DejaVu Sans", 14);
             lines.push_back(line(p, font, QColor(30, 30, 30), x + 270, 120, "a.person@pinecrest.example"));
             lines.push_back(line(p, font, QColor(30, 30, 30), x + 270, 145, "(503) 555-0141"));
         }
         return lines;
     }},
    {"an initials avatar beside a name over an address", {700, 120},
     [](QPainter& p) {
         p.setRenderHint(QPainter::Antialiasing);
         p.setPen(Qt::NoPen);
         p.setBrush(QColor(190, 80, 70));
         p.drawEllipse(QRect(24, 30, 40, 40));
         line(p, fontOf("DejaVu Sans", 15, true), Qt::white, 31, 40, "CW");
         return std::vector<QRect>{line(p, fontOf("DejaVu Sans", 14, true), QColor(30, 30, 30), 76, 32, "Cordelia Whitcombe"),
                                   line(p, fontOf("DejaVu Sans", 13), QColor(90, 90, 90), 76, 54, "cordelia@fernhill-press.example")};
     }},
    {"a translucent toast over a picture", {600, 200},
     [](QPainter& p) {
         QLinearGradient sky(0, 0, 600, 0);
         sky.setColorAt(0, QColor(120, 160, 210));
         sky.setColorAt(0.5, QColor(230, 200, 160));
         sky.setColorAt(1, QColor(80, 130, 90));
         p.fillRect(QRect(0, 0, 600, 200), sky);
         p.setRenderHint(QPainter::Antialiasing);
         p.setPen(QPen(QColor(255, 255, 255, 90), 1));
         p.setBrush(QColor(30, 32, 40, 215));
         p.drawRoundedRect(QRectF(40.5, 40.5, 430, 96), 10, 10);
         const QColor ink(235, 235, 240);
         return std::vector<QRect>{line(p, fontOf("DejaVu Sans", 14, true), ink, 60, 52, "Mail - Ottoline Graves"),
                                   line(p, fontOf("DejaVu Sans", 13), ink, 60, 76, "ottoline.graves@lakeside-print.example"),
                                   line(p, fontOf("DejaVu Sans", 13), ink, 60, 98, "Re: proofs - ring me on +1 (614) 555-0121")};
     }},
    {"translucent notifications over a busy wallpaper", {520, 230},
     [](QPainter& p) {
         // Shapes of every colour with grain: their edges show through the cards.
         p.setRenderHint(QPainter::Antialiasing);
         p.setPen(Qt::NoPen);
         for (int i = 0; i < 90; ++i) {
             p.setBrush(QColor::fromHsv(i * 67 % 360, 60 + i * 29 % 180, 40 + i * 53 % 200));
             p.drawEllipse(QPointF(i * 173 % 520, i * 97 % 230), 6 + i * 13 % 40, 5 + i * 7 % 22);
         }
         std::vector<QRect> lines;
         for (int card = 0; card < 2; ++card) {
             const bool dark = card == 0;
             const int top = 10 + card * 110;
             p.setBrush(dark ? QColor(28, 28, 30, 160) : QColor(246, 246, 246, 150));
             p.drawRoundedRect(QRectF(16, top, 488, 96), 12, 12);
             const QColor ink = dark ? QColor(245, 245, 245) : QColor(20, 20, 20);
             lines.push_back(line(p, fontOf("DejaVu Sans", 14, true), ink, 30, top + 24, "Alex Morgan"));
             lines.push_back(line(p, fontOf("DejaVu Sans", 13), ink, 30, top + 50, "Missed call from (415) 555-0132"));
         }
         return lines;
     }},
    {"a selected cell, its frame a pixel from its text, over the next row", {400, 60},
     [](QPainter& p) {
         const QFont font = fontOf("DejaVu Sans", 11);
         const QRect selected = line(p, font, QColor(32, 33, 36), 23, 12, "jane.doe@example.com");
         p.setPen(QPen(QColor(26, 115, 232), 2));
         p.drawRect(QRect(20, 10, 160, selected.height() + 3));
         return std::vector<QRect>{selected, line(p, font, QColor(32, 33, 36), 23, 12 + selected.height() + 6, "n/a")};
     }},
    {"an avatar beside a name and a date over a comment a pixel below it", {700, 60},
     [](QPainter& p) { return reviewComment(p, 12, 10, 28, {11, 10, 13}, 1, "call me at 415-555-0133, not 555-0101"); }},
    {"a larger avatar, its initials apart from its rim, beside a name over a comment", {800, 70},
     [](QPainter& p) { return reviewComment(p, 12, 10, 32, {11, 11, 12}, 3, "CC k.okafor@example.org"); }},
    {"a field, its text in words, beside a label over a hint", {600, 70},
     [](QPainter& p) {
         const QFont font = fontOf("DejaVu Sans", 13);
         const QRect label = line(p, font, QColor(32, 33, 36), 20, 12, "Phone number");
         const QRect hint = line(p, fontOf("DejaVu Sans", 11), QColor(95, 99, 104), 20, label.bottom() + 2, "mobile or desk");
         p.setRenderHint(QPainter::Antialiasing);
         p.setPen(QColor(120, 124, 128));
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(label.right() + 12.5, 8.5, 220, 34), 4, 4);
         return std::vector<QRect>{label, hint, line(p, font, QColor(32, 33, 36), label.right() + 24, 16, "(541) 555-0107")};
     }},
    {"a terminal's 9 pt rows 15 px apart, where a descender meets the row below", {900, 60},
     [](QPainter& p) {
         const QFont font = fontOf("DejaVu Sans Mono", 12);
         return std::vector<QRect>{
             line(p, font, Qt::black, 8, 10, "Dec 18 09:14:05 host sshd[3121]: Failed password for kim10@example.com"),
             line(p, font, Qt::black, 8, 25, "2026-12-08T09:14:07 WARN auth: login email=wei.zhang70@fabrikam.io ip=10.67.120.225")};
     }},
    {"a terminal's 9 pt rows, where one ascender of a glyph or two below meets an underscore", {1100, 60},
     [](QPainter& p) {
         const QFont font = fontOf("DejaVu Sans Mono", 12);
         return std::vector<QRect>{
             line(p, font, Qt::black, 8, 10,
                  "Dec  8 09:14:03 mx1 postfix/smtp[2211]: 4F1A2: to=<lee_kim42@mail.example.org>, relay=mx.example.org"),
             line(p, font, Qt::black, 8, 25,
                  "Dec  8 09:14:05 host sshd[3121]: Failed password for gus8@corp.example.net from 10.67.120.225")};
     }},
    {"an invoice's 11 px lines 12 px apart, a bracket over a capital at the start of a line", {420, 80},
     [](QPainter& p) {
         const QFont font = fontOf("DejaVu Sans", 11);
         std::vector<QRect> lines;
         for (const char* text : {"kai.novak@adatum.com", "(914) 555-3620", "Tax ID (SSN): 179-87-2997", "(310) 555-2191"})
             lines.push_back(line(p, font, QColor(33, 37, 41), 20, 10 + 12 * int(lines.size()), text));
         return lines;
     }},
    {"a terminal's short 9 pt rows 15 px apart, brackets and descenders a row above the row below", {300, 70},
     [](QPainter& p) {
         const QFont font = fontOf("DejaVu Sans Mono", 12);
         std::vector<QRect> lines;
         for (const char* text : {"app3 crm[4167]:", "gw sshd[965]: pq", "mx1 notify[5769]: gy"})
             lines.push_back(line(p, font, Qt::black, 8, 10 + 15 * int(lines.size()), text));
         return lines;
     }},
    {"large glyphs with two counters each, a quote and a comma", {1300, 340},
     [](QPainter& p) {
         return std::vector<QRect>{line(p, fontOf("DejaVu Sans", 260), QColor(20, 20, 20), 20, 10, "8'8, B8")};
     }},
    {"large digits with hyphens", {1300, 220},
     [](QPainter& p) {
         return std::vector<QRect>{line(p, fontOf("DejaVu Sans", 160), QColor(20, 20, 20), 20, 10, "555-123-4567")};
     }},
};

} // namespace

TEST(ScreenTextRegionsTest, EveryLineIsARegionOfItsOwn) {
    for (const Case& c : kCases) {
        QImage image = DetectionBench::blankImage(c.size.width(), c.size.height(), QColor(246, 246, 248));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const std::vector<QRect> lines = c.draw(painter);
        painter.end();
        const std::vector<ScreenTextRegions::Region> regions = ScreenTextRegions::find(bgrOf(image));
        for (const QRect& l : lines) {
            const cv::Point centre(l.center().x(), l.center().y());
            const auto region = std::find_if(regions.begin(), regions.end(),
                                             [&](const ScreenTextRegions::Region& r) { return r.area.contains(centre); });
            ASSERT_NE(region, regions.end()) << c.description << ": no region at the line at y " << l.y();
            // The line's glyphs all lie in the region, from its first word to its last, and it is no
            // taller than a line: it takes in no picture beside the line.
            EXPECT_LE(region->area.height, l.height() + 8) << c.description << ": the line at y " << l.y();
            EXPECT_NEAR(region->area.x, l.left(), l.height() / 2) << c.description << ": the line at y " << l.y();
            EXPECT_GE(region->area.x + region->area.width, l.right() - l.height()) << c.description << ": the line at y " << l.y();
            for (const QRect& other : lines) {
                if (other == l) continue;
                EXPECT_FALSE(region->area.contains(cv::Point(other.center().x(), other.center().y())))
                    << c.description << ": the lines at y " << l.y() << " and " << other.y() << " are one region";
            }
        }
    }
}

TEST(ScreenTextRegionsTest, ALineDrawnAgainIsARepeatOfTheFirstUnlessItDiffers) {
    QImage image = DetectionBench::blankImage(600, 240, QColor(255, 255, 255));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QFont font = fontOf("DejaVu Sans", 14);
    line(painter, font, Qt::black, 20, 20, "Ada Whitlock");
    line(painter, font, Qt::black, 320, 60, "Ada Whitlock");  // the same line elsewhere
    line(painter, font, Qt::black, 20, 100, "Ada Whitlack");  // one letter differs
    painter.fillRect(QRect(300, 136, 300, 30), QColor(232, 240, 255));
    line(painter, font, Qt::black, 320, 140, "Ada Whitlock"); // on another ground
    const QRect withBlank = line(painter, font, Qt::black, 20, 190, "Ada Whitlock"); // a blank inside it
    painter.end();
    const cv::Mat bgr = bgrOf(image);
    const int space = withBlank.x() + QFontMetrics(font).horizontalAdvance("Ada ");
    const std::vector<cv::Rect> blanks = {cv::Rect(space - 3, withBlank.y(), 2, withBlank.height())};
    const std::vector<ScreenTextRegions::Region> regions = ScreenTextRegions::find(bgr, blanks);
    const std::vector<int> repeatOf = ScreenTextRegions::repeats(bgr, regions, blanks);
    ASSERT_EQ(repeatOf.size(), regions.size());
    auto at = [&](int x, int y) {
        for (size_t i = 0; i < regions.size(); ++i)
            if (regions[i].area.contains(cv::Point(x, y))) return int(i);
        return -1;
    };
    const int first = at(40, 28), again = at(340, 68);
    ASSERT_GE(first, 0);
    ASSERT_GE(again, 0);
    EXPECT_EQ(repeatOf[size_t(first)], -1);
    EXPECT_EQ(repeatOf[size_t(again)], first);
    EXPECT_EQ(ScreenTextRegions::repeatOffset(bgr, regions[size_t(first)], regions[size_t(again)]), cv::Point(300, 40));
    for (const cv::Point p : {cv::Point(40, 108), cv::Point(340, 148), cv::Point(40, 198)}) {
        const int i = at(p.x, p.y);
        ASSERT_GE(i, 0) << p.y;
        EXPECT_EQ(repeatOf[size_t(i)], -1) << "the line at y " << p.y;
    }
}

namespace {

// A line to be prepared on its own, drawn among what surrounds it; returns the line's box.
struct PreparedCase {
    const char* description;
    std::function<QRect(QPainter&)> draw;
};

// How a line among three set close together is marked out.
enum class Style { Plain, UnderlinedLink, Highlighted };

// Three lines set close together, styled from the top down; returns the middle one's box.
QRect tightLines(QPainter& p, std::array<Style, 3> styles = {Style::Plain, Style::Plain, Style::Plain}) {
    const QFont font = fontOf("DejaVu Sans", 13);
    const QFontMetrics m(font);
    const int pitch = m.height() + 1;
    const QColor text(32, 33, 36), link(26, 115, 232);
    QRect middle;
    for (int i = 0; i < 3; ++i) {
        const int y = 20 + i * pitch;
        if (styles[size_t(i)] == Style::Highlighted) p.fillRect(QRect(16, y - 1, 560, pitch), QColor(232, 240, 254));
        const bool isLink = styles[size_t(i)] == Style::UnderlinedLink;
        const int x = 20 + line(p, font, text, 20, y, "see ").width();
        const QRect item = line(p, font, isLink ? link : text, x, y, i == 1 ? "123-45-6789" : "jane.doe@example.com");
        if (isLink) p.fillRect(QRect(x, y + m.ascent() + std::max(1, m.underlinePos()), item.width(), 1), link);
        const QRect rest = line(p, font, text, item.right() + 1, y, " if it helps, thanks; yep");
        if (i == 1) middle = QRect(20, y, rest.right() - 19, m.height());
    }
    return middle;
}

const PreparedCase kPreparedCases[] = {
    {"white text on a purple-to-blue gradient bubble",
     [](QPainter& p) {
         const QFont font = fontOf("DejaVu Sans", 14);
         const QFontMetrics m(font);
         const QRectF bubble(40, 23, m.horizontalAdvance("My SSN is 078-05-1120") + 28, m.height() + 10);
         QLinearGradient gradient(bubble.topLeft(), bubble.bottomRight());
         gradient.setColorAt(0, QColor(124, 77, 255));
         gradient.setColorAt(1, QColor(41, 121, 255));
         QPainterPath path;
         path.addRoundedRect(bubble, 18, 18);
         p.setRenderHint(QPainter::Antialiasing);
         p.fillPath(path, gradient);
         return line(p, font, Qt::white, 54, 28, "My SSN is 078-05-1120");
     }},
    {"a line between lines set close together", [](QPainter& p) { return tightLines(p); }},
    {"a line between an underlined link's line and a highlighted one",
     [](QPainter& p) { return tightLines(p, {Style::UnderlinedLink, Style::Plain, Style::Highlighted}); }},
    {"a highlighted line between lines set close together",
     [](QPainter& p) { return tightLines(p, {Style::Plain, Style::Highlighted, Style::UnderlinedLink}); }},
    {"a line with an underlined link between lines set close together",
     [](QPainter& p) { return tightLines(p, {Style::Highlighted, Style::UnderlinedLink, Style::Plain}); }},
};

} // namespace

// The prepared picture of a line holds its glyphs as dark ink and nothing else dark: not a bubble's
// gradient around them, not the descenders and ascenders of the lines set close above and below.
TEST(ScreenTextRegionsTest, APreparedLineHoldsOnlyItsOwnGlyphs) {
    for (const PreparedCase& c : kPreparedCases) {
        QImage image = DetectionBench::blankImage(640, 120, QColor(255, 255, 255));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QRect glyphs = c.draw(painter);
        painter.end();
        const cv::Mat bgr = bgrOf(image);
        const std::vector<ScreenTextRegions::Region> regions = ScreenTextRegions::find(bgr);
        const cv::Point centre(glyphs.center().x(), glyphs.center().y());
        const auto region = std::find_if(regions.begin(), regions.end(),
                                         [&](const ScreenTextRegions::Region& r) { return r.area.contains(centre); });
        ASSERT_NE(region, regions.end()) << c.description;
        for (const int beside : {-1, 1}) // where the lines above and below lie
            EXPECT_FALSE(region->area.contains(centre + cv::Point(0, beside * (glyphs.height() + 1))))
                << c.description << ": the region takes in another line";
        const ScreenTextRegions::Prepared prepared = ScreenTextRegions::prepare(bgr, *region);
        auto toPrepared = [&](double x, double y) {
            return cv::Point(int(std::lround((x - prepared.origin.x) * prepared.scale)) + prepared.margin,
                             int(std::lround((y - prepared.origin.y) * prepared.scale)) + prepared.margin);
        };
        const cv::Rect inside(toPrepared(glyphs.left() - 2, glyphs.top()), toPrepared(glyphs.right() + 3, glyphs.bottom() + 1));
        const cv::Mat dark = prepared.grey < 128;
        const cv::Rect within = inside & cv::Rect(0, 0, dark.cols, dark.rows);
        const int inkInside = cv::countNonZero(dark(within));
        const int inkOutside = cv::countNonZero(dark) - inkInside;
        EXPECT_GT(inkInside, 0.05 * within.area()) << c.description << ": the glyphs are not dark ink";
        EXPECT_LE(inkOutside, 0.005 * (dark.total() - size_t(within.area()))) << c.description << ": ink outside the glyphs";
    }
}

namespace {

// The lowest row of ink `text` has when drawn with its top at 0.
int inkBottom(const QFont& font, const QString& text) {
    QImage image = DetectionBench::blankImage(QFontMetrics(font).horizontalAdvance(text) + 4, QFontMetrics(font).height() + 4, Qt::white);
    QPainter painter(&image);
    line(painter, font, Qt::black, 2, 0, text);
    painter.end();
    for (int y = image.height() - 1; y >= 0; --y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 160) return y;
    return -1;
}

struct LowGlyphCase {
    const char* description;
    const char* family;
    int px;
    int pitch;
    const char* upper;
    const char* lower;
};

const LowGlyphCase kLowGlyphCases[] = {
    {"an underscore in a serif signature line", "DejaVu Serif", 11, 13, "yara_fontaine@mail.contoso.com", "VPN gateway 10.42.10.120"},
    {"an underscore in a sans line set tight", "DejaVu Sans", 12, 14, "matteo_solberg@billing.fabrikam.com", "243-555-0454"},
    {"descenders in a monospaced row", "DejaVu Sans Mono", 12, 15, "to=<lee_kim42@mail.example.org>, relay=mx", "Dec  8 09:14:05 host"},
};

} // namespace

// The rows just under a line's baseline are one colour along the line, as a rule is; they are the
// ground, not a rule, and the glyphs that hang below the baseline stay with their line.
TEST(ScreenTextRegionsTest, ALineKeepsTheGlyphsBelowItsBaseline) {
    for (const LowGlyphCase& c : kLowGlyphCases) {
        QImage image = DetectionBench::blankImage(520, 60, QColor(255, 255, 255));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const QFont font = fontOf(c.family, c.px);
        const QRect upper = line(painter, font, QColor(32, 33, 36), 10, 10, c.upper);
        line(painter, font, QColor(32, 33, 36), 10, 10 + c.pitch, c.lower);
        painter.end();
        const std::vector<ScreenTextRegions::Region> regions = ScreenTextRegions::find(bgrOf(image));
        const cv::Point centre(upper.center().x(), 10 + QFontMetrics(font).ascent() - QFontMetrics(font).xHeight() / 2);
        const auto region = std::find_if(regions.begin(), regions.end(),
                                         [&](const ScreenTextRegions::Region& r) { return r.area.contains(centre); });
        ASSERT_NE(region, regions.end()) << c.description;
        EXPECT_GE(region->area.y + region->area.height, 10 + inkBottom(font, c.upper)) << c.description;
        EXPECT_LT(region->area.y + region->area.height, 10 + c.pitch + QFontMetrics(font).ascent()) << c.description << ": the line below is in";
    }
}
