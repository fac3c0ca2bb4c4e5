// Letting go of a loaded library's unwritten pages: they leave the resident set and come back,
// byte for byte, when next read.

#include "Support/ResidentPages.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>


namespace {

using Support::ResidentPages::Range;

// How many pages of `ranges` this process has mapped in, by its page table (/proc/self/pagemap:
// bit 63 of a page's entry says it is present).
std::size_t presentPages(const std::vector<Range>& ranges) {
    const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const int pagemap = ::open("/proc/self/pagemap", O_RDONLY);
    std::size_t present = 0;
    for (const Range& r : ranges) {
        for (std::uintptr_t address = r.first; address < r.second; address += page) {
            std::uint64_t entry = 0;
            if (::pread(pagemap, &entry, sizeof entry, off_t(address / page * sizeof entry)) == sizeof entry)
                present += (entry >> 63) & 1;
        }
    }
    ::close(pagemap);
    return present;
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
    ASSERT_GT(presentPages(segments), 0u);

    Support::ResidentPages::releaseUnwrittenPages(segments);
    EXPECT_EQ(presentPages(segments), 0u);
    EXPECT_EQ(checksum(segments), bytes);
    // Still loaded, and usable.
    EXPECT_NE(dlsym(library, "DGifOpenFileName"), nullptr);
    // Nothing else is touched: the ranges of objects loaded before are not among them.
    EXPECT_TRUE(Support::ResidentPages::readOnlySegmentsLoadedSince(Support::ResidentPages::loadedObjects()).empty());
}
