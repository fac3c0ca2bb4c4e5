#pragma once

#include "SidecarKit/Annotation.h"
#include "SidecarKit/JSONValue.h"

namespace SidecarKit::AnnotationJSON {

// One flat object: "id", "zIndex", "type" and the kind's own keys. Optional keys holding their
// default are left out. An unknown annotation is written as the object it was read as.
// Nothing fails here; a non-finite number fails later, when the value is serialized.
JSONValue encode(const Annotation& annotation);
JSONValue encode(const Annotation::Style& style);
JSONValue encode(const Annotation::Fill& fill);

// Reads one annotation object. Known types need every required key; any other "type" is kept
// whole as an unknown annotation. Throws JSONDecodingError.
Annotation decode(const JSONValue& value, const QStringList& codingPath = {});
Annotation::Style decodeStyle(const JSONValue& value, const QStringList& codingPath = {});
Annotation::Fill decodeFill(const JSONValue& value, const QStringList& codingPath = {});

} // namespace SidecarKit::AnnotationJSON
