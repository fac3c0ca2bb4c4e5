#pragma once

#include "BrindlecastApp/Design/WalkthroughClock.h"

#include <QVariantAnimation>
#include <QWidget>

#include <functional>
#include <memory>

class QTimer;

namespace BrindlecastApp {

class GlassButton;

// The foot of the walkthrough. Waiting: the "Open System Settings" button over a breathing accent
// dot and the waiting line. Granted: a green check and the confirmation, faded in with the quick
// motion token (0.01 s with reduce motion). Nothing turns it back.
class OnboardingFooter : public QWidget {
    Q_OBJECT
public:
    OnboardingFooter(bool granted, std::function<void()> openSettings,
                     std::shared_ptr<WalkthroughClock> clock = WalkthroughClock::real(), QWidget* parent = nullptr);

    // The dot's breath: from 1 down to 0.25 over 0.9 s, eased in and out, and back up over the next
    // 0.9 s, for as long as it waits on screen. A 6-point dot fading that slowly looks the same at
    // 20 frames a second as at 60, for a third of the work.
    static constexpr double breathSeconds = 0.9;
    static constexpr double faintOpacity = 0.25;
    static constexpr int dotFrameMs = 50;
    // The dot's opacity `seconds` into its breathing.
    static double breathAt(double seconds);

    static const QString& buttonTitle();
    static const QString& waitingText();
    static const QString& grantedText();

    bool isGranted() const { return granted_; }
    void showGranted(); // animated
    GlassButton* button() const { return button_; }
    QWidget* waitingRow() const { return waiting_; }
    QWidget* grantedRow() const { return grantedRow_; }
    const QVariantAnimation& transition() const { return transition_; }
    // The waiting dot's opacity now: 1 until it starts breathing down to 0.25 on screen.
    double dotOpacity() const { return dotOpacity_; }
    QWidget* dot() const { return dot_; }
    // Runs while the dot breathes, one tick a frame.
    const QTimer& breathing() const { return *breathing_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setProgress(double progress);
    void setDotOpacity(double opacity);

    bool granted_;
    GlassButton* button_;
    QWidget* waiting_;
    QWidget* grantedRow_;
    QWidget* dot_;
    QVariantAnimation transition_;
    std::shared_ptr<WalkthroughClock> clock_;
    QTimer* breathing_;
    double breathStart_ = 0;
    double dotOpacity_ = 1;
};

} // namespace BrindlecastApp
