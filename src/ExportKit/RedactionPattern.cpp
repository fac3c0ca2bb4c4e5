#include "ExportKit/RedactionPattern.h"

#include <algorithm>
#include <cmath>

namespace ExportKit::Exporter::RedactionPattern {

namespace {

constexpr std::uint64_t kSeedStart = 0x3ab73a584d584cb7ULL;
constexpr std::uint64_t kSeedPrime = 0x100000001b3ULL;
constexpr double kScrambleSpan = 0.76;
constexpr double kScrambleBase = 0.12;
constexpr double kBlurSpan = 0.35;
constexpr double kBlurBase = 0.35;

bool isUsable(double value) { return std::isfinite(value) && std::fabs(value) <= kLargestCoordinate; }

// Rounds halves away from zero and keeps the two's-complement bit pattern.
std::uint64_t roundedBits(double value) { return static_cast<std::uint64_t>(static_cast<std::int64_t>(std::round(value))); }

double gray(std::uint64_t draw, double span, double base) { return double(draw % 1000) / 1000.0 * span + base; }

} // namespace

bool isDrawable(const Support::Rect& rect) {
    if (rect.isNull()) return false;
    const Support::Rect r = rect.standardized();
    return isUsable(r.minX()) && isUsable(r.minY()) && isUsable(r.width()) && isUsable(r.height()) &&
           isUsable(r.maxX()) && isUsable(r.maxY());
}

std::uint64_t SplitMix64::next() {
    state_ += kIncrement;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::optional<std::uint64_t> seed(const Support::Rect& rect) {
    if (!isDrawable(rect)) return std::nullopt;
    const Support::Rect r = rect.standardized();
    std::uint64_t s = roundedBits(r.minX()) ^ kSeedStart;
    s = (s * kSeedPrime) ^ roundedBits(r.minY());
    s = (s * kSeedPrime) ^ roundedBits(r.width());
    s = (s * kSeedPrime) ^ roundedBits(r.height());
    return s;
}

double scrambleCell(const Support::Rect& rect) {
    const double third = std::round(rect.standardized().height() / 3.0);
    return std::max(std::min(third, 64.0), 8.0);
}

namespace {

struct Grid {
    double cell;
    std::int64_t columns;
    std::int64_t rows;
};

// The region's width and height are at most 2^53 and the cell at least 8, so both counts fit.
Grid gridFor(const Support::Rect& r) {
    const double cell = scrambleCell(r);
    const auto columns = std::max<std::int64_t>(1, std::int64_t(std::ceil(r.width() / cell)));
    const auto rows = std::max<std::int64_t>(1, std::int64_t(std::ceil(r.height() / cell)));
    return {cell, columns, rows};
}

std::vector<double> drawRow(std::uint64_t seedValue, const Grid& grid, std::int64_t row, std::int64_t firstColumn,
                            std::int64_t count) {
    SplitMix64 generator = SplitMix64::after(seedValue, std::uint64_t(row) * std::uint64_t(grid.columns) +
                                                            std::uint64_t(firstColumn));
    std::vector<double> grays(static_cast<std::size_t>(count));
    for (double& g : grays) g = gray(generator.next(), kScrambleSpan, kScrambleBase);
    return grays;
}

} // namespace

std::optional<Scramble> scramble(const Support::Rect& rect, std::int64_t maxCells) {
    const auto s = seed(rect);
    if (!s) return std::nullopt;
    const Support::Rect r = rect.standardized();
    const Grid grid = gridFor(r);
    if (grid.rows > maxCells / grid.columns) return std::nullopt;
    Scramble result{grid.cell, grid.columns, grid.rows, {}};
    result.grays.reserve(std::size_t(grid.rows));
    for (std::int64_t row = 0; row < grid.rows; ++row) result.grays.push_back(drawRow(*s, grid, row, 0, grid.columns));
    return result;
}

std::optional<ScrambleWindow> scrambleWindow(const Support::Rect& rect, const Support::Rect& visible) {
    const auto s = seed(rect);
    if (!s || !isDrawable(visible)) return std::nullopt;
    const Support::Rect r = rect.standardized();
    const Support::Rect v = visible.standardized();
    const Grid grid = gridFor(r);
    // Squares are half-open [start, start + cell); those wholly before or after `visible` are skipped.
    auto firstIndex = [&](double lo, double origin) {
        return std::max<std::int64_t>(0, std::int64_t(std::floor((lo - origin) / grid.cell)));
    };
    auto endIndex = [&](double hi, double origin, std::int64_t count) {
        return std::min<std::int64_t>(count, std::int64_t(std::ceil((hi - origin) / grid.cell)));
    };
    const std::int64_t c0 = firstIndex(v.minX(), r.minX());
    const std::int64_t c1 = endIndex(v.maxX(), r.minX(), grid.columns);
    const std::int64_t r0 = firstIndex(v.minY(), r.minY());
    const std::int64_t r1 = endIndex(v.maxY(), r.minY(), grid.rows);
    if (c0 >= c1 || r0 >= r1) return std::nullopt;
    ScrambleWindow window{grid.cell, r0, c0, {}};
    window.grays.reserve(std::size_t(r1 - r0));
    for (std::int64_t row = r0; row < r1; ++row) window.grays.push_back(drawRow(*s, grid, row, c0, c1 - c0));
    return window;
}

std::optional<BlurTile> blurTile(const Support::Rect& rect) {
    const auto s = seed(rect);
    if (!s) return std::nullopt;
    SplitMix64 generator(*s * 31);
    BlurTile tile{};
    for (auto& row : tile) {
        for (double& g : row) g = gray(generator.next(), kBlurSpan, kBlurBase);
    }
    return tile;
}

} // namespace ExportKit::Exporter::RedactionPattern
