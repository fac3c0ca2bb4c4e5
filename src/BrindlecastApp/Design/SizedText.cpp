#include "BrindlecastApp/Design/SizedText.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

// Quarter pixels are set exactly: four times the size is whole.
constexpr double kSteps = 4;

} // namespace

SizedText::SizedText(QFont font, double pixels) : font_(std::move(font)), scale_(1) {
    const double size = std::isfinite(pixels) && pixels > 0 ? pixels : 1;
    if (size == std::round(size)) {
        font_.setPixelSize(int(size));
        return;
    }
    const int whole = std::max(1, int(std::lround(size * kSteps)));
    font_.setPixelSize(whole);
    scale_ = size / whole;
}

double SizedText::horizontalAdvance(const QString& text) const { return QFontMetricsF(font_).horizontalAdvance(text) * scale_; }

double SizedText::ascent() const { return QFontMetricsF(font_).ascent() * scale_; }

double SizedText::height() const { return QFontMetricsF(font_).height() * scale_; }

QString SizedText::elided(const QString& text, Qt::TextElideMode mode, double width) const {
    return QFontMetricsF(font_).elidedText(text, mode, width / scale_);
}

void SizedText::draw(QPainter& painter, const QRectF& rect, int flags, const QString& text) const {
    painter.save();
    painter.setFont(font_);
    painter.scale(scale_, scale_);
    painter.drawText(QRectF(rect.topLeft() / scale_, rect.size() / scale_), flags, text);
    painter.restore();
}

void SizedText::draw(QPainter& painter, const QPointF& baseline, const QString& text) const {
    painter.save();
    painter.setFont(font_);
    painter.scale(scale_, scale_);
    painter.drawText(baseline / scale_, text);
    painter.restore();
}

} // namespace BrindlecastApp
