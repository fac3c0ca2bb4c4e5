#include "PolicyKit/PropertyListTypes.h"

namespace PolicyKit::PropertyList {

QString typeName(const nlohmann::json& value) {
    switch (value.type()) {
    case nlohmann::json::value_t::string: return "String";
    case nlohmann::json::value_t::boolean: return "Bool";
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned: return "Int";
    case nlohmann::json::value_t::number_float: return "Double";
    case nlohmann::json::value_t::array: return "Array";
    case nlohmann::json::value_t::object: return "Dictionary";
    case nlohmann::json::value_t::binary: return "Data";
    case nlohmann::json::value_t::null:
    case nlohmann::json::value_t::discarded: break;
    }
    return "Null";
}

std::optional<QString> string(const nlohmann::json& value) {
    if (!value.is_string()) return std::nullopt;
    return QString::fromStdString(value.get<std::string>());
}

std::optional<nlohmann::json> dictionary(const nlohmann::json& value) {
    if (!value.is_object()) return std::nullopt;
    return value;
}

std::optional<bool> boolean(const nlohmann::json& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) {
        const double number = value.get<double>();
        if (number == 0) return false;
        if (number == 1) return true;
    }
    return std::nullopt;
}

std::optional<QStringList> stringArray(const nlohmann::json& value) {
    if (!value.is_array()) return std::nullopt;
    QStringList strings;
    for (const auto& element : value) {
        if (!element.is_string()) return std::nullopt;
        strings << QString::fromStdString(element.get<std::string>());
    }
    return strings;
}

} // namespace PolicyKit::PropertyList
