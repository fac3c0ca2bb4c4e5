// The header reader on arbitrary bytes: no crash, and a size is never negative.
#include "SidecarKit/PNGText.h"

#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto dimensions = SidecarKit::PNGDimensions::read(bytes);
    FUZZ_CHECK(!dimensions || (size >= 24 && dimensions->first >= 0 && dimensions->second >= 0));
    return 0;
}
