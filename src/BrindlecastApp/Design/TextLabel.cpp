#include "BrindlecastApp/Design/TextLabel.h"

#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

TextLabel::TextLabel(QString text, QFont font, Tone tone, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), tone_(tone) {
    setAttribute(Qt::WA_TranslucentBackground);
}

QColor TextLabel::color() const {
    const Tokens t = tokensFor(this);
    return tone_ == Tone::primary ? t.primaryText() : t.secondaryText();
}

QSize TextLabel::sizeHint() const {
    const QFontMetricsF metrics(font_);
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text_))), static_cast<int>(std::ceil(metrics.height()))};
}

void TextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font_);
    painter.setPen(color());
    painter.drawText(rect(), Qt::AlignCenter, text_);
}

} // namespace BrindlecastApp
