#include "Support/BoundedJson.h"

namespace Support::BoundedJson {

std::optional<nlohmann::json> parse(QByteArrayView text, QString* error) {
    bool tooDeep = false;
    // `depth` counts the containers around the value (0 at the top), so a value at depth
    // kMaximumDepth would be the one-past-the-limit level. Returning false discards it.
    const auto limitDepth = [&tooDeep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
        if (depth >= kMaximumDepth) tooDeep = true;
        return !tooDeep;
    };
    try {
        nlohmann::json parsed = nlohmann::json::parse(text.begin(), text.end(), limitDepth, true);
        if (tooDeep) {
            if (error) *error = QString("nested deeper than %1 levels").arg(kMaximumDepth);
            return std::nullopt;
        }
        return parsed;
    } catch (const nlohmann::json::exception& failure) {
        // Not only syntax: a number beyond the double range ("1e999") is an out_of_range error,
        // and any other complaint of the library means the same to a reader: a damaged document.
        if (error) *error = QString::fromUtf8(failure.what());
        return std::nullopt;
    }
}

} // namespace Support::BoundedJson
