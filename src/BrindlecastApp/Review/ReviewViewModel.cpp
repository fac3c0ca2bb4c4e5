#include "BrindlecastApp/Review/ReviewViewModel.h"

#include "BrindlecastApp/Review/FiniteGeometry.h"
#include "DetectionKit/PIIDetector.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

using FiniteGeometry::isFinite;

namespace {

double screenPixelsPerPoint(const std::optional<double>& given) {
    double scale = 2.0;
    if (given) {
        scale = *given;
    } else if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) scale = screen->devicePixelRatio();
    }
    if (!std::isfinite(scale)) scale = 2.0;
    return std::max(scale, 1.0);
}

ReviewViewModel::DetectFunction sharedDetector() {
    return [](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
        return DetectionKit::PIIDetector().detect(image, patterns);
    };
}

} // namespace

ReviewViewModel::ReviewViewModel(QImage image, const std::vector<Detection>& detections,
                                 const PolicyKit::EffectivePolicy& policy, std::optional<QImage> contentImage,
                                 std::function<void()> onMandatoryTamper, Environment environment, QObject* parent)
    : QObject(parent), image_(std::move(image)), allowedDestinations_(destinationsAllowedBy(policy)),
      piiPatterns_(patternInputsOf(policy)), pixelsPerPoint_(screenPixelsPerPoint(environment.screenScale)),
      onMandatoryTamper_(std::move(onMandatoryTamper)), contentImage_(std::move(contentImage)),
      detect_(environment.detect ? std::move(environment.detect) : sharedDetector()),
      currentPolicy_([policy] { return policy; }),
      mandatoryCovered_(DetectionKit::PIIDetector::mandatoryPatterns(piiPatterns_)) {
    for (const Detection& detection : detections) {
        (detection.action() == DetectionKit::PatternAction::blurMandatory ? mandatory_ : suggested_).push_back(detection);
    }
    defaultStrokeWidth_ = widthRule(tool_);
}

ReviewViewModel::~ReviewViewModel() = default;

std::vector<DetectionKit::PatternInput> ReviewViewModel::patternInputsOf(const PolicyKit::EffectivePolicy& policy) {
    std::vector<DetectionKit::PatternInput> inputs;
    inputs.reserve(policy.piiPatterns.size());
    for (const PolicyKit::PIIPattern& pattern : policy.piiPatterns) {
        const auto action = pattern.action == PolicyKit::PIIAction::blurMandatory ? DetectionKit::PatternAction::blurMandatory
                                                                                  : DetectionKit::PatternAction::blurSuggested;
        inputs.push_back({pattern.name, pattern.regex, action});
    }
    return inputs;
}

ExportKit::DestinationSet ReviewViewModel::destinationsAllowedBy(const PolicyKit::EffectivePolicy& policy) {
    ExportKit::DestinationSet kinds;
    for (PolicyKit::ExportDestination destination : policy.allowedExportDestinations) {
        if (auto kind = ExportKit::destinationKindFromRawValue(PolicyKit::rawValue(destination))) kinds.insert(*kind);
    }
    return kinds;
}

const QStringList& ReviewViewModel::colorSwatches() {
    static const QStringList swatches{"#FF3B30", "#FFD60A", "#34C759", "#007AFF", "#AF52DE", "#1C1C1E"};
    return swatches;
}

void ReviewViewModel::setContentImage(QImage image) {
    contentImage_ = std::move(image);
    announce(&ReviewViewModel::backdropChanged);
}

const QImage& ReviewViewModel::activeImage() const {
    if (std::holds_alternative<ExportKit::Backdrop::None>(backdrop_.style) || !contentImage_) return image_;
    return *contentImage_;
}

double ReviewViewModel::widthRule(AnnotationTool tool) const {
    // 0.4 % of the image's height in points, at least 3 points; the highlighter is 3.5 times wider.
    const double base = std::max(image_.height() / pixelsPerPoint_ * 0.004, 3.0);
    const double width = pixelsPerPoint_ * base;
    return tool == AnnotationTool::highlighter ? width * 3.5 : width;
}

// --- Publishing ---------------------------------------------------------------------------------

void ReviewViewModel::announce(void (ReviewViewModel::*signal)()) {
    emit(this->*signal)();
    emit changed();
}

void ReviewViewModel::setCropRect(const std::optional<Rect>& rect) {
    if (rect && !isFinite(*rect)) return;
    store(cropRect_, rect, &ReviewViewModel::cropRectChanged);
}

void ReviewViewModel::setCropRatio(std::optional<double> ratio) {
    if (ratio && !(std::isfinite(*ratio) && *ratio > 0)) ratio.reset();
    store(cropRatio_, ratio, &ReviewViewModel::cropRatioChanged);
}

void ReviewViewModel::setReleasedSuggested(std::set<int> released) {
    std::erase_if(released, [&](int index) { return index < 0 || index >= int(suggested_.size()); });
    store(releasedSuggested_, std::move(released), &ReviewViewModel::releasedSuggestedChanged);
}

void ReviewViewModel::setShowDetectionOutlines(bool show) {
    store(showDetectionOutlines_, show, &ReviewViewModel::showDetectionOutlinesChanged);
}

void ReviewViewModel::setTopChromeHeight(double height) {
    if (!isFinite(height)) return;
    store(topChromeHeight_, height, &ReviewViewModel::topChromeHeightChanged);
}

void ReviewViewModel::setAnnotations(AnnotationList annotations) {
    store(annotations_, std::move(annotations), &ReviewViewModel::annotationsChanged);
}

void ReviewViewModel::setSelectedAnnotationIDs(QSet<QUuid> ids) {
    store(selectedAnnotationIDs_, std::move(ids), &ReviewViewModel::selectedAnnotationIDsChanged);
}

void ReviewViewModel::setBadgeStart(std::optional<std::int64_t> start) {
    store(badgeStart_, start, &ReviewViewModel::badgeStartChanged);
}

void ReviewViewModel::setDefaultStrokeColorHex(const QString& hex) {
    store(defaultStrokeColorHex_, hex, &ReviewViewModel::defaultStrokeColorHexChanged);
}

void ReviewViewModel::setDefaultStrokeWidth(double width) {
    if (!isFinite(width)) return;
    store(defaultStrokeWidth_, width, &ReviewViewModel::defaultStrokeWidthChanged);
}

void ReviewViewModel::setDefaultStrokeOpacity(double opacity) {
    if (!isFinite(opacity)) return;
    store(defaultStrokeOpacity_, opacity, &ReviewViewModel::defaultStrokeOpacityChanged);
}

void ReviewViewModel::setDefaultStrokeOutline(bool on) {
    store(defaultStrokeOutline_, on, &ReviewViewModel::defaultStrokeOutlineChanged);
}

void ReviewViewModel::setDefaultOutlineColorHex(const std::optional<QString>& hex) {
    store(defaultOutlineColorHex_, hex, &ReviewViewModel::defaultOutlineColorHexChanged);
}

void ReviewViewModel::setDefaultStrokeShadow(bool on) {
    store(defaultStrokeShadow_, on, &ReviewViewModel::defaultStrokeShadowChanged);
}

void ReviewViewModel::setDefaultFill(const std::optional<Annotation::Fill>& fill) {
    if (fill && !isFinite(fill->opacity)) return;
    store(defaultFill_, fill, &ReviewViewModel::defaultFillChanged);
}

void ReviewViewModel::setDefaultFontFamily(const std::optional<QString>& family) {
    store(defaultFontFamily_, family, &ReviewViewModel::defaultFontFamilyChanged);
}

void ReviewViewModel::setDefaultTextAlignment(Annotation::TextAlignment alignment) {
    store(defaultTextAlignment_, alignment, &ReviewViewModel::defaultTextAlignmentChanged);
}

void ReviewViewModel::setBackdrop(const ExportKit::Backdrop& backdrop) {
    store(backdrop_, backdrop, &ReviewViewModel::backdropChanged);
}

void ReviewViewModel::setZoom(double zoom) {
    if (!isFinite(zoom)) return;
    store(zoom_, zoom, &ReviewViewModel::zoomChanged);
}

void ReviewViewModel::setFitScale(double scale) {
    if (!isFinite(scale)) return;
    store(fitScale_, scale, &ReviewViewModel::fitScaleChanged);
}

void ReviewViewModel::setCropDraft(const std::optional<Rect>& draft) {
    if (draft && !isFinite(*draft)) return;
    store(cropDraft_, draft, &ReviewViewModel::cropDraftChanged);
}

void ReviewViewModel::setDefaultLineDashed(bool on) {
    store(defaultLineDashed_, on, &ReviewViewModel::defaultLineDashedChanged);
}

// --- Tools --------------------------------------------------------------------------------------

void ReviewViewModel::setTool(AnnotationTool tool) {
    const AnnotationTool old = tool_;
    store(tool_, tool, &ReviewViewModel::toolChanged);

    const auto remembered = toolWidths_.find(tool);
    setDefaultStrokeWidth(remembered != toolWidths_.end() ? remembered->second : widthRule(tool));

    if (tool == AnnotationTool::crop && old != AnnotationTool::crop) beginCropDraft();

    // The highlighter keeps a colour of its own; every other tool shares one.
    if (old == AnnotationTool::highlighter && tool != AnnotationTool::highlighter) {
        highlighterColorHex_ = defaultStrokeColorHex_;
        setDefaultStrokeColorHex(globalColorHex_);
    } else if (old == AnnotationTool::crop && tool != AnnotationTool::crop) {
        setCropDraft(std::nullopt);
    }
    if (tool == AnnotationTool::highlighter && old != AnnotationTool::highlighter) {
        globalColorHex_ = defaultStrokeColorHex_;
        setDefaultStrokeColorHex(highlighterColorHex_);
    }
}

void ReviewViewModel::setStrokeWidth(double width) {
    if (!isFinite(width)) return;
    setDefaultStrokeWidth(width);
    toolWidths_[tool_] = width;
    updateSelectedStyle(std::nullopt, width, std::nullopt);
}

// --- Selection ----------------------------------------------------------------------------------

std::optional<QUuid> ReviewViewModel::selectedAnnotationID() const {
    if (selectedAnnotationIDs_.size() != 1) return std::nullopt;
    return *selectedAnnotationIDs_.begin();
}

void ReviewViewModel::setSelectedAnnotationID(const std::optional<QUuid>& id) {
    setSelectedAnnotationIDs(id ? QSet<QUuid>{*id} : QSet<QUuid>{});
}

const SidecarKit::Annotation* ReviewViewModel::find(const QUuid& id) const {
    const auto it = std::find_if(annotations_.begin(), annotations_.end(), [&](const Annotation& a) { return a.id == id; });
    return it == annotations_.end() ? nullptr : &*it;
}

std::optional<std::size_t> ReviewViewModel::singleSelectionIndex() const {
    const auto id = selectedAnnotationID();
    if (!id) return std::nullopt;
    const Annotation* annotation = find(*id);
    if (!annotation) return std::nullopt;
    return std::size_t(annotation - annotations_.data());
}

std::optional<SidecarKit::Annotation> ReviewViewModel::selectedAnnotation() const {
    const auto index = singleSelectionIndex();
    if (!index) return std::nullopt;
    return annotations_[*index];
}

std::vector<std::size_t> ReviewViewModel::selectedIndexes() const {
    // The first annotation with each selected id, as everywhere else.
    std::vector<std::size_t> indexes;
    for (const QUuid& id : selectedAnnotationIDs_) {
        if (const Annotation* annotation = find(id)) indexes.push_back(std::size_t(annotation - annotations_.data()));
    }
    std::sort(indexes.begin(), indexes.end());
    return indexes;
}

} // namespace BrindlecastApp
