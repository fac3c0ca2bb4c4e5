#pragma once

#include "PolicyKit/PolicyTypes.h"
#include "PolicyKit/PreferenceStore.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <map>
#include <optional>
#include <set>
#include <vector>

namespace PolicyKit {

// Preference keys, in the order resolution reads them. They are also the keys of `sources`.
namespace PolicyKey {
inline constexpr const char* blockedBundleIDs = "BlockedBundleIDs";
inline constexpr const char* blockedAppBehavior = "BlockedAppBehavior";
inline constexpr const char* piiPatterns = "PIIPatterns";
inline constexpr const char* mandatoryReview = "MandatoryReview";
inline constexpr const char* allowSidecars = "AllowSidecars";
inline constexpr const char* sidecarMode = "SidecarMode";
inline constexpr const char* lockAgent = "LockAgent";
inline constexpr const char* watermark = "Watermark";
inline constexpr const char* allowedExportDestinations = "AllowedExportDestinations";
inline constexpr const char* auditWebhookURL = "AuditWebhookURL";
} // namespace PolicyKey

struct PolicyResolution;

// The one resolved set of rules a capture obeys. The member initialisers are the safe defaults.
struct EffectivePolicy {
    // Applications whose windows must never appear in a capture.
    QStringList blockedBundleIDs;
    BlockedAppBehavior blockedAppBehavior = BlockedAppBehavior::placeholder;
    // Custom rules, and action overrides of the built-in detectors.
    std::vector<PIIPattern> piiPatterns;
    // While on, a new capture is never copied to the clipboard automatically.
    bool mandatoryReview = true;
    WatermarkConfig watermark{false, true, true, true};
    std::vector<ExportDestination> allowedExportDestinations{ExportDestination::clipboard, ExportDestination::folder};
    // Only http and https URLs ever get here; absent means no webhook.
    std::optional<QUrl> auditWebhookURL;
    SidecarMode sidecarMode = SidecarMode::embedded;
    // The agent's menu offers no quit; while managed, start-at-login cannot be changed.
    bool lockAgent = false;
    // Which layer set each key; a key that kept its default has no entry.
    std::map<QString, PolicySource> sources;

    bool allowSidecars() const { return sidecarMode != SidecarMode::off; }
    // The source of `key`, `default_` when it has none (also for keys that are not policy keys).
    PolicySource source(const QString& key) const;

    friend bool operator==(const EffectivePolicy&, const EffectivePolicy&) = default;

    // Builds the policy from the store's layers over the safe defaults. Never fails: each
    // unusable value becomes a diagnostic and the field keeps its value.
    static PolicyResolution resolve(const PreferenceStore& store);

    // One layer's "PIIPatterns" value as patterns; problems are appended to `diagnostics`.
    static std::vector<PIIPattern> parsePIIPatterns(const std::optional<nlohmann::json>& value,
                                                    QStringList& diagnostics);

    static const EffectivePolicy& safeDefaults();
    // "email", "phone", "ssn", "card", "iban", "ipv4".
    static const std::set<QString>& builtinDetectorNames();
};

// What resolution returns: the policy and one line per value it could not use.
struct PolicyResolution {
    EffectivePolicy policy;
    QStringList diagnostics; // in the order they arose
};

// JSON form: the fields in order ("auditWebhookURL" left out when absent), `sources` as an object
// of raw values. Every key but "auditWebhookURL" is required when decoding (DecodingError); a
// null "auditWebhookURL" is absent, and one resolution would not accept (not http or https, no
// host) is refused.
void to_json(nlohmann::ordered_json& json, const EffectivePolicy& policy);
void from_json(const nlohmann::ordered_json& json, EffectivePolicy& policy);

} // namespace PolicyKit
