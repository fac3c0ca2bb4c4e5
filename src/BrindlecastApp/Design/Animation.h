#pragma once

namespace BrindlecastApp {

// One animation curve of the design: a damped spring, an ease-out or an ease-in-out.
struct Animation {
    enum class Kind { spring, easeOut, easeInOut };

    Kind kind = Kind::easeInOut;
    double response = 0;        // spring: seconds for one undamped period
    double dampingFraction = 1; // spring: 1 is critically damped, below 1 overshoots
    double blendDuration = 0;   // spring: kept for callers that blend; drawing ignores it
    double duration = 0;        // ease curves: seconds

    static Animation spring(double response, double dampingFraction, double blendDuration = 0) {
        return Animation{Kind::spring, response, dampingFraction, blendDuration, 0};
    }
    static Animation easeOut(double seconds) { return Animation{Kind::easeOut, 0, 1, 0, seconds}; }
    static Animation easeInOut(double seconds) { return Animation{Kind::easeInOut, 0, 1, 0, seconds}; }

    friend bool operator==(const Animation&, const Animation&) = default;
};

} // namespace BrindlecastApp
