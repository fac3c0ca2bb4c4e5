#pragma once

#include <QString>
#include <QStringView>

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>

namespace PolicyKit {

// The policy's closed vocabularies. Each case's raw value is its JSON form; building one from a
// string is an exact, case-sensitive match (no trimming), and anything else gives nothing.

// Where the value of one policy key came from. `default_` is the case whose raw value is "default".
enum class PolicySource { default_, user, managed };

// What a capture does about windows of blocked applications.
enum class BlockedAppBehavior { omit, placeholder, cancelCapture };

// What happens to a finding of a policy pattern.
enum class PIIAction { blurMandatory, blurSuggested };

// A place exports may go to. Nothing uploads: deliverers keep only clipboard and folder.
enum class ExportDestination { clipboard, folder, uploadEndpoint };

// Where a capture's annotation document is kept.
enum class SidecarMode { off, file, embedded };

QString rawValue(PolicySource value);
QString rawValue(BlockedAppBehavior value);
QString rawValue(PIIAction value);
QString rawValue(ExportDestination value);
QString rawValue(SidecarMode value);

std::optional<PolicySource> policySourceFromRaw(QStringView raw);
std::optional<BlockedAppBehavior> blockedAppBehaviorFromRaw(QStringView raw);
std::optional<PIIAction> piiActionFromRaw(QStringView raw);
std::optional<ExportDestination> exportDestinationFromRaw(QStringView raw);
std::optional<SidecarMode> sidecarModeFromRaw(QStringView raw);

// One detection rule of the policy. A rule named like a built-in detector ("email", "phone", "ssn",
// "card", "iban", "ipv4") only sets that detector's action and has an empty regex.
struct PIIPattern {
    QString name;
    QString regex;
    PIIAction action = PIIAction::blurSuggested;
    friend bool operator==(const PIIPattern&, const PIIPattern&) = default;
};

// The watermark switches.
struct WatermarkConfig {
    bool enabled = false;
    bool includeUser = false;
    bool includeDevice = false;
    bool includeTimestamp = false;
    friend bool operator==(const WatermarkConfig&, const WatermarkConfig&) = default;
};

// A JSON text that does not hold the expected value: a missing key, a wrong type, an unknown
// raw value.
class DecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// JSON forms. Enumerations are their raw strings; records are objects keyed by their field names in
// field order, every key required when decoding. Decoding throws DecodingError.
void to_json(nlohmann::ordered_json& json, PolicySource value);
void to_json(nlohmann::ordered_json& json, BlockedAppBehavior value);
void to_json(nlohmann::ordered_json& json, PIIAction value);
void to_json(nlohmann::ordered_json& json, ExportDestination value);
void to_json(nlohmann::ordered_json& json, SidecarMode value);
void to_json(nlohmann::ordered_json& json, const PIIPattern& value);
void to_json(nlohmann::ordered_json& json, const WatermarkConfig& value);

void from_json(const nlohmann::ordered_json& json, PolicySource& value);
void from_json(const nlohmann::ordered_json& json, BlockedAppBehavior& value);
void from_json(const nlohmann::ordered_json& json, PIIAction& value);
void from_json(const nlohmann::ordered_json& json, ExportDestination& value);
void from_json(const nlohmann::ordered_json& json, SidecarMode& value);
void from_json(const nlohmann::ordered_json& json, PIIPattern& value);
void from_json(const nlohmann::ordered_json& json, WatermarkConfig& value);

// Helpers the JSON forms share with the policy's own form.
namespace JsonField {
// The member `key` of `object`; throws DecodingError when `object` is not an object or lacks it.
const nlohmann::ordered_json& required(const nlohmann::ordered_json& object, const char* key);
QString string(const nlohmann::ordered_json& value, const char* what);
bool boolean(const nlohmann::ordered_json& value, const char* what);
} // namespace JsonField

} // namespace PolicyKit
