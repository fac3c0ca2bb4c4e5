#include "BrindlecastApp/Design/TabularDigits.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace BrindlecastApp::TabularDigits {

namespace {

double figureWidth(const QFontMetricsF& metrics) {
    double widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
    return widest;
}

bool isFigure(QChar c) { return c >= u'0' && c <= u'9'; }

// Calls `run(text, x, cell)` for each piece in order: a single figure with its cell's width, or a
// stretch of other characters with no cell (0). Returns the whole advance.
template <typename Run>
double layOut(const QFontMetricsF& metrics, const QString& text, Run&& run) {
    const double cell = figureWidth(metrics);
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

double horizontalAdvance(const QFont& font, const QString& text) {
    return layOut(QFontMetricsF(font), text, [](const QString&, double, double) {});
}

void draw(QPainter& painter, const QRectF& rect, const QString& text) {
    const QFontMetricsF metrics(painter.font());
    const double baseline = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
    layOut(metrics, text, [&](const QString& piece, double x, double cell) {
        const double inset = cell > 0 ? (cell - metrics.horizontalAdvance(piece)) / 2 : 0;
        painter.drawText(QPointF(rect.left() + x + inset, baseline), piece);
    });
}

} // namespace BrindlecastApp::TabularDigits
