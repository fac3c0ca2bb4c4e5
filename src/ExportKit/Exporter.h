#pragma once

#include "DetectionKit/Detection.h"
#include "ExportKit/Clipboard.h"
#include "ExportKit/ExportError.h"
#include "ExportKit/ExportTypes.h"
#include "ExportKit/RedactionPattern.h"
#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <QByteArrayView>
#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

class QPainter;

namespace ExportKit::Exporter {

// Stateless rendering and delivery. An export runs: crop, redact, flatten, backdrop, watermark,
// encode, deliver. Images are QImages; new ones come out as ARGB32 premultiplied at 72 dpi.
// Rectangles handed in are image pixels with a top-left origin.

using RedactionStyle = SidecarKit::Annotation::RedactionStyle;

// --- Redaction -------------------------------------------------------------------------------

// A copy of `image` with every region covered, in list order, in the given look. The covered
// pixels are never read. Throws ExportError: bitmapContextFailed, or invalidRegion (nothing
// drawn) when a region is not finite or lies beyond +/-2^53.
QImage redact(const QImage& image, const std::vector<Support::Rect>& regions, RedactionStyle style);
QImage redact(const QImage& image, const std::vector<DetectionKit::Detection>& detections, RedactionStyle style);

// Covers `bitmapRect` (bottom-left coordinates of a canvas `canvasHeight` pixels high, before
// the painter's current transform) with the look. Under a painter that only translates (as in
// every export), every pixel the rectangle touches is painted over entirely; a turned or scaled
// one covers the pixels whose centres lie inside. The painter's state is restored afterwards.
// Throws invalidRegion for a rectangle without a texture.
void fillRedaction(QPainter& painter, const Support::Rect& bitmapRect, double canvasHeight, RedactionStyle style);

// --- Annotation flattening --------------------------------------------------------------------

// A copy of `image` with the annotations burnt in, ascending by zIndex, ties in list order.
// Annotations of unknown kinds are skipped; other annotations whose geometry is not finite
// draw nothing, except blur annotations, which are refused (invalidRegion) rather than left
// off. Throws ExportError.
QImage flatten(const QImage& image, const std::vector<SidecarKit::Annotation>& annotations);

// What a scaled view of the image adds to the drawing, in image pixels: strokes never thinner
// than `minimumLineWidth`, dashes never on a unit shorter than `minimumDashUnit`. Zero for exports.
struct DrawingMinimums {
    double minimumLineWidth = 0;
    double minimumDashUnit = 0;
};

// Draws one annotation as flatten does, in image pixels under the painter's transform (the
// review canvas scales it to the screen; shadows scale with it). `canvasHeight` is the image's
// height in pixels. Unknown kinds draw nothing; a blur that cannot be drawn throws as in flatten.
void drawAnnotation(QPainter& painter, const SidecarKit::Annotation& annotation, double canvasHeight,
                    const DrawingMinimums& minimums = {});

// "#RRGGBB" or "#RRGGBBAA", number sign optional, either case; anything else is opaque red.
QColor colorFromHex(QStringView hex);
// Opaque black over light colours (luminance above 0.6), opaque white otherwise.
QColor contrastColorForHex(QStringView hex);
// The style's colour with its alpha scaled by `opacity`, clamped to [0, 1].
QColor effectiveColor(QStringView hex, double opacity);

// Strokes `path` (painter coordinates) with the style's width and colour, round caps and joins,
// the outline below it when set, and the drop shadow cast by the outline (or by the stroke
// when there is no outline).
void strokeDecorated(QPainter& painter, const QPainterPath& path, const SidecarKit::Annotation::Style& style);

// --- Finishing --------------------------------------------------------------------------------

// The whole pixels that crop(image, rect) keeps: `rect` made integral and clipped to the image.
// Nothing when the crop keeps the image as it is (less than one pixel left, the whole image, or
// a rectangle that is not finite). Callers move detections and annotations by its origin.
std::optional<QRect> effectiveCropRect(QSize imageSize, const Support::Rect& rect);
QImage crop(const QImage& image, const Support::Rect& rect);

// Paints the backdrop around the image; style none gives the input image itself. A backdrop
// that cannot be drawn fails rather than being left off: invalidRegion for a padding that is
// negative or not finite, bitmapContextFailed for a canvas wider or taller than 65,536 pixels
// or larger than memory allows.
QImage applyBackdrop(const QImage& image, const Backdrop& backdrop);

// Draws the watermark text in white on a dark box in the bottom-right corner; no watermark or
// an empty text gives the input image itself. Throws bitmapContextFailed.
QImage watermark(const QImage& image, const std::optional<Watermark>& watermark);

// Encodes to PNG or JPEG with fixed settings: the same pixels always give the same bytes, and
// PNGs carry no text chunks. Throws encodingFailed.
Export encode(const QImage& image, const ImageFormat& format);
QString sha256Hex(QByteArrayView bytes);

// --- Delivery ---------------------------------------------------------------------------------

struct FolderDelivery {
    QString path;
    QString sha256Hex;
};

// Writes the export atomically as `folder`/`filename`, replacing a file of that name. Throws
// destinationNotAllowed(folder) when the folder is not allowed, and io when the folder is empty,
// the name is not one path component ("", ".", "..", or containing "/" or NUL) or the write
// fails; nothing is written then.
FolderDelivery writeToFolder(const Export& exported, const QString& filename, const QString& folder,
                             const DestinationSet& allowed);

// Puts the export's bytes on the clipboard under the format's type and returns its hash.
// Throws destinationNotAllowed(clipboard) before touching the clipboard, and io when the
// clipboard did not take the data.
QString copyToClipboard(const Export& exported, const ImageFormat& format, const DestinationSet& allowed,
                        Clipboard& clipboard);

} // namespace ExportKit::Exporter
