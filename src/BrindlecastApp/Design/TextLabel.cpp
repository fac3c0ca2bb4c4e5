#include "BrindlecastApp/Design/TextLabel.h"

#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

TextLabel::TextLabel(QString text, QFont font, Tone tone, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), tone_(tone) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void TextLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    if (elided_) text_.replace('\n', ' ').replace('\r', ' ');
    updateGeometry();
    update();
}

void TextLabel::setTabularDigits() {
    tabular_ = true;
    updateGeometry();
    update();
}

void TextLabel::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment & Qt::AlignHorizontal_Mask;
    update();
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
    const double advance = tabular_ ? TabularDigits::horizontalAdvance(font_, text_) : metrics.horizontalAdvance(text_);
    return {static_cast<int>(std::ceil(advance)), static_cast<int>(std::ceil(metrics.height()))};
}

QSize TextLabel::minimumSizeHint() const { return elided_ ? QSize(0, sizeHint().height()) : sizeHint(); }

void TextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font_);
    painter.setPen(color());
    if (tabular_ && !elided_) {
        const double advance = TabularDigits::horizontalAdvance(font_, text_);
        double x = (width() - advance) / 2;
        if (alignment_ & Qt::AlignLeft) x = 0;
        if (alignment_ & Qt::AlignRight) x = width() - advance;
        TabularDigits::draw(painter, QRectF(x, 0, advance + 1, height()), text_);
        return;
    }
    painter.drawText(rect(), (elided_ ? Qt::AlignLeft : alignment_ & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter, shownText());
}

} // namespace BrindlecastApp
