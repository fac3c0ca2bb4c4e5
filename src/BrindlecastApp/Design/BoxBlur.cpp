#include "BrindlecastApp/Design/BoxBlur.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <vector>

namespace BrindlecastApp {

namespace {

// One box pass of half-width `r` over `count` pixels spaced `stride` apart, all four channels.
void boxPass(quint32* line, int count, int stride, int r, std::vector<quint32>& scratch) {
    scratch.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) scratch[static_cast<size_t>(i)] = line[i * stride];
    const int window = 2 * r + 1;
    int sums[4] = {0, 0, 0, 0};
    auto channel = [](quint32 pixel, int c) { return static_cast<int>((pixel >> (8 * c)) & 0xFF); };
    auto at = [&](int i) { return (i < 0 || i >= count) ? 0u : scratch[static_cast<size_t>(i)]; };
    for (int i = -r; i <= r; ++i)
        for (int c = 0; c < 4; ++c) sums[c] += channel(at(i), c);
    for (int i = 0; i < count; ++i) {
        quint32 out = 0;
        for (int c = 0; c < 4; ++c) out |= static_cast<quint32>(sums[c] / window) << (8 * c);
        line[i * stride] = out;
        for (int c = 0; c < 4; ++c) sums[c] += channel(at(i + r + 1), c) - channel(at(i - r), c);
    }
}

} // namespace

void boxBlur(QImage& image, double sigma) {
    if (sigma < 0.5 || image.isNull()) return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Three passes of width w give a variance of (w² - 1) / 4.
    const int r = std::max(1, static_cast<int>(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2)));
    const int width = image.width(), height = image.height();
    const int stride = static_cast<int>(image.bytesPerLine() / 4);
    auto* bits = reinterpret_cast<quint32*>(image.bits());
    std::vector<quint32> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < height; ++y) boxPass(bits + y * stride, width, 1, r, scratch);
        for (int x = 0; x < width; ++x) boxPass(bits + x, height, stride, r, scratch);
    }
}

} // namespace BrindlecastApp
