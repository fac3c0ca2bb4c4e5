#include "BrindlecastApp/Onboarding/OnboardingFooter.h"

#include "BrindlecastApp/Design/Fade.h"
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Onboarding/OnboardingStyle.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QStackedLayout>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

// A small round swatch drawn by a callback (the waiting dot, the green check).
class Glyph : public QWidget {
public:
    Glyph(QSize size, std::function<void(QPainter&, const QRectF&, const Tokens&)> paint, QWidget* parent)
        : QWidget(parent), paint_(std::move(paint)) {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(size);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        paint_(painter, QRectF(rect()), tokensFor(this));
    }

private:
    std::function<void(QPainter&, const QRectF&, const Tokens&)> paint_;
};

} // namespace

const QString& OnboardingFooter::buttonTitle() {
    static const QString text = QStringLiteral("Open System Settings");
    return text;
}

const QString& OnboardingFooter::waitingText() {
    static const QString text = QStringLiteral("Waiting for permission \u2014 this window closes by itself.");
    return text;
}

const QString& OnboardingFooter::grantedText() {
    static const QString text = QStringLiteral("Screen Recording enabled \u2014 you're all set.");
    return text;
}

double OnboardingFooter::breathAt(double seconds) {
    static const QEasingCurve curve = Motion::easingCurve(Animation::easeInOut(breathSeconds));
    const double phase = std::fmod(std::max(0.0, seconds), 2 * breathSeconds) / breathSeconds; // 0..2
    const double out = curve.valueForProgress(phase <= 1 ? phase : 2 - phase);
    return 1 + (faintOpacity - 1) * out;
}

OnboardingFooter::OnboardingFooter(bool granted, std::function<void()> openSettings,
                                   std::shared_ptr<WalkthroughClock> clock, QWidget* parent)
    : QWidget(parent), granted_(granted),
      button_(new GlassButton(buttonTitle(), QStringLiteral("gearshape"), GlassButton::Role::prominent,
                              std::move(openSettings))),
      waiting_(new QWidget), grantedRow_(new QWidget), clock_(std::move(clock)), breathing_(new QTimer(this)) {
    setAttribute(Qt::WA_TranslucentBackground);

    auto* waitingColumn = new QVBoxLayout(waiting_);
    waitingColumn->setContentsMargins(0, 0, 0, 0);
    waitingColumn->setSpacing(10);
    waitingColumn->addWidget(button_, 0, Qt::AlignHCenter);
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    line->addStretch();
    dot_ = new Glyph(QSize(6, 6),
                     [this](QPainter& painter, const QRectF& box, const Tokens& t) {
                         painter.setPen(Qt::NoPen);
                         painter.setBrush(Design::withOpacity(t.accent, dotOpacity_));
                         painter.drawEllipse(box);
                     },
                     waiting_);
    line->addWidget(dot_, 0, Qt::AlignVCenter);
    line->addWidget(new TextLabel(waitingText(), OnboardingStyle::font(11), TextLabel::Tone::secondary), 0, Qt::AlignVCenter);
    line->addStretch();
    waitingColumn->addLayout(line);

    auto* grantedLine = new QHBoxLayout(grantedRow_);
    grantedLine->setContentsMargins(0, 0, 0, 0);
    grantedLine->setSpacing(8);
    grantedLine->addStretch();
    const int checkSide = static_cast<int>(Symbols::sideForPointSize(16));
    grantedLine->addWidget(new Glyph(QSize(checkSide, checkSide),
                                     [](QPainter& painter, const QRectF& box, const Tokens& t) {
                                         Symbols::paint(painter, "checkmark.circle.fill", box, OnboardingStyle::systemGreen(t));
                                     },
                                     grantedRow_),
                           0, Qt::AlignVCenter);
    grantedLine->addWidget(new TextLabel(grantedText(), OnboardingStyle::font(12, QFont::DemiBold), TextLabel::Tone::primary),
                           0, Qt::AlignVCenter);
    grantedLine->addStretch();
    grantedRow_->setFixedHeight(34);

    // Both rows share the place; only the one shown is there, both only while one fades into the
    // other. A row at rest draws straight to the window: an opacity effect on it would draw the
    // whole row again for every frame of the dot.
    auto* stack = new QStackedLayout(this);
    stack->setStackingMode(QStackedLayout::StackAll);
    stack->addWidget(waiting_);
    stack->addWidget(grantedRow_);

    connect(&transition_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { setProgress(v.toDouble()); });
    connect(&transition_, &QVariantAnimation::finished, this, [this] { waiting_->hide(); });
    setProgress(granted_ ? 1 : 0);
    waiting_->setVisible(!granted_);
    grantedRow_->setVisible(granted_);
    (granted_ ? grantedRow_ : waiting_)->raise();

    breathing_->setObjectName(QStringLiteral("dotBreath"));
    breathing_->setInterval(dotFrameMs);
    connect(breathing_, &QTimer::timeout, this, [this] { setDotOpacity(breathAt(clock_->now() - breathStart_)); });
}

void OnboardingFooter::setProgress(double progress) {
    Fade::setOpacity(*waiting_, 1 - progress);
    Fade::setOpacity(*grantedRow_, progress);
}

void OnboardingFooter::setDotOpacity(double opacity) {
    // The slow ends of a breath leave the dot as it was for a frame or two: only a step that
    // changes its colour's 8-bit alpha repaints, and only the dot.
    const auto level = [](double o) { return std::lround(o * 255); };
    const bool changes = level(opacity) != level(dotOpacity_);
    dotOpacity_ = opacity;
    if (changes) dot_->update();
}

void OnboardingFooter::showGranted() {
    if (granted_) return;
    granted_ = true;
    grantedRow_->show();
    grantedRow_->raise();
    breathing_->stop();
    transition_.setStartValue(0.0);
    transition_.setEndValue(1.0);
    Motion::configure(transition_, tokensFor(this).motion.quick, reduceMotionFor(this));
    transition_.start();
}

void OnboardingFooter::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (granted_ || breathing_->isActive()) return;
    if (reduceMotionFor(this)) {
        // Reduced motion: the dot settles at its faint end at once instead of breathing.
        setDotOpacity(faintOpacity);
        return;
    }
    // Each showing breathes from the dot's full opacity.
    setDotOpacity(1);
    breathStart_ = clock_->now();
    breathing_->start();
}

void OnboardingFooter::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    breathing_->stop();
}

} // namespace BrindlecastApp
