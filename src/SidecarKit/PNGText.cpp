#include "SidecarKit/PNGText.h"

#include "SidecarKit/SidecarError.h"
#include "Support/PngChunks.h"

#include <QtEndian>

#include <algorithm>
#include <array>

namespace SidecarKit {

namespace {

using Support::PngChunks::Chunk;

std::uint32_t readBE32(QByteArrayView data, qsizetype offset) { return qFromBigEndian<quint32>(data.data() + offset); }

void appendBE32(QByteArray& out, std::uint32_t value) {
    out.append(static_cast<char>(value >> 24));
    out.append(static_cast<char>(value >> 16));
    out.append(static_cast<char>(value >> 8));
    out.append(static_cast<char>(value));
}

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

// Whether a chunk's data opens with the keyword `key` and its zero byte: a keyword compared as
// UTF-8 text equals `key` exactly when its bytes do, so the bytes are compared directly.
bool opensWithKeyword(QByteArrayView dataStart, QByteArrayView key) {
    return dataStart.size() > key.size() && dataStart.first(key.size()) == key && dataStart[key.size()] == '\0';
}

// The text of a "tEXt" chunk with the keyword `key` in `data`; nothing for any other chunk.
std::optional<QByteArrayView> keyedText(QByteArrayView data, const Chunk& chunk, QByteArrayView key) {
    if (!chunk.is("tEXt")) return std::nullopt;
    const QByteArrayView body = data.sliced(chunk.dataStart(), chunk.length);
    if (!opensWithKeyword(body, key)) return std::nullopt;
    return body.sliced(key.size() + 1);
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

bool isPNG(QByteArrayView data) { return Support::PngChunks::startsWithSignature(data); }

std::optional<QByteArrayView> storedText(QByteArrayView data, QByteArrayView key) {
    if (!isPNG(data)) return std::nullopt;
    std::optional<QByteArrayView> result;
    Support::PngChunks::forEach(data, [&](const Chunk& chunk) {
        if (chunk.is("IEND")) return true;
        result = keyedText(data, chunk, key);
        return result.has_value();
    });
    return result;
}

std::optional<StoredText> storedText(Support::SafeFile::OpenFile& file, qint64 limit, qint64 maximumTextBytes,
                                     QByteArrayView key) {
    std::optional<StoredText> result;
    bool unreadable = false;
    Support::PngChunks::walk(file, limit, [&](const Chunk& chunk) {
        if (chunk.is("IEND")) return true;
        if (!chunk.is("tEXt")) return false;
        // Only the keyword is read of a text chunk that may not be the one looked for.
        const std::optional<QByteArray> opening = file.readAt(chunk.dataStart(), std::min(chunk.length, key.size() + 1));
        if (!opening) return unreadable = true;
        if (!opensWithKeyword(*opening, key)) return false;
        result = StoredText{chunk.length - key.size() - 1, std::nullopt};
        if (result->length <= maximumTextBytes) {
            result->text = file.readAt(chunk.dataStart() + key.size() + 1, result->length);
            if (!result->text || result->text->size() < result->length) unreadable = true;
        }
        return true;
    });
    if (unreadable) return std::nullopt;
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
    output.append(data.first(Support::PngChunks::signatureBytes));
    bool sawEnd = false;
    Support::PngChunks::forEach(data, [&](const Chunk& chunk) {
        if (keyedText(data, chunk, key)) return false;
        if (chunk.is("IEND") && !sawEnd) {
            output.append(newChunk);
            sawEnd = true;
        }
        output.append(data.sliced(chunk.start, chunk.end() - chunk.start));
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
