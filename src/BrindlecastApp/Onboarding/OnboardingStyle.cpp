#include "BrindlecastApp/Onboarding/OnboardingStyle.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "Support/Fonts.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <cmath>

namespace BrindlecastApp::OnboardingStyle {

QFont font(double points, QFont::Weight weight) {
    QFont f = Support::Fonts::interfaceFont(weight);
    // A design point is a pixel at scale 1. Pixel sizes are whole, so a half point is set as the
    // point size that comes to it on this screen.
    if (points == std::round(points)) {
        f.setPixelSize(std::max(1, static_cast<int>(points)));
    } else {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
        f.setPointSizeF(points * 72.0 / dpi);
    }
    return f;
}

QColor cardFill(const Tokens& t) {
    return t.isDark() ? Design::withOpacity(QColor(14, 14, 18), 0.985) : Design::withOpacity(QColor(248, 248, 250), 0.98);
}

QColor cardBorder(const Tokens& t) { return t.isDark() ? Design::white(0.10) : Design::black(0.08); }

QColor quietFill(const Tokens& t) { return t.isDark() ? Design::white(0.16) : Design::black(0.10); }

QColor stepCardFill(const Tokens& t) { return t.isDark() ? Design::white(0.09) : Design::black(0.05); }

QColor systemIndigo(const Tokens& t) { return t.isDark() ? QColor(94, 92, 230) : QColor(88, 86, 214); }

QColor systemBlue(const Tokens& t) { return t.isDark() ? QColor(10, 132, 255) : QColor(0, 122, 255); }

QColor systemGreen(const Tokens& t) { return t.isDark() ? QColor(48, 209, 88) : QColor(52, 199, 89); }

void paintCard(QPainter& painter, const QRectF& rect, double radius, const Tokens& t) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(cardFill(t));
    painter.drawPath(continuousRoundedRect(rect, radius));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(cardBorder(t), 1));
    painter.drawPath(continuousRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), std::max(0.0, radius - 0.5)));
    painter.restore();
}

} // namespace BrindlecastApp::OnboardingStyle
