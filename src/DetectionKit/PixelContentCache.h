#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace DetectionKit {

// What an engine worked out from a picture, kept for a picture with the same pixels in a later
// call (the same window captured again, a check before an export): an engine works out the same
// from the same pixels every time. `tag` holds whatever else decides the result (a scale, where
// the picture lies), compared exactly. The pixels themselves are kept and compared, so only equal
// pictures ever share a result. Bounded by the pixels it holds, the least recently used let go
// first. Any thread.
template <typename Value>
class PixelContentCache {
public:
    using Tag = std::vector<double>;

    explicit PixelContentCache(std::size_t mostBytes) : mostBytes_(mostBytes) {}

    std::optional<Value> find(const cv::Mat& pixels, const Tag& tag) {
        if (mostBytes_ == 0) return std::nullopt;
        const std::uint64_t key = keyOf(pixels, tag);
        std::lock_guard lock(mutex_);
        const auto entry = lookUp(key, pixels, tag);
        if (entry == entries_.end()) return std::nullopt;
        entries_.splice(entries_.begin(), entries_, entry);
        return entry->value;
    }

    void remember(const cv::Mat& pixels, const Tag& tag, Value value) {
        const std::size_t bytes = pixels.total() * pixels.elemSize();
        if (bytes > mostBytes_) return;
        const std::uint64_t key = keyOf(pixels, tag);
        std::lock_guard lock(mutex_);
        if (lookUp(key, pixels, tag) != entries_.end()) return; // worked out at the same time by another worker
        entries_.push_front({key, pixels.clone(), tag, std::move(value), bytes});
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

private:
    struct Entry {
        std::uint64_t key;
        cv::Mat pixels;
        Tag tag;
        Value value;
        std::size_t bytes;
    };
    using Entries = std::list<Entry>;

    static std::uint64_t keyOf(const cv::Mat& pixels, const Tag& tag) {
        std::uint64_t key = (std::uint64_t(pixels.rows) << 32) ^ std::uint64_t(pixels.cols) ^ (std::uint64_t(pixels.type()) << 56);
        for (const double value : tag) key = key * 1099511628211ULL ^ std::hash<double>{}(value);
        const std::size_t rowBytes = std::size_t(pixels.cols) * pixels.elemSize();
        for (int y = 0; y < pixels.rows; ++y) {
            const std::string_view row(reinterpret_cast<const char*>(pixels.ptr(y)), rowBytes);
            key = key * 1099511628211ULL ^ std::hash<std::string_view>{}(row);
        }
        return key;
    }

    static bool samePixels(const cv::Mat& a, const cv::Mat& b) {
        if (a.size() != b.size() || a.type() != b.type()) return false;
        const std::size_t rowBytes = std::size_t(a.cols) * a.elemSize();
        for (int y = 0; y < a.rows; ++y)
            if (std::memcmp(a.ptr(y), b.ptr(y), rowBytes) != 0) return false;
        return true;
    }

    typename Entries::iterator lookUp(std::uint64_t key, const cv::Mat& pixels, const Tag& tag) {
        const auto [first, last] = byKey_.equal_range(key);
        for (auto at = first; at != last; ++at) {
            const Entry& entry = *at->second;
            if (entry.tag == tag && samePixels(entry.pixels, pixels)) return at->second;
        }
        return entries_.end();
    }

    const std::size_t mostBytes_;
    std::mutex mutex_;
    Entries entries_; // most recently used first
    std::unordered_multimap<std::uint64_t, typename Entries::iterator> byKey_;
    std::size_t bytes_ = 0;
};

} // namespace DetectionKit
