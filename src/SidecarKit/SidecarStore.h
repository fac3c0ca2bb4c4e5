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

// The embedded document when the image is a PNG holding one before its end chunk (a chunk that
// is not base64 is passed over), otherwise the sidecar file, otherwise missing. Of the image only
// its chunks' headers and the annotation chunk are read, however large the file; an image that is
// a link, a pipe or a device is looked into no more than a missing one. A document newer than this
// build reads is refused even when the other place holds a readable one, and so is one larger
// than maximumDocumentBytes (SidecarError::io), before it is read or decoded. A document that
// does not read throws DamagedDocument, the decoder's error with where the document was kept.
SidecarLoadResult load(const QString& imagePath);

// Writes the document to the image's sidecar file.
void save(const SidecarDocument& document, const QString& imagePath);

// Writes the document into the PNG image itself, replacing any earlier one. Every chunk is kept,
// chunks after the end chunk too; whatever is no chunk (the walk of Support::PngChunks::walk
// ends there) is left out of the new file. Throws SidecarError::io("embedded annotations
// require a PNG working copy") for an image that is missing, not a regular file or not a PNG, and
// "PNG missing IEND" for one whose chunks do not reach an end chunk within
// Support::ImageFiles::maximumFileBytes; the image is then left untouched.
void embed(const SidecarDocument& document, const QString& imagePath);

// Reads a document's JSON text: its version first, so a newer one is refused by its version
// alone, then the whole document.
SidecarDocument decodeDocument(QByteArrayView bytes);

} // namespace SidecarStore

} // namespace SidecarKit
