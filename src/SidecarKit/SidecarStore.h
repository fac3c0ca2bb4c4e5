#pragma once

#include "SidecarKit/SidecarDocument.h"
#include "SidecarKit/SidecarLoadResult.h"

#include <QString>

namespace SidecarKit {

// Keeps a capture's annotation document with its image: in a sidecar file beside it, or
// base64-encoded in the PNG's own text chunk. Locations are file-system paths.
//
// The operations throw SidecarError, JSONDecodingError (a document that cannot be read) or
// JSONEncodingError (a document holding a non-finite number; nothing is written then).
// Files are replaced atomically: a crash leaves the old or the new file, never a mix, and a
// replaced file keeps its permissions.
namespace SidecarStore {

// The largest annotation document read back, in bytes of JSON text (in a sidecar file, or once
// decoded from the embedded chunk's base64). Thousands of annotations fit well within it; a larger
// one is damaged or hostile, and decoding it could exhaust memory.
inline constexpr qsizetype maximumDocumentBytes = 4 * 1024 * 1024;

// "<folder>/<image file name>.brindlecast.json"
QString sidecarURL(const QString& imagePath);

// The embedded document when the image is a PNG holding one (a chunk that is not base64 is
// passed over), otherwise the sidecar file, otherwise missing. A document newer than this
// build reads is refused even when the other place holds a readable one, and so is one larger
// than maximumDocumentBytes (SidecarError::io), before it is decoded.
SidecarLoadResult load(const QString& imagePath);

// Writes the document to the image's sidecar file.
void save(const SidecarDocument& document, const QString& imagePath);

// Writes the document into the PNG image itself, replacing any earlier one. Throws
// SidecarError::io("embedded annotations require a PNG working copy") for an image that is
// missing or not a PNG, which is then left untouched.
void embed(const SidecarDocument& document, const QString& imagePath);

// Reads a document's JSON text: its version first, so a newer one is refused by its version
// alone, then the whole document.
SidecarDocument decodeDocument(QByteArrayView bytes);

} // namespace SidecarStore

} // namespace SidecarKit
