#include "SidecarKit/PNGText.h"

#include "SidecarKit/SidecarError.h"

#include <array>

namespace SidecarKit {

namespace {

constexpr std::array<unsigned char, 8> signature{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

const std::array<std::uint32_t, 256>& crcTable() {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    return table;
}

std::uint32_t readBE32(QByteArrayView data, qsizetype offset) {
    const auto byte = [&](qsizetype i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(data[offset + i])); };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

void appendBE32(QByteArray& out, std::uint32_t value) {
    out.append(static_cast<char>(value >> 24));
    out.append(static_cast<char>(value >> 16));
    out.append(static_cast<char>(value >> 8));
    out.append(static_cast<char>(value));
}

// One chunk as found by the walk. Offsets are 64-bit so that a length near 2^32 cannot wrap.
struct Chunk {
    qsizetype start;      // offset of the length field
    qsizetype end;        // one past the CRC
    QByteArrayView type;  // four bytes
    QByteArrayView body;  // the data field
};

// Visits the complete chunks after the signature, in order, until `visit` returns true or the
// data runs out. A chunk whose length runs past the end stops the walk. "IEND" does not.
template <class Visitor>
void forEachChunk(QByteArrayView data, Visitor visit) {
    qsizetype offset = static_cast<qsizetype>(signature.size());
    while (data.size() - offset >= 8) {
        const std::int64_t length = readBE32(data, offset);
        const std::int64_t end = static_cast<std::int64_t>(offset) + 12 + length;
        if (end > data.size()) return;
        const Chunk chunk{offset, static_cast<qsizetype>(end), data.sliced(offset + 4, 4),
                          data.sliced(offset + 8, static_cast<qsizetype>(length))};
        if (visit(chunk)) return;
        offset = chunk.end;
    }
}

// The text of a "tEXt" chunk with the keyword `key`; nothing for any other chunk. A keyword
// compared as UTF-8 text equals `key` exactly when its bytes do, so the bytes are compared directly.
std::optional<QByteArrayView> keyedText(const Chunk& chunk, QByteArrayView key) {
    if (chunk.type != QByteArrayView("tEXt")) return std::nullopt;
    const qsizetype zero = chunk.body.indexOf('\0');
    if (zero < 0 || chunk.body.first(zero) != key) return std::nullopt;
    return chunk.body.sliced(zero + 1);
}

QByteArray makeTextChunk(const QString& text, QByteArrayView key) {
    const QByteArray utf8 = text.toUtf8();
    const std::int64_t length = key.size() + 1 + static_cast<std::int64_t>(utf8.size());
    if (length > PNGText::maximumChunkLength) {
        throw SidecarError::io(QStringLiteral("annotation text too large for a PNG chunk"));
    }
    QByteArray typeAndData;
    typeAndData.reserve(4 + length);
    typeAndData.append("tEXt");
    typeAndData.append(key);
    typeAndData.append('\0');
    typeAndData.append(utf8);

    QByteArray chunk;
    chunk.reserve(typeAndData.size() + 8);
    appendBE32(chunk, static_cast<std::uint32_t>(length));
    chunk.append(typeAndData);
    appendBE32(chunk, PNGText::crc32(typeAndData));
    return chunk;
}

} // namespace

namespace PNGText {

bool isPNG(QByteArrayView data) {
    return data.size() >= 8 &&
           data.first(8) == QByteArrayView(reinterpret_cast<const char*>(signature.data()), signature.size());
}

std::optional<QByteArrayView> storedText(QByteArrayView data, QByteArrayView key) {
    if (!isPNG(data)) return std::nullopt;
    std::optional<QByteArrayView> result;
    forEachChunk(data, [&](const Chunk& chunk) {
        result = keyedText(chunk, key);
        return result.has_value();
    });
    return result;
}

std::optional<QString> read(QByteArrayView data, QByteArrayView key) {
    const std::optional<QByteArrayView> text = storedText(data, key);
    if (!text) return std::nullopt;
    return QString::fromUtf8(*text);
}

QByteArray write(const QString& text, QByteArrayView data, QByteArrayView key) {
    if (!isPNG(data)) throw SidecarError::io(QStringLiteral("not a PNG"));
    const QByteArray newChunk = makeTextChunk(text, key);

    QByteArray output;
    output.reserve(data.size() + newChunk.size());
    output.append(data.first(static_cast<qsizetype>(signature.size())));
    bool sawEnd = false;
    forEachChunk(data, [&](const Chunk& chunk) {
        if (keyedText(chunk, key)) return false;
        if (chunk.type == QByteArrayView("IEND") && !sawEnd) {
            output.append(newChunk);
            sawEnd = true;
        }
        output.append(data.sliced(chunk.start, chunk.end - chunk.start));
        return false;
    });
    if (!sawEnd) throw SidecarError::io(QStringLiteral("PNG missing IEND"));
    return output;
}

std::uint32_t crc32(QByteArrayView bytes) {
    const auto& table = crcTable();
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char byte : bytes) c = table[(c ^ static_cast<unsigned char>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

} // namespace PNGText

namespace PNGDimensions {

std::optional<std::pair<std::int64_t, std::int64_t>> read(QByteArrayView data) {
    if (data.size() < 24 || data.sliced(12, 4) != QByteArrayView("IHDR")) return std::nullopt;
    return std::pair<std::int64_t, std::int64_t>{readBE32(data, 16), readBE32(data, 20)};
}

} // namespace PNGDimensions

} // namespace SidecarKit
