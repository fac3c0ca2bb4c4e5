#include "Support/PngChunks.h"

#include <QtEndian>

#include <algorithm>

namespace Support::PngChunks {

bool startsWithSignature(QByteArrayView data) {
    return data.size() >= signatureBytes &&
           data.first(signatureBytes) == QByteArrayView(reinterpret_cast<const char*>(signature.data()), signatureBytes);
}

bool Chunk::hasLetterType() const {
    return std::all_of(type.begin(), type.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

Chunk chunkAt(qint64 start, QByteArrayView header) {
    Chunk chunk;
    chunk.start = start;
    chunk.length = qFromBigEndian<quint32>(header.data());
    std::copy_n(header.data() + 4, chunk.type.size(), chunk.type.begin());
    return chunk;
}

std::optional<qint64> walk(SafeFile::OpenFile& file, qint64 limit, const std::function<bool(const Chunk&)>& visit) {
    const qint64 end = std::min(file.size(), limit);
    const std::optional<QByteArray> start = file.readAt(0, signatureBytes);
    if (!start || !startsWithSignature(*start)) return std::nullopt;
    qint64 offset = signatureBytes;
    while (end - offset >= overheadBytes) {
        const std::optional<QByteArray> header = file.readAt(offset, headerBytes);
        if (!header) return std::nullopt;
        if (header->size() < headerBytes) break; // cut short while walked
        const Chunk chunk = chunkAt(offset, *header);
        if (!chunk.hasLetterType() || chunk.end() > end) break;
        offset = chunk.end();
        if (visit(chunk)) break;
    }
    return offset;
}

std::optional<qint64> endOfImage(SafeFile::OpenFile& file, qint64 limit) {
    std::optional<qint64> imageEnd;
    walk(file, limit, [&](const Chunk& chunk) {
        if (chunk.is("IEND")) imageEnd = chunk.end();
        return imageEnd.has_value();
    });
    return imageEnd;
}

} // namespace Support::PngChunks
