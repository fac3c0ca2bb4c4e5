#include "BrindlecastApp/Onboarding/WrappedText.h"

#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace BrindlecastApp {

WrappedText::WrappedText(QString text, QFont font, Tone tone, Qt::Alignment alignment, int maximumLines, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), tone_(tone), alignment_(alignment),
      maximumLines_(maximumLines) {
    setAttribute(Qt::WA_TranslucentBackground);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QColor WrappedText::color() const {
    const Tokens t = tokensFor(this);
    return tone_ == Tone::primary ? t.primaryText() : t.secondaryText();
}

QStringList WrappedText::linesAt(int width) const {
    QStringList lines;
    const QFontMetricsF metrics(font_);
    for (const QString& paragraph : text_.split('\n')) {
        QTextLayout layout(paragraph, font_);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1, width));
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    if (maximumLines_ > 0 && lines.size() > maximumLines_) {
        // The last line shown takes the rest of the text and is cut at its end.
        QString rest = lines.mid(maximumLines_ - 1).join(' ');
        lines = lines.mid(0, maximumLines_ - 1);
        lines << metrics.elidedText(rest, Qt::ElideRight, std::max(1, width));
    }
    return lines;
}

int WrappedText::heightForWidth(int width) const {
    const QFontMetricsF metrics(font_);
    return static_cast<int>(std::ceil(linesAt(width).size() * metrics.lineSpacing()));
}

QSize WrappedText::sizeHint() const {
    const QFontMetricsF metrics(font_);
    double widest = 0;
    for (const QString& paragraph : text_.split('\n')) widest = std::max(widest, metrics.horizontalAdvance(paragraph));
    const int width = static_cast<int>(std::ceil(widest)) + 1;
    return {width, heightForWidth(width)};
}

QSize WrappedText::minimumSizeHint() const {
    const QFontMetricsF metrics(font_);
    return {static_cast<int>(std::ceil(metrics.averageCharWidth() * 8)), static_cast<int>(std::ceil(metrics.lineSpacing()))};
}

void WrappedText::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font_);
    painter.setPen(color());
    const QFontMetricsF metrics(font_);
    double y = 0;
    for (const QString& line : linesAt(width())) {
        painter.drawText(QRectF(0, y, width(), metrics.lineSpacing()), int(alignment_ | Qt::AlignVCenter), line);
        y += metrics.lineSpacing();
    }
}

} // namespace BrindlecastApp
