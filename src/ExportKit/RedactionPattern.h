#pragma once

#include "Support/Geometry.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ExportKit::Exporter::RedactionPattern {

// The deterministic textures of the "scramble" and "blur" redaction looks. Their grays derive
// only from the region's rounded geometry, never from the pixels they cover, and the review
// canvas draws the same values as the export.
//
// Rectangles whose coordinates are not finite or lie beyond +/-2^53 have no texture: every
// function below gives nothing for them, and the renderer refuses to draw them.

// The largest magnitude of a coordinate or size that a texture accepts.
inline constexpr double kLargestCoordinate = 9007199254740992.0; // 2^53

bool isDrawable(const Support::Rect& rect);

// The seed of a rectangle's textures: its rounded minX, minY, width and height mixed together.
std::optional<std::uint64_t> seed(const Support::Rect& rect);

// The SplitMix64 generator the textures draw from. Its state after k draws is
// seed + k * increment, so a draw far into the stream costs no more than the first.
class SplitMix64 {
public:
    static constexpr std::uint64_t kIncrement = 0x9e3779b97f4a7c15ULL;
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    // The generator as it stands after `draws` draws from `seed`.
    static SplitMix64 after(std::uint64_t seed, std::uint64_t draws) { return SplitMix64(seed + draws * kIncrement); }
    std::uint64_t next();

private:
    std::uint64_t state_;
};

struct Scramble {
    double cell = 8;      // side of one square, in the rectangle's units
    std::int64_t columns = 1;
    std::int64_t rows = 1;
    std::vector<std::vector<double>> grays; // row 0 first, column 0 first in each row
};

// The part of a mosaic that meets a visible area: rows firstRow..firstRow+grays.size()-1 and
// columns firstColumn..firstColumn+grays[0].size()-1 of the whole grid.
struct ScrambleWindow {
    double cell = 8;
    std::int64_t firstRow = 0;
    std::int64_t firstColumn = 0;
    std::vector<std::vector<double>> grays;
};

// The side of a mosaic square for a region: a third of its height, rounded, held between 8 and 64.
double scrambleCell(const Support::Rect& rect);

// The whole mosaic of a region. Nothing for a rectangle without a texture, or one whose grid
// would exceed `maxCells` squares (use scrambleWindow for those).
std::optional<Scramble> scramble(const Support::Rect& rect, std::int64_t maxCells = std::int64_t(1) << 22);

// Only the squares of the mosaic that meet `visible` (in the same coordinates as `rect`), with
// exactly the grays the whole mosaic has there. Nothing when no square meets it.
std::optional<ScrambleWindow> scrambleWindow(const Support::Rect& rect, const Support::Rect& visible);

using BlurTile = std::array<std::array<double, 6>, 4>;

// The 4 rows of 6 grays stretched over a region for the "blur" look.
std::optional<BlurTile> blurTile(const Support::Rect& rect);

} // namespace ExportKit::Exporter::RedactionPattern
