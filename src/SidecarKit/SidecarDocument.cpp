#include "SidecarKit/SidecarDocument.h"

#include "SidecarKit/AnnotationJSON.h"
#include "SidecarKit/JSONObjectReader.h"

namespace SidecarKit {

JSONValue SidecarDocument::toJSON() const {
    JSONValue::Array encodedAnnotations;
    encodedAnnotations.reserve(annotations.size());
    for (const Annotation& annotation : annotations) encodedAnnotations.push_back(AnnotationJSON::encode(annotation));
    return JSONValue::object({
        {"version", JSONValue::integer(version)},
        {"image", JSONValue::object({{"filename", JSONValue::string(image.filename)},
                                     {"width", JSONValue::integer(image.width)},
                                     {"height", JSONValue::integer(image.height)},
                                     {"scale", JSONValue::number(image.scale)}})},
        {"capture", JSONValue::object({{"mode", JSONValue::string(capture.mode)},
                                       {"blocklistApplied", JSONValue::boolean(capture.blocklistApplied)}})},
        {"annotations", JSONValue::array(std::move(encodedAnnotations))},
    });
}

QByteArray SidecarDocument::encoded() const { return toJSON().serialized(); }

SidecarDocument SidecarDocument::fromJSON(const JSONValue& value) {
    const JSONObjectReader document(value, {});
    const std::int64_t version = document.requiredInteger("version");

    const JSONObjectReader image(document.required("image"), document.pathTo("image"));
    ImageMetadata imageMetadata;
    imageMetadata.filename = image.requiredString("filename");
    imageMetadata.width = image.requiredInteger("width");
    imageMetadata.height = image.requiredInteger("height");
    imageMetadata.scale = image.requiredDouble("scale");

    const JSONObjectReader capture(document.required("capture"), document.pathTo("capture"));
    CaptureMetadata captureMetadata;
    captureMetadata.mode = capture.requiredString("mode");
    captureMetadata.blocklistApplied = capture.requiredBool("blocklistApplied");

    const QStringList annotationsPath = document.pathTo("annotations");
    const JSONValue::Array& elements = document.requiredArray("annotations");
    std::vector<Annotation> annotations;
    annotations.reserve(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        annotations.push_back(
            AnnotationJSON::decode(elements[i], annotationsPath + QStringList{QStringLiteral("[%1]").arg(i)}));
    }
    return SidecarDocument(version, std::move(imageMetadata), std::move(captureMetadata), std::move(annotations));
}

} // namespace SidecarKit
