#pragma once

#include "BrindlecastApp/Review/CanvasGeometry.h"
#include "BrindlecastApp/Review/CanvasRenderer.h"
#include "BrindlecastApp/Review/CropHandle.h"
#include "BrindlecastApp/Review/ResizeHandle.h"
#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <QImage>
#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace ExportKit {
class Clipboard;
}

namespace BrindlecastApp {

class EditorTextField;
class ReviewViewModel;

// The gesture one mouse press carries to its release. Points are image pixels unless said.
struct CanvasDrag {
    struct None {};
    struct Create {
        Support::Point start, current;
    };
    struct Freeform {
        std::vector<Support::Point> points;
    };
    struct Move {
        QUuid id;
        Support::Point last;
    };
    struct Resize {
        ResizeHandle handle;
    };
    // `center` in image pixels; `startAngle` in view coordinates; `startRotation` is the
    // annotation's rotation at the press.
    struct Rotate {
        Support::Point center;
        double startAngle = 0;
        double startRotation = 0;
    };
    struct Pan {
        QPointF last; // view points
    };
    struct Crop {
        CropHandle handle;
        Support::Point last;
    };
    struct Marquee {
        Support::Point start, current;
    };
    using Value = std::variant<None, Create, Freeform, Move, Resize, Rotate, Pan, Crop, Marquee>;
};

// The annotation canvas: one widget that shows a review model (Parts of it drawn by
// CanvasRenderer) and turns the mouse and keyboard into edits of it. Image pixels (top-left
// origin) are the model's space, view points the widget's; the fitted image rectangle converts
// between them. Control stands in for the Command key of the design: held, any tool selects.
class ReviewCanvasView : public QWidget {
    Q_OBJECT
public:
    // What the canvas reaches outside itself for the copy-text tool; the defaults are the real
    // text recogniser and the desktop's clipboard.
    struct Services {
        // Reads the text in `region` of `image` with `excluded` censored first; may throw, which
        // counts as no text. Runs on a worker thread.
        std::function<QString(const QImage& image, const Support::Rect& region, const std::vector<Support::Rect>& excluded)>
            extractText;
        std::shared_ptr<ExportKit::Clipboard> clipboard;
    };

    explicit ReviewCanvasView(ReviewViewModel& model, QWidget* parent = nullptr);
    ReviewCanvasView(ReviewViewModel& model, Services services, QWidget* parent = nullptr);
    ~ReviewCanvasView() override;

    ReviewViewModel& viewModel() const { return *model_; }

    // The colour of the whole background; nothing paints no mat, so whatever lies behind shows.
    const std::optional<QColor>& matColor() const { return matColor_; }
    void setMatColor(const std::optional<QColor>& color);

    // --- Geometry ------------------------------------------------------------------------------
    Support::Rect fitRect() const;
    CanvasGeometry::ImageViewMapping mapping() const;
    Support::Point toView(const Support::Point& imagePoint) const;
    Support::Rect toView(const Support::Rect& imageRect) const;
    Support::Point toImage(const Support::Point& viewPoint) const;
    Support::Point pan() const { return pan_; }
    // Moves a zoomed-in image by `delta` view points; nothing when not zoomed in.
    void panBy(const Support::Point& delta);

    const CanvasDrag::Value& drag() const { return drag_; }

    // --- Text editing --------------------------------------------------------------------------
    // Opens the single-line editor at `originImage` with `string`, its text `fontSize` image
    // pixels high. `editing` is the text annotation being changed; it stays in the model (not
    // drawn) until the edit is committed.
    void openTextEditor(const Support::Point& originImage, const QString& string, double fontSize,
                        const std::optional<SidecarKit::Annotation>& editing);
    // Writes the open editor's text into the model (nothing when none is open). Anything that reads
    // the annotations (copy, export, closing) calls this first.
    void commitTextEditing();
    // Closes the editor and leaves the model as it was.
    void cancelTextEditing();
    EditorTextField* textEditor() const { return textEditor_; }
    std::optional<QUuid> editedAnnotationID() const;

    // The light-or-dark average of the 48 x 48 pixels about an image point, 0 to 1 (1 outside).
    double backgroundLuminance(const Support::Point& imagePoint) const;

    // --- Copy text -----------------------------------------------------------------------------
    // Recognises the text of `rect` (image pixels) with every area that an export hides censored,
    // and puts it on the clipboard when the policy allows the clipboard; shows the outcome as a
    // chip over the rectangle. The policy is the model's current one, asked before the text is
    // read and again before it is written; what it makes mandatory is detected first. The
    // recognition runs on a worker; `copyTextFinished` follows.
    void copyText(const Support::Rect& rect);
    const std::optional<CanvasRenderer::CopyFlash>& copyFlash() const { return copyFlash_; }
    // Shows `message` over `rect` (image pixels) for 1.2 seconds.
    void flash(const QString& message, const Support::Rect& rect);

    // Opens an empty text editor near the top of the image once the canvas is shown: on by
    // default when the process was started with "--preview-text-chip".
    void setOpensTextEditorWhenShown(bool opens) { opensTextEditorWhenShown_ = opens; }

    CanvasRenderer& renderer() { return renderer_; }

    // Cards that float over the canvas (siblings above it that are ShadowCasters): the canvas
    // paints their shadows, as a widget cannot paint beyond its own bounds.
    void setFloatingCards(const QList<QWidget*>& cards);

    static inline const QString kCopied = QStringLiteral("Copied");
    static inline const QString kNoTextFound = QStringLiteral("No text found");
    static inline const QString kCopyFailed = QStringLiteral("Copy failed");
    static inline const QString kClipboardNotAllowed = QStringLiteral("Managed by your organization");
    // Shown over a second area dragged while the first is still being read.
    static inline const QString kStillCopying = QStringLiteral("Still reading the last area");

signals:
    void copyTextFinished(const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class CanvasTestAccess;

    void modelChanged();
    // Hands the fit scale of the canvas as it is to the model, one turn later.
    void publishFitScale();
    void updateCursor();
    void setCommandHeld(bool held);
    void pressAt(const QPointF& p, Qt::KeyboardModifiers modifiers, int clickCount);
    void dragTo(const QPointF& p);
    void releaseAt(const QPointF& p);
    void openForEditing(const SidecarKit::Annotation& text);
    void closeTextEditor();
    bool handleKey(QKeyEvent* event);
    SidecarKit::Annotation::Style defaultStyle() const;
    SidecarKit::Annotation::Style textStyle() const;
    std::optional<SidecarKit::Annotation> preview() const;
    void finishCopy(const QString& text, bool failed, const Support::Rect& rect);
    void showCopyOutcome(const QString& message, const Support::Rect& rect);

    QPointer<ReviewViewModel> model_;
    Services services_;
    bool opensTextEditorWhenShown_ = false;
    std::optional<QColor> matColor_ = QColor::fromRgbF(0.11f, 0.11f, 0.11f, 1.0f);
    CanvasDrag::Value drag_ = CanvasDrag::None{};
    bool commandHeld_ = false;
    Support::Point pan_{0, 0};
    std::optional<CanvasRenderer::CopyFlash> copyFlash_;
    bool copying_ = false;
    bool fitScalePending_ = false;

    EditorTextField* textEditor_ = nullptr;
    std::optional<Support::Point> textEditorOrigin_;
    std::optional<SidecarKit::Annotation> editingTextAnnotation_;
    std::optional<double> textEditorFontSize_;

    CanvasRenderer renderer_;
    QList<QPointer<QWidget>> floatingCards_;
    QImage frame_; // painted at 72 dots per inch, then shown
    qint64 tracedImage_ = 0; // the image whose findings were last traced as shown
};

} // namespace BrindlecastApp
