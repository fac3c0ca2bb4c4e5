#include "DetectionKit/ReadRegionCache.h"

namespace DetectionKit {

using LineAssembly::PixelLine;

namespace {

std::vector<PixelLine> movedBy(std::vector<PixelLine> lines, double dx, double dy) {
    LineAssembly::moveLines(lines, dx, dy);
    return lines;
}

// The same pixels read at another scale or with another margin read differently.
PixelContentCache<std::vector<PixelLine>>::Tag tagOf(const ScreenTextRegions::Prepared& prepared) {
    return {prepared.scale, double(prepared.margin)};
}

} // namespace

ReadRegionCache::ReadRegionCache(std::size_t mostBytes) : lines_(mostBytes) {}

std::optional<std::vector<PixelLine>> ReadRegionCache::find(const ScreenTextRegions::Prepared& prepared) {
    std::optional<std::vector<PixelLine>> lines = lines_.find(prepared.grey, tagOf(prepared));
    if (lines) LineAssembly::moveLines(*lines, prepared.origin.x, prepared.origin.y);
    return lines;
}

void ReadRegionCache::remember(const ScreenTextRegions::Prepared& prepared, const std::vector<PixelLine>& lines) {
    lines_.remember(prepared.grey, tagOf(prepared), movedBy(lines, -prepared.origin.x, -prepared.origin.y));
}

} // namespace DetectionKit
