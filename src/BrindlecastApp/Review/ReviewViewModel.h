#pragma once

#include "BrindlecastApp/Review/AnnotationTool.h"
#include "BrindlecastApp/Review/ResizeHandle.h"
#include "BrindlecastApp/Review/ReviewDecision.h"
#include "DetectionKit/Detection.h"
#include "DetectionKit/PIIDetector.h"
#include "ExportKit/ExportTypes.h"
#include "PolicyKit/EffectivePolicy.h"
#include "SidecarKit/Annotation.h"
#include "Support/Geometry.h"

#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace BrindlecastApp {

// Everything about one review or edit of one capture: the image, the personal-data detections
// (mandatory and suggested), the user's annotations, the current tool and the style new
// annotations take, the selection, the crop, the zoom, the backdrop and the undo history.
//
// Every published property has a getter, a setter and a signal of its own; the signal fires after
// the new value is stored, once for each write that changes the value, and is followed by
// `changed()`, which views that redraw from the whole model listen to. The model writes no file,
// records no audit event and shows nothing. GUI thread only; detection runs on a worker.
class ReviewViewModel : public QObject {
    Q_OBJECT

public:
    using Annotation = SidecarKit::Annotation;
    using Detection = DetectionKit::Detection;
    using Point = Support::Point;
    using Rect = Support::Rect;
    using AnnotationList = std::vector<Annotation>;

    // Finds personal data in an image with the policy's patterns. Runs on a worker thread and may
    // throw, which counts as nothing found. A plain list of detections converts to a result in
    // which every pattern finished.
    using DetectFunction =
        std::function<DetectionKit::DetectionResult(const QImage&, const std::vector<DetectionKit::PatternInput>&)>;
    // Told of the patterns a detection run could not finish on some lines.
    using UnfinishedPatternsHandler = std::function<void(const std::vector<DetectionKit::UnfinishedPattern>&)>;

    // What the model takes from its surroundings; the defaults are the real ones.
    struct Environment {
        // Device pixels per point of the screen; the primary screen's ratio when absent (2 with
        // no screen at all).
        std::optional<double> screenScale;
        // The shared personal-data detector when empty.
        DetectFunction detect;
    };

    // Bounds of the size slider of the style inspector.
    struct SizeRange {
        double lowerBound = 1;
        double upperBound = 48;
        friend bool operator==(const SizeRange&, const SizeRange&) = default;
    };

    ReviewViewModel(QImage image, const std::vector<Detection>& detections, const PolicyKit::EffectivePolicy& policy,
                    std::optional<QImage> contentImage, std::function<void()> onMandatoryTamper,
                    Environment environment = {}, QObject* parent = nullptr);
    ~ReviewViewModel() override;

    // The palette behind the canvas's number keys 1 to 6.
    static const QStringList& colorSwatches();

    // --- Fixed at construction ------------------------------------------------------------------
    const QImage& image() const { return image_; }
    // The desktop-less companion; one prepared after the editor opened arrives by setContentImage.
    const std::optional<QImage>& contentImage() const { return contentImage_; }
    // Announced as a backdrop change: under a backdrop the canvas shows it from now on.
    void setContentImage(QImage image);
    const ExportKit::DestinationSet& allowedDestinations() const { return allowedDestinations_; }
    const std::vector<DetectionKit::PatternInput>& piiPatterns() const { return piiPatterns_; }
    double pixelsPerPoint() const { return pixelsPerPoint_; }

    // The clipboard and folder destinations `policy` allows (an upload endpoint has no delivery).
    static ExportKit::DestinationSet destinationsAllowedBy(const PolicyKit::EffectivePolicy& policy);
    // The policy's patterns as detection takes them, in order, with the same name, expression and action.
    static std::vector<DetectionKit::PatternInput> patternInputsOf(const PolicyKit::EffectivePolicy& policy);

    // The image shown and exported: the desktop-less variant under a backdrop when there is one.
    // Only the backdrop's style decides, not its padding or corner radius.
    const QImage& activeImage() const;

    // --- Detections (changed only by runDetectPII; announced by detectionsChanged) ---------------
    const std::vector<Detection>& mandatory() const { return mandatory_; }
    const std::vector<Detection>& suggested() const { return suggested_; }

    // --- Plain state -----------------------------------------------------------------------------
    const QString& highlighterColorHex() const { return highlighterColorHex_; }
    const QString& globalColorHex() const { return globalColorHex_; }
    // The width last chosen for each tool, in image pixels.
    const std::map<AnnotationTool, double>& toolWidths() const { return toolWidths_; }
    bool tamperReported() const { return tamperReported_; }

    // Set by the review window; called with the user's decision.
    const std::function<void(const ReviewDecision&)>& finish() const { return finish_; }
    void setFinish(std::function<void(const ReviewDecision&)> finish) { finish_ = std::move(finish); }
    // Set by the editor's creator; the canvas calls it to delete the screenshot (true = ask first).
    const std::function<void(bool)>& onDeleteImage() const { return onDeleteImage_; }
    void setOnDeleteImage(std::function<void(bool)> onDeleteImage) { onDeleteImage_ = std::move(onDeleteImage); }
    // Set by the model's owner, who tells the user: called on the GUI thread after a runDetectPII
    // run whose detector could not finish some lines, once their findings are in and the exports
    // that waited for them went. The handler must not destroy the model (defer what may).
    void setOnUnfinishedPatterns(UnfinishedPatternsHandler handler) { onUnfinishedPatterns_ = std::move(handler); }

    // --- Published properties -------------------------------------------------------------------
    // Writes of a number or rectangle that is not finite are ignored: the value stays as it was.

    // The committed crop in image pixels; absent = the whole image. Commit through setCrop.
    const std::optional<Rect>& cropRect() const { return cropRect_; }
    void setCropRect(const std::optional<Rect>& rect);
    // The locked width/height ratio of the crop draft; absent = free. A ratio that is not a
    // positive finite number is stored as free.
    std::optional<double> cropRatio() const { return cropRatio_; }
    void setCropRatio(std::optional<double> ratio);
    // Indexes into suggested() whose redaction the user released; other indexes are dropped.
    const std::set<int>& releasedSuggested() const { return releasedSuggested_; }
    void setReleasedSuggested(std::set<int> released);
    bool showDetectionOutlines() const { return showDetectionOutlines_; }
    void setShowDetectionOutlines(bool show);
    // Height in points of the chrome laid over the top of the canvas.
    double topChromeHeight() const { return topChromeHeight_; }
    void setTopChromeHeight(double height);
    // The user's annotations in drawing order. The creator may put seed annotations here.
    const AnnotationList& annotations() const { return annotations_; }
    void setAnnotations(AnnotationList annotations);
    const QSet<QUuid>& selectedAnnotationIDs() const { return selectedAnnotationIDs_; }
    void setSelectedAnnotationIDs(QSet<QUuid> ids);
    // Every assignment, also of the current tool, runs the tool-change rule (widths, the
    // highlighter's own colour, the crop draft).
    AnnotationTool tool() const { return tool_; }
    void setTool(AnnotationTool tool);
    // The number the next badge must take; absent = one more than the largest present.
    std::optional<std::int64_t> badgeStart() const { return badgeStart_; }
    void setBadgeStart(std::optional<std::int64_t> start);
    // How redactions look on the canvas and in the export; written through setRedactionStyle.
    Annotation::RedactionStyle redactionStyle() const { return redactionStyle_; }
    const QString& defaultStrokeColorHex() const { return defaultStrokeColorHex_; }
    void setDefaultStrokeColorHex(const QString& hex);
    // Stroke width of new annotations in image pixels; setStrokeWidth also remembers it per tool.
    double defaultStrokeWidth() const { return defaultStrokeWidth_; }
    void setDefaultStrokeWidth(double width);
    double defaultStrokeOpacity() const { return defaultStrokeOpacity_; }
    void setDefaultStrokeOpacity(double opacity);
    bool defaultStrokeOutline() const { return defaultStrokeOutline_; }
    void setDefaultStrokeOutline(bool on);
    // Absent = the automatic contrast colour.
    const std::optional<QString>& defaultOutlineColorHex() const { return defaultOutlineColorHex_; }
    void setDefaultOutlineColorHex(const std::optional<QString>& hex);
    bool defaultStrokeShadow() const { return defaultStrokeShadow_; }
    void setDefaultStrokeShadow(bool on);
    // Fill of new boxes and ellipses; absent = outline only.
    const std::optional<Annotation::Fill>& defaultFill() const { return defaultFill_; }
    void setDefaultFill(const std::optional<Annotation::Fill>& fill);
    const std::optional<QString>& defaultFontFamily() const { return defaultFontFamily_; }
    void setDefaultFontFamily(const std::optional<QString>& family);
    Annotation::TextAlignment defaultTextAlignment() const { return defaultTextAlignment_; }
    void setDefaultTextAlignment(Annotation::TextAlignment alignment);
    const ExportKit::Backdrop& backdrop() const { return backdrop_; }
    void setBackdrop(const ExportKit::Backdrop& backdrop);
    // Magnification over fitScale; setDisplayScale keeps it within 0.25...4.
    double zoom() const { return zoom_; }
    void setZoom(double zoom);
    // Points per image pixel at which the whole image fits the canvas; written by the canvas.
    double fitScale() const { return fitScale_; }
    void setFitScale(double scale);
    // The crop being edited; present only while the crop tool is active.
    const std::optional<Rect>& cropDraft() const { return cropDraft_; }
    void setCropDraft(const std::optional<Rect>& draft);
    // Earlier and undone annotation lists, newest last; changed only by the history operations.
    const std::vector<AnnotationList>& undoStack() const { return undoStack_; }
    const std::vector<AnnotationList>& redoStack() const { return redoStack_; }
    bool defaultLineDashed() const { return defaultLineDashed_; }
    void setDefaultLineDashed(bool on);

    // --- Selection -------------------------------------------------------------------------------
    // The one selected annotation's id; absent unless exactly one is selected. Setting an id
    // selects it alone, setting nothing empties the selection.
    std::optional<QUuid> selectedAnnotationID() const;
    void setSelectedAnnotationID(const std::optional<QUuid>& id);
    // The single selection itself, when it is in the list.
    std::optional<Annotation> selectedAnnotation() const;

    // Queries on the single selection; nothing (or false) for none or another kind.
    bool selectedIsText() const;
    std::optional<QString> selectedTextFontFamily() const;
    std::optional<Annotation::TextAlignment> selectedTextAlignment() const;
    std::optional<bool> selectedLineDashed() const;
    std::optional<Annotation::RedactionStyle> selectedRedactionStyle() const;
    // The style of a selected arrow, box, ellipse, text, freeform, line or badge.
    std::optional<Annotation::Style> selectedStyle() const;
    // 8...max(image height x 0.2, 64) for a selected text, else 1...48.
    SizeRange selectedSizeRange() const;

    // --- Editing ---------------------------------------------------------------------------------
    // Operations on a missing id, an empty selection or an unsuitable kind change nothing.
    // Annotations of unknown kinds are only ever deleted, never changed.

    // Adds an annotation on top (z-index = the count before) and selects it alone, after a snapshot.
    // Geometry that is not finite is refused (null id returned), so it never reaches a save.
    QUuid addAnnotation(Annotation::Kind kind);
    // Removes every selected annotation after a snapshot; nothing selected: nothing happens.
    void deleteSelectedAnnotation();
    // Moves without clamping to the image; a move that is not finite is ignored. No snapshot.
    void moveSelected(double dx, double dy);
    void moveAnnotation(const QUuid& id, double dx, double dy);
    // Drags a grip of the single selection to `point` (image pixels). No snapshot.
    void resizeSelected(ResizeHandle handle, const Point& point);
    // Turns a selected box, ellipse, text or blur to `radians` (clockwise). No snapshot.
    void rotateSelected(double radians);
    // Replaces the given style fields of every selected annotation that has a style.
    void updateSelectedStyle(const std::optional<QString>& colorHex, std::optional<double> lineWidth,
                             std::optional<double> opacity);
    // A selected box or ellipse takes the fill (absent = outline only).
    void updateSelectedFill(const std::optional<Annotation::Fill>& fill);
    // A selected text takes the alignment when given, and the font family when the outer optional
    // is present (an inner nothing clears the family).
    void updateSelectedText(const std::optional<std::optional<QString>>& fontFamily,
                            std::optional<Annotation::TextAlignment> alignment);
    // Each sets the default, then the same field of every selected annotation with a style.
    void setOutline(bool on);
    void setShadow(bool on);
    void setOutlineColor(const std::optional<QString>& hex);
    // Sets the default; a selected line takes it.
    void setLineDashed(bool on);
    // Sets the redaction look; a selected blur takes it, after a snapshot.
    void setRedactionStyle(Annotation::RedactionStyle style);
    // The stroke width for the current tool: the default, the tool's remembered width and every
    // selected annotation's style. A width that is not finite is ignored.
    void setStrokeWidth(double width);
    // The number for the next badge.
    std::int64_t nextBadgeNumber() const;

    // --- History ---------------------------------------------------------------------------------
    // Whole copies of the annotation list; the selection, crop, released redactions, defaults
    // and backdrop are not part of it.
    void snapshotForUndo();
    void undo();
    void redo();

    // --- Redactions ------------------------------------------------------------------------------
    // What an export burns in: every mandatory detection, then the suggested ones not released.
    std::vector<Detection> detectionsToRedact() const;
    void toggleSuggested(int index);
    void toggleAllSuggested();
    // Runs detection again on a worker and adds what is new (by box and matched text). A request
    // while a run is in flight is ignored; a failed run changes nothing.
    void runDetectPII();
    bool isDetectingPII() const { return detectingPII_; }
    // Runs `then` on the GUI thread once no detection run is in flight: at once when none is, else
    // after the run's detections are in. Exports go through here, so nothing leaves without them.
    // Dropped with the model.
    void whenDetectionsSettled(std::function<void()> then);
    // The policy as it stands at this moment, asked before anything leaves: the organisation may
    // have changed it since the model was made. Set by the model's owner; without one, the policy
    // the model was made with.
    PolicyKit::EffectivePolicy currentPolicy() const;
    void setCurrentPolicySource(std::function<PolicyKit::EffectivePolicy()> source);
    // True when the detections were looked for with every pattern `policy` makes mandatory.
    bool detectionsCover(const PolicyKit::EffectivePolicy& policy) const;
    // Runs `then` on the GUI thread once no detection run is in flight and the detections cover
    // `policy`: when it makes a pattern mandatory that they were not looked for with, detection
    // runs again first, on a worker, with the policy's patterns, and its findings join the model.
    // `then` gets false when that run failed: what it would have found is unknown, so nothing
    // may leave. Dropped with the model.
    void whenDetectionsCover(const PolicyKit::EffectivePolicy& policy, std::function<void(bool covered)> then);
    // Calls onMandatoryTamper on the first call only.
    void reportMandatoryTamper();

    // --- Crop and display scale ------------------------------------------------------------------
    // Stores the ratio; with a ratio and a draft, the draft shrinks to it about its centre.
    void setCropDraftRatio(std::optional<double> ratio);
    // Drops the draft and goes back to the select tool; the committed crop stays.
    void cancelCropDraft();
    // Commits the draft (a draft within 2 pixels of the whole image means no crop), then goes
    // back to the select tool.
    void applyCropDraft();
    // Commits the part of `rect` inside the image when it is more than 4 pixels each way,
    // otherwise no crop.
    void setCrop(const Rect& rect);
    // Zooms so that the image shows at `scale` points per pixel, within 0.25...4 x fitScale.
    void setDisplayScale(double scale);

    // The stroke width new annotations of `tool` start with, in image pixels.
    double widthRule(AnnotationTool tool) const;

signals:
    // One per published property, after the value is stored.
    void cropRectChanged();
    void cropRatioChanged();
    void releasedSuggestedChanged();
    void showDetectionOutlinesChanged();
    void topChromeHeightChanged();
    void annotationsChanged();
    void selectedAnnotationIDsChanged();
    void toolChanged();
    void badgeStartChanged();
    void redactionStyleChanged();
    void defaultStrokeColorHexChanged();
    void defaultStrokeWidthChanged();
    void defaultStrokeOpacityChanged();
    void defaultStrokeOutlineChanged();
    void defaultOutlineColorHexChanged();
    void defaultStrokeShadowChanged();
    void defaultFillChanged();
    void defaultFontFamilyChanged();
    void defaultTextAlignmentChanged();
    void backdropChanged();
    void zoomChanged();
    void fitScaleChanged();
    void cropDraftChanged();
    void undoStackChanged();
    void redoStackChanged();
    void defaultLineDashedChanged();
    // mandatory() or suggested() gained detections.
    void detectionsChanged();
    void detectingPIIChanged();
    // After every one of the signals above.
    void changed();

private:
    template <typename T>
    void store(T& field, T value, void (ReviewViewModel::*signal)());
    void announce(void (ReviewViewModel::*signal)());

    const Annotation* find(const QUuid& id) const;
    std::optional<std::size_t> singleSelectionIndex() const;
    // Applies `edit` to each listed annotation that is not of an unknown kind; stores the list
    // once when anything changed.
    void editAnnotations(const std::vector<std::size_t>& indexes, const std::function<void(Annotation::Kind&)>& edit);
    std::vector<std::size_t> selectedIndexes() const;
    void replaceAnnotationsFromHistory(AnnotationList annotations);
    void beginCropDraft();
    std::vector<Detection> detectionsPresent() const;
    void mergeDetections(const std::vector<Detection>& found);
    // One detection run over the image with `patterns`; a failed run changes nothing.
    void startDetection(std::vector<DetectionKit::PatternInput> patterns);
    void setDetectingPII(bool detecting);

    QImage image_;
    std::vector<Detection> mandatory_;
    std::vector<Detection> suggested_;
    ExportKit::DestinationSet allowedDestinations_;
    std::vector<DetectionKit::PatternInput> piiPatterns_;
    std::optional<Rect> cropRect_;
    std::optional<double> cropRatio_;
    std::set<int> releasedSuggested_;
    bool showDetectionOutlines_ = true;
    double topChromeHeight_ = 68;
    AnnotationList annotations_;
    QSet<QUuid> selectedAnnotationIDs_;
    AnnotationTool tool_ = AnnotationTool::select;
    QString highlighterColorHex_ = QStringLiteral("#FFD60A");
    QString globalColorHex_ = QStringLiteral("#FF3B30");
    double pixelsPerPoint_ = 2;
    std::optional<std::int64_t> badgeStart_;
    Annotation::RedactionStyle redactionStyle_ = Annotation::RedactionStyle::scramble;
    std::map<AnnotationTool, double> toolWidths_;
    QString defaultStrokeColorHex_ = QStringLiteral("#FF3B30");
    double defaultStrokeWidth_ = 0;
    double defaultStrokeOpacity_ = 1;
    bool defaultStrokeOutline_ = false;
    std::optional<QString> defaultOutlineColorHex_;
    bool defaultStrokeShadow_ = false;
    std::optional<Annotation::Fill> defaultFill_;
    std::optional<QString> defaultFontFamily_;
    Annotation::TextAlignment defaultTextAlignment_ = Annotation::TextAlignment::left;
    ExportKit::Backdrop backdrop_ = ExportKit::Backdrop::none();
    double zoom_ = 1;
    double fitScale_ = 1;
    std::function<void(const ReviewDecision&)> finish_;
    std::function<void(bool)> onDeleteImage_;
    UnfinishedPatternsHandler onUnfinishedPatterns_;
    std::function<void()> onMandatoryTamper_;
    bool tamperReported_ = false;
    std::optional<QImage> contentImage_;
    std::optional<Rect> cropDraft_;
    std::vector<AnnotationList> undoStack_;
    std::vector<AnnotationList> redoStack_;
    bool defaultLineDashed_ = false;

    DetectFunction detect_;
    std::function<PolicyKit::EffectivePolicy()> currentPolicy_;
    // The mandatory patterns the detections were looked for with: the opening policy's, and
    // those of every later run that finished.
    DetectionKit::PIIDetector::MandatoryPatterns mandatoryCovered_;
    bool detectingPII_ = false;
    std::vector<std::function<void()>> settledWaiters_;
};

template <typename T>
void ReviewViewModel::store(T& field, T value, void (ReviewViewModel::*signal)()) {
    if (field == value) return;
    field = std::move(value);
    announce(signal);
}

} // namespace BrindlecastApp
