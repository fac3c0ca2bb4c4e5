#include "BrindlecastApp/Onboarding/ToggleRowIllustration.h"

#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Onboarding/OnboardingStyle.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kPadX = 10, kPadY = 8, kSpacing = 10, kMinimumGap = 12;
constexpr double kTile = 24, kTileRadius = 6;
constexpr double kTrackWidth = 34, kTrackHeight = 20, kKnob = 16, kKnobInset = 2;
constexpr double kTravel = kTrackWidth - kKnob - 2 * kKnobInset; // 14 points

QFont nameFont() { return OnboardingStyle::font(12, QFont::Medium); }
const QString kName = QStringLiteral("Brindlecast");

QColor mix(const QColor& from, const QColor& to, double p) {
    auto lerp = [p](double a, double b) { return a + (b - a) * p; };
    return QColor::fromRgbF(float(lerp(from.redF(), to.redF())), float(lerp(from.greenF(), to.greenF())),
                            float(lerp(from.blueF(), to.blueF())), float(lerp(from.alphaF(), to.alphaF())));
}

} // namespace

ToggleRowIllustration::ToggleRowIllustration(std::shared_ptr<WalkthroughClock> clock, QWidget* parent)
    : QWidget(parent), clock_(std::move(clock)), cycle_(new QTimer(this)), frames_(new QTimer(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    cycle_->setObjectName(QStringLiteral("toggleCycle"));
    cycle_->setInterval(cycleMs);
    connect(cycle_, &QTimer::timeout, this, &ToggleRowIllustration::replay);
    frames_->setSingleShot(true);
    connect(frames_, &QTimer::timeout, this, [this] {
        // The slow ends of a slide move the knob by a sliver of a pixel a frame: it is drawn again
        // once it has moved a quarter of a device pixel, and where it comes to rest.
        const double now = clock_->now();
        const double step = 0.25 / (kTravel * devicePixelRatioF());
        if (timeline_.movesFrom(now) != now || std::abs(timeline_.valueAt(now) - drawnKnob_) >= step) updateTrack();
        scheduleFrame();
    });
}

QRectF ToggleRowIllustration::trackRect() const {
    return {width() - kPadX - kTrackWidth, height() / 2.0 - kTrackHeight / 2, kTrackWidth, kTrackHeight};
}

void ToggleRowIllustration::updateTrack() { update(trackRect().toAlignedRect().adjusted(-1, -1, 1, 1)); }

void ToggleRowIllustration::scheduleFrame() {
    // Frames only while the knob moves; between its moves (the pause before it turns back on, the
    // rest of the round) the timer sleeps until the next one starts.
    const double now = clock_->now();
    const double next = timeline_.movesFrom(now);
    if (std::isinf(next)) {
        frames_->stop();
        return;
    }
    frames_->start(next <= now ? frameMs : static_cast<int>(std::ceil((next - now) * 1000)));
}

double ToggleRowIllustration::knobPosition() const { return timeline_.valueAt(clock_->now()); }

void ToggleRowIllustration::setOn(bool on, double seconds, double delay) {
    on_ = on;
    const bool reduce = reduceMotionFor(this);
    const Animation run = Motion::effective(Animation::easeInOut(seconds), reduce);
    timeline_.add(clock_->now() + (reduce ? 0 : delay), on ? 1 : 0, run.duration);
    scheduleFrame();
}

void ToggleRowIllustration::replay() {
    // The previous round has long come to rest by now: start afresh from where the knob is.
    if (clock_->now() >= timeline_.restsFrom()) timeline_.settle(clock_->now());
    setOn(false, 0.4, 0);
    setOn(true, 0.5, 0.9);
}

void ToggleRowIllustration::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timeline_.settle(clock_->now());
    setOn(true, 0.5, 0.8);
    cycle_->start(); // restarts the one timer: showing again never adds a second
}

void ToggleRowIllustration::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    cycle_->stop();
    frames_->stop();
}

QSize ToggleRowIllustration::sizeHint() const {
    const QSize minimum = minimumSizeHint();
    return {minimum.width() + 120, minimum.height()};
}

QSize ToggleRowIllustration::minimumSizeHint() const {
    const double name = std::ceil(QFontMetricsF(nameFont()).horizontalAdvance(kName));
    const double width = kPadX + kTile + kSpacing + name + kSpacing + kMinimumGap + kSpacing + kTrackWidth + kPadX;
    const double height = kPadY + std::max({kTile, kTrackHeight, QFontMetricsF(nameFont()).height()}) + kPadY;
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

void ToggleRowIllustration::paintEvent(QPaintEvent* event) {
    const Tokens t = tokensFor(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(rect());
    OnboardingStyle::paintCard(painter, card, 9, t);
    const QRectF track = trackRect();

    // A frame of the knob repaints the track alone: the tile and the name, left of it, stay.
    if (QRectF(event->rect()).left() < track.left() - kSpacing) paintStill(painter, t);

    const double p = knobPosition();
    drawnKnob_ = p;
    painter.setPen(Qt::NoPen);
    painter.setBrush(mix(OnboardingStyle::quietFill(t), t.toggleGreen, std::clamp(p, 0.0, 1.0)));
    painter.drawRoundedRect(track, kTrackHeight / 2, kTrackHeight / 2);
    const QRectF knob(track.left() + kKnobInset + kTravel * p, track.top() + kKnobInset, kKnob, kKnob);
    painter.setBrush(Design::black(0.18)); // the knob's soft shadow, half a point down
    painter.drawEllipse(knob.translated(0, 0.5).adjusted(-0.5, -0.5, 0.5, 0.5));
    painter.setBrush(Qt::white);
    painter.drawEllipse(knob);
}

void ToggleRowIllustration::paintStill(QPainter& painter, const Tokens& t) const {
    const double midY = height() / 2.0;
    const QRectF tile(kPadX, midY - kTile / 2, kTile, kTile);
    QLinearGradient gradient(tile.topLeft(), tile.bottomLeft());
    gradient.setColorAt(0, OnboardingStyle::systemIndigo(t));
    gradient.setColorAt(1, OnboardingStyle::systemBlue(t));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawPath(continuousRoundedRect(tile, kTileRadius));
    const double side = Symbols::sideForPointSize(12);
    Symbols::paint(painter, "lock.shield", QRectF(tile.center() - QPointF(side / 2, side / 2), QSizeF(side, side)), Qt::white,
                   SymbolWeight::medium);

    painter.setFont(nameFont());
    painter.setPen(t.primaryText());
    painter.drawText(QRectF(tile.right() + kSpacing, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter, kName);
}

} // namespace BrindlecastApp
