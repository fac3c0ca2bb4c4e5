#include "SidecarKit/Annotation.h"

namespace SidecarKit {

namespace {

Annotation::Point moved(Annotation::Point point, double dx, double dy) {
    return {point.x + dx, point.y + dy};
}

Annotation::Rect moved(Annotation::Rect rect, double dx, double dy) {
    rect.origin = moved(rect.origin, dx, dy);
    return rect;
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

} // namespace

QString Annotation::typeName() const {
    if (const auto* unknown = std::get_if<Unknown>(&kind)) return unknown->type;
    return QString::fromLatin1(knownTypeNames[kind.index()]);
}

Annotation Annotation::translated(double dx, double dy) const {
    Annotation copy = *this;
    std::visit(Overloaded{
                   [&](Arrow& arrow) {
                       arrow.from = moved(arrow.from, dx, dy);
                       arrow.to = moved(arrow.to, dx, dy);
                       if (arrow.control) arrow.control = moved(*arrow.control, dx, dy);
                   },
                   [&](Box& box) { box.rect = moved(box.rect, dx, dy); },
                   [&](Ellipse& ellipse) { ellipse.rect = moved(ellipse.rect, dx, dy); },
                   [&](Text& text) { text.origin = moved(text.origin, dx, dy); },
                   [&](Blur& blur) { blur.rect = moved(blur.rect, dx, dy); },
                   [&](Freeform& freeform) {
                       for (Point& point : freeform.points) point = moved(point, dx, dy);
                   },
                   [&](Line& line) {
                       line.from = moved(line.from, dx, dy);
                       line.to = moved(line.to, dx, dy);
                   },
                   [&](Badge& badge) { badge.center = moved(badge.center, dx, dy); },
                   [](Unknown&) {},
               },
               copy.kind);
    return copy;
}

QString rawValue(Annotation::TextAlignment alignment) {
    switch (alignment) {
    case Annotation::TextAlignment::left: return QStringLiteral("left");
    case Annotation::TextAlignment::center: return QStringLiteral("center");
    case Annotation::TextAlignment::right: return QStringLiteral("right");
    }
    return QStringLiteral("left");
}

QString rawValue(Annotation::RedactionStyle style) {
    switch (style) {
    case Annotation::RedactionStyle::scramble: return QStringLiteral("scramble");
    case Annotation::RedactionStyle::blur: return QStringLiteral("blur");
    case Annotation::RedactionStyle::solid: return QStringLiteral("solid");
    }
    return QStringLiteral("scramble");
}

std::optional<Annotation::TextAlignment> textAlignmentFromRawValue(const QString& raw) {
    for (auto alignment : {Annotation::TextAlignment::left, Annotation::TextAlignment::center,
                           Annotation::TextAlignment::right}) {
        if (rawValue(alignment) == raw) return alignment;
    }
    return std::nullopt;
}

std::optional<Annotation::RedactionStyle> redactionStyleFromRawValue(const QString& raw) {
    for (auto style : Annotation::allRedactionStyles) {
        if (rawValue(style) == raw) return style;
    }
    return std::nullopt;
}

} // namespace SidecarKit
