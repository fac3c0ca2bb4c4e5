// The bounded JSON reader on arbitrary text: it never throws (numbers beyond the double range,
// bad UTF-8 and deep nesting are all refused as damaged), and what it reads is written back to
// text that reads to the same value.
#include "Support/BoundedJson.h"

#include "../SidecarKit/FuzzCheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QString error;
    const std::optional<nlohmann::json> parsed = Support::BoundedJson::parse(text, &error);
    if (!parsed) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    const std::string written = parsed->dump();
    const std::optional<nlohmann::json> reread = Support::BoundedJson::parse(QByteArrayView(written.data(), qsizetype(written.size())));
    FUZZ_CHECK(reread.has_value());
    FUZZ_CHECK(*reread == *parsed);
    return 0;
}
