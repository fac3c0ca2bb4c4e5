#pragma once

#include "BrindlecastApp/Onboarding/KnobTimeline.h"
#include "BrindlecastApp/Design/Tokens.h"
#include "BrindlecastApp/Design/WalkthroughClock.h"

#include <QWidget>

#include <memory>

class QTimer;

namespace BrindlecastApp {

// The application's row in the desktop's capture list: app tile, name and a switch that turns on
// 0.8 s after the row comes on screen, then every 4 s slides off and back on. The 4 s timer is the
// row's own child: it starts when the row is shown (once, however often it is shown) and stops when
// the row is hidden or destroyed. With reduce motion every slide takes 0.01 s and delays are dropped.
class ToggleRowIllustration : public QWidget {
    Q_OBJECT
public:
    explicit ToggleRowIllustration(std::shared_ptr<WalkthroughClock> clock = WalkthroughClock::real(),
                                   QWidget* parent = nullptr);

    static constexpr int cycleMs = 4000;
    static constexpr int frameMs = 16; // while the knob moves

    bool isOn() const { return on_; }
    // Where the knob is drawn (0 at the track's leading end, 1 at its trailing end), now or at `time`.
    double knobPosition() const;
    double knobPositionAt(double time) const { return timeline_.valueAt(time); }
    const QTimer& cycleTimer() const { return *cycle_; }
    // The switch's track, the only part that moves.
    QRectF trackRect() const;
    // One tick of the 4 s timer: off over 0.4 s at once, on over 0.5 s after 0.9 s.
    void replay();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setOn(bool on, double seconds, double delay);
    void updateTrack();
    // The app's tile and name.
    void paintStill(QPainter& painter, const Tokens& t) const;
    void scheduleFrame();

    std::shared_ptr<WalkthroughClock> clock_;
    bool on_ = false;
    KnobTimeline timeline_;
    QTimer* cycle_;
    QTimer* frames_; // repaints the track while the knob moves
    double drawnKnob_ = 0; // where the knob was last drawn
};

} // namespace BrindlecastApp
