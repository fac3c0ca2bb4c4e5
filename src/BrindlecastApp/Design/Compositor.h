#pragma once

#include <QObject>

#include <xcb/xcb.h>

#include <memory>

namespace BrindlecastApp::Compositor {

// True when a compositing manager owns the _NET_WM_CM_S<screen> selection of our X display, so a
// window may have see-through rounded corners. False on every other platform and without X.
bool isActive();

// The same question asked over a given connection for one screen.
bool isActive(xcb_connection_t* connection, int screen);

// The root window property through which a compositor announces that it blurs behind the
// windows that carry the same property (the region to blur, as x, y, width, height cardinals).
inline constexpr char kBlurBehindRegion[] = "_KDE_NET_WM_BLUR_BEHIND_REGION";

// True when the compositor of `screen` announces the blur behind windows.
bool offersBlur(xcb_connection_t* connection, int screen);

// Follows the compositing manager of the app's X display as it starts, stops or is replaced, and
// whether it blurs behind windows, over an X connection of its own (the toolkit's keeps its
// events). Without X it reports no compositor and never changes. GUI thread only.
class Watch : public QObject {
    Q_OBJECT
public:
    static Watch& instance();
    ~Watch() override;

    bool isActive() const { return active_; }
    bool offersBlur() const { return active_ && blur_; }

signals:
    // Either answer changed.
    void changed();

private:
    struct Connection;
    Watch();
    void readEvents();
    void recheck();

    std::unique_ptr<Connection> x_;
    bool active_ = false;
    bool blur_ = false;
};

} // namespace BrindlecastApp::Compositor
