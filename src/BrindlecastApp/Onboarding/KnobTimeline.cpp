#include "BrindlecastApp/Onboarding/KnobTimeline.h"

#include "BrindlecastApp/Design/Motion.h"

#include <algorithm>
#include <limits>

namespace BrindlecastApp {

void KnobTimeline::add(double start, double target, double duration) {
    const auto at = std::upper_bound(moves_.begin(), moves_.end(), start,
                                     [](double time, const Move& move) { return time < move.start; });
    moves_.insert(at, Move{start, target, duration});
}

double KnobTimeline::valueAt(double time) const {
    double value = initial_;
    for (std::size_t i = 0; i < moves_.size() && moves_[i].start <= time; ++i) {
        const Move& move = moves_[i];
        // This move runs until the next one takes over, or until `time`.
        const bool interrupted = i + 1 < moves_.size() && moves_[i + 1].start <= time;
        const double until = interrupted ? moves_[i + 1].start : time;
        const double progress = move.duration <= 0 ? 1 : std::clamp((until - move.start) / move.duration, 0.0, 1.0);
        const double eased = Motion::easingCurve(Animation::easeInOut(move.duration)).valueForProgress(progress);
        value += (move.target - value) * eased;
    }
    return value;
}

double KnobTimeline::restsFrom() const {
    double end = 0;
    for (const Move& move : moves_) end = std::max(end, move.start + move.duration);
    return end;
}

double KnobTimeline::movesFrom(double time) const {
    double next = std::numeric_limits<double>::infinity();
    for (const Move& move : moves_) {
        if (move.start <= time && time <= move.start + move.duration) return time;
        if (move.start > time) next = std::min(next, move.start);
    }
    return next;
}

void KnobTimeline::settle(double time) {
    initial_ = valueAt(time);
    moves_.clear();
}

} // namespace BrindlecastApp
