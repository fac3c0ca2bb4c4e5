#pragma once

#include <QtGlobal>

#include <optional>

namespace Support::SystemMemory {

// The memory the system could give a process now without swapping (the kernel's "MemAvailable"),
// in bytes; nothing when it cannot be told. Allocations are not refused on Linux until their
// pages are touched, so a large image is checked against this before it is made.
std::optional<qint64> availableBytes();

// Whether `bytes` can be held `copies` times over in `available` bytes; true when the memory free
// cannot be told (nothing to go by, so nothing is refused for it).
bool canHold(qint64 bytes, int copies, std::optional<qint64> available);
// The same against the memory free now.
bool canHold(qint64 bytes, int copies);

} // namespace Support::SystemMemory
