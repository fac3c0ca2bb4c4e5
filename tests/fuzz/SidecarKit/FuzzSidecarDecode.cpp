// The sidecar decoder on arbitrary text: it either reads a document or throws one of its
// declared errors, and a document it reads is written back to text that reads to the same text.
#include "SidecarKit/SidecarError.h"
#include "SidecarKit/SidecarStore.h"

#include "FuzzCheck.h"

#include <cstddef>
#include <cstdint>

using namespace SidecarKit;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::optional<SidecarDocument> document;
    try {
        document = SidecarStore::decodeDocument(bytes);
    } catch (const JSONDecodingError&) {
        return 0;
    } catch (const SidecarError& error) {
        FUZZ_CHECK(error.kind() == SidecarError::Kind::unsupportedVersion);
        return 0;
    }
    // Parsed numbers are finite, so the document always encodes.
    const QByteArray written = document->encoded();
    const SidecarDocument reread = SidecarStore::decodeDocument(written);
    FUZZ_CHECK(reread.encoded() == written);
    return 0;
}
