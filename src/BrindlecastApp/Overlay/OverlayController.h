#pragma once

#include "BrindlecastApp/Overlay/PickTarget.h"
#include "CaptureKit/WindowInfo.h"
#include "Support/Geometry.h"

#include <QColor>
#include <QCursor>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QKeyEvent;

namespace BrindlecastApp {

class OverlayView;

// One selection, from the capture command to its outcome: an area of one monitor (dragged), a
// window (clicked in window-pick mode; Space switches modes) or a cancellation (Escape). It
// covers every monitor with an OverlayView and holds the X pointer and keyboard while those are
// shown, so the rest of the desktop sees no input meanwhile; every key the app receives in that
// time is the selection's, whichever of the app's windows Qt thinks has the focus.
//
// The outcomes are reported to the callbacks; the overlay then stays as it is, and its owner
// orders it out while the capture runs (which releases the grabs and ignores all input), then
// closes it or orders it in again. Escape closes it before reporting the cancellation.
class OverlayController : public QObject {
    Q_OBJECT
public:
    // The windows on screen as the capture layer lists them (never one of this process's).
    using WindowList = std::function<std::vector<CaptureKit::WindowInfo>()>;
    // The monitors as the capture layer lists them, in root-window pixels. When it lists none,
    // Qt's screens stand in.
    using MonitorList = std::function<std::vector<Support::Rect>()>;

    OverlayController(WindowList windowList, MonitorList monitorList, QColor accent, QObject* parent = nullptr);
    ~OverlayController() override;

    std::function<void(const Support::Rect&)> onRegion; // root-window coordinates
    std::function<void(const PickTarget&)> onWindow;
    std::function<void()> onCancel;

    // Opens one panel per monitor, in the order they are listed, over a picture of the monitor
    // taken just before, and takes the grabs.
    void begin();
    // Closes every panel and releases the grabs. Harmless when closed already.
    void close();
    // Hides the panels, releases the grabs and waits until the X server has done both, so that a
    // capture started next cannot see them. Input is ignored until orderIn().
    void orderOut();
    // Shows the panels again, as they were, and takes the grabs again.
    void orderIn();
    void toggleMode();

    bool isWindowPickMode() const { return windowPickMode_; }
    bool isShown() const { return shown_; }
    bool isClosed() const { return closed_; }
    const QList<OverlayView*>& views() const { return views_; }

    // Highlights the window under `root` (root-window coordinates) on every panel.
    void updatePick(Support::Point root);

    // The frontmost window on screen at `point` that can be picked: an ordinary application
    // window (not the desktop, a panel, a menu or a keep-above window), larger than 1 x 1.
    static std::optional<PickTarget> windowAt(const std::vector<CaptureKit::WindowInfo>& windows,
                                              Support::Point point);
    // The window-pick pointer, a camera, for a screen of `devicePixelRatio` device pixels a point.
    static QCursor windowPickCursor(qreal devicePixelRatio);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPanels();
    OverlayView* keyView() const;
    OverlayView* viewAtGlobal(QPointF global) const;
    // A point of Qt's global coordinates in root-window coordinates.
    Support::Point rootPoint(QPointF global) const;
    void grabInput();
    void releaseInput();
    void watchKeys(bool on);
    bool takeKey(QKeyEvent* key);
    void refreshWindowList();

    WindowList windowList_;
    MonitorList monitorList_;
    QColor accent_;
    QList<OverlayView*> views_;
    bool windowPickMode_ = false;
    bool shown_ = false;
    bool closed_ = false;
    std::vector<CaptureKit::WindowInfo> windows_; // read on entering window-pick mode
    QPointer<OverlayView> dragOwner_;
    QPointer<OverlayView> grabbed_;
    std::unique_ptr<QObject> keyMonitor_; // watches the application's key events while shown
    QTimer grabRetry_;
    int grabAttempts_ = 0;
};

} // namespace BrindlecastApp
