#pragma once

#include "DetectionKit/LineAssembly.h"
#include "DetectionKit/ScreenTextRegions.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace DetectionKit {

// What was read in a region's prepared picture, kept for the same picture in a later capture (the
// same window captured again, a check before an export): an engine reads a picture the same way
// every time, so the same pixels at the same scale give the same lines, wherever they lie on the
// screen. Bounded by the pixels it holds, the least recently used let go first. Lives as long as
// the engines; any thread.
class ReadRegionCache {
public:
    explicit ReadRegionCache(std::size_t mostBytes); // 0: keeps nothing

    // The lines read before in a picture equal to `prepared`'s, moved to its origin.
    std::optional<std::vector<LineAssembly::PixelLine>> find(const ScreenTextRegions::Prepared& prepared);
    void remember(const ScreenTextRegions::Prepared& prepared, const std::vector<LineAssembly::PixelLine>& lines);

private:
    struct Entry {
        std::uint64_t key;
        cv::Mat grey;
        double scale;
        int margin;
        std::vector<LineAssembly::PixelLine> lines; // placed as if the picture's origin were (0, 0)
        std::size_t bytes;
    };
    using Entries = std::list<Entry>;

    static std::uint64_t keyOf(const ScreenTextRegions::Prepared& prepared);
    Entries::iterator lookUp(std::uint64_t key, const ScreenTextRegions::Prepared& prepared);

    const std::size_t mostBytes_;
    std::mutex mutex_;
    Entries entries_; // most recently used first
    std::unordered_multimap<std::uint64_t, Entries::iterator> byKey_;
    std::size_t bytes_ = 0;
};

} // namespace DetectionKit
