#pragma once

#include <QtGlobal>

#include <optional>

namespace Support::SystemMemory {

// The memory the system could give a process now without swapping (the kernel's "MemAvailable"),
// in bytes; nothing when it cannot be told. Allocations are not refused on Linux until their
// pages are touched, so a large image is checked against this before it is made.
std::optional<qint64> availableBytes();

} // namespace Support::SystemMemory
