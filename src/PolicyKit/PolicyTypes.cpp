#include "PolicyKit/PolicyTypes.h"

#include <array>
#include <utility>

namespace PolicyKit {

namespace {

// Raw values in declaration order: the index is the enumeration's integer tag.
constexpr std::array<const char16_t*, 3> kPolicySources{u"default", u"user", u"managed"};
constexpr std::array<const char16_t*, 3> kBlockedAppBehaviors{u"omit", u"placeholder", u"cancelCapture"};
constexpr std::array<const char16_t*, 2> kPIIActions{u"blurMandatory", u"blurSuggested"};
constexpr std::array<const char16_t*, 3> kExportDestinations{u"clipboard", u"folder", u"uploadEndpoint"};
constexpr std::array<const char16_t*, 3> kSidecarModes{u"off", u"file", u"embedded"};

template <typename Enum, std::size_t N>
QString rawOf(const std::array<const char16_t*, N>& table, Enum value) {
    return QString::fromUtf16(table.at(static_cast<std::size_t>(value)));
}

template <typename Enum, std::size_t N>
std::optional<Enum> fromTable(const std::array<const char16_t*, N>& table, QStringView raw) {
    for (std::size_t i = 0; i < N; ++i) {
        if (raw == QStringView(table[i])) return static_cast<Enum>(i);
    }
    return std::nullopt;
}

template <typename Enum>
void decodeEnum(const nlohmann::ordered_json& json, Enum& value, const char* typeName,
                std::optional<Enum> (*fromRaw)(QStringView)) {
    const QString raw = JsonField::string(json, typeName);
    const std::optional<Enum> parsed = fromRaw(raw);
    if (!parsed) {
        throw DecodingError(std::string("cannot initialize ") + typeName + " from invalid String value \"" +
                            raw.toStdString() + "\"");
    }
    value = *parsed;
}

} // namespace

QString rawValue(PolicySource value) { return rawOf(kPolicySources, value); }
QString rawValue(BlockedAppBehavior value) { return rawOf(kBlockedAppBehaviors, value); }
QString rawValue(PIIAction value) { return rawOf(kPIIActions, value); }
QString rawValue(ExportDestination value) { return rawOf(kExportDestinations, value); }
QString rawValue(SidecarMode value) { return rawOf(kSidecarModes, value); }

std::optional<PolicySource> policySourceFromRaw(QStringView raw) {
    return fromTable<PolicySource>(kPolicySources, raw);
}
std::optional<BlockedAppBehavior> blockedAppBehaviorFromRaw(QStringView raw) {
    return fromTable<BlockedAppBehavior>(kBlockedAppBehaviors, raw);
}
std::optional<PIIAction> piiActionFromRaw(QStringView raw) { return fromTable<PIIAction>(kPIIActions, raw); }
std::optional<ExportDestination> exportDestinationFromRaw(QStringView raw) {
    return fromTable<ExportDestination>(kExportDestinations, raw);
}
std::optional<SidecarMode> sidecarModeFromRaw(QStringView raw) { return fromTable<SidecarMode>(kSidecarModes, raw); }

namespace JsonField {

const nlohmann::ordered_json& required(const nlohmann::ordered_json& object, const char* key) {
    if (!object.is_object()) throw DecodingError(std::string("expected an object holding \"") + key + "\"");
    const auto it = object.find(key);
    if (it == object.end()) throw DecodingError(std::string("missing key \"") + key + "\"");
    return *it;
}

QString string(const nlohmann::ordered_json& value, const char* what) {
    if (!value.is_string()) throw DecodingError(std::string(what) + ": expected a string");
    return QString::fromStdString(value.get_ref<const std::string&>());
}

bool boolean(const nlohmann::ordered_json& value, const char* what) {
    if (!value.is_boolean()) throw DecodingError(std::string(what) + ": expected a boolean");
    return value.get<bool>();
}

} // namespace JsonField

void to_json(nlohmann::ordered_json& json, PolicySource value) { json = rawValue(value).toStdString(); }
void to_json(nlohmann::ordered_json& json, BlockedAppBehavior value) { json = rawValue(value).toStdString(); }
void to_json(nlohmann::ordered_json& json, PIIAction value) { json = rawValue(value).toStdString(); }
void to_json(nlohmann::ordered_json& json, ExportDestination value) { json = rawValue(value).toStdString(); }
void to_json(nlohmann::ordered_json& json, SidecarMode value) { json = rawValue(value).toStdString(); }

void to_json(nlohmann::ordered_json& json, const PIIPattern& value) {
    json = nlohmann::ordered_json::object();
    json["name"] = value.name.toStdString();
    json["regex"] = value.regex.toStdString();
    json["action"] = value.action;
}

void to_json(nlohmann::ordered_json& json, const WatermarkConfig& value) {
    json = nlohmann::ordered_json::object();
    json["enabled"] = value.enabled;
    json["includeUser"] = value.includeUser;
    json["includeDevice"] = value.includeDevice;
    json["includeTimestamp"] = value.includeTimestamp;
}

void from_json(const nlohmann::ordered_json& json, PolicySource& value) {
    decodeEnum(json, value, "PolicySource", policySourceFromRaw);
}
void from_json(const nlohmann::ordered_json& json, BlockedAppBehavior& value) {
    decodeEnum(json, value, "BlockedAppBehavior", blockedAppBehaviorFromRaw);
}
void from_json(const nlohmann::ordered_json& json, PIIAction& value) {
    decodeEnum(json, value, "PIIAction", piiActionFromRaw);
}
void from_json(const nlohmann::ordered_json& json, ExportDestination& value) {
    decodeEnum(json, value, "ExportDestination", exportDestinationFromRaw);
}
void from_json(const nlohmann::ordered_json& json, SidecarMode& value) {
    decodeEnum(json, value, "SidecarMode", sidecarModeFromRaw);
}

void from_json(const nlohmann::ordered_json& json, PIIPattern& value) {
    PIIPattern decoded;
    decoded.name = JsonField::string(JsonField::required(json, "name"), "name");
    decoded.regex = JsonField::string(JsonField::required(json, "regex"), "regex");
    from_json(JsonField::required(json, "action"), decoded.action);
    value = std::move(decoded);
}

void from_json(const nlohmann::ordered_json& json, WatermarkConfig& value) {
    WatermarkConfig decoded;
    decoded.enabled = JsonField::boolean(JsonField::required(json, "enabled"), "enabled");
    decoded.includeUser = JsonField::boolean(JsonField::required(json, "includeUser"), "includeUser");
    decoded.includeDevice = JsonField::boolean(JsonField::required(json, "includeDevice"), "includeDevice");
    decoded.includeTimestamp = JsonField::boolean(JsonField::required(json, "includeTimestamp"), "includeTimestamp");
    value = decoded;
}

} // namespace PolicyKit
