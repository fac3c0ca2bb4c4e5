#include "BrindlecastApp/Onboarding/BreadcrumbIllustration.h"

#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Onboarding/OnboardingStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kSpacing = 5;       // between chips and chevrons
constexpr double kChipGap = 4;       // between a chip's symbol and its title
constexpr double kChipPadX = 7, kChipPadY = 4;
constexpr double kSymbolPoints = 9, kTitlePoints = 9.5, kChevronPoints = 8;

QFont titleFont() { return OnboardingStyle::font(kTitlePoints, QFont::Medium); }
double symbolSide() { return Symbols::sideForPointSize(kSymbolPoints); }
double chevronSide() { return Symbols::sideForPointSize(kChevronPoints); }

QSizeF chipSize(const BreadcrumbIllustration::Chip& chip) {
    const QFontMetricsF metrics(titleFont());
    const double content = std::max(symbolSide(), metrics.height());
    return {kChipPadX + symbolSide() + kChipGap + std::ceil(metrics.horizontalAdvance(chip.title)) + kChipPadX,
            kChipPadY + content + kChipPadY};
}

} // namespace

BreadcrumbIllustration::BreadcrumbIllustration(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
}

const QList<BreadcrumbIllustration::Chip>& BreadcrumbIllustration::chips() {
    static const QList<Chip> list{{"gearshape.fill", "System Settings"},
                                  {"hand.raised.fill", "Privacy & Security"},
                                  {"rectangle.inset.filled.badge.record", "Screen Recording"}};
    return list;
}

QList<QRectF> BreadcrumbIllustration::chipFrames() const {
    QList<QRectF> frames;
    double x = 0;
    const double height = sizeHint().height();
    const double scale = drawingScale();
    for (const Chip& chip : chips()) {
        const QSizeF size = chipSize(chip);
        const QRectF natural(QPointF(x, (height - size.height()) / 2), size);
        frames << QRectF(natural.topLeft() * scale, natural.size() * scale);
        x += size.width() + kSpacing + chevronSide() + kSpacing;
    }
    return frames;
}

double BreadcrumbIllustration::drawingScale() const {
    const int natural = sizeHint().width();
    return width() >= natural || width() <= 0 ? 1.0 : double(width()) / natural;
}

QSize BreadcrumbIllustration::minimumSizeHint() const {
    const QSize natural = sizeHint();
    return {natural.width() * 3 / 4, natural.height()};
}

QSize BreadcrumbIllustration::sizeHint() const {
    double width = 0, height = 0;
    for (const Chip& chip : chips()) {
        const QSizeF size = chipSize(chip);
        width += size.width();
        height = std::max(height, size.height());
    }
    width += (chips().size() - 1) * (2 * kSpacing + chevronSide());
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

void BreadcrumbIllustration::paintEvent(QPaintEvent*) {
    const Tokens t = tokensFor(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(titleFont());
    const double scale = drawingScale();
    painter.translate(0, height() / 2.0 * (1 - scale));
    painter.scale(scale, scale);
    QList<QRectF> frames = chipFrames();
    for (QRectF& frame : frames) frame = QRectF(frame.topLeft() / scale, frame.size() / scale);
    for (qsizetype i = 0; i < frames.size(); ++i) {
        const QRectF frame = frames[i];
        OnboardingStyle::paintCard(painter, frame, frame.height() / 2, t);
        const QRectF symbol(frame.left() + kChipPadX, frame.center().y() - symbolSide() / 2, symbolSide(), symbolSide());
        Symbols::paint(painter, chips()[i].symbol, symbol, t.primaryText());
        painter.setPen(t.primaryText());
        painter.drawText(QRectF(symbol.right() + kChipGap, frame.top(), frame.right() - kChipPadX - symbol.right() - kChipGap,
                                frame.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, chips()[i].title);
        if (i + 1 < frames.size()) {
            const QRectF chevron(frame.right() + kSpacing, frame.center().y() - chevronSide() / 2, chevronSide(), chevronSide());
            Symbols::paint(painter, "chevron.right", chevron, t.secondaryText(), SymbolWeight::bold);
        }
    }
}

} // namespace BrindlecastApp
