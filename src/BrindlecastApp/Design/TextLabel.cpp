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

void TextLabel::setElided() {
    elided_ = true;
    text_.replace('\n', ' ').replace('\r', ' ');
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    updateGeometry();
    update();
}

QString TextLabel::shownText() const {
    return elided_ ? QFontMetricsF(font_).elidedText(text_, Qt::ElideRight, width()) : text_;
}

QSize TextLabel::sizeHint() const {
    const QFontMetricsF metrics(font_);
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text_))), static_cast<int>(std::ceil(metrics.height()))};
}

QSize TextLabel::minimumSizeHint() const { return elided_ ? QSize(0, sizeHint().height()) : sizeHint(); }

void TextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font_);
    painter.setPen(color());
    painter.drawText(rect(), elided_ ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter, shownText());
}

} // namespace BrindlecastApp
