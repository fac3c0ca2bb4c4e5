#pragma once

#include <QObject>
#include <QPainterPath>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <functional>
#include <vector>

namespace BrindlecastApp {

// How a top-level window that leaves parts of itself clear (rounded corners, a margin for a
// shadow or a slide) shows on the display. With a compositing manager it is see-through: what it
// leaves clear shows what lies behind it, and a glass window asks the compositor to blur behind its
// outline. Without one a clear pixel shows black, so the window is cut to its outline (the X Shape
// extension) and its owner paints the outline opaque. It follows the compositor as it starts and
// stops; a platform without X (the offscreen one of tests) has no compositor, and nothing to cut.
class WindowSurface : public QObject {
    Q_OBJECT
public:
    // The visible outline in the window's own coordinates, asked again on every reshape().
    using Outline = std::function<QPainterPath()>;
    enum class Kind { plain, glass };

    // Gives `window` (a top-level whose native window does not exist yet) a surface of its own.
    static WindowSurface* attach(QWidget* window, Outline outline, Kind kind = Kind::plain);
    // The surface of the window holding `widget`, or null.
    static WindowSurface* of(const QWidget* widget);

    bool isSeeThrough() const;
    // See-through glass over a compositor that blurs behind it: the glass paints its material.
    bool isBlurredBehind() const;
    Kind kind() const { return kind_; }

    // The outline moved or changed shape: cuts the window again, or sets the blur region again.
    void reshape();

    // The outline as whole device pixels, as rectangles (what the cut and the blur region take).
    static QRegion regionOf(const QPainterPath& outline, double devicePixelRatio);
    // The blur region hint's value: x, y, width and height of each rectangle of `region`.
    static std::vector<std::uint32_t> blurRegionValue(const QRegion& region);

signals:
    // The window became see-through or opaque, or its blur came or went; it is repainted.
    void changed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowSurface(QWidget* window, Outline outline, Kind kind);
    void publishBlurRegion(const QRegion& region);

    QPointer<QWidget> window_;
    Outline outline_;
    Kind kind_;
    bool wasSeeThrough_;
    bool wasBlurred_;
    std::vector<std::uint32_t> publishedBlur_;
    bool blurPublished_ = false;
};

} // namespace BrindlecastApp
