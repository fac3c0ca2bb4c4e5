#pragma once

#include "BrindlecastApp/Review/AnnotationSprites.h"
#include "BrindlecastApp/Review/CanvasGeometry.h"
#include "BrindlecastApp/Review/RedactionCells.h"
#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QUuid>

#include <optional>

class QPainter;

namespace BrindlecastApp {

class ReviewViewModel;

// Paints the review canvas from its model: the mat, the backdrop, the capture as a card, the
// crop draft's chrome, every detection hidden with the export's own textures, the annotations
// drawn by the export's own drawing (only scaled to the screen), the gesture's preview, the
// selection and the chip of a copy. Keeps between frames what is costly to make again: the image
// scaled to the screen, the card's shadow, the redaction textures and each annotation as drawn.
//
// The painter must be on a 72 dpi device (a point is then a pixel, as on the export's bitmaps),
// in view points.
class CanvasRenderer {
public:
    struct CopyFlash {
        QRectF rect; // view points
        QString message;
    };

    // What the view adds to the model for one frame.
    struct Scene {
        QRectF bounds;
        std::optional<QColor> mat;
        Support::Point pan;
        double devicePixelRatio = 1;
        QColor accent = QColor(0, 122, 255);
        // The gesture in progress: an annotation being drawn, the dashed rectangle of the
        // rectangular-select and copy-text tools, or the rubber band of a selection.
        std::optional<SidecarKit::Annotation> preview;
        std::optional<Support::Rect> selectRectangle;
        std::optional<Support::Rect> marquee;
        // An annotation under the text editor, not drawn while it is edited.
        std::optional<QUuid> hidden;
        std::optional<CopyFlash> flash;
    };

    void paint(QPainter& painter, const ReviewViewModel& model, const Scene& scene);

    RedactionCells& cells() { return cells_; }
    AnnotationSprites& sprites() { return sprites_; }
    // Drops everything kept between frames (the next frame makes it all again).
    void clearCaches();

    // Colours the canvas uses beyond the tokens, as the desktop the design comes from has them.
    static QColor systemRed();
    static QColor systemOrange();

    // The lock badge of a mandatory redaction shown at `box` (view points): its circle, or
    // nothing when the box is too narrow for one.
    static std::optional<QRectF> lockBadgeCircle(const QRectF& box);
    // The chip of a copy over `rect` (view points) for `message`.
    static QRectF copyFlashChip(const QRectF& rect, const QString& message);

private:
    // `shown` is the part of the image that leaves (the crop, or all of it), in view points.
    void drawBackdrop(QPainter& painter, const ReviewViewModel& model, const QRectF& shown, double s);
    void drawCard(QPainter& painter, const QRectF& shown, double radius, const Scene& scene);
    // The whole image at `fr`, its corners rounded at the edges of `shown`.
    void drawImage(QPainter& painter, const QImage& image, const QRectF& fr, const QRectF& shown, double radius,
                   double devicePixelRatio);
    void drawRedaction(QPainter& painter, const Support::Rect& imageRect, SidecarKit::Annotation::RedactionStyle style,
                       double rotation, const CanvasGeometry::ImageViewMapping& mapping, double imageHeight,
                       double devicePixelRatio);
    void drawAnnotation(QPainter& painter, const SidecarKit::Annotation& annotation,
                        const CanvasGeometry::ImageViewMapping& mapping, double imageHeight, double devicePixelRatio);
    static void drawCropChrome(QPainter& painter, const QRectF& fr, const QRectF& draft, const QColor& accent);
    static void drawLockBadge(QPainter& painter, const QRectF& box);
    static void drawSelection(QPainter& painter, const ReviewViewModel& model,
                              const CanvasGeometry::ImageViewMapping& mapping, const QColor& accent);
    static void drawCopyFlash(QPainter& painter, const CopyFlash& flash);

    RedactionCells cells_;
    AnnotationSprites sprites_;
    struct ScaledImage {
        qint64 cacheKey = 0;
        QSize deviceSize;
        QImage image;
    } scaled_;
    struct CardShadow {
        QSizeF size;
        double radius = -1;
        double alpha = -1;
        double devicePixelRatio = 0;
        QImage image;
        QPointF offset;
    } shadow_;
};

} // namespace BrindlecastApp
