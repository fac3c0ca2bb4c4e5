#include "SidecarKit/AnnotationJSON.h"

#include "SidecarKit/JSONObjectReader.h"

namespace SidecarKit::AnnotationJSON {

namespace {

using Object = JSONValue::Object;

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

JSONValue str(const QString& text) { return JSONValue::string(text); }
JSONValue num(double value) { return JSONValue::number(value); }

// Rotation is written only when it is not 0; -0 compares equal to 0 and is left out too.
void putRotation(Object& object, double rotation) {
    if (rotation != 0.0) object["rotation"] = num(rotation);
}

void putFlag(Object& object, const char* key, bool value) {
    if (value) object[key] = JSONValue::boolean(true);
}

Annotation::Style readStyle(const JSONObjectReader& reader) {
    return decodeStyle(reader.required("style"), reader.pathTo("style"));
}

std::optional<Annotation::Fill> readFill(const JSONObjectReader& reader) {
    if (const JSONValue* fill = reader.optional("fill")) return decodeFill(*fill, reader.pathTo("fill"));
    return std::nullopt;
}

Annotation::TextAlignment readAlignment(const JSONObjectReader& reader) {
    const auto raw = reader.optionalString("alignment");
    if (!raw) return Annotation::TextAlignment::left;
    if (const auto alignment = textAlignmentFromRawValue(*raw)) return *alignment;
    throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, reader.pathTo("alignment"),
                            QStringLiteral("Cannot initialize TextAlignment from invalid value \"%1\".").arg(*raw));
}

Annotation::RedactionStyle readRedactionStyle(const JSONObjectReader& reader) {
    const auto raw = reader.optionalString("style");
    if (!raw) return Annotation::RedactionStyle::scramble;
    if (const auto style = redactionStyleFromRawValue(*raw)) return *style;
    throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, reader.pathTo("style"),
                            QStringLiteral("Cannot initialize RedactionStyle from invalid value \"%1\".").arg(*raw));
}

Annotation::Kind readKind(const QString& type, const JSONObjectReader& r) {
    if (type == "arrow") {
        Annotation::Arrow arrow;
        arrow.from = r.requiredPoint("from");
        arrow.to = r.requiredPoint("to");
        arrow.style = readStyle(r);
        arrow.control = r.optionalPoint("control");
        return arrow;
    }
    if (type == "box" || type == "ellipse") {
        const Annotation::Rect rect = r.requiredRect("rect");
        const Annotation::Style style = readStyle(r);
        const auto fill = readFill(r);
        const double rotation = r.optionalDouble("rotation").value_or(0);
        if (type == "box") return Annotation::Box{rect, style, fill, rotation};
        return Annotation::Ellipse{rect, style, fill, rotation};
    }
    if (type == "text") {
        Annotation::Text text;
        text.origin = r.requiredPoint("origin");
        text.string = r.requiredString("string");
        text.style = readStyle(r);
        text.fontFamily = r.optionalString("fontFamily");
        text.alignment = readAlignment(r);
        text.rotation = r.optionalDouble("rotation").value_or(0);
        return text;
    }
    if (type == "blur") {
        Annotation::Blur blur;
        blur.rect = r.requiredRect("rect");
        blur.style = readRedactionStyle(r);
        blur.rotation = r.optionalDouble("rotation").value_or(0);
        return blur;
    }
    if (type == "freeform") {
        Annotation::Freeform freeform;
        const QStringList pointsPath = r.pathTo("points");
        const JSONValue::Array& points = r.requiredArray("points");
        freeform.points.reserve(points.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            freeform.points.push_back(JSONRead::point(points[i], pointsPath + QStringList{QStringLiteral("[%1]").arg(i)}));
        }
        freeform.style = readStyle(r);
        freeform.closed = r.optionalBool("closed").value_or(false);
        return freeform;
    }
    if (type == "line") {
        Annotation::Line line;
        line.from = r.requiredPoint("from");
        line.to = r.requiredPoint("to");
        line.style = readStyle(r);
        line.dashed = r.optionalBool("dashed").value_or(false);
        return line;
    }
    Annotation::Badge badge; // the only known name left
    badge.center = r.requiredPoint("center");
    badge.number = r.requiredInteger("number");
    badge.radius = r.requiredDouble("radius");
    badge.style = readStyle(r);
    return badge;
}

bool isKnownType(const QString& type) {
    for (const char* name : Annotation::knownTypeNames) {
        if (type == QLatin1String(name)) return true;
    }
    return false;
}

} // namespace

JSONValue encode(const Annotation::Style& style) {
    Object object{{"colorHex", str(style.colorHex)}, {"lineWidth", num(style.lineWidth)}};
    if (style.opacity != 1.0) object["opacity"] = num(style.opacity);
    putFlag(object, "outline", style.outline);
    if (style.outlineColorHex) object["outlineColorHex"] = str(*style.outlineColorHex);
    putFlag(object, "shadow", style.shadow);
    return JSONValue::object(std::move(object));
}

JSONValue encode(const Annotation::Fill& fill) {
    return JSONValue::object({{"colorHex", str(fill.colorHex)}, {"opacity", num(fill.opacity)}});
}

JSONValue encode(const Annotation& annotation) {
    if (const auto* unknown = std::get_if<Annotation::Unknown>(&annotation.kind)) return unknown->payload;

    Object object{{"id", JSONWrite::uuid(annotation.id)},
                  {"zIndex", JSONValue::integer(annotation.zIndex)},
                  {"type", str(annotation.typeName())}};
    const auto putShape = [&object](const Annotation::Rect& rect, const Annotation::Style& style,
                                    const std::optional<Annotation::Fill>& fill, double rotation) {
        object["rect"] = JSONWrite::rect(rect);
        object["style"] = encode(style);
        if (fill) object["fill"] = encode(*fill);
        putRotation(object, rotation);
    };
    std::visit(Overloaded{
                   [&](const Annotation::Arrow& arrow) {
                       object["from"] = JSONWrite::point(arrow.from);
                       object["to"] = JSONWrite::point(arrow.to);
                       object["style"] = encode(arrow.style);
                       if (arrow.control) object["control"] = JSONWrite::point(*arrow.control);
                   },
                   [&](const Annotation::Box& box) { putShape(box.rect, box.style, box.fill, box.rotation); },
                   [&](const Annotation::Ellipse& ellipse) {
                       putShape(ellipse.rect, ellipse.style, ellipse.fill, ellipse.rotation);
                   },
                   [&](const Annotation::Text& text) {
                       object["origin"] = JSONWrite::point(text.origin);
                       object["string"] = str(text.string);
                       object["style"] = encode(text.style);
                       if (text.fontFamily) object["fontFamily"] = str(*text.fontFamily);
                       if (text.alignment != Annotation::TextAlignment::left) {
                           object["alignment"] = str(rawValue(text.alignment));
                       }
                       putRotation(object, text.rotation);
                   },
                   [&](const Annotation::Blur& blur) {
                       object["rect"] = JSONWrite::rect(blur.rect);
                       if (blur.style != Annotation::RedactionStyle::scramble) object["style"] = str(rawValue(blur.style));
                       putRotation(object, blur.rotation);
                   },
                   [&](const Annotation::Freeform& freeform) {
                       JSONValue::Array points;
                       points.reserve(freeform.points.size());
                       for (const auto& point : freeform.points) points.push_back(JSONWrite::point(point));
                       object["points"] = JSONValue::array(std::move(points));
                       object["style"] = encode(freeform.style);
                       putFlag(object, "closed", freeform.closed);
                   },
                   [&](const Annotation::Line& line) {
                       object["from"] = JSONWrite::point(line.from);
                       object["to"] = JSONWrite::point(line.to);
                       object["style"] = encode(line.style);
                       putFlag(object, "dashed", line.dashed);
                   },
                   [&](const Annotation::Badge& badge) {
                       object["center"] = JSONWrite::point(badge.center);
                       object["number"] = JSONValue::integer(badge.number);
                       object["radius"] = num(badge.radius);
                       object["style"] = encode(badge.style);
                   },
                   [](const Annotation::Unknown&) {},
               },
               annotation.kind);
    return JSONValue::object(std::move(object));
}

Annotation::Style decodeStyle(const JSONValue& value, const QStringList& codingPath) {
    const JSONObjectReader r(value, codingPath);
    Annotation::Style style;
    style.colorHex = r.requiredString("colorHex");
    style.lineWidth = r.requiredDouble("lineWidth");
    style.opacity = r.optionalDouble("opacity").value_or(1.0);
    style.outline = r.optionalBool("outline").value_or(false);
    style.outlineColorHex = r.optionalString("outlineColorHex");
    style.shadow = r.optionalBool("shadow").value_or(false);
    return style;
}

Annotation::Fill decodeFill(const JSONValue& value, const QStringList& codingPath) {
    const JSONObjectReader r(value, codingPath);
    const QString colorHex = r.requiredString("colorHex");
    return {colorHex, r.requiredDouble("opacity")};
}

Annotation decode(const JSONValue& value, const QStringList& codingPath) {
    const JSONObjectReader r(value, codingPath);
    const QString type = r.requiredString("type");
    if (isKnownType(type)) {
        const QUuid id = r.requiredUuid("id");
        const std::int64_t zIndex = r.requiredInteger("zIndex");
        return Annotation(id, zIndex, readKind(type, r));
    }
    // A newer writer's annotation: keep it whole so that it is written back as it came.
    const QUuid id = r.optionalUuid("id").value_or(QUuid::createUuid());
    const std::int64_t zIndex = r.optionalInteger("zIndex").value_or(0);
    return Annotation(id, zIndex, Annotation::Unknown{type, value});
}

} // namespace SidecarKit::AnnotationJSON
