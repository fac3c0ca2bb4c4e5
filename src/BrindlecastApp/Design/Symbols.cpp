#include "BrindlecastApp/Design/Symbols.h"

#include "BrindlecastApp/Design/SymbolShapes.h"

#include "Support/Log.h"

#include <QHash>
#include <QPainter>
#include <QPen>
#include <QSet>

#include <algorithm>

namespace BrindlecastApp::Symbols {

namespace {

double strokeWidth(SymbolWeight weight) {
    switch (weight) {
    case SymbolWeight::regular: return 1.7;
    case SymbolWeight::medium: return 1.9;
    case SymbolWeight::semibold: return 2.15;
    case SymbolWeight::bold: return 2.4;
    }
    return 1.7;
}

// Regions in grid units, made once per name and weight (the boolean operations are not cheap).
// GUI thread only, like all painting.
const QPainterPath* gridRegion(const QString& name, SymbolWeight weight) {
    static QHash<QString, QPainterPath> cache;
    const auto recipe = symbolRecipes().constFind(name);
    if (recipe == symbolRecipes().constEnd()) return nullptr;
    const QString key = name + QLatin1Char('@') + QString::number(static_cast<int>(weight));
    auto found = cache.find(key);
    if (found == cache.end()) {
        SymbolShape shape(strokeWidth(weight));
        (*recipe)(shape);
        // Boolean operations leave holes as reversed or nested subpaths: keep their odd-even rule.
        found = cache.insert(key, shape.region());
    }
    return &found.value();
}

void reportUnknown(const QString& name) {
    static QSet<QString> reported;
    if (reported.contains(name)) return;
    reported.insert(name);
    Support::Log::write("app.brindlecast", "design", Support::LogLevel::error,
                        QStringLiteral("no drawing for the symbol \"%1\"; showing a placeholder").arg(name));
}

} // namespace

bool isKnown(const QString& name) { return symbolRecipes().contains(name); }

std::optional<QPainterPath> path(const QString& name, const QRectF& box, SymbolWeight weight) {
    const QPainterPath* region = gridRegion(name, weight);
    if (!region) return std::nullopt;
    const double s = std::min(box.width(), box.height()) / 24.0;
    QTransform transform;
    transform.translate(box.center().x() - 12 * s, box.center().y() - 12 * s);
    transform.scale(s, s);
    return transform.map(*region);
}

void paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& color, SymbolWeight weight) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (const std::optional<QPainterPath> shape = path(name, box, weight)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(*shape);
    } else {
        reportUnknown(name);
        const double side = std::min(box.width(), box.height());
        const QRectF square(box.center().x() - side * 0.4, box.center().y() - side * 0.4, side * 0.8, side * 0.8);
        QPen pen(color, std::max(1.0, side / 14), Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(square);
        painter.drawLine(square.topLeft(), square.bottomRight());
    }
    painter.restore();
}

double sideForPointSize(double pointSize) { return std::round(pointSize * 1.25); }

QImage image(const QString& name, int side, const QColor& color, SymbolWeight weight) {
    QImage result(std::max(side, 1), std::max(side, 1), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    paint(painter, name, QRectF(0, 0, result.width(), result.height()), color, weight);
    painter.end();
    return result;
}

} // namespace BrindlecastApp::Symbols
