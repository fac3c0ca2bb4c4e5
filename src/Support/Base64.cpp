#include "Support/Base64.h"

#include <array>

namespace Support::Base64 {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> makeReverse() {
    std::array<int, 256> table{};
    for (int& v : table) v = -1;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}

constexpr std::array<int, 256> kReverse = makeReverse();

} // namespace

QByteArray encode(QByteArrayView bytes) {
    QByteArray out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    qsizetype i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out.append(kAlphabet[(v >> 18) & 63]);
        out.append(kAlphabet[(v >> 12) & 63]);
        out.append(kAlphabet[(v >> 6) & 63]);
        out.append(kAlphabet[v & 63]);
    }
    const qsizetype rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out.append(kAlphabet[(v >> 18) & 63]);
        out.append(kAlphabet[(v >> 12) & 63]);
        out.append("==");
    } else if (rest == 2) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out.append(kAlphabet[(v >> 18) & 63]);
        out.append(kAlphabet[(v >> 12) & 63]);
        out.append(kAlphabet[(v >> 6) & 63]);
        out.append('=');
    }
    return out;
}

std::optional<QByteArray> decode(QByteArrayView text) {
    const qsizetype n = text.size();
    if (n % 4 != 0) return std::nullopt;
    qsizetype padding = 0;
    if (n > 0 && text[n - 1] == '=') ++padding;
    if (n > 1 && text[n - 2] == '=') ++padding;

    QByteArray out;
    out.reserve(n / 4 * 3);
    for (qsizetype i = 0; i < n; i += 4) {
        const bool lastQuad = i + 4 == n;
        unsigned v = 0;
        for (qsizetype j = 0; j < 4; ++j) {
            const unsigned char c = static_cast<unsigned char>(text[i + j]);
            const bool isPad = lastQuad && j >= 4 - padding;
            if (isPad) {
                if (c != '=') return std::nullopt;
                v <<= 6;
                continue;
            }
            const int d = kReverse[c];
            if (d < 0) return std::nullopt;
            v = (v << 6) | static_cast<unsigned>(d);
        }
        out.append(static_cast<char>((v >> 16) & 0xFF));
        if (!lastQuad || padding < 2) out.append(static_cast<char>((v >> 8) & 0xFF));
        if (!lastQuad || padding < 1) out.append(static_cast<char>(v & 0xFF));
    }
    return out;
}

} // namespace Support::Base64
