#include "BrindlecastApp/Onboarding/RelaunchIllustration.h"

#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Onboarding/OnboardingStyle.h"
#include "BrindlecastApp/Onboarding/WrappedText.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

namespace {

// A capsule with a word on it, standing for one of the prompt's buttons.
class PictureButton : public QWidget {
public:
    PictureButton(QString title, bool prominent, QWidget* parent)
        : QWidget(parent), title_(std::move(title)), prominent_(prominent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        return {static_cast<int>(std::ceil(8 + metrics.horizontalAdvance(title_) + 8)),
                static_cast<int>(std::ceil(4 + metrics.height() + 4))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const Tokens t = tokensFor(this);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(prominent_ ? t.accent : OnboardingStyle::quietFill(t)); // the theme's accent
        painter.drawRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
        painter.setFont(font());
        painter.setPen(prominent_ ? QColor(Qt::white) : t.secondaryText());
        painter.drawText(rect(), Qt::AlignCenter, title_);
    }

private:
    QFont font() const { return OnboardingStyle::font(10, prominent_ ? QFont::DemiBold : QFont::Medium); }

    QString title_;
    bool prominent_;
};

} // namespace

const QString& RelaunchIllustration::message() {
    static const QString text = QStringLiteral("\u201CBrindlecast\u201D may not capture until it is reopened");
    return text;
}

RelaunchIllustration::RelaunchIllustration(QWidget* parent)
    : QWidget(parent),
      message_(new WrappedText(message(), OnboardingStyle::font(10), WrappedText::Tone::secondary, Qt::AlignLeft, 2)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 8, 10, 8);
    row->setSpacing(8);
    message_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    row->addWidget(message_, 1, Qt::AlignVCenter);
    // The flexible gap never shrinks below 8, besides the row's spacing on either side of it: the
    // layout adds one spacing next to a fixed spacer, so 16 here makes the 24 in all.
    row->addSpacing(16);
    row->addWidget(new PictureButton(QStringLiteral("Later"), false, this), 0, Qt::AlignVCenter);
    row->addWidget(new PictureButton(QStringLiteral("Quit & Reopen"), true, this), 0, Qt::AlignVCenter);
}

void RelaunchIllustration::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    OnboardingStyle::paintCard(painter, QRectF(rect()), 9, tokensFor(this));
}

} // namespace BrindlecastApp
