#pragma once

#include "SidecarKit/JSONValue.h"
#include "Support/Geometry.h"

#include <QString>
#include <QUuid>

#include <array>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

namespace SidecarKit {

// The value types of an annotation, normally named through it (Annotation::Style, Annotation::Box).
// Coordinates are image pixels, origin top-left, y downwards; rotations are radians, a positive
// one turning the shape clockwise on the image.

// Stroke and text look.
struct AnnotationStyle {
    QString colorHex; // "#RRGGBB" by convention; stored as given
    double lineWidth = 0;
    double opacity = 1.0;
    bool outline = false;
    std::optional<QString> outlineColorHex;
    bool shadow = false;

    AnnotationStyle() = default;
    AnnotationStyle(QString colorHex, double lineWidth, double opacity, bool outline,
                    std::optional<QString> outlineColorHex, bool shadow)
        : colorHex(std::move(colorHex)), lineWidth(lineWidth), opacity(opacity), outline(outline),
          outlineColorHex(std::move(outlineColorHex)), shadow(shadow) {}
    friend bool operator==(const AnnotationStyle&, const AnnotationStyle&) = default;
};

// Fill of a box or ellipse.
struct AnnotationFill {
    QString colorHex;
    double opacity = 1.0;

    AnnotationFill() = default;
    AnnotationFill(QString colorHex, double opacity) : colorHex(std::move(colorHex)), opacity(opacity) {}
    friend bool operator==(const AnnotationFill&, const AnnotationFill&) = default;
};

enum class AnnotationTextAlignment { left, center, right };

// The look of a hidden region; the export draws detected regions with the same styles.
enum class AnnotationRedactionStyle { scramble, blur, solid };

// The kinds, each with its geometry and look. `control`, when present, bends the arrow's
// shaft into a quadratic curve.
struct AnnotationArrow {
    Support::Point from;
    Support::Point to;
    AnnotationStyle style;
    std::optional<Support::Point> control;
    friend bool operator==(const AnnotationArrow&, const AnnotationArrow&) = default;
};
struct AnnotationBox {
    Support::Rect rect;
    AnnotationStyle style;
    std::optional<AnnotationFill> fill;
    double rotation = 0;
    friend bool operator==(const AnnotationBox&, const AnnotationBox&) = default;
};
struct AnnotationEllipse {
    Support::Rect rect; // the bounding box
    AnnotationStyle style;
    std::optional<AnnotationFill> fill;
    double rotation = 0;
    friend bool operator==(const AnnotationEllipse&, const AnnotationEllipse&) = default;
};
struct AnnotationText {
    Support::Point origin;
    QString string;
    AnnotationStyle style;
    std::optional<QString> fontFamily;
    AnnotationTextAlignment alignment = AnnotationTextAlignment::left;
    double rotation = 0;
    friend bool operator==(const AnnotationText&, const AnnotationText&) = default;
};
struct AnnotationBlur {
    Support::Rect rect;
    AnnotationRedactionStyle style = AnnotationRedactionStyle::scramble;
    double rotation = 0;
    friend bool operator==(const AnnotationBlur&, const AnnotationBlur&) = default;
};
struct AnnotationFreeform {
    std::vector<Support::Point> points; // in drawing order; may be empty
    AnnotationStyle style;
    bool closed = false;
    friend bool operator==(const AnnotationFreeform&, const AnnotationFreeform&) = default;
};
struct AnnotationLine {
    Support::Point from;
    Support::Point to;
    AnnotationStyle style;
    bool dashed = false;
    friend bool operator==(const AnnotationLine&, const AnnotationLine&) = default;
};
struct AnnotationBadge {
    Support::Point center;
    std::int64_t number = 0; // the number shown
    double radius = 0;
    AnnotationStyle style;
    friend bool operator==(const AnnotationBadge&, const AnnotationBadge&) = default;
};
// An annotation of a type this build does not know, kept whole so that writing the document
// back loses nothing a newer writer put in it.
struct AnnotationUnknown {
    QString type;       // the "type" as read
    JSONValue payload;  // the whole annotation object as read
    friend bool operator==(const AnnotationUnknown&, const AnnotationUnknown&) = default;
};

// One editable mark on a capture: its identity in the document, its stacking order and its kind.
struct Annotation {
    using Point = Support::Point;
    using Rect = Support::Rect;

    using Style = AnnotationStyle;
    using Fill = AnnotationFill;
    using TextAlignment = AnnotationTextAlignment;
    using RedactionStyle = AnnotationRedactionStyle;
    static constexpr std::array<RedactionStyle, 3> allRedactionStyles{
        RedactionStyle::scramble, RedactionStyle::blur, RedactionStyle::solid};

    using Arrow = AnnotationArrow;
    using Box = AnnotationBox;
    using Ellipse = AnnotationEllipse;
    using Text = AnnotationText;
    using Blur = AnnotationBlur;
    using Freeform = AnnotationFreeform;
    using Line = AnnotationLine;
    using Badge = AnnotationBadge;
    using Unknown = AnnotationUnknown;

    using Kind = std::variant<Arrow, Box, Ellipse, Text, Blur, Freeform, Line, Badge, Unknown>;

    // The JSON "type" of each known kind, in the order of the variant's alternatives.
    static constexpr std::array<const char*, 8> knownTypeNames{
        "arrow", "box", "ellipse", "text", "blur", "freeform", "line", "badge"};

    QUuid id;
    std::int64_t zIndex = 0; // lower values are drawn first; ties keep list order
    Kind kind;

    Annotation(QUuid id, std::int64_t zIndex, Kind kind)
        : id(id), zIndex(zIndex), kind(std::move(kind)) {}

    // The "type" this annotation is written with (the kept name for an unknown kind).
    QString typeName() const;

    // A copy with every position moved by (dx, dy); sizes, looks and everything else are kept.
    // An unknown annotation comes back unchanged.
    Annotation translated(double dx, double dy) const;

    friend bool operator==(const Annotation&, const Annotation&) = default;
};

QString rawValue(Annotation::TextAlignment alignment);
QString rawValue(Annotation::RedactionStyle style);
std::optional<Annotation::TextAlignment> textAlignmentFromRawValue(const QString& raw);
std::optional<Annotation::RedactionStyle> redactionStyleFromRawValue(const QString& raw);

} // namespace SidecarKit
