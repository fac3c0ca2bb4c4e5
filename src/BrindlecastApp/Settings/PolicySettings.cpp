#include "BrindlecastApp/Settings/PolicySettings.h"

#include "PolicyKit/PropertyListTypes.h"
#include "Support/IcuRegex.h"
#include "Support/IoError.h"
#include "Support/Log.h"

#include <algorithm>

namespace BrindlecastApp {

using nlohmann::json;
using PolicyKit::EffectivePolicy;
using PolicyKit::PIIAction;
using PolicyKit::PIIPattern;
using PolicyKit::PolicySource;
namespace PolicyKey = PolicyKit::PolicyKey;

namespace {

const Support::Logger& logger() {
    static const Support::Logger instance("app.brindlecast", "settings");
    return instance;
}

bool isBuiltin(const QString& name) { return EffectivePolicy::builtinDetectorNames().contains(name); }

bool hasName(const std::vector<PIIPattern>& patterns, const QString& name) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const PIIPattern& p) { return p.name == name; });
}

std::vector<PIIPattern> parsed(const std::optional<json>& value) {
    QStringList dropped; // the diagnostics window reports them; the pages only show what is usable
    return EffectivePolicy::parsePIIPatterns(value, dropped);
}

QStringList stringList(const std::optional<json>& value) {
    if (!value) return {};
    return PolicyKit::PropertyList::stringArray(*value).value_or(QStringList{});
}

} // namespace

PolicySettings::PolicySettings(PolicyKit::PreferenceStore store, QObject* parent)
    : QObject(parent), store_(std::move(store)), policy_(EffectivePolicy::resolve(store_).policy),
      listSources_(readListSources()) {}

const json& PolicySettings::simulatedManaged() {
    static const json sample = {
        {PolicyKey::allowedExportDestinations, json::array({"folder", "uploadEndpoint"})},
        {PolicyKey::mandatoryReview, true},
        {PolicyKey::blockedBundleIDs, json::array({"com.example.ConfidentialVault", "org.example.InternalNotes"})},
        {PolicyKey::watermark, {{"Enabled", true}}},
        {PolicyKey::sidecarMode, "embedded"},
        {PolicyKey::piiPatterns,
         json::array({{{"Name", "email"}, {"Action", "blurMandatory"}},
                      {{"Name", "OrgCaseID"}, {"Regex", "CASE-[0-9]{6}"}, {"Action", "blurMandatory"}}})},
        {PolicyKey::lockAgent, true},
    };
    return sample;
}

PolicyKit::PreferenceStore PolicySettings::activeStore() const {
    if (!simulateManaged_) return store_;
    PolicyKit::PreferenceStore simulated = store_;
    simulated.managedValue = [](const std::string& key) -> std::optional<json> {
        const json& sample = simulatedManaged();
        const auto it = sample.find(key);
        if (it == sample.end()) return std::nullopt;
        return *it;
    };
    simulated.diagnostics = nullptr;
    return simulated;
}

void PolicySettings::setSimulateManaged(bool on) {
    simulateManaged_ = on;
    resolve(true);
}

PolicySettings::ListSources PolicySettings::readListSources() const {
    const PolicyKit::PreferenceStore active = activeStore();
    return {store_.userValue(PolicyKey::blockedBundleIDs), active.managedValue(PolicyKey::blockedBundleIDs),
            store_.userValue(PolicyKey::piiPatterns), active.managedValue(PolicyKey::piiPatterns),
            active.managedValue(PolicyKey::allowSidecars)};
}

void PolicySettings::resolve(bool publishAlways) {
    EffectivePolicy policy = EffectivePolicy::resolve(activeStore()).policy;
    ListSources sources = readListSources();
    const bool differs = !(policy == policy_) || !(sources == listSources_);
    policy_ = std::move(policy);
    listSources_ = std::move(sources);
    if (differs || publishAlways) emit changed();
}

void PolicySettings::refresh() { resolve(false); }

QStringList PolicySettings::userBlockedBundleIDs() const {
    return stringList(store_.userValue(PolicyKey::blockedBundleIDs));
}

QStringList PolicySettings::managedBlockedBundleIDs() const {
    return stringList(activeStore().managedValue(PolicyKey::blockedBundleIDs));
}

std::vector<PIIPattern> PolicySettings::userPIIPatterns() const {
    return parsed(store_.userValue(PolicyKey::piiPatterns));
}

std::vector<PIIPattern> PolicySettings::managedPIIPatterns() const {
    return parsed(activeStore().managedValue(PolicyKey::piiPatterns));
}

std::vector<PIIPattern> PolicySettings::managedCustomPatterns() const {
    std::vector<PIIPattern> patterns = managedPIIPatterns();
    std::erase_if(patterns, [](const PIIPattern& p) { return isBuiltin(p.name); });
    return patterns;
}

std::vector<PIIPattern> PolicySettings::customPatterns() const {
    const std::vector<PIIPattern> managed = managedPIIPatterns();
    std::vector<PIIPattern> patterns = userPIIPatterns();
    std::erase_if(patterns, [&](const PIIPattern& p) { return isBuiltin(p.name) || hasName(managed, p.name); });
    return patterns;
}

bool PolicySettings::sidecarsForbiddenByOrganisation() const {
    if (policy_.source(PolicyKey::allowSidecars) != PolicyKit::PolicySource::managed) return false;
    try {
        const std::optional<json> allowed = activeStore().managedValue(PolicyKey::allowSidecars);
        return allowed && PolicyKit::PropertyList::boolean(*allowed) == std::optional<bool>(false);
    } catch (const std::exception&) {
        return false; // resolution could not read it either, so it forbids nothing
    }
}

PIIAction PolicySettings::builtinAction(const QString& detector) const {
    for (const PIIPattern& pattern : policy_.piiPatterns)
        if (pattern.name == detector) return pattern.action;
    return PIIAction::blurSuggested;
}

bool PolicySettings::builtinIsManaged(const QString& detector) const { return hasName(managedPIIPatterns(), detector); }

bool PolicySettings::storeUserValue(const std::string& key, const std::optional<json>& value) {
    try {
        store_.setUserValue(key, value);
        return true;
    } catch (const Support::IoError& error) {
        logger().error(QString("could not store %1 in %2: %3")
                           .arg(QString::fromStdString(key), error.path(), error.description()));
        return false;
    }
}

void PolicySettings::write(const std::string& key, const std::optional<json>& value) {
    if (policy_.source(QString::fromStdString(key)) == PolicySource::managed) return;
    storeUserValue(key, value);
    resolve(true);
}

void PolicySettings::setWatermark(const PolicyKit::WatermarkConfig& watermark) {
    write(PolicyKey::watermark, json{{"Enabled", watermark.enabled},
                                     {"IncludeUser", watermark.includeUser},
                                     {"IncludeDevice", watermark.includeDevice},
                                     {"IncludeTimestamp", watermark.includeTimestamp}});
}

void PolicySettings::setAllowedExportDestinations(const std::vector<PolicyKit::ExportDestination>& destinations) {
    if (destinations.empty()) return;
    json strings = json::array();
    for (const PolicyKit::ExportDestination destination : destinations)
        strings.push_back(PolicyKit::rawValue(destination).toStdString());
    write(PolicyKey::allowedExportDestinations, strings);
}

void PolicySettings::setUserBlockedBundleIDs(const QStringList& bundleIDs) {
    std::optional<json> value;
    if (!bundleIDs.isEmpty()) {
        value = json::array();
        for (const QString& id : bundleIDs) value->push_back(id.toStdString());
    }
    storeUserValue(PolicyKey::blockedBundleIDs, value);
    resolve(true);
}

void PolicySettings::setBuiltinAction(const QString& detector, PIIAction action) {
    if (builtinIsManaged(detector)) return;
    std::vector<PIIPattern> patterns = userPIIPatterns();
    std::erase_if(patterns, [&](const PIIPattern& p) { return p.name == detector; });
    // Suggested is the detector's own default: no entry is needed for it.
    if (action == PIIAction::blurMandatory) patterns.push_back(PIIPattern{detector, QString(), PIIAction::blurMandatory});
    writeUserPatterns(patterns);
}

bool PolicySettings::addCustomPattern(const PIIPattern& pattern) {
    // The resolver's own check: an expression accepted here is never dropped at the next capture.
    if (!Support::IcuRegex::compile(pattern.regex)) return false;
    if (hasName(managedPIIPatterns(), pattern.name)) return false;
    std::vector<PIIPattern> patterns = userPIIPatterns();
    std::erase_if(patterns, [&](const PIIPattern& p) { return p.name == pattern.name; });
    patterns.push_back(pattern);
    return writeUserPatterns(patterns);
}

void PolicySettings::removeCustomPattern(const QString& name) {
    std::vector<PIIPattern> patterns = userPIIPatterns();
    std::erase_if(patterns, [&](const PIIPattern& p) { return p.name == name; });
    writeUserPatterns(patterns);
}

void PolicySettings::setCustomPatternAction(const QString& name, PIIAction action) {
    std::vector<PIIPattern> patterns = userPIIPatterns();
    for (PIIPattern& pattern : patterns)
        if (pattern.name == name) pattern.action = action;
    writeUserPatterns(patterns);
}

bool PolicySettings::writeUserPatterns(const std::vector<PIIPattern>& patterns) {
    std::optional<json> value;
    if (!patterns.empty()) {
        value = json::array();
        for (const PIIPattern& pattern : patterns) {
            json entry{{"Name", pattern.name.toStdString()},
                       {"Action", PolicyKit::rawValue(pattern.action).toStdString()}};
            if (!isBuiltin(pattern.name)) entry["Regex"] = pattern.regex.toStdString();
            value->push_back(std::move(entry));
        }
    }
    const bool stored = storeUserValue(PolicyKey::piiPatterns, value);
    resolve(true);
    return stored;
}

} // namespace BrindlecastApp
