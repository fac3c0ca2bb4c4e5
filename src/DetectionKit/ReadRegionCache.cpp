#include "DetectionKit/ReadRegionCache.h"

#include <cstring>
#include <functional>
#include <string_view>

namespace DetectionKit {

using LineAssembly::PixelLine;

namespace {

std::vector<PixelLine> movedBy(std::vector<PixelLine> lines, double dx, double dy) {
    LineAssembly::moveLines(lines, dx, dy);
    return lines;
}

bool samePixels(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    const std::size_t rowBytes = std::size_t(a.cols) * a.elemSize();
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), rowBytes) != 0) return false;
    return true;
}

} // namespace

ReadRegionCache::ReadRegionCache(std::size_t mostBytes) : mostBytes_(mostBytes) {}

std::uint64_t ReadRegionCache::keyOf(const ScreenTextRegions::Prepared& prepared) {
    const cv::Mat& grey = prepared.grey;
    const std::size_t rowBytes = std::size_t(grey.cols) * grey.elemSize();
    std::uint64_t key = std::hash<double>{}(prepared.scale) ^ (std::uint64_t(prepared.margin) << 48) ^
                        (std::uint64_t(grey.rows) << 32) ^ std::uint64_t(grey.cols);
    for (int y = 0; y < grey.rows; ++y) {
        const std::string_view row(reinterpret_cast<const char*>(grey.ptr(y)), rowBytes);
        key = key * 1099511628211ULL ^ std::hash<std::string_view>{}(row);
    }
    return key;
}

ReadRegionCache::Entries::iterator ReadRegionCache::lookUp(std::uint64_t key,
                                                           const ScreenTextRegions::Prepared& prepared) {
    const auto [first, last] = byKey_.equal_range(key);
    for (auto at = first; at != last; ++at) {
        const Entry& entry = *at->second;
        if (entry.scale == prepared.scale && entry.margin == prepared.margin && samePixels(entry.grey, prepared.grey))
            return at->second;
    }
    return entries_.end();
}

std::optional<std::vector<PixelLine>> ReadRegionCache::find(const ScreenTextRegions::Prepared& prepared) {
    if (mostBytes_ == 0) return std::nullopt;
    const std::uint64_t key = keyOf(prepared);
    std::lock_guard lock(mutex_);
    const auto entry = lookUp(key, prepared);
    if (entry == entries_.end()) return std::nullopt;
    entries_.splice(entries_.begin(), entries_, entry);
    return movedBy(entry->lines, prepared.origin.x, prepared.origin.y);
}

void ReadRegionCache::remember(const ScreenTextRegions::Prepared& prepared, const std::vector<PixelLine>& lines) {
    const std::size_t bytes = prepared.grey.total() * prepared.grey.elemSize();
    if (bytes > mostBytes_) return;
    const std::uint64_t key = keyOf(prepared);
    std::vector<PixelLine> placed = movedBy(lines, -prepared.origin.x, -prepared.origin.y);
    std::lock_guard lock(mutex_);
    if (lookUp(key, prepared) != entries_.end()) return; // read at the same time by another worker
    entries_.push_front({key, prepared.grey.clone(), prepared.scale, prepared.margin, std::move(placed), bytes});
    byKey_.emplace(key, entries_.begin());
    bytes_ += bytes;
    while (bytes_ > mostBytes_) {
        const auto oldest = std::prev(entries_.end());
        const auto [first, last] = byKey_.equal_range(oldest->key);
        for (auto at = first; at != last; ++at)
            if (at->second == oldest) {
                byKey_.erase(at);
                break;
            }
        bytes_ -= oldest->bytes;
        entries_.erase(oldest);
    }
}

} // namespace DetectionKit
