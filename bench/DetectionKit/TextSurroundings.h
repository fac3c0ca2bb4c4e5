#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <vector>

namespace DetectionBench {

// One piece of personal data drawn into an interface, with every pixel its glyphs touch.
struct InkedItem {
    QString detector; // the built-in detector that must find it
    QString text;
    QString surroundings; // e.g. "highlight DejaVu Sans 14px"
    std::vector<QPoint> ink;
    // The ink of the whole run of characters without spaces that holds the item (a "ssn=" or ";"
    // glued to it), with a link's underline where the sheet records it: a finding's box covers that run.
    QRect runBounds;
    QRect inkBounds() const;
};

struct SurroundingsSheet {
    QString name;
    QImage image;
    std::vector<InkedItem> items;
    std::vector<InkedItem> decoys; // text beside the items that no detector may hide (a date); no detector
};

// Personal data in the surroundings where screen text is hard to read: a find-in-page highlight
// with 1 px padding, tags with white text on a coloured fill, recipient chips, round avatars and
// icons just left of the text, terminals in three monospaced families, terminal logs at 9 to 11 pt
// and 26 px with the items glued to their keys, text from 10 to 200 px, faint grey secondary text
// and text inside tall input fields, code-review threads (light and dark, at 1x and 1.25x) with a
// name and a date over each comment. `variant` picks other sizes, fonts
// and items for the same kinds, so tests and the benchmark need not share renderings.
std::vector<SurroundingsSheet> surroundingsSheets(int variant);

// Whether a finding's box is wider than the glyphs it is for (`glyphs`, their ink's bounds) by
// more than a glued character either side and the growth allow: the box of the whole token or
// line around the item.
bool widerThanItsItem(const QRectF& box, const QRect& glyphs);

// The share of the item's ink inside the union of `boxes`.
double inkCoverage(const InkedItem& item, const std::vector<QRectF>& boxes);

} // namespace DetectionBench
