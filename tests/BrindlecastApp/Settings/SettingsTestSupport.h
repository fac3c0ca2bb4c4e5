#pragma once

#include "BrindlecastApp/Channel/Channel.h"
#include "PolicyKit/PreferenceStore.h"
#include "Support/Log.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <nlohmann/json.hpp>

#include <memory>
#include <mutex>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

// A managed policy folder below a temporary root that stands in for "/", owned by whoever runs
// the test, and a user preference file beside it: the live store over both.
class PolicyFolders {
public:
    PolicyFolders() {
        root_ = TestSupport::makeFolderReachableByAll("policy-root");
        managedPath_ = root_ + "/etc/brindlecast/policies/managed";
        QDir().mkpath(managedPath_);
        for (QString folder = managedPath_; folder.startsWith(root_); folder = QFileInfo(folder).path())
            ::chmod(QFile::encodeName(folder).constData(), 0755);
        userFile_ = root_ + "/config/app.brindlecast/preferences.json";
    }

    PolicyKit::ManagedFolder managed() const { return PolicyKit::ManagedFolder{managedPath_, ::geteuid(), root_}; }
    // A new live store each time, as a second process would open one.
    PolicyKit::PreferenceStore store() const { return PolicyKit::PreferenceStore::live(managed(), userFile_); }
    const QString& userFile() const { return userFile_; }

    // The organisation's values, as one policy file (replacing any earlier one).
    void setManaged(const nlohmann::json& values) const {
        const QString path = managedPath_ + "/10-org.json";
        TestSupport::writeFile(path, QByteArray::fromStdString(values.dump()));
        ::chmod(QFile::encodeName(path).constData(), 0644);
    }
    // The user's values as they stand in the preference file; null when it holds none.
    nlohmann::json userValue(const std::string& key) const {
        const auto value = store().userValue(key);
        return value ? *value : nlohmann::json();
    }
    // From now on every write of the user's file fails: its lock file cannot be opened.
    void breakUserWrites() const {
        QDir().mkpath(QFileInfo(userFile_).path());
        QFile::remove(userFile_ + ".lock");
        QDir().mkpath(userFile_ + ".lock");
    }

private:
    QString root_;
    QString managedPath_;
    QString userFile_;
};

// Start at login that only remembers what it was asked, so that no test touches the desktop's own
// autostart entry.
struct RecordingLoginLaunch final : BrindlecastApp::LoginLaunchProvider {
    void apply(bool on) override { enabled = on; }
    bool isEnabled() const override { return enabled; }
    bool enabled = false;
};

// Keeps the log entries written while it lives.
class CapturedLog {
public:
    CapturedLog() : previous_(Support::Log::sink()), sink_(std::make_shared<Sink>()) { Support::Log::setSink(sink_); }
    ~CapturedLog() { Support::Log::setSink(previous_); }

    std::vector<Support::LogEntry> entries() const {
        std::lock_guard guard(sink_->mutex);
        return sink_->entries;
    }

private:
    struct Sink final : Support::LogSink {
        void write(const Support::LogEntry& entry) override {
            std::lock_guard guard(mutex);
            entries.push_back(entry);
        }
        mutable std::mutex mutex;
        std::vector<Support::LogEntry> entries;
    };
    std::shared_ptr<Support::LogSink> previous_;
    std::shared_ptr<Sink> sink_;
};
