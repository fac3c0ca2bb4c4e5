#include "BrindlecastApp/Onboarding/OnboardingFooter.h"

#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Onboarding/OnboardingStyle.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QSequentialAnimationGroup>
#include <QStackedLayout>
#include <QVBoxLayout>

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

QVariantAnimation* fade(double from, double to, QObject* parent) {
    auto* animation = new QVariantAnimation(parent);
    animation->setStartValue(from);
    animation->setEndValue(to);
    animation->setDuration(900);
    animation->setEasingCurve(Motion::easingCurve(Animation::easeInOut(0.9)));
    return animation;
}

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

OnboardingFooter::OnboardingFooter(bool granted, std::function<void()> openSettings, QWidget* parent)
    : QWidget(parent), granted_(granted),
      button_(new GlassButton(buttonTitle(), QStringLiteral("gearshape"), GlassButton::Role::prominent,
                              std::move(openSettings))),
      waiting_(new QWidget), grantedRow_(new QWidget), waitingFade_(new QGraphicsOpacityEffect(waiting_)),
      grantedFade_(new QGraphicsOpacityEffect(grantedRow_)), breathing_(new QSequentialAnimationGroup(this)) {
    setAttribute(Qt::WA_TranslucentBackground);

    auto* waitingColumn = new QVBoxLayout(waiting_);
    waitingColumn->setContentsMargins(0, 0, 0, 0);
    waitingColumn->setSpacing(10);
    waitingColumn->addWidget(button_, 0, Qt::AlignHCenter);
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    line->addStretch();
    line->addWidget(new Glyph(QSize(6, 6),
                              [this](QPainter& painter, const QRectF& box, const Tokens& t) {
                                  painter.setPen(Qt::NoPen);
                                  painter.setBrush(Design::withOpacity(t.accent, dotOpacity_));
                                  painter.drawEllipse(box);
                              },
                              waiting_),
                    0, Qt::AlignVCenter);
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

    // Both rows share the place; the one not shown is faded out and then hidden.
    auto* stack = new QStackedLayout(this);
    stack->setStackingMode(QStackedLayout::StackAll);
    stack->addWidget(waiting_);
    stack->addWidget(grantedRow_);
    waiting_->setGraphicsEffect(waitingFade_);
    grantedRow_->setGraphicsEffect(grantedFade_);

    connect(&transition_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) { setProgress(v.toDouble()); });
    connect(&transition_, &QVariantAnimation::finished, this, [this] { waiting_->hide(); });
    setProgress(granted_ ? 1 : 0);
    waiting_->setVisible(!granted_);
    (granted_ ? grantedRow_ : waiting_)->raise();

    for (QVariantAnimation* step : {fade(1.0, 0.25, breathing_), fade(0.25, 1.0, breathing_)}) {
        connect(step, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            dotOpacity_ = v.toDouble();
            waiting_->update();
        });
        static_cast<QSequentialAnimationGroup*>(breathing_)->addAnimation(step);
    }
    breathing_->setLoopCount(-1);
}

void OnboardingFooter::setProgress(double progress) {
    waitingFade_->setOpacity(1 - progress);
    grantedFade_->setOpacity(progress);
}

void OnboardingFooter::showGranted() {
    if (granted_) return;
    granted_ = true;
    grantedRow_->raise();
    breathing_->stop();
    transition_.setStartValue(0.0);
    transition_.setEndValue(1.0);
    Motion::configure(transition_, tokensFor(this).motion.quick, reduceMotionFor(this));
    transition_.start();
}

void OnboardingFooter::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (granted_ || breathing_->state() == QAbstractAnimation::Running) return;
    if (reduceMotionFor(this)) {
        // Reduced motion: the dot settles at its faint end at once instead of breathing.
        dotOpacity_ = 0.25;
        waiting_->update();
        return;
    }
    breathing_->start();
}

void OnboardingFooter::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    breathing_->stop();
}

} // namespace BrindlecastApp
