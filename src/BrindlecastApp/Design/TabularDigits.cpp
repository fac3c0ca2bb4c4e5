#include "BrindlecastApp/Design/TabularDigits.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

namespace BrindlecastApp::TabularDigits {

namespace {

// Big-endian reads from an OpenType table; a read past its end marks the table unusable.
struct TableReader {
    const QByteArray& table;
    bool ok = true;

    quint16 u16(qsizetype at) {
        if (at < 0 || at + 2 > table.size()) {
            ok = false;
            return 0;
        }
        return quint16((quint8(table[at]) << 8) | quint8(table[at + 1]));
    }
    quint32 u32(qsizetype at) { return (quint32(u16(at)) << 16) | u16(at + 2); }
};

// Where `glyph` stands in a coverage table, or -1.
int coverageIndex(TableReader& gsub, qsizetype coverage, quint16 glyph) {
    const quint16 format = gsub.u16(coverage);
    const quint16 count = gsub.u16(coverage + 2);
    for (quint16 i = 0; i < count && gsub.ok; ++i) {
        if (format == 1 && gsub.u16(coverage + 4 + 2 * i) == glyph) return i;
        if (format == 2) {
            const qsizetype range = coverage + 4 + 6 * i;
            const quint16 start = gsub.u16(range), end = gsub.u16(range + 2);
            if (glyph >= start && glyph <= end) return gsub.u16(range + 4) + glyph - start;
        }
    }
    return -1;
}

using Forms = std::map<quint32, quint32>;

// The figures' tabular forms, read from the single substitutions of the font's "tnum" feature:
// default glyph to tabular glyph. Empty when the font has none.
Forms readTabularForms(const QRawFont& font) {
    const QByteArray table = font.fontTable("GSUB");
    TableReader gsub{table};
    const qsizetype featureList = gsub.u16(6);
    const qsizetype lookupList = gsub.u16(8);
    std::set<quint16> lookups;
    const quint16 features = gsub.u16(featureList);
    for (quint16 i = 0; i < features && gsub.ok; ++i) {
        const qsizetype record = featureList + 2 + 6 * i;
        if (table.mid(record, 4) != "tnum") continue;
        const qsizetype feature = featureList + gsub.u16(record + 4);
        const quint16 count = gsub.u16(feature + 2);
        for (quint16 j = 0; j < count && gsub.ok; ++j) lookups.insert(gsub.u16(feature + 4 + 2 * j));
    }
    Forms forms;
    const QList<quint32> figures = font.glyphIndexesForString(QStringLiteral("0123456789"));
    for (const quint16 index : lookups) {
        const qsizetype lookup = lookupList + gsub.u16(lookupList + 2 + 2 * index);
        const quint16 type = gsub.u16(lookup);
        const quint16 subtables = gsub.u16(lookup + 4);
        for (quint16 k = 0; k < subtables && gsub.ok; ++k) {
            qsizetype subtable = lookup + gsub.u16(lookup + 6 + 2 * k);
            quint16 subtableType = type;
            if (type == 7) { // an extension: the real subtable lies further on
                subtableType = gsub.u16(subtable + 2);
                subtable += gsub.u32(subtable + 4);
            }
            if (subtableType != 1) continue; // only single substitutions give figures their forms
            const quint16 format = gsub.u16(subtable);
            const qsizetype coverage = subtable + gsub.u16(subtable + 2);
            for (const quint32 figure : figures) {
                if (figure == 0 || forms.count(figure)) continue;
                const int at = coverageIndex(gsub, coverage, quint16(figure));
                if (at < 0) continue;
                if (format == 1) {
                    forms[figure] = quint16(figure + qint16(gsub.u16(subtable + 4)));
                } else if (format == 2 && at < gsub.u16(subtable + 4)) {
                    forms[figure] = gsub.u16(subtable + 6 + 2 * at);
                }
            }
        }
    }
    if (!gsub.ok || forms.size() != 10) return {};
    return forms;
}

const Forms& tabularForms(const QRawFont& font) {
    // Glyph numbers belong to a face, not to a size. Drawing happens on the GUI thread only.
    static QHash<QString, Forms> known;
    const QString face = font.familyName() + QLatin1Char('\n') + font.styleName();
    auto it = known.find(face);
    if (it == known.end()) it = known.insert(face, readTabularForms(font));
    return *it;
}

// The text set in the font's own tabular figures: glyphs and their pen positions from 0 along
// the baseline. Nothing when the font has no tabular figures or lacks a character of the text.
struct Shaped {
    QRawFont font;
    QList<quint32> glyphs;
    QList<QPointF> positions;
    double advance = 0;
};

std::optional<Shaped> shapeWithFontFigures(const QFont& font, const QString& text) {
    Shaped shaped;
    shaped.font = QRawFont::fromFont(font);
    if (!shaped.font.isValid()) return std::nullopt;
    const Forms& forms = tabularForms(shaped.font);
    if (forms.empty()) return std::nullopt;
    shaped.glyphs = shaped.font.glyphIndexesForString(text);
    if (shaped.glyphs.size() != text.size() || shaped.glyphs.contains(0)) return std::nullopt;
    for (quint32& glyph : shaped.glyphs)
        if (const auto form = forms.find(glyph); form != forms.end()) glyph = form->second;
    const QList<QPointF> advances = shaped.font.advancesForGlyphIndexes(shaped.glyphs);
    for (const QPointF& advance : advances) {
        shaped.positions << QPointF(shaped.advance, 0);
        shaped.advance += advance.x();
    }
    return shaped;
}

// Without the font's own: every figure in a cell as wide as the widest, centred in it.
double figureCell(const QFontMetricsF& metrics) {
    double widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
    return widest;
}

bool isFigure(QChar c) { return c >= u'0' && c <= u'9'; }

// Calls `run(piece, x, cell)` for each figure (with its cell's width) and each stretch of other
// characters (cell 0), in order. Returns the whole advance.
template <typename Run>
double layOutInCells(const QFontMetricsF& metrics, const QString& text, Run&& run) {
    const double cell = figureCell(metrics);
    double x = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        if (isFigure(text[start])) {
            run(text.mid(start, 1), x, cell);
            x += cell;
            ++start;
            continue;
        }
        qsizetype end = start;
        while (end < text.size() && !isFigure(text[end])) ++end;
        const QString stretch = text.mid(start, end - start);
        run(stretch, x, 0.0);
        x += metrics.horizontalAdvance(stretch);
        start = end;
    }
    return x;
}

} // namespace

bool hasFontFigures(const QFont& font) { return shapeWithFontFigures(font, QStringLiteral("0")).has_value(); }

double horizontalAdvance(const QFont& font, const QString& text) {
    if (const auto shaped = shapeWithFontFigures(font, text)) return shaped->advance;
    return layOutInCells(QFontMetricsF(font), text, [](const QString&, double, double) {});
}

void draw(QPainter& painter, const QRectF& rect, const QString& text, Qt::Alignment alignment) {
    const QFontMetricsF metrics(painter.font());
    const double baseline = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
    const double left = alignment.testFlag(Qt::AlignHCenter)
                            ? rect.left() + (rect.width() - horizontalAdvance(painter.font(), text)) / 2
                            : rect.left();
    if (const auto shaped = shapeWithFontFigures(painter.font(), text)) {
        QGlyphRun run;
        run.setRawFont(shaped->font);
        run.setGlyphIndexes(shaped->glyphs);
        run.setPositions(shaped->positions);
        painter.drawGlyphRun(QPointF(left, baseline), run);
        return;
    }
    layOutInCells(metrics, text, [&](const QString& piece, double x, double cell) {
        const double inset = cell > 0 ? (cell - metrics.horizontalAdvance(piece)) / 2 : 0;
        painter.drawText(QPointF(left + x + inset, baseline), piece);
    });
}

} // namespace BrindlecastApp::TabularDigits
