#pragma once

#include "BrindlecastApp/Review/AnnotationTool.h"
#include "BrindlecastApp/Review/CropHandle.h"
#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <optional>

namespace BrindlecastApp {

class ReviewViewModel;

// Where the review canvas puts the image and how it maps between image pixels (top-left origin,
// the space of everything the model stores) and view points (y downwards). Pure functions; the
// canvas owns the pan offset and hands in its bounds.
namespace CanvasGeometry {

inline constexpr double kSideMargin = 28;
inline constexpr double kGapUnderTopChrome = 8;
inline constexpr double kBottomMargin = 68;
// A zoom above this counts as zoomed in: only then may the image be panned.
inline constexpr double kZoomThreshold = 1.001;
// Smaller changes of the fitting scale are not handed to the model.
inline constexpr double kFitScaleChangeThreshold = 0.0001;
inline constexpr double kCropHandleTolerance = 12;
// Image pixels; the crop draft is never resized below this.
inline constexpr double kMinimumCropDraftSide = 24;

// The part of the canvas the image is fitted into: the bounds less the side margins, the top
// chrome and the gap under it, and the bottom margin.
Support::Rect workingArea(const Support::Rect& bounds, double topChromeHeight);

// The image-space rectangle shown: the whole image while cropping or without a crop, else the crop.
Support::Rect contentRect(Support::Size imageSize, AnnotationTool tool, const std::optional<Support::Rect>& cropRect);
Support::Rect contentRect(const ReviewViewModel& model);

struct Fit {
    // Where the whole image lies in view points, placed so that the content rectangle is fitted
    // and centred in the working area; zero when nothing can be shown.
    Support::Rect fitRect;
    // The scale at which the content fits, for the model's fitScale; absent with a zero fitRect.
    std::optional<double> fitScale;
};

// The fitted image. When zoomed in, `pan` moves it, clamped so that an edge of an image larger
// than the working area never comes inside the area, and an image smaller on an axis stays
// centred on it. Any input that is not finite gives a zero fit.
Fit fitRect(Support::Size imageSize, const Support::Rect& content, const Support::Rect& workingArea, double zoom,
            Support::Point pan);
// The same for the model's image, crop, tool, chrome height and zoom in a canvas of `bounds`.
Fit fitRect(const ReviewViewModel& model, const Support::Rect& bounds, Support::Point pan);

// Whether a newly computed fitting scale differs enough from the model's to be handed over.
bool shouldPublishFitScale(double current, double computed);

// The conversions for an image shown in `fitRect`; s = fitRect width / image width view points
// per image pixel, the same on both axes.
class ImageViewMapping {
public:
    ImageViewMapping(const Support::Rect& fitRect, Support::Size imageSize);

    // View points per image pixel; 0 when nothing is shown.
    double scale() const { return scale_; }
    const Support::Rect& fitRect() const { return fitRect_; }

    Support::Point toView(const Support::Point& imagePoint) const;
    Support::Rect toView(const Support::Rect& imageRect) const;
    // Clamped to the image; (0, 0) when nothing is shown.
    Support::Point toImage(const Support::Point& viewPoint) const;

private:
    Support::Rect fitRect_;
    Support::Size imageSize_;
    double scale_ = 0;
};

// The pan offset after moving a zoomed image by `delta` view points: clamped with the full image
// at fitScale x zoom against the working area. Unchanged unless zoomed in.
Support::Point panBy(Support::Point pan, Support::Point delta, Support::Size imageSize, double fitScale, double zoom,
                     const Support::Rect& workingArea);

// The crop draft after dragging `handle` by (dx, dy) image pixels. Moving stops at the image's
// edges. Edges and corners move their sides, keep a locked ratio (edges about the draft's
// centre, left corners about the right edge), and a step that would make a side shorter than
// kMinimumCropDraftSide is refused: the draft comes back unchanged. The result is clipped to
// the image.
Support::Rect dragCropDraft(const Support::Rect& draft, CropHandle handle, double dx, double dy, Support::Size imageSize,
                            std::optional<double> cropRatio);
// Drags the model's draft (nothing without one).
void dragCropDraft(ReviewViewModel& model, CropHandle handle, double dx, double dy);

// The crop grip under `viewPoint` for a draft shown at `draftInView`: corners first, then edges
// (within 12 points and alongside the draft), then the inside less 12 points for moving.
std::optional<CropHandle> cropHandleHit(const Support::Point& viewPoint, const Support::Rect& draftInView);

// The look new annotations take from the model's defaults (the highlighter always at 0.45).
SidecarKit::Annotation::Style defaultStyle(const ReviewViewModel& model);
// The same for new text: the line width is the font size, max(image height x 0.04, 28), and the
// opacity is always the model's.
SidecarKit::Annotation::Style textStyle(const ReviewViewModel& model);

} // namespace CanvasGeometry

} // namespace BrindlecastApp
