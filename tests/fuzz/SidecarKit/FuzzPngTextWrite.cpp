// Writes a text chunk into arbitrary bytes. The first input byte says how many of the following
// bytes are the text; the rest is the PNG. A successful write must hold exactly the new text,
// read back equal, and writing the same text again must change nothing.
#include "SidecarKit/PNGText.h"
#include "SidecarKit/SidecarError.h"

#include "FuzzCheck.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t textLength = std::min<std::size_t>(data[0], size - 1);
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(textLength));
    const QByteArray png(reinterpret_cast<const char*>(data + 1 + textLength),
                         static_cast<qsizetype>(size - 1 - textLength));
    QByteArray written;
    try {
        written = SidecarKit::PNGText::write(text, png);
    } catch (const SidecarKit::SidecarError& error) {
        FUZZ_CHECK(error.kind() == SidecarKit::SidecarError::Kind::io);
        return 0;
    }
    FUZZ_CHECK(SidecarKit::PNGText::isPNG(written));
    FUZZ_CHECK(SidecarKit::PNGText::read(written) == text);
    FUZZ_CHECK(SidecarKit::PNGText::write(text, written) == written);
    return 0;
}
