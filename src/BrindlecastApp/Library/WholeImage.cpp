#include "BrindlecastApp/Library/WholeImage.h"

#include "SidecarKit/PNGText.h"

#include <QIODevice>
#include <QtEndian>

namespace BrindlecastApp {

namespace {

// The end chunk: no data, its type and its fixed CRC.
constexpr char endChunk[] = "\0\0\0\0IEND\xAE\x42\x60\x82";
constexpr qint64 endChunkSize = sizeof endChunk - 1;
constexpr qint64 signatureSize = 8;
constexpr qint64 chunkOverhead = 12; // length, type and CRC
// A working copy holds a header, a few ancillary chunks and its image data in chunks of at least
// a few kilobytes; this many covers a capture of the largest display with room to spare.
constexpr int maximumChunksWalked = 4096;

// Chunk types are four ASCII letters.
bool isChunkType(QByteArrayView type) {
    for (const char c : type)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    return true;
}

} // namespace

bool isCutShortPNG(QIODevice& file) {
    if (!file.seek(0) || !SidecarKit::PNGText::isPNG(file.read(signatureSize))) return false;
    const qint64 size = file.size();
    // Every writer ends the file with the end chunk; reading its last bytes settles it at once.
    if (size >= signatureSize + endChunkSize && file.seek(size - endChunkSize) &&
        file.read(endChunkSize) == QByteArrayView(endChunk, endChunkSize)) {
        return false;
    }
    // Data may follow the end chunk, so walk the chunk headers to it.
    qint64 offset = signatureSize;
    for (int walked = 0; walked < maximumChunksWalked && offset + chunkOverhead <= size; ++walked) {
        if (!file.seek(offset)) return true;
        const QByteArray header = file.read(8);
        if (header.size() < 8 || !isChunkType(QByteArrayView(header).sliced(4))) return true;
        const qint64 length = qFromBigEndian<quint32>(header.constData());
        if (header.sliced(4) == "IEND") return offset + chunkOverhead + length > size;
        offset += chunkOverhead + length;
    }
    return true;
}

} // namespace BrindlecastApp
