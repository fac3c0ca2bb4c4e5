// The heap handed back once the app is idle: what a thread that has ended left in its arena.

#include "Support/HeapRelease.h"
#include "support/TestEnvironment.h"

#include <malloc.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

namespace {

// How many pages from `start` on, `length` bytes, are present, by the page table.
std::size_t presentPages(std::uintptr_t start, std::size_t length) {
    const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    const int pagemap = ::open("/proc/self/pagemap", O_RDONLY);
    std::size_t present = 0;
    for (std::uintptr_t address = start / page * page; address < start + length; address += page) {
        std::uint64_t entry = 0;
        if (::pread(pagemap, &entry, sizeof entry, off_t(address / page * sizeof entry)) == sizeof entry)
            present += (entry >> 63) & 1;
    }
    ::close(pagemap);
    return present;
}

// How a worker's blocks were left behind when the app went idle.
enum class LeftBehind {
    InAnEndedThreadsArena,
    // a free block in the middle of the heap, fenced from its top by a live one
    BelowAFreeBlockInTheMiddle,
    // the thread that releases took the arena over when it first allocated
    InTheReleasingThreadsArena,
};

// A worker's blocks, freed while the engines were warm (the app then keeps the heap's top so the
// next capture reuses it), stay in its arena's top after the worker ended; malloc_trim alone
// never trims another arena's top.
TEST(HeapRelease, TheTopOfEveryArenaLeftBehindIsHandedBack) {
    if (TestSupport::heapIsSanitized()) GTEST_SKIP() << "glibc's arenas are not in use under the address sanitizer";
    constexpr std::size_t kBlock = 512 * 1024;
    constexpr int kBlocks = 48;
    const std::size_t written = kBlocks * kBlock / std::size_t(::sysconf(_SC_PAGESIZE));
    for (const LeftBehind how : {LeftBehind::InAnEndedThreadsArena, LeftBehind::BelowAFreeBlockInTheMiddle,
                                 LeftBehind::InTheReleasingThreadsArena}) {
        SCOPED_TRACE(int(how));
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 1024 * 1024 * 1024);
        std::vector<std::uintptr_t> blocks;
        void* fence = nullptr;
        std::thread([&] {
            void* middle = how == LeftBehind::BelowAFreeBlockInTheMiddle ? std::malloc(4 * 1024 * 1024) : nullptr;
            if (middle) fence = std::malloc(64);
            std::vector<void*> held;
            for (int i = 0; i < kBlocks; ++i) {
                held.push_back(std::malloc(kBlock));
                std::memset(held.back(), 1, kBlock);
                blocks.push_back(reinterpret_cast<std::uintptr_t>(held.back()));
            }
            for (void* block : held) std::free(block);
            std::free(middle);
        }).join();
        const auto present = [&] {
            std::size_t pages = 0;
            for (const std::uintptr_t block : blocks) pages += presentPages(block, kBlock);
            return pages;
        };
        const std::size_t before = present();
        mallopt(M_TRIM_THRESHOLD, 128 * 1024); // the engines let go
        if (how == LeftBehind::InTheReleasingThreadsArena)
            std::thread([] {
                void* volatile first = std::malloc(32); // takes the arena the worker left
                Support::releaseFreeHeap();
                std::free(first);
            }).join();
        else
            Support::releaseFreeHeap();
        const std::size_t after = present();
        std::free(fence);
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);

        EXPECT_GT(before, written * 3 / 4) << "the blocks were handed back before the release";
        EXPECT_LT(after, written / 10) << after << " of " << written << " pages still resident";
    }
}

} // namespace
