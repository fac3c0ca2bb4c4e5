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

// The arenas the heap has made so far, the main one included.
int arenaCount() {
    char* report = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&report, &size);
    if (!out) return 0;
    malloc_info(0, out);
    std::fclose(out);
    int arenas = 0;
    for (const char* at = report; at && (at = std::strstr(at, "<heap nr=")); ++at) ++arenas;
    std::free(report);
    return arenas;
}

// Freeing a block of this size makes the arena it came from trim its top (any free that leaves a
// free block of 64 KiB or more does, as far as the trim threshold allows).
constexpr std::size_t kTrimmingBlock = 256 * 1024;

void freeATrimmingBlock() {
    void* volatile held = std::malloc(kTrimmingBlock); // volatile: the pair is not optimised away
    std::free(held);
}

constexpr int kMostThreads = 64;

// A new thread takes an arena no living thread holds, if there is one, and threads alive at once
// take one each: every arena left behind gets a thread that frees a block onto it.
void trimArenasLeftBehind() {
    const int threads = std::min(arenaCount() - 1, kMostThreads);
    if (threads <= 0) return;
    std::latch attached(threads);
    std::vector<std::thread> visitors;
    visitors.reserve(static_cast<std::size_t>(threads));
    try {
        for (int i = 0; i < threads; ++i)
            visitors.emplace_back([&attached] {
                void* volatile held = std::malloc(kTrimmingBlock);
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
    // The calling thread may hold an arena a thread that ended left behind (it takes the last one
    // freed when it first allocates): no visitor reaches that one.
    freeATrimmingBlock();
    trimArenasLeftBehind();
    malloc_trim(0);
}

} // namespace Support
