#pragma once

#include "Support/SafeFile.h"

#include <QByteArrayView>

#include <array>
#include <functional>
#include <optional>

// A PNG as a sequence of chunks: the eight signature bytes, then chunks of a 4-byte big-endian
// data length, a 4-byte type, the data and a 4-byte CRC. Nothing of an image ends after the "IEND"
// chunk, though a file may go on: readers of a file stop there.
namespace Support::PngChunks {

inline constexpr std::array<unsigned char, 8> signature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
inline constexpr qint64 signatureBytes = 8;
inline constexpr qint64 headerBytes = 8;   // length and type
inline constexpr qint64 overheadBytes = 12; // length, type and CRC

bool startsWithSignature(QByteArrayView data);

// One chunk's place in its file or buffer. Offsets are 64-bit, so a length near 2^32 cannot wrap.
struct Chunk {
    qint64 start = 0;  // where its length field stands
    qint64 length = 0; // of its data
    std::array<char, 4> type{};

    qint64 dataStart() const { return start + headerBytes; }
    qint64 end() const { return start + overheadBytes + length; }
    QByteArrayView typeName() const { return QByteArrayView(type.data(), qsizetype(type.size())); }
    bool is(QByteArrayView name) const { return typeName() == name; }
    // Every chunk's type is four ASCII letters; the zeros of a hole in a sparse file are not.
    bool hasLetterType() const;
};

// The chunk whose header (at least headerBytes long) stands at `start`.
Chunk chunkAt(qint64 start, QByteArrayView header);

// The complete chunks of PNG data in memory after the signature (not checked), in order, until
// `visit` returns true or the data runs out. A chunk running past the end stops the walk; "IEND"
// does not, nor does a type of any bytes.
template <class Visit>
void forEach(QByteArrayView data, Visit visit) {
    qint64 offset = signatureBytes;
    while (data.size() - offset >= headerBytes) {
        const Chunk chunk = chunkAt(offset, data.sliced(offset, headerBytes));
        if (chunk.end() > data.size()) return;
        if (visit(chunk)) return;
        offset = chunk.end();
    }
}

// Walks the chunks of the PNG in `file`, in order, reading nothing but their headers (the
// visitor reads what it needs of a chunk through `file`): `visit` sees each chunk and stops the
// walk by returning true. The walk ends before the first chunk that runs past the end of the
// file or its first `limit` bytes, or whose type is not four letters (a hole of a sparse file, a
// file cut short and grown again): what follows is never read. "IEND" does not end it; a visitor
// that stops there reads nothing of what follows the image.
// Returns where the walk ended: just past the last chunk visited; nothing when the file is not a
// PNG or a read failed.
std::optional<qint64> walk(SafeFile::OpenFile& file, qint64 limit, const std::function<bool(const Chunk&)>& visit);

// Where the image in `file` ends: just past its first "IEND" as walk() finds it, within the
// first `limit` bytes; nothing when walk() finds none.
std::optional<qint64> endOfImage(SafeFile::OpenFile& file, qint64 limit);

} // namespace Support::PngChunks
