#include "Support/FileNames.h"

#include <sys/stat.h>

namespace Support::FileNames {

namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence at `at` and its code point, or 0 when the bytes there
// are no such sequence: overlong forms, encoded surrogates and code points past U+10FFFF are
// none, so every name decodes one way only.
int sequenceAt(const QByteArray& bytes, qsizetype at, char32_t* codePoint) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[at + i]); };
    const unsigned char lead = byte(0);
    const qsizetype left = bytes.size() - at;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (left < length || byte(1) < low || byte(1) > high) return 0;
    for (int i = 2; i < length; ++i)
        if (!isContinuation(byte(i))) return 0;
    char32_t value = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) value = (value << 6) | (byte(i) & 0x3F);
    *codePoint = value;
    return length;
}

void appendUtf8(QByteArray& out, char32_t c) {
    if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
    } else {
        if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
        }
        out += char(0x80 | ((c >> 6) & 0x3F));
    }
    out += char(0x80 | (c & 0x3F));
}

} // namespace

QString decode(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        char32_t codePoint = 0;
        if (byte < 0x80) {
            text += QChar(byte);
            ++i;
        } else if (const int length = sequenceAt(bytes, i, &codePoint)) {
            const char32_t one[] = {codePoint};
            text += QString::fromUcs4(one, 1);
            i += length;
        } else {
            text += QChar(char16_t(escapeBase + byte));
            ++i;
        }
    }
    return text;
}

QByteArray encode(const QString& path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        if (unit < 0x80) {
            bytes += char(unit);
        } else if (QChar::isHighSurrogate(unit) && i + 1 < path.size() && path[i + 1].isLowSurrogate()) {
            appendUtf8(bytes, QChar::surrogateToUcs4(unit, path[i + 1].unicode()));
            ++i;
        } else if (unit >= escapeBase + 0x80 && unit <= escapeBase + 0xFF) {
            bytes += char(unit - escapeBase);
        } else if (QChar::isSurrogate(unit)) {
            appendUtf8(bytes, QChar::ReplacementCharacter); // as Qt writes a lone surrogate
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

bool exists(const QString& path) {
    struct stat info {};
    return ::lstat(encode(path).constData(), &info) == 0;
}

std::optional<QDateTime> modified(const QString& path) {
    struct stat info {};
    if (::lstat(encode(path).constData(), &info) != 0) return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000);
}

} // namespace Support::FileNames
