#pragma once

#include <QString>
#include <QStringList>

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace PolicyKit {

// Where the organisation's forced values live, and whom their files must belong to. Only tests
// pass anything but the defaults; nothing in the environment can move the folder.
struct ManagedFolder {
    static constexpr const char* kDefaultPath = "/etc/brindlecast/policies/managed";

    QString path = kDefaultPath;
    // Owner every file and folder must have.
    uid_t trustedOwner = 0;
    // The checks of the folders run from `path` up to and including this folder.
    QString trustedAncestor = "/";
};

// The policy's only input: the user's value of a key, the value the organisation forces, and a
// writer for the user's value, over one preference domain. Values are JSON values; JSON null
// reads as absent. The store does not interpret values: policy resolution does.
struct PreferenceStore {
    using Reader = std::function<std::optional<nlohmann::json>(const std::string& key)>;
    using Writer = std::function<void(const std::string& key, const std::optional<nlohmann::json>& value)>;
    using DiagnosticsReader = std::function<QStringList()>;

    Reader userValue;
    Reader managedValue;
    // Stores the user's value; nothing (or null) removes the key. A live store throws
    // Support::IoError when the write fails, and the stored value is then unchanged.
    Writer setUserValue;
    // Problems met while reading the layers (skipped or conflicting managed files, a user file
    // moved aside), for resolution to pass on. May be left empty.
    DiagnosticsReader diagnostics;

    // The live store of `domain`: managed values from the managed folder's "*.json" files, merged
    // in C-locale file-name order (a later file wins per key), user values from the user's
    // preference file ("$XDG_CONFIG_HOME/<domain>/preferences.json"). Every read looks again.
    static PreferenceStore live(const QString& domain);
    // The same with both locations given.
    static PreferenceStore live(const ManagedFolder& managed, const QString& userFile);

    // A store held in memory, for tests and previews: both layers start from the given objects
    // (null members are absent) and user writes change only this store.
    static PreferenceStore inMemory(nlohmann::json managed = nlohmann::json::object(),
                                    nlohmann::json user = nlohmann::json::object());
};

} // namespace PolicyKit
