#pragma once

#include "Support/SafeFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

namespace SidecarKit {

// The annotation document's place inside a PNG: a "tEXt" chunk with the keyword "brindlecast".
// Other notes the application keeps in its PNGs use the same chunks under keywords of their own.
// Works on bytes, and looks for the chunk in a file opened by the caller; writing files is the
// caller's business.
namespace PNGText {

inline constexpr char keyword[] = "brindlecast";
// The PNG format's largest chunk data length.
inline constexpr std::int64_t maximumChunkLength = 0x7FFFFFFF;

// True when the data starts with the eight PNG signature bytes.
bool isPNG(QByteArrayView data);

// The text of the first "brindlecast" (or `key`) text chunk before "IEND" (nothing after it
// belongs to the image); nothing when the data is not a PNG or has no such chunk. Invalid UTF-8
// becomes U+FFFD.
std::optional<QString> read(QByteArrayView data, QByteArrayView key = keyword);
// The same chunk's text as it is stored, without a copy (its length can be judged first).
std::optional<QByteArrayView> storedText(QByteArrayView data, QByteArrayView key = keyword);

// The same chunk found in a PNG file: its text's length, and the text itself unless that is longer
// than the reader's maximum.
struct StoredText {
    qint64 length = 0;
    std::optional<QByteArray> text;
    friend bool operator==(const StoredText&, const StoredText&) = default;
};
// Looks for the chunk chunk by chunk up to "IEND" within the file's first `limit` bytes
// (Support::PngChunks::walk), reading only the chunks' headers, the keyword of each text
// chunk and the text looked for: a file's size, the data after its "IEND" or a huge chunk of
// another kind costs nothing. Nothing when the file is not a PNG, has no such chunk or cannot be
// read.
std::optional<StoredText> storedText(Support::SafeFile::OpenFile& file, qint64 limit, qint64 maximumTextBytes,
                                     QByteArrayView key = keyword);

// The PNG with every "brindlecast" (or `key`) text chunk removed and one holding `text` placed
// directly before the first "IEND". Every other chunk is copied byte for byte and in order, chunks after
// "IEND" included; an incomplete chunk at the end and anything after it are dropped.
// Throws SidecarError::io: "not a PNG", "PNG missing IEND", or "annotation text too large for
// a PNG chunk" when the chunk data would pass the format's limit.
QByteArray write(const QString& text, QByteArrayView data, QByteArrayView key = keyword);

// CRC-32 of the PNG format (reflected 0xEDB88320, initial and final value inverted).
std::uint32_t crc32(QByteArrayView bytes);

} // namespace PNGText

// An image's pixel size, from the PNG header.
namespace PNGDimensions {

// (width, height) from "IHDR" at bytes 12 to 23; nothing when the data is shorter than 24 bytes
// or has no "IHDR" there. The signature is not checked.
std::optional<std::pair<std::int64_t, std::int64_t>> read(QByteArrayView data);

} // namespace PNGDimensions

} // namespace SidecarKit
