#include "BrindlecastApp/Library/WholeImage.h"

#include "SidecarKit/PNGText.h"

#include <QFile>
#include <QtEndian>

namespace BrindlecastApp {

namespace {

// The end chunk: no data, its type and its fixed CRC.
constexpr char endChunk[] = "\0\0\0\0IEND\xAE\x42\x60\x82";
constexpr qint64 endChunkSize = sizeof endChunk - 1;
constexpr qint64 signatureSize = 8;

} // namespace

bool isCutShortPNG(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (!SidecarKit::PNGText::isPNG(file.read(signatureSize))) return false;
    const qint64 size = file.size();
    // Every writer ends the file with the end chunk; reading its last bytes settles it at once.
    if (size >= signatureSize + endChunkSize && file.seek(size - endChunkSize) &&
        file.read(endChunkSize) == QByteArrayView(endChunk, endChunkSize)) {
        return false;
    }
    // Data may follow the end chunk, so walk the chunk headers to it.
    for (qint64 offset = signatureSize; offset + 12 <= size;) {
        if (!file.seek(offset)) return true;
        const QByteArray header = file.read(8);
        if (header.size() < 8) return true;
        const qint64 length = qFromBigEndian<quint32>(header.constData());
        if (header.sliced(4) == "IEND") return offset + 12 + length > size;
        offset += 12 + length;
    }
    return true;
}

} // namespace BrindlecastApp
