#pragma once

#include "PolicyKit/PreferenceStore.h"

#include <QStringList>

#include <nlohmann/json.hpp>

namespace PolicyKit {

// The organisation's forced values as read from the managed folder at one moment.
struct ManagedLayer {
    nlohmann::json values = nlohmann::json::object();
    // One line per skipped file, per conflicting key, or for a folder that cannot be trusted.
    QStringList diagnostics;

    // Reads every "*.json" file of the folder (hidden files aside) in C-locale name order; a later
    // file wins per key. A file counts only when it is a regular JSON object file owned by the
    // trusted owner and not writable by group or others, in folders that pass the same checks. A
    // missing folder is an empty layer without diagnostics; one that cannot be reached or listed
    // is reported like an untrusted one. Only lower-case ".json" names count.
    static ManagedLayer load(const ManagedFolder& folder);
};

} // namespace PolicyKit
