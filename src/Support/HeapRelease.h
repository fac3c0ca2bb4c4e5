#pragma once

namespace Support {

// Hands the heap's free memory back to the system once the app is idle: the free blocks inside
// every arena, the main arena's top, and the tops of the arenas that threads now gone left
// behind. The C library trims a thread's arena only when a large block is freed onto it while
// the trim threshold allows it, so the last capture's arenas otherwise stay resident. Any thread;
// takes a few milliseconds.
void releaseFreeHeap();

} // namespace Support
