#include "Support/HeapRelease.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <system_error>
#include <thread>
#include <vector>

namespace Support {

namespace {

// What the allocator's report says of its arenas: how many there are, the main one included,
// and the largest free block lying in any of their bins.
struct HeapReport {
    int arenas = 0;
    std::size_t largestFreeBlock = 0;
};

HeapReport heapReport() {
    char* text = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    if (!out) return {};
    malloc_info(0, out);
    std::fclose(out);
    HeapReport report;
    for (const char* at = text; at && (at = std::strstr(at, "<heap nr=")); ++at) ++report.arenas;
    // Each bin's line: <size from="smallest" to="largest" .../>, the unsorted one likewise.
    for (const char* at = text; at && (at = std::strstr(at, " to=\"")); ++at)
        report.largestFreeBlock = std::max<std::size_t>(report.largestFreeBlock, std::strtoull(at + 5, nullptr, 10));
    std::free(text);
    return report;
}

// A block the allocator can carve only from an arena's top: larger than any free block in its
// bins, so that freeing it gives the top back (a smaller one may be cut from a free block in the
// middle of the heap and return there). Kept below the size from which the app has blocks
// mapped on their own (32 MiB), and at least the size past which a free makes the arena trim.
std::size_t topBlockSize(const HeapReport& report) {
    constexpr std::size_t kSmallest = 256 * 1024;
    constexpr std::size_t kLargest = 31 * 1024 * 1024;
    return std::clamp(report.largestFreeBlock + 64 * 1024, kSmallest, kLargest);
}

// Frees a block from the top of the calling thread's arena, which then trims its top as far as
// the trim threshold allows.
void trimOwnArena(std::size_t block) {
    void* volatile held = std::malloc(block); // volatile: the pair is not optimised away
    std::free(held);
}

constexpr int kMostThreads = 64;

// A new thread takes an arena no living thread holds, if there is one, and threads alive at once
// take one each: every arena left behind gets a thread that frees a block from its top.
void trimArenasLeftBehind(const HeapReport& report) {
    const std::size_t block = topBlockSize(report);
    const int threads = std::min(report.arenas - 1, kMostThreads);
    if (threads <= 0) return;
    std::latch attached(threads);
    std::vector<std::thread> visitors;
    visitors.reserve(static_cast<std::size_t>(threads));
    try {
        for (int i = 0; i < threads; ++i)
            visitors.emplace_back([&attached, block] {
                void* volatile held = std::malloc(block);
                attached.arrive_and_wait();
                std::free(held);
            });
    } catch (const std::system_error&) {
        // No thread to spare: those started go on once the rest are counted as arrived.
        for (int missing = threads - static_cast<int>(visitors.size()); missing > 0; --missing) attached.count_down();
    }
    for (std::thread& visitor : visitors) visitor.join();
}

} // namespace

void releaseFreeHeap() {
    const HeapReport report = heapReport();
    // The calling thread may hold an arena a thread that ended left behind (it takes the last one
    // freed when it first allocates): no visitor reaches that one.
    trimOwnArena(topBlockSize(report));
    trimArenasLeftBehind(report);
    malloc_trim(0);
}

} // namespace Support
