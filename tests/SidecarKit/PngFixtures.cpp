#include "PngFixtures.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <sys/resource.h>
#include <zlib.h>

namespace SidecarTest {

namespace {

QByteArray be32(std::uint32_t value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

} // namespace

QByteArray chunk(const QByteArray& type, const QByteArray& data) {
    const QByteArray typeAndData = type + data;
    const auto crc = static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(typeAndData.constData()), static_cast<uInt>(typeAndData.size())));
    return be32(static_cast<std::uint32_t>(data.size())) + typeAndData + be32(crc);
}

QByteArray signature() { return QByteArray::fromHex("89504E470D0A1A0A"); }

QByteArray header(std::uint32_t width, std::uint32_t height) {
    return chunk("IHDR", be32(width) + be32(height) + QByteArray::fromHex("0806000000"));
}

QByteArray textChunk(const QByteArray& keyword, const QByteArray& text) {
    return chunk("tEXt", keyword + QByteArray(1, '\0') + text);
}

QByteArray png(const QByteArrayList& chunks) { return signature() + chunks.join(); }

QByteArray realPng(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(QColor(30, 120, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray chunkHeader(std::uint32_t length, const QByteArray& type) { return be32(length) + type; }

void writeWithHoles(const QString& path, const QList<std::pair<QByteArray, qint64>>& pieces) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
    qint64 offset = 0;
    for (const auto& [bytes, hole] : pieces) {
        file.seek(offset);
        file.write(bytes);
        offset += bytes.size() + hole;
    }
    file.resize(offset);
}

qint64 peakResidentBytes() {
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

QByteArrayList chunkTypes(const QByteArray& png) {
    QByteArrayList types;
    qsizetype offset = 8;
    while (offset + 12 <= png.size()) {
        const auto length = static_cast<qsizetype>(qFromBigEndian<std::uint32_t>(png.constData() + offset));
        const bool ours = png.mid(offset + 4, 4) == "tEXt" && png.mid(offset + 8, 12) == QByteArray("brindlecast\0", 12);
        types << (ours ? QByteArray("tEXt brindlecast") : png.mid(offset + 4, 4));
        offset += 12 + length;
    }
    return types;
}

} // namespace SidecarTest
