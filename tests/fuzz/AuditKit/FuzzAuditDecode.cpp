// One audit buffer line of arbitrary text: it decodes to a record or throws DecodingError, never
// anything else, and a record it reads is written back to a line that reads to the same record.
#include "AuditKit/AuditJSON.h"

#include "../SidecarKit/FuzzCheck.h"

#include <cstddef>
#include <cstdint>

using namespace AuditKit;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView line(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::optional<AuditRecord> record;
    try {
        record = AuditJSON::decode(line);
    } catch (const AuditJSON::DecodingError&) {
        return 0;
    }
    const QByteArray written = AuditJSON::encode(*record);
    FUZZ_CHECK(AuditJSON::encode(AuditJSON::decode(written)) == written);
    return 0;
}
