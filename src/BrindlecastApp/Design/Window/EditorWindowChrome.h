#pragma once

#include "BrindlecastApp/Design/Window/TrafficLights.h"

#include <QPoint>
#include <QRect>
#include <QWidget>

namespace BrindlecastApp {

class GlassPanel;
class TrafficLightButton;
class TrafficLightGroup;
class WindowSurface;

// A frameless top-level window that behaves like a framed one: our own close, minimise and zoom
// buttons sit in the content's top strip (re-placed on every resize and state change), the edges
// resize it, and its content moves it through WindowDragArea strips. With a compositor it is
// see-through so the content can round its corners (and the compositor may blur behind it);
// without one it is square and opaque, also when a compositor stops while it is open, and the
// glass that fills it follows (keepRounding). In the
// fixed-size mode (small panels such as the walkthrough and the settings) the size is the owner's
// alone: the edges and the zoom button are inert, and the minimise button is disabled unless the
// owner lets the window be minimised.
class EditorWindowChrome : public QWidget {
    Q_OBJECT
public:
    explicit EditorWindowChrome(QWidget* parent = nullptr);

    static constexpr int resizeBand = 6; // points along each edge that resize

    double stripHeight() const { return stripHeight_; }
    double cornerInset() const { return cornerInset_; }
    // Each setter re-places the buttons at once.
    void setStripHeight(double height);
    void setCornerInset(double inset);

    bool isFixedSizeMode() const { return fixedSize_; }
    // Pins the window to `size` (the window manager is told it cannot change it); the owner may
    // call it again to grow or shrink the window.
    void setFixedSizeMode(const QSize& size, bool minimisable = false);

    TrafficLights::Buttons trafficLightButtons() const;
    TrafficLightGroup* trafficLightGroup() const { return lights_; }
    bool isTranslucent() const;
    // The corner radius the content should draw with: the window token when see-through, else 0.
    double cornerRadius() const;
    // Keeps `panel` (the glass that fills this window) at cornerRadius() as a compositor starts
    // and stops: rounded inside clear corners, square where the window is opaque to its edges.
    void keepRounding(GlassPanel* panel);
    // The edges a press at `local` would resize; none inside the band-free middle or when maximised.
    Qt::Edges edgesAt(const QPoint& local) const;

signals:
    // The window became see-through or opaque, so cornerRadius() changed; it is repainted.
    void cornerRadiusChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void alignButtons();
    bool handleEdgeEvent(QEvent* event);

    double stripHeight_ = 46;
    double cornerInset_ = 0;
    bool fixedSize_ = false;
    WindowSurface* surface_ = nullptr;
    double shownRadius_ = 0;
    TrafficLightButton* close_;
    TrafficLightButton* minimize_;
    TrafficLightButton* zoom_;
    TrafficLightGroup* lights_;
    // A resize this window runs itself when the window manager cannot.
    Qt::Edges manualEdges_;
    QPoint pressGlobal_;
    QRect pressGeometry_;
};

} // namespace BrindlecastApp
