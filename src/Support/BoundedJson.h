#pragma once

#include <QByteArrayView>
#include <QString>
#include <nlohmann/json.hpp>
#include <optional>

namespace Support::BoundedJson {

// No file of ours nests deeply; one that does is damaged or hostile, and holding, copying or
// destroying such a value would exhaust the stack.
constexpr int kMaximumDepth = 512;

// Parses JSON text, refusing nesting deeper than kMaximumDepth. Gives nothing for any text the
// JSON library refuses (bad syntax, a number beyond the double range such as 1e999, ...) and fills
// `error` (when given) with a short reason; never throws.
std::optional<nlohmann::json> parse(QByteArrayView text, QString* error = nullptr);

} // namespace Support::BoundedJson
