#include "BrindlecastApp/Design/Motion.h"

#include <QVariantAnimation>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <mutex>
#include <numbers>
#include <utility>

namespace BrindlecastApp::Motion {

namespace {

constexpr double settleTolerance = 0.001;

double naturalFrequency(const Animation& spring) {
    return 2 * std::numbers::pi / std::max(spring.response, 1e-3);
}

double clampedDamping(const Animation& spring) { return std::clamp(spring.dampingFraction, 0.01, 10.0); }

// QEasingCurve's custom type is a plain function of progress, without parameters, and its Bézier
// splines misbehave beyond a handful of segments; so each distinct spring gets a slot of its own,
// read by one instantiated function per slot. The interface uses only a few springs.
constexpr int springSlotCount = 16;

struct SpringSlot {
    Animation spring;
    double total = 1;
};

std::array<SpringSlot, springSlotCount> springSlots;
int springSlotsUsed = 0;
std::mutex springSlotsMutex;

template <int Index>
qreal springEase(qreal progress) {
    const SpringSlot& slot = springSlots[Index];
    if (progress >= 1) return 1;
    return springPosition(slot.spring, progress * slot.total);
}

template <int... Index>
constexpr std::array<QEasingCurve::EasingFunction, sizeof...(Index)> springFunctions(std::integer_sequence<int, Index...>) {
    return {&springEase<Index>...};
}

QEasingCurve::EasingFunction springSlotFunction(const Animation& spring) {
    static const auto functions = springFunctions(std::make_integer_sequence<int, springSlotCount>());
    std::lock_guard lock(springSlotsMutex);
    int best = -1;
    double bestDistance = std::numeric_limits<double>::max();
    for (int i = 0; i < springSlotsUsed; ++i) {
        const Animation& known = springSlots[static_cast<size_t>(i)].spring;
        if (known.response == spring.response && known.dampingFraction == spring.dampingFraction)
            return functions[static_cast<size_t>(i)];
        const double distance = std::abs(known.response - spring.response) + std::abs(known.dampingFraction - spring.dampingFraction);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    if (springSlotsUsed == springSlotCount) return functions[static_cast<size_t>(best)]; // the nearest known spring
    const int index = springSlotsUsed++;
    springSlots[static_cast<size_t>(index)] = SpringSlot{spring, settlingSeconds(spring)};
    return functions[static_cast<size_t>(index)];
}

} // namespace

Animation reduced() { return Animation::easeInOut(0.01); }

Animation effective(const Animation& animation, bool reduceMotion) { return reduceMotion ? reduced() : animation; }

double springPosition(const Animation& spring, double t) {
    if (t <= 0) return 0;
    const double w0 = naturalFrequency(spring);
    const double z = clampedDamping(spring);
    if (z < 1) {
        const double wd = w0 * std::sqrt(1 - z * z);
        return 1 - std::exp(-z * w0 * t) * (std::cos(wd * t) + (z * w0 / wd) * std::sin(wd * t));
    }
    if (z == 1) return 1 - std::exp(-w0 * t) * (1 + w0 * t);
    const double s = w0 * std::sqrt(z * z - 1);
    const double r1 = -z * w0 + s, r2 = -z * w0 - s;
    const double a = r2 / (r1 - r2), b = -r1 / (r1 - r2);
    return 1 + a * std::exp(r1 * t) + b * std::exp(r2 * t);
}

double settlingSeconds(const Animation& spring) {
    const double w0 = naturalFrequency(spring);
    const double z = clampedDamping(spring);
    // The slowest decay rate bounds the envelope of every regime.
    const double rate = z < 1 ? z * w0 : w0 * (z - std::sqrt(std::max(z * z - 1, 0.0)));
    const double envelopeScale = z < 1 ? 1 / std::sqrt(1 - z * z) : (z == 1 ? 2.0 : 1.0);
    return std::log(envelopeScale / settleTolerance) / std::max(rate, 1e-6);
}

int durationMs(const Animation& animation) {
    const double seconds = animation.kind == Animation::Kind::spring ? settlingSeconds(animation) : animation.duration;
    return std::max(1, static_cast<int>(std::lround(seconds * 1000)));
}

QEasingCurve easingCurve(const Animation& animation) {
    switch (animation.kind) {
    case Animation::Kind::easeOut: return QEasingCurve(QEasingCurve::OutCubic);
    case Animation::Kind::easeInOut: return QEasingCurve(QEasingCurve::InOutCubic);
    case Animation::Kind::spring: break;
    }
    QEasingCurve curve;
    curve.setCustomType(springSlotFunction(animation));
    return curve;
}

void configure(QVariantAnimation& target, const Animation& animation, bool reduceMotion) {
    const Animation run = effective(animation, reduceMotion);
    target.setDuration(durationMs(run));
    target.setEasingCurve(easingCurve(run));
}

} // namespace BrindlecastApp::Motion
