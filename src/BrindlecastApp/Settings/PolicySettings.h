#pragma once

#include "PolicyKit/EffectivePolicy.h"
#include "PolicyKit/PreferenceStore.h"

#include <QObject>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace BrindlecastApp {

// The settings window's one model of the policy domain: the resolved policy for the pages to
// show, which values the organisation manages, and the only writer of the user's own policy
// preferences. Every stored change is followed at once by a fresh resolution, so the pages show
// what the next capture will apply.
//
// Keys whose whole value comes from one layer ("Watermark", "AllowedExportDestinations",
// "SidecarMode") go through a guarded write that stores nothing while the organisation manages
// the key. The two list keys that resolution combines ("BlockedBundleIDs", "PIIPatterns") are
// written whatever their source; pattern writes refuse only names the organisation holds.
//
// A write the preference file refuses is logged and the model resolves again, so the pages show
// what is really stored. GUI thread only.
class PolicySettings : public QObject {
    Q_OBJECT
public:
    explicit PolicySettings(PolicyKit::PreferenceStore store, QObject* parent = nullptr);

    // The policy last resolved.
    const PolicyKit::EffectivePolicy& policy() const { return policy_; }

    // Resolves against a fixed sample of managed values instead of the organisation's, so the
    // pages can be seen as a managed machine shows them. Writes still reach the real user values.
    bool simulateManaged() const { return simulateManaged_; }
    void setSimulateManaged(bool on);

    // Resolves again and publishes the result when anything the pages show differs from what was
    // last published: the policy, or the user's or the organisation's lists behind it. Run on
    // every activation of the window, so an unchanged domain must cost the pages nothing.
    void refresh();

    // Readers: each reads the store afresh.
    QStringList userBlockedBundleIDs() const;
    QStringList managedBlockedBundleIDs() const;
    std::vector<PolicyKit::PIIPattern> userPIIPatterns() const;
    std::vector<PolicyKit::PIIPattern> managedPIIPatterns() const;
    // The organisation's patterns that are not built-in action overrides.
    std::vector<PolicyKit::PIIPattern> managedCustomPatterns() const;
    // The user's own custom patterns that are in force: neither built-in overrides nor named like
    // any of the organisation's patterns.
    std::vector<PolicyKit::PIIPattern> customPatterns() const;
    // The organisation forbids sidecars ("AllowSidecars" managed false): the storage mode is off
    // unless the organisation also names a mode.
    bool sidecarsForbiddenByOrganisation() const;
    PolicyKit::PIIAction builtinAction(const QString& detector) const;
    bool builtinIsManaged(const QString& detector) const;

    // The guarded write: nothing while `key` is managed in the policy last published; nothing as
    // the value removes the key.
    void write(const std::string& key, const std::optional<nlohmann::json>& value);
    void setWatermark(const PolicyKit::WatermarkConfig& watermark);
    // An empty list stores nothing.
    void setAllowedExportDestinations(const std::vector<PolicyKit::ExportDestination>& destinations);
    // Unguarded; an empty list removes the user's value.
    void setUserBlockedBundleIDs(const QStringList& bundleIDs);
    // Nothing for a detector the organisation holds. Required stores an override entry, Suggested
    // removes the user's entries of that name.
    void setBuiltinAction(const QString& detector, PolicyKit::PIIAction action);
    // Adds the pattern last in the user's list, replacing the user's patterns of its name. False,
    // storing nothing, when the expression does not compile, the organisation holds the name, or
    // the preference file refused the write.
    bool addCustomPattern(const PolicyKit::PIIPattern& pattern);
    void removeCustomPattern(const QString& name);
    void setCustomPatternAction(const QString& name, PolicyKit::PIIAction action);

    // The managed values resolution sees while simulating, by key.
    static const nlohmann::json& simulatedManaged();

signals:
    // The policy was resolved again after a write or a simulation switch, or a refresh found
    // something new.
    void changed();

private:
    // What the pages are drawn from besides the policy: the raw values the readers interpret.
    struct ListSources {
        std::optional<nlohmann::json> userBlocked, managedBlocked, userPatterns, managedPatterns, managedAllowSidecars;
        friend bool operator==(const ListSources&, const ListSources&) = default;
    };

    PolicyKit::PreferenceStore activeStore() const;
    ListSources readListSources() const;
    // Resolves again; publishes always (after a write: the page that wrote redraws from what was
    // really stored) or only when something differs.
    void resolve(bool publishAlways);
    // Stores the user's value of `key`; false, after logging, when the file refused it.
    bool storeUserValue(const std::string& key, const std::optional<nlohmann::json>& value);
    bool writeUserPatterns(const std::vector<PolicyKit::PIIPattern>& patterns);

    PolicyKit::PreferenceStore store_;
    // Before the members the constructor resolves: activeStore() reads it while they are built.
    bool simulateManaged_ = false;
    PolicyKit::EffectivePolicy policy_;
    ListSources listSources_;
};

} // namespace BrindlecastApp
