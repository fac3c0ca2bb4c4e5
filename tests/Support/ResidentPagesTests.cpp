// Letting go of a loaded library's unwritten pages: they leave the resident set and come back,
// byte for byte, when next read.

#include "Support/ResidentPages.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

using Support::ResidentPages::Range;

// Resident kB of this process inside `ranges`, by the mappings that overlap them.
std::size_t residentKB(const std::vector<Range>& ranges) {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    std::size_t total = 0;
    while (std::getline(smaps, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (!first.empty() && first.back() != ':') {
            const std::size_t dash = first.find('-');
            const std::uintptr_t start = std::stoull(first.substr(0, dash), nullptr, 16);
            const std::uintptr_t end = std::stoull(first.substr(dash + 1), nullptr, 16);
            inside = false;
            for (const Range& r : ranges) inside = inside || (start < r.second && r.first < end);
        } else if (inside && first == "Rss:") {
            std::size_t kB = 0;
            fields >> kB;
            total += kB;
        }
    }
    return total;
}

std::uint64_t checksum(const std::vector<Range>& ranges) {
    std::uint64_t sum = 1469598103934665603ull;
    for (const Range& r : ranges)
        for (auto* p = reinterpret_cast<const volatile unsigned char*>(r.first); p < reinterpret_cast<const unsigned char*>(r.second); ++p)
            sum = (sum ^ *p) * 1099511628211ull;
    return sum;
}

} // namespace

TEST(ResidentPages, ALibraryLoadedLaterGivesBackItsUnwrittenPagesAndReadsTheSameAfter) {
    const std::set<std::uintptr_t> before = Support::ResidentPages::loadedObjects();
    // A library of the detection engines' that nothing here links.
    void* library = dlopen("libgif.so.7", RTLD_NOW | RTLD_LOCAL);
    if (!library) GTEST_SKIP() << "libgif.so.7 is not installed";
    if (before.size() == Support::ResidentPages::loadedObjects().size()) GTEST_SKIP() << "already loaded";

    const std::vector<Range> segments = Support::ResidentPages::readOnlySegmentsLoadedSince(before);
    ASSERT_FALSE(segments.empty());
    const std::uint64_t bytes = checksum(segments); // every page read, so resident
    ASSERT_GT(residentKB(segments), 0u);

    Support::ResidentPages::releaseUnwrittenPages(segments);
    EXPECT_EQ(residentKB(segments), 0u);
    EXPECT_EQ(checksum(segments), bytes);
    // Still loaded, and usable.
    EXPECT_NE(dlsym(library, "DGifOpenFileName"), nullptr);
    // Nothing else is touched: the ranges of objects loaded before are not among them.
    EXPECT_TRUE(Support::ResidentPages::readOnlySegmentsLoadedSince(Support::ResidentPages::loadedObjects()).empty());
}
