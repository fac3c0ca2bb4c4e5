#include "Support/ResidentPages.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace Support::ResidentPages {

namespace {

// One mapping of /proc/self/smaps: its range, whether it may be written, and how much of it is
// resident and how much was copied on write (kB).
struct Mapping {
    Range range;
    bool writable = false;
    std::size_t residentKB = 0;
    std::size_t anonymousKB = 0;
};

std::vector<Mapping> readMappings() {
    std::vector<Mapping> mappings;
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    while (std::getline(smaps, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        // A mapping's first line starts with its range ("7f..-7f.."); its detail lines with a key.
        if (!first.empty() && first.back() != ':') {
            const std::size_t dash = first.find('-');
            if (dash == std::string::npos) continue;
            Mapping m;
            m.range = {std::stoull(first.substr(0, dash), nullptr, 16), std::stoull(first.substr(dash + 1), nullptr, 16)};
            std::string permissions;
            fields >> permissions;
            m.writable = permissions.find('w') != std::string::npos;
            mappings.push_back(m);
        } else if (!mappings.empty()) {
            std::size_t kB = 0;
            fields >> kB;
            if (first == "Rss:") mappings.back().residentKB = kB;
            if (first == "Anonymous:") mappings.back().anonymousKB = kB;
        }
    }
    return mappings;
}

struct Object {
    std::uintptr_t address;
    std::string name;
    std::vector<Range> readOnly;
};

std::vector<Object> objects() {
    std::vector<Object> found;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            Object object{info->dlpi_addr, info->dlpi_name ? info->dlpi_name : "", {}};
            const std::uintptr_t page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& segment = info->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD || (segment.p_flags & PF_W)) continue;
                // The pages it lies on: a read-only mapping holds each of them whole.
                const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                const std::uintptr_t first = start & ~(page - 1);
                const std::uintptr_t end = (start + segment.p_memsz + page - 1) & ~(page - 1);
                if (first < end) object.readOnly.push_back({first, end});
            }
            static_cast<std::vector<Object>*>(data)->push_back(std::move(object));
            return 0;
        },
        &found);
    return found;
}

} // namespace

std::set<std::uintptr_t> loadedObjects() {
    std::set<std::uintptr_t> addresses;
    for (const Object& object : objects()) addresses.insert(object.address);
    return addresses;
}

std::vector<Range> readOnlySegmentsLoadedSince(const std::set<std::uintptr_t>& before) {
    std::vector<Range> ranges;
    for (const Object& object : objects()) {
        if (before.count(object.address) || object.name.empty()) continue;
        // A reference of our own that is never given back: nothing can unload the object and
        // put something else in its place.
        if (!::dlopen(object.name.c_str(), RTLD_NOW | RTLD_NOLOAD)) continue;
        ranges.insert(ranges.end(), object.readOnly.begin(), object.readOnly.end());
    }
    return ranges;
}

void releaseUnwrittenPages(const std::vector<Range>& ranges) {
    for (const Mapping& m : readMappings()) {
        // Pages copied on write (text relocations, say) must stay: letting them go would bring
        // back the file's own bytes.
        if (m.writable || m.anonymousKB != 0 || m.residentKB == 0) continue;
        for (const Range& range : ranges) {
            const std::uintptr_t start = std::max(range.first, m.range.first), end = std::min(range.second, m.range.second);
            if (start >= end) continue;
            ::madvise(reinterpret_cast<void*>(start), end - start, MADV_DONTNEED);
        }
    }
}

} // namespace Support::ResidentPages
