// The editing operations of ReviewViewModel: selection queries, adding, moving, resizing,
// rotating, restyling and deleting annotations, badge numbers and the undo history.

#include "BrindlecastApp/Review/FiniteGeometry.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace BrindlecastApp {

using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;
using FiniteGeometry::isFinite;

namespace {

// The style of the kinds that have one: every kind but blur and unknown.
Annotation::Style* styleOf(Annotation::Kind& kind) {
    if (auto* k = std::get_if<Annotation::Arrow>(&kind)) return &k->style;
    if (auto* k = std::get_if<Annotation::Box>(&kind)) return &k->style;
    if (auto* k = std::get_if<Annotation::Ellipse>(&kind)) return &k->style;
    if (auto* k = std::get_if<Annotation::Text>(&kind)) return &k->style;
    if (auto* k = std::get_if<Annotation::Freeform>(&kind)) return &k->style;
    if (auto* k = std::get_if<Annotation::Line>(&kind)) return &k->style;
    if (auto* k = std::get_if<Annotation::Badge>(&kind)) return &k->style;
    return nullptr;
}

const Annotation::Style* styleOf(const Annotation::Kind& kind) { return styleOf(const_cast<Annotation::Kind&>(kind)); }

// The rotation of the kinds that turn.
double* rotationOf(Annotation::Kind& kind) {
    if (auto* k = std::get_if<Annotation::Box>(&kind)) return &k->rotation;
    if (auto* k = std::get_if<Annotation::Ellipse>(&kind)) return &k->rotation;
    if (auto* k = std::get_if<Annotation::Text>(&kind)) return &k->rotation;
    if (auto* k = std::get_if<Annotation::Blur>(&kind)) return &k->rotation;
    return nullptr;
}

Rect* rectOf(Annotation::Kind& kind) {
    if (auto* k = std::get_if<Annotation::Box>(&kind)) return &k->rect;
    if (auto* k = std::get_if<Annotation::Ellipse>(&kind)) return &k->rect;
    if (auto* k = std::get_if<Annotation::Blur>(&kind)) return &k->rect;
    return nullptr;
}

// The rectangle spanned by `point` and the corner opposite `handle`; dragging past that corner
// flips the rectangle. The rotation is not taken into account.
Rect draggedCorner(const Rect& rect, ResizeHandle handle, const Point& point) {
    const double x0 = rect.minX(), y0 = rect.minY(), x1 = rect.maxX(), y1 = rect.maxY();
    Point kept;
    switch (handle) {
    case ResizeHandle::topLeft: kept = {x1, y1}; break;
    case ResizeHandle::topRight: kept = {x0, y1}; break;
    case ResizeHandle::bottomLeft: kept = {x1, y0}; break;
    default: kept = {x0, y0}; break;
    }
    return Rect(std::min(point.x, kept.x), std::min(point.y, kept.y), std::abs(point.x - kept.x),
                std::abs(point.y - kept.y));
}

bool isCorner(ResizeHandle handle) {
    return handle == ResizeHandle::topLeft || handle == ResizeHandle::topRight || handle == ResizeHandle::bottomLeft ||
           handle == ResizeHandle::bottomRight;
}

// Applies a grip drag to one annotation's kind.
void resizeKind(Annotation::Kind& kind, ResizeHandle handle, const Point& p) {
    if (Rect* rect = rectOf(kind)) {
        if (isCorner(handle)) *rect = draggedCorner(*rect, handle, p);
    } else if (auto* text = std::get_if<Annotation::Text>(&kind)) {
        text->style.lineWidth = std::max(std::abs(p.y - text->origin.y) / 1.2, 8.0);
    } else if (auto* arrow = std::get_if<Annotation::Arrow>(&kind)) {
        if (handle == ResizeHandle::start) arrow->from = p;
        else if (handle == ResizeHandle::end) arrow->to = p;
        else if (handle == ResizeHandle::mid) {
            // The quadratic curve's midpoint then passes through p.
            arrow->control = Point{2 * p.x - (arrow->from.x + arrow->to.x) / 2, 2 * p.y - (arrow->from.y + arrow->to.y) / 2};
        }
    } else if (auto* line = std::get_if<Annotation::Line>(&kind)) {
        (handle == ResizeHandle::start ? line->from : line->to) = p;
    }
}

// The single selection's payload when it is of kind `Kind`.
template <typename Kind>
std::optional<Kind> selectedKind(const ReviewViewModel& model) {
    const auto selected = model.selectedAnnotation();
    if (!selected) return std::nullopt;
    const Kind* kind = std::get_if<Kind>(&selected->kind);
    return kind ? std::optional(*kind) : std::nullopt;
}

} // namespace

// --- Selection queries --------------------------------------------------------------------------

bool ReviewViewModel::selectedIsText() const { return selectedKind<Annotation::Text>(*this).has_value(); }

std::optional<QString> ReviewViewModel::selectedTextFontFamily() const {
    const auto text = selectedKind<Annotation::Text>(*this);
    return text ? text->fontFamily : std::nullopt;
}

std::optional<Annotation::TextAlignment> ReviewViewModel::selectedTextAlignment() const {
    const auto text = selectedKind<Annotation::Text>(*this);
    return text ? std::optional(text->alignment) : std::nullopt;
}

std::optional<bool> ReviewViewModel::selectedLineDashed() const {
    const auto line = selectedKind<Annotation::Line>(*this);
    return line ? std::optional(line->dashed) : std::nullopt;
}

std::optional<Annotation::RedactionStyle> ReviewViewModel::selectedRedactionStyle() const {
    const auto blur = selectedKind<Annotation::Blur>(*this);
    return blur ? std::optional(blur->style) : std::nullopt;
}

std::optional<Annotation::Style> ReviewViewModel::selectedStyle() const {
    const auto selected = selectedAnnotation();
    if (!selected) return std::nullopt;
    const Annotation::Style* style = styleOf(selected->kind);
    if (!style) return std::nullopt;
    return *style;
}

ReviewViewModel::SizeRange ReviewViewModel::selectedSizeRange() const {
    if (selectedIsText()) return {8, std::max(image_.height() * 0.2, 64.0)};
    return {1, 48};
}

// --- Adding and removing ------------------------------------------------------------------------

QUuid ReviewViewModel::addAnnotation(Annotation::Kind kind) {
    if (!isFinite(kind)) return {};
    snapshotForUndo();
    const QUuid id = QUuid::createUuid();
    AnnotationList list = annotations_;
    list.emplace_back(id, std::int64_t(list.size()), std::move(kind));
    setAnnotations(std::move(list));
    setSelectedAnnotationID(id);
    return id;
}

void ReviewViewModel::deleteSelectedAnnotation() {
    if (selectedAnnotationIDs_.isEmpty()) return;
    snapshotForUndo();
    AnnotationList list = annotations_;
    std::erase_if(list, [&](const Annotation& a) { return selectedAnnotationIDs_.contains(a.id); });
    setAnnotations(std::move(list));
    setSelectedAnnotationIDs({});
}

// --- Geometry -----------------------------------------------------------------------------------

void ReviewViewModel::editAnnotations(const std::vector<std::size_t>& indexes,
                                      const std::function<void(Annotation::Kind&)>& edit) {
    AnnotationList list = annotations_;
    for (std::size_t index : indexes) {
        if (index >= list.size() || std::holds_alternative<Annotation::Unknown>(list[index].kind)) continue;
        edit(list[index].kind);
    }
    setAnnotations(std::move(list));
}

void ReviewViewModel::moveSelected(double dx, double dy) {
    if (!isFinite(dx) || !isFinite(dy)) return;
    editAnnotations(selectedIndexes(), [&](Annotation::Kind& kind) {
        kind = Annotation(QUuid(), 0, kind).translated(dx, dy).kind;
    });
}

void ReviewViewModel::moveAnnotation(const QUuid& id, double dx, double dy) {
    if (!isFinite(dx) || !isFinite(dy)) return;
    const Annotation* annotation = find(id);
    if (!annotation) return;
    editAnnotations({std::size_t(annotation - annotations_.data())}, [&](Annotation::Kind& kind) {
        kind = Annotation(QUuid(), 0, kind).translated(dx, dy).kind;
    });
}

void ReviewViewModel::resizeSelected(ResizeHandle handle, const Point& point) {
    const auto index = singleSelectionIndex();
    if (!index || !isFinite(point)) return;
    editAnnotations({*index}, [&](Annotation::Kind& kind) { resizeKind(kind, handle, point); });
}

void ReviewViewModel::rotateSelected(double radians) {
    const auto index = singleSelectionIndex();
    if (!index || !isFinite(radians)) return;
    editAnnotations({*index}, [&](Annotation::Kind& kind) {
        if (double* rotation = rotationOf(kind)) *rotation = radians;
    });
}

// --- Looks --------------------------------------------------------------------------------------

void ReviewViewModel::updateSelectedStyle(const std::optional<QString>& colorHex, std::optional<double> lineWidth,
                                          std::optional<double> opacity) {
    if (lineWidth && !isFinite(*lineWidth)) lineWidth.reset();
    if (opacity && !isFinite(*opacity)) opacity.reset();
    editAnnotations(selectedIndexes(), [&](Annotation::Kind& kind) {
        Annotation::Style* style = styleOf(kind);
        if (!style) return;
        if (colorHex) style->colorHex = *colorHex;
        if (lineWidth) style->lineWidth = *lineWidth;
        if (opacity) style->opacity = *opacity;
    });
}

void ReviewViewModel::updateSelectedFill(const std::optional<Annotation::Fill>& fill) {
    const auto index = singleSelectionIndex();
    if (!index || (fill && !isFinite(fill->opacity))) return;
    editAnnotations({*index}, [&](Annotation::Kind& kind) {
        if (auto* box = std::get_if<Annotation::Box>(&kind)) box->fill = fill;
        if (auto* ellipse = std::get_if<Annotation::Ellipse>(&kind)) ellipse->fill = fill;
    });
}

void ReviewViewModel::updateSelectedText(const std::optional<std::optional<QString>>& fontFamily,
                                         std::optional<Annotation::TextAlignment> alignment) {
    const auto index = singleSelectionIndex();
    if (!index) return;
    editAnnotations({*index}, [&](Annotation::Kind& kind) {
        auto* text = std::get_if<Annotation::Text>(&kind);
        if (!text) return;
        if (alignment) text->alignment = *alignment;
        if (fontFamily) text->fontFamily = *fontFamily;
    });
}

void ReviewViewModel::setOutline(bool on) {
    setDefaultStrokeOutline(on);
    editAnnotations(selectedIndexes(), [&](Annotation::Kind& kind) {
        if (Annotation::Style* style = styleOf(kind)) style->outline = on;
    });
}

void ReviewViewModel::setShadow(bool on) {
    setDefaultStrokeShadow(on);
    editAnnotations(selectedIndexes(), [&](Annotation::Kind& kind) {
        if (Annotation::Style* style = styleOf(kind)) style->shadow = on;
    });
}

void ReviewViewModel::setOutlineColor(const std::optional<QString>& hex) {
    setDefaultOutlineColorHex(hex);
    editAnnotations(selectedIndexes(), [&](Annotation::Kind& kind) {
        if (Annotation::Style* style = styleOf(kind)) style->outlineColorHex = hex;
    });
}

void ReviewViewModel::setLineDashed(bool on) {
    setDefaultLineDashed(on);
    const auto index = singleSelectionIndex();
    if (!index) return;
    editAnnotations({*index}, [&](Annotation::Kind& kind) {
        if (auto* line = std::get_if<Annotation::Line>(&kind)) line->dashed = on;
    });
}

void ReviewViewModel::setRedactionStyle(Annotation::RedactionStyle style) {
    const auto index = singleSelectionIndex();
    const bool blurSelected = index && std::holds_alternative<Annotation::Blur>(annotations_[*index].kind);
    if (blurSelected) snapshotForUndo();
    store(redactionStyle_, style, &ReviewViewModel::redactionStyleChanged);
    if (blurSelected) {
        editAnnotations({*index}, [&](Annotation::Kind& kind) { std::get<Annotation::Blur>(kind).style = style; });
    }
}

std::int64_t ReviewViewModel::nextBadgeNumber() const {
    if (badgeStart_) return std::max<std::int64_t>(*badgeStart_, 1);
    std::optional<std::int64_t> largest;
    for (const Annotation& annotation : annotations_) {
        if (const auto* badge = std::get_if<Annotation::Badge>(&annotation.kind)) {
            largest = std::max(largest.value_or(badge->number), badge->number);
        }
    }
    if (!largest) return 1;
    // A stored document may hold any number; counting on from the largest must not overflow.
    if (*largest == std::numeric_limits<std::int64_t>::max()) return *largest;
    return *largest + 1;
}

// --- History ------------------------------------------------------------------------------------

void ReviewViewModel::snapshotForUndo() {
    undoStack_.push_back(annotations_);
    announce(&ReviewViewModel::undoStackChanged);
    if (!redoStack_.empty()) {
        redoStack_.clear();
        announce(&ReviewViewModel::redoStackChanged);
    }
}

void ReviewViewModel::replaceAnnotationsFromHistory(AnnotationList annotations) {
    setAnnotations(std::move(annotations));
    setSelectedAnnotationIDs({});
}

void ReviewViewModel::undo() {
    if (undoStack_.empty()) return;
    AnnotationList previous = std::move(undoStack_.back());
    undoStack_.pop_back();
    announce(&ReviewViewModel::undoStackChanged);
    redoStack_.push_back(annotations_);
    announce(&ReviewViewModel::redoStackChanged);
    replaceAnnotationsFromHistory(std::move(previous));
}

void ReviewViewModel::redo() {
    if (redoStack_.empty()) return;
    AnnotationList next = std::move(redoStack_.back());
    redoStack_.pop_back();
    announce(&ReviewViewModel::redoStackChanged);
    undoStack_.push_back(annotations_);
    announce(&ReviewViewModel::undoStackChanged);
    replaceAnnotationsFromHistory(std::move(next));
}

} // namespace BrindlecastApp
