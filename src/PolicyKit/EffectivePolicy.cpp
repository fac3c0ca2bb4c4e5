#include "PolicyKit/EffectivePolicy.h"

#include "PolicyKit/PropertyListTypes.h"
#include "Support/IcuRegex.h"

#include <algorithm>
#include <variant>

namespace PolicyKit {

namespace {

using nlohmann::json;
using PropertyList::typeName;

QString quoted(const QString& text) { return '"' + text + '"'; }

QString expectedDiagnostic(const char* key, const char* expected, const json& value) {
    return QString("%1: expected %2, got %3; ignored").arg(key, expected, typeName(value));
}

enum class WebhookURLProblem { invalid, unsupportedScheme };

// The audit webhook `text` names, or why it cannot be one. Records go over HTTP only: the
// transport would act on file:, ftp:, smtp: and the like.
std::variant<QUrl, WebhookURLProblem> parseWebhookURL(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid() || url.scheme().isEmpty()) return WebhookURLProblem::invalid;
    const QString scheme = url.scheme().toLower();
    if (scheme != "http" && scheme != "https") return WebhookURLProblem::unsupportedScheme;
    if (url.host().isEmpty()) return WebhookURLProblem::invalid;
    return url;
}

// Resolution state for one call: the policy being built and the diagnostics so far.
class Resolver {
public:
    explicit Resolver(const PreferenceStore& store) : store_(store), policy_(EffectivePolicy::safeDefaults()) {}

    PolicyResolution run() {
        if (store_.diagnostics) {
            try {
                diagnostics_ << store_.diagnostics();
            } catch (const std::exception& error) {
                diagnostics_ << QString("preferences could not be checked: %1").arg(QString::fromLocal8Bit(error.what()));
            }
        }
        resolveBlockedBundleIDs();
        resolveRawValue(PolicyKey::blockedAppBehavior, policy_.blockedAppBehavior, blockedAppBehaviorFromRaw);
        resolvePIIPatterns();
        resolveBool(PolicyKey::mandatoryReview, policy_.mandatoryReview);
        resolveAllowSidecars();
        resolveRawValue(PolicyKey::sidecarMode, policy_.sidecarMode, sidecarModeFromRaw);
        applyManagedSidecarBan();
        resolveBool(PolicyKey::lockAgent, policy_.lockAgent);
        resolveWatermark();
        resolveAllowedExportDestinations();
        resolveAuditWebhookURL();
        return {std::move(policy_), std::move(diagnostics_)};
    }

private:
    struct Layered {
        json value;
        PolicySource source;
    };

    // A forced value wins, even one of the wrong type; the user's value is read only when the
    // organisation forces nothing.
    std::optional<Layered> read(const char* key) {
        if (std::optional<json> managed = readLayer(store_.managedValue, key)) {
            return Layered{std::move(*managed), PolicySource::managed};
        }
        if (std::optional<json> user = readLayer(store_.userValue, key)) return Layered{std::move(*user), PolicySource::user};
        return std::nullopt;
    }

    // The key's value converted to the type it must hold; a value of another type is reported.
    template <typename T>
    std::optional<std::pair<T, PolicySource>> readAs(const char* key, const char* expected,
                                                     std::optional<T> (*convert)(const json&)) {
        const std::optional<Layered> layered = read(key);
        if (!layered) return std::nullopt;
        std::optional<T> value = convert(layered->value);
        if (!value) {
            diagnostics_ << expectedDiagnostic(key, expected, layered->value);
            return std::nullopt;
        }
        return std::pair<T, PolicySource>{std::move(*value), layered->source};
    }

    // A layer that cannot be read counts as absent, with a diagnostic: resolution never fails.
    std::optional<json> readLayer(const PreferenceStore::Reader& reader, const char* key) {
        if (!reader) return std::nullopt;
        try {
            std::optional<json> value = reader(key);
            if (value && value->is_null()) return std::nullopt;
            return value;
        } catch (const std::exception& error) {
            diagnostics_ << QString("%1: could not be read (%2); ignored").arg(key, QString::fromLocal8Bit(error.what()));
            return std::nullopt;
        }
    }

    void record(const char* key, PolicySource source) { policy_.sources[QString::fromLatin1(key)] = source; }

    void resolveBlockedBundleIDs() {
        const char* key = PolicyKey::blockedBundleIDs;
        const std::optional<json> user = readLayer(store_.userValue, key);
        const std::optional<json> managed = readLayer(store_.managedValue, key);
        const QStringList userIDs = user ? PropertyList::stringArray(*user).value_or(QStringList{}) : QStringList{};
        std::optional<QStringList> managedIDs = managed ? PropertyList::stringArray(*managed) : QStringList{};
        if (!managedIDs) {
            // The user's list still applies, but an organisation's list that cannot be read is
            // protection switched off: say so.
            diagnostics_ << expectedDiagnostic(key, "Array<String>", *managed);
            managedIDs = QStringList{};
        }
        QStringList merged;
        for (const QString& id : userIDs + *managedIDs) {
            if (!merged.contains(id, Qt::CaseSensitive)) merged << id;
        }
        if (merged.isEmpty()) return;
        policy_.blockedBundleIDs = merged;
        record(key, managedIDs->isEmpty() ? PolicySource::user : PolicySource::managed);
    }

    // A string key holding one of an enumeration's raw values.
    template <typename Enum>
    void resolveRawValue(const char* key, Enum& field, std::optional<Enum> (*fromRaw)(QStringView)) {
        const auto text = readAs(key, "String", PropertyList::string);
        if (!text) return;
        if (const std::optional<Enum> parsed = fromRaw(text->first)) {
            field = *parsed;
            record(key, text->second);
        } else {
            diagnostics_ << QString("%1: unknown value %2; using %3").arg(key, quoted(text->first), rawValue(field));
        }
    }

    void resolvePIIPatterns() {
        const char* key = PolicyKey::piiPatterns;
        const std::optional<json> managed = readLayer(store_.managedValue, key);
        const std::optional<json> user = readLayer(store_.userValue, key);
        const std::vector<PIIPattern> managedPatterns = EffectivePolicy::parsePIIPatterns(managed, diagnostics_);
        const std::vector<PIIPattern> userPatterns = EffectivePolicy::parsePIIPatterns(user, diagnostics_);
        if (!managed && !user) return;

        std::vector<PIIPattern> result = managedPatterns;
        for (const PIIPattern& pattern : userPatterns) {
            const bool shadowed = std::any_of(managedPatterns.begin(), managedPatterns.end(),
                                              [&](const PIIPattern& m) { return m.name == pattern.name; });
            if (!shadowed) result.push_back(pattern);
        }
        policy_.piiPatterns = std::move(result);
        // Any forced value, even one that yields no pattern, makes the key the organisation's:
        // screens must not offer it for editing.
        record(key, managed ? PolicySource::managed : PolicySource::user);
    }

    void resolveBool(const char* key, bool& field) {
        if (const auto flag = readAs(key, "Bool", PropertyList::boolean)) {
            field = flag->first;
            record(key, flag->second);
        }
    }

    void resolveAllowSidecars() {
        if (const auto allowed = readAs(PolicyKey::allowSidecars, "Bool", PropertyList::boolean)) {
            if (!allowed->first) policy_.sidecarMode = SidecarMode::off;
            record(PolicyKey::allowSidecars, allowed->second);
        }
    }

    // An organisation that forbids sidecars is not overruled by the user's own storage mode; only
    // a mode the organisation itself forces may still name one. The user's mode then went unused,
    // so it records no source.
    void applyManagedSidecarBan() {
        if (policy_.source(PolicyKey::allowSidecars) != PolicySource::managed) return;
        if (policy_.source(PolicyKey::sidecarMode) == PolicySource::managed) return;
        const std::optional<json> allowed = readLayer(store_.managedValue, PolicyKey::allowSidecars);
        if (!allowed || PropertyList::boolean(*allowed) != std::optional<bool>(false)) return;
        policy_.sidecarMode = SidecarMode::off;
        policy_.sources.erase(QString::fromLatin1(PolicyKey::sidecarMode));
    }

    void resolveWatermark() {
        const char* key = PolicyKey::watermark;
        const auto dictionary = readAs(key, "Dictionary<String, Any>", PropertyList::dictionary);
        if (!dictionary) return;
        const json& object = dictionary->first;
        // A switch of the wrong type falls back to its default, which may switch the watermark
        // off: report it rather than let protection vanish silently.
        const auto flag = [&](const char* subKey, bool fallback) {
            const auto it = object.find(subKey);
            if (it == object.end() || it->is_null()) return fallback;
            if (const std::optional<bool> value = PropertyList::boolean(*it)) return *value;
            diagnostics_ << QString("%1.%2: expected Bool, got %3; using %4")
                                .arg(key, subKey, typeName(*it), fallback ? "true" : "false");
            return fallback;
        };
        policy_.watermark = WatermarkConfig{flag("Enabled", false), flag("IncludeUser", true), flag("IncludeDevice", true),
                                            flag("IncludeTimestamp", true)};
        record(key, dictionary->second);
    }

    void resolveAllowedExportDestinations() {
        const char* key = PolicyKey::allowedExportDestinations;
        const auto names = readAs(key, "Array<String>", PropertyList::stringArray);
        if (!names) return;
        std::vector<ExportDestination> kept;
        for (const QString& name : names->first) {
            if (const std::optional<ExportDestination> destination = exportDestinationFromRaw(name)) {
                kept.push_back(*destination);
            } else {
                diagnostics_ << QString("%1: unknown destination %2; dropped").arg(key, quoted(name));
            }
        }
        policy_.allowedExportDestinations = std::move(kept);
        record(key, names->second);
    }

    void resolveAuditWebhookURL() {
        const char* key = PolicyKey::auditWebhookURL;
        const auto string = readAs(key, "String", PropertyList::string);
        if (!string) return;
        const QString& text = string->first;
        const std::variant<QUrl, WebhookURLProblem> parsed = parseWebhookURL(text);
        if (const auto* url = std::get_if<QUrl>(&parsed)) {
            policy_.auditWebhookURL = *url;
            record(key, string->second);
        } else if (std::get<WebhookURLProblem>(parsed) == WebhookURLProblem::unsupportedScheme) {
            diagnostics_ << QString("%1: unsupported scheme %2 in %3 (only http and https); ignored")
                                .arg(key, quoted(QUrl(text, QUrl::StrictMode).scheme()), quoted(text));
        } else {
            diagnostics_ << QString("%1: invalid URL %2; ignored").arg(key, quoted(text));
        }
    }

    const PreferenceStore& store_;
    EffectivePolicy policy_;
    QStringList diagnostics_;
};

} // namespace

PolicySource EffectivePolicy::source(const QString& key) const {
    const auto it = sources.find(key);
    return it == sources.end() ? PolicySource::default_ : it->second;
}

const EffectivePolicy& EffectivePolicy::safeDefaults() {
    static const EffectivePolicy defaults;
    return defaults;
}

const std::set<QString>& EffectivePolicy::builtinDetectorNames() {
    static const std::set<QString> names{"email", "phone", "ssn", "card", "iban", "ipv4"};
    return names;
}

PolicyResolution EffectivePolicy::resolve(const PreferenceStore& store) { return Resolver(store).run(); }

std::vector<PIIPattern> EffectivePolicy::parsePIIPatterns(const std::optional<nlohmann::json>& value,
                                                          QStringList& diagnostics) {
    std::vector<PIIPattern> patterns;
    if (!value || value->is_null()) return patterns;
    const bool arrayOfDictionaries =
        value->is_array() && std::all_of(value->begin(), value->end(), [](const json& e) { return e.is_object(); });
    if (!arrayOfDictionaries) {
        diagnostics << QString("PIIPatterns: expected array of dict, got %1; ignored").arg(typeName(*value));
        return patterns;
    }
    for (const json& entry : *value) {
        const auto name = entry.find("Name");
        const auto action = entry.find("Action");
        if (name == entry.end() || !name->is_string() || action == entry.end() || !action->is_string()) {
            diagnostics << "PIIPatterns: entry missing Name/Action; dropped";
            continue;
        }
        const QString patternName = QString::fromStdString(name->get<std::string>());
        const QString actionText = QString::fromStdString(action->get<std::string>());
        const std::optional<PIIAction> parsedAction = piiActionFromRaw(actionText);
        if (!parsedAction) {
            diagnostics << QString("PIIPatterns[%1]: unknown action %2; dropped").arg(patternName, quoted(actionText));
            continue;
        }
        if (builtinDetectorNames().count(patternName)) {
            patterns.push_back(PIIPattern{patternName, QString(), *parsedAction});
            continue;
        }
        const auto regex = entry.find("Regex");
        if (regex == entry.end() || !regex->is_string()) {
            diagnostics << QString("PIIPatterns[%1]: custom pattern missing Regex; dropped").arg(patternName);
            continue;
        }
        const QString source = QString::fromStdString(regex->get<std::string>());
        if (!Support::IcuRegex::compile(source)) {
            diagnostics << QString("PIIPatterns[%1]: invalid regex; dropped").arg(patternName);
            continue;
        }
        patterns.push_back(PIIPattern{patternName, source, *parsedAction});
    }
    return patterns;
}

void to_json(nlohmann::ordered_json& out, const EffectivePolicy& policy) {
    out = nlohmann::ordered_json::object();
    auto& ids = out["blockedBundleIDs"] = nlohmann::ordered_json::array();
    for (const QString& id : policy.blockedBundleIDs) ids.push_back(id.toStdString());
    out["blockedAppBehavior"] = policy.blockedAppBehavior;
    out["piiPatterns"] = policy.piiPatterns;
    out["mandatoryReview"] = policy.mandatoryReview;
    out["watermark"] = policy.watermark;
    out["allowedExportDestinations"] = policy.allowedExportDestinations;
    if (policy.auditWebhookURL) out["auditWebhookURL"] = policy.auditWebhookURL->toString(QUrl::FullyEncoded).toStdString();
    out["sidecarMode"] = policy.sidecarMode;
    out["lockAgent"] = policy.lockAgent;
    auto& sources = out["sources"] = nlohmann::ordered_json::object();
    for (const auto& [key, source] : policy.sources) sources[key.toStdString()] = source;
}

void from_json(const nlohmann::ordered_json& in, EffectivePolicy& policy) {
    using JsonField::required;
    EffectivePolicy decoded;
    decoded.blockedBundleIDs.clear();
    const auto& ids = required(in, "blockedBundleIDs");
    if (!ids.is_array()) throw DecodingError("blockedBundleIDs: expected an array");
    for (const auto& id : ids) decoded.blockedBundleIDs << JsonField::string(id, "blockedBundleIDs");
    from_json(required(in, "blockedAppBehavior"), decoded.blockedAppBehavior);
    const auto& patterns = required(in, "piiPatterns");
    if (!patterns.is_array()) throw DecodingError("piiPatterns: expected an array");
    for (const auto& pattern : patterns) decoded.piiPatterns.push_back(pattern.get<PIIPattern>());
    decoded.mandatoryReview = JsonField::boolean(required(in, "mandatoryReview"), "mandatoryReview");
    from_json(required(in, "watermark"), decoded.watermark);
    const auto& destinations = required(in, "allowedExportDestinations");
    if (!destinations.is_array()) throw DecodingError("allowedExportDestinations: expected an array");
    decoded.allowedExportDestinations.clear();
    for (const auto& destination : destinations) decoded.allowedExportDestinations.push_back(destination.get<ExportDestination>());
    // Null reads as absent; a URL must pass the rule resolution applies.
    if (const auto it = in.find("auditWebhookURL"); it != in.end() && !it->is_null()) {
        const std::variant<QUrl, WebhookURLProblem> parsed = parseWebhookURL(JsonField::string(*it, "auditWebhookURL"));
        if (const auto* url = std::get_if<QUrl>(&parsed)) {
            decoded.auditWebhookURL = *url;
        } else if (std::get<WebhookURLProblem>(parsed) == WebhookURLProblem::unsupportedScheme) {
            throw DecodingError("auditWebhookURL: unsupported scheme (only http and https)");
        } else {
            throw DecodingError("auditWebhookURL: invalid URL");
        }
    }
    from_json(required(in, "sidecarMode"), decoded.sidecarMode);
    decoded.lockAgent = JsonField::boolean(required(in, "lockAgent"), "lockAgent");
    const auto& sources = required(in, "sources");
    if (!sources.is_object()) throw DecodingError("sources: expected an object");
    for (const auto& [key, source] : sources.items()) decoded.sources[QString::fromStdString(key)] = source.get<PolicySource>();
    policy = std::move(decoded);
}

} // namespace PolicyKit
