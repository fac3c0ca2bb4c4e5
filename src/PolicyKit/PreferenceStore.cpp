#include "PolicyKit/PreferenceStore.h"

#include "PolicyKit/ManagedLayer.h"
#include "Support/Folders.h"
#include "Support/UserDefaults.h"

#include <memory>
#include <mutex>

namespace PolicyKit {

namespace {

constexpr const char* kAppDomain = "app.brindlecast";

PreferenceStore storeOver(const ManagedFolder& managed, std::shared_ptr<Support::UserDefaults> user) {
    PreferenceStore store;
    store.userValue = [user](const std::string& key) { return user->value(key); };
    store.managedValue = [managed](const std::string& key) -> std::optional<nlohmann::json> {
        const ManagedLayer layer = ManagedLayer::load(managed);
        const auto it = layer.values.find(key);
        if (it == layer.values.end()) return std::nullopt;
        return *it;
    };
    store.setUserValue = [user](const std::string& key, const std::optional<nlohmann::json>& value) {
        user->setValue(key, value);
    };
    store.diagnostics = [managed, user] {
        QStringList lines = ManagedLayer::load(managed).diagnostics;
        user->snapshot(); // a read notices a corrupt file and moves it aside
        lines << user->takeDiagnostics();
        return lines;
    };
    return store;
}

} // namespace

PreferenceStore PreferenceStore::live(const QString& domain) {
    // The app's own domain shares the process's preference file object with the settings.
    if (domain == kAppDomain) {
        std::shared_ptr<Support::UserDefaults> standard(&Support::UserDefaults::standard(), [](Support::UserDefaults*) {});
        return storeOver(ManagedFolder{}, standard);
    }
    const QString userFile =
        Support::Folders::configHome() + '/' + domain + "/preferences.json";
    return storeOver(ManagedFolder{}, std::make_shared<Support::UserDefaults>(userFile));
}

PreferenceStore PreferenceStore::live(const ManagedFolder& managed, const QString& userFile) {
    return storeOver(managed, std::make_shared<Support::UserDefaults>(userFile));
}

PreferenceStore PreferenceStore::inMemory(nlohmann::json managed, nlohmann::json user) {
    struct Layers {
        std::mutex mutex;
        nlohmann::json managed;
        nlohmann::json user;
    };
    auto layers = std::make_shared<Layers>();
    layers->managed = managed.is_object() ? std::move(managed) : nlohmann::json::object();
    layers->user = user.is_object() ? std::move(user) : nlohmann::json::object();

    const auto reader = [layers](nlohmann::json Layers::*layer) {
        return [layers, layer](const std::string& key) -> std::optional<nlohmann::json> {
            std::lock_guard lock(layers->mutex);
            const nlohmann::json& values = (*layers).*layer;
            const auto it = values.find(key);
            if (it == values.end() || it->is_null()) return std::nullopt;
            return *it;
        };
    };
    PreferenceStore store;
    store.userValue = reader(&Layers::user);
    store.managedValue = reader(&Layers::managed);
    store.setUserValue = [layers](const std::string& key, const std::optional<nlohmann::json>& value) {
        std::lock_guard lock(layers->mutex);
        if (value && !value->is_null()) {
            layers->user[key] = *value;
        } else {
            layers->user.erase(key);
        }
    };
    return store;
}

} // namespace PolicyKit
