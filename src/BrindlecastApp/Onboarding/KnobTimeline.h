#pragma once

#include <vector>

namespace BrindlecastApp {

// Where a switch's knob is at any moment (0 off, 1 on), as a list of ease-in-out moves each
// starting at a set time. A move that starts while another runs takes over from wherever the knob
// is then, so two moves that start together end where the later one goes.
class KnobTimeline {
public:
    explicit KnobTimeline(double initial = 0) : initial_(initial) {}

    // A move to `target` starting at `start` (seconds on the owner's clock) over `duration`.
    void add(double start, double target, double duration);
    double valueAt(double time) const;
    // When the last move ends; the knob rests from then on.
    double restsFrom() const;
    // When the knob next moves: `time` itself while a move runs then, else the start of the next
    // move, or infinity when no move is left.
    double movesFrom(double time) const;
    // Forgets every move, keeping the knob where it is at `time`.
    void settle(double time);

private:
    struct Move {
        double start, target, duration;
    };
    double initial_;
    std::vector<Move> moves_; // by start time, later additions after earlier ones at the same time
};

} // namespace BrindlecastApp
