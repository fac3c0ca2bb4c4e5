#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

namespace Support::ResidentPages {

// An address range [first, second).
using Range = std::pair<std::uintptr_t, std::uintptr_t>;

// The shared objects loaded in this process, by load address.
std::set<std::uintptr_t> loadedObjects();

// The read-only segments (code and constants) of the shared objects loaded since `before`. Those
// objects stay loaded for good from now on, so the ranges keep holding them.
std::vector<Range> readOnlySegmentsLoadedSince(const std::set<std::uintptr_t>& before);

// Lets go of this process's resident pages in `ranges` that it never wrote to: they are the page
// cache's own, and the next use maps them again from there (a minor fault a page), as the kernel
// would under memory pressure.
void releaseUnwrittenPages(const std::vector<Range>& ranges);

} // namespace Support::ResidentPages
