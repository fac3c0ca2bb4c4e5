#pragma once

#include <QString>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <optional>

// How policy resolution reads the loosely typed values of the preference layers.
namespace PolicyKit::PropertyList {

// The kind of a rejected value as diagnostics name it: "String", "Int", "Double", "Bool",
// "Array", "Dictionary", "Data", "Null".
QString typeName(const nlohmann::json& value);

std::optional<QString> string(const nlohmann::json& value);

// A dictionary (JSON object keys are always strings).
std::optional<nlohmann::json> dictionary(const nlohmann::json& value);

// A boolean, or a number that is exactly 0 or 1. Strings never count, whatever their text.
std::optional<bool> boolean(const nlohmann::json& value);

// An array whose elements are all strings; one element of another kind rejects the whole array.
std::optional<QStringList> stringArray(const nlohmann::json& value);

} // namespace PolicyKit::PropertyList
