#pragma once

#include "BrindlecastApp/Review/CanvasGeometry.h"
#include "BrindlecastApp/Review/ResizeHandle.h"
#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <QString>
#include <QTransform>

#include <optional>
#include <vector>

namespace BrindlecastApp {

// The shapes of annotations on the canvas: their bounds, the grips drawn around the selected one,
// and which grip or annotation lies under the pointer. A positive rotation turns a shape
// clockwise on screen, as it does in the stored document and the export.
namespace AnnotationGeometry {

// Grips are circles of this diameter (view points).
inline constexpr double kHandleDiameter = 9;
// A grip is hit within this distance of its centre (view points).
inline constexpr double kHandleHitRadius = 12.6;
// The rotation knob sits this far above the top edge, on a stem.
inline constexpr double kRotationStemLength = 22;
// Annotations are hit this far outside their bounds (image pixels).
inline constexpr double kBodyHitMargin = 4;

// Size of `string` in the system font at `fontSize` pixels, line by line as drawn. Sizes too
// large to lay out are measured smaller and scaled up; sizes that are not positive numbers
// measure nothing.
Support::Size textSize(const QString& string, double fontSize);
// The font size a text is drawn at: its line width, or 16 when that is below 6 or not a number.
double textFontSize(double lineWidth);

// Axis-aligned bounds in image pixels, rotation not applied; null for an unknown kind and for a
// freeform without points.
Support::Rect annotationBounds(const SidecarKit::Annotation& annotation);

// The point a rotated box, ellipse, text or blur turns about (image pixels), where the export turns
// it: the centre of its bounds, or for a text half a pixel right of its origin and half its font
// size below it.
Support::Point rotationPivot(const SidecarKit::Annotation& annotation);

// The point halfway along an arrow: the middle of the chord, or of its quadratic curve.
Support::Point arrowMidpoint(const SidecarKit::Annotation::Arrow& arrow);

// What the canvas draws around the one selected annotation, in view points.
struct SelectionChrome {
    enum class Shape {
        frame,     // box, ellipse, text, blur: dashed rectangle, four corner grips, stem and knob
        endpoints, // line and arrow: a grip at each end (and the arrow's bend knob)
        ring,      // badge: a dashed circle, no grips
    };
    Shape shape = Shape::endpoints;
    // The frame before turning; draw everything below under `transform()`.
    Support::Rect frame;
    // Clockwise on screen about `pivot` (radians); 0 for the other shapes.
    double rotation = 0;
    Support::Point pivot;
    // Grip centres: white circles stroked in the accent colour.
    std::vector<Support::Point> handles;
    // Filled in the accent colour: the rotation knob, or the arrow's bend knob.
    std::optional<Support::Point> knob;
    // The rotation stem, 1 point wide, stroked in the accent colour (frame only).
    Support::Rect stem = Support::Rect::null();
    Support::Point ringCenter;
    double ringRadius = 0;

    // Turns the frame, its grips, stem and knob into place (identity unless rotated).
    QTransform transform() const;
};

// The chrome of `annotation` shown through `mapping`; nothing for freeform and unknown kinds, and
// for geometry that cannot be placed on screen.
std::optional<SelectionChrome> selectionChrome(const SidecarKit::Annotation& annotation,
                                               const CanvasGeometry::ImageViewMapping& mapping);

// The grip of `annotation` under `viewPoint`, in test order: a line's or arrow's start, end (and
// the arrow's middle); a rectangle-like kind's corners from the top-left, then its rotation knob.
std::optional<ResizeHandle> handleHit(const Support::Point& viewPoint, const SidecarKit::Annotation& annotation,
                                      const CanvasGeometry::ImageViewMapping& mapping);

// The topmost annotation (last drawn: highest z-index, later in the list on ties) whose bounds,
// grown by kBodyHitMargin, hold `imagePoint`. Rotation is not applied to the bounds.
std::optional<SidecarKit::Annotation> hitAnnotation(const Support::Point& imagePoint,
                                                    const std::vector<SidecarKit::Annotation>& annotations);

// The rectangle a rectangular-select drag from `start` to `current` spans (image pixels). With a
// positive crop ratio the height follows the width and the drag's vertical extent is ignored.
Support::Rect marqueeRect(const Support::Point& start, const Support::Point& current, std::optional<double> cropRatio);

} // namespace AnnotationGeometry

} // namespace BrindlecastApp
