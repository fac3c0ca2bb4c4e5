#pragma once

#include <QString>
#include <QStringList>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace Support {

// The user's preference file: one JSON object holding the preference domain's user values, the
// app settings and the theme ("$XDG_CONFIG_HOME/app.brindlecast/preferences.json", mode 0600).
//
// Reads come from memory, refreshed whenever the file changed on disk. Every write takes an
// advisory lock on "<file>.lock", re-reads the file, changes one key and replaces the file
// atomically, so writers in several processes never lose each other's keys. A file that is not a
// JSON object is moved aside as "<name>.corrupt-<UTC time>" (never overwritten; one moved aside
// earlier in the same second is kept too) and reported.
// Thread-safe.
class UserDefaults {
public:
    explicit UserDefaults(QString path);

    // The process's store at the default location.
    static UserDefaults& standard();
    static QString defaultPath();

    const QString& path() const { return path_; }

    // The value under `key`; JSON null reads as absent.
    std::optional<nlohmann::json> value(const std::string& key);
    // Sets `key`, or removes it when `value` is nothing or null. Throws Support::IoError when the
    // file cannot be read or written; the file is then unchanged.
    void setValue(const std::string& key, const std::optional<nlohmann::json>& value);
    // Every key and value.
    nlohmann::json snapshot();

    // Reports of files moved aside since the last call, e.g.
    // "preferences.json was not a valid JSON object; moved aside to preferences.json.corrupt-20261206T170000Z".
    QStringList takeDiagnostics();

private:
    struct FileStamp {
        long long modifiedNs = -1;
        long long size = -1;
        unsigned long long inode = 0;
        friend bool operator==(const FileStamp&, const FileStamp&) = default;
    };

    FileStamp stampOnDisk() const;
    // Brings `cache_` up to date with the file; the caller holds `mutex_`.
    void refreshLocked();
    // The file's object; an empty object when there is no file; nothing when it is corrupt.
    std::optional<nlohmann::json> readObject() const;
    // With the file lock held: the file's object, or an empty one after moving a corrupt file aside.
    nlohmann::json readUnderFileLock();
    void quarantineLocked();

    QString path_;
    std::mutex mutex_;
    nlohmann::json cache_ = nlohmann::json::object();
    std::optional<FileStamp> cachedStamp_;
    QStringList diagnostics_;
};

} // namespace Support
