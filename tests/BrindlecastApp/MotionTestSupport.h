#pragma once

#include "BrindlecastApp/Design/DesktopSettings.h"

#include <QAnimationDriver>
#include <QCoreApplication>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>
#include <limits>

// While it lives, every Qt animation of the GUI thread moves only when the test advances this
// clock, frame by frame, so a motion can be checked at any moment of its way and to its end.
class DrivenAnimationClock : public QAnimationDriver {
public:
    DrivenAnimationClock() {
        install();
        // Qt stops a driver with nothing to animate and, starting it again, adds the wall-clock
        // time in between; an endless animation keeps this one running, on its own time alone.
        keepRunning_.setStartValue(0.0);
        keepRunning_.setEndValue(1.0);
        keepRunning_.setDuration(std::numeric_limits<int>::max());
        keepRunning_.setLoopCount(-1);
        keepRunning_.start();
        QCoreApplication::processEvents();
        QAnimationDriver::advance();
    }
    ~DrivenAnimationClock() override {
        keepRunning_.stop();
        uninstall();
    }
    DrivenAnimationClock(const DrivenAnimationClock&) = delete;
    DrivenAnimationClock& operator=(const DrivenAnimationClock&) = delete;

    qint64 elapsed() const override { return milliseconds_; }

    // Moves time on by `seconds` in frames of 1/60 s, running what the event loop has queued
    // before the first frame and after each.
    void advance(double seconds) {
        QCoreApplication::processEvents();
        const qint64 end = milliseconds_ + std::llround(seconds * 1000);
        while (milliseconds_ < end) {
            milliseconds_ = std::min(end, milliseconds_ + 16);
            QAnimationDriver::advance();
            QCoreApplication::processEvents();
        }
    }

private:
    qint64 milliseconds_ = 0;
    QVariantAnimation keepRunning_;
};

// While it lives, the desktop asks for reduced motion (as its accessibility settings would).
class ReducedMotion {
public:
    ReducedMotion() : was_(BrindlecastApp::DesktopSettings::instance().reduceMotion()) {
        BrindlecastApp::DesktopSettings::instance().setReduceMotion(true);
    }
    ~ReducedMotion() { BrindlecastApp::DesktopSettings::instance().setReduceMotion(was_); }
    ReducedMotion(const ReducedMotion&) = delete;
    ReducedMotion& operator=(const ReducedMotion&) = delete;

private:
    bool was_;
};
