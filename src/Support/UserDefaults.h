#pragma once

#include <QString>
#include <QStringList>
#include <functional>
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
// atomically, so writers in several processes never lose each other's keys. A file kept elsewhere
// behind a symbolic link is replaced where it lies and the link stays. A file that is not a
// JSON object, or is larger than kMaximumFileBytes (read no further than that), is moved aside as
// "<name>.corrupt-<UTC time>" (never overwritten; one moved aside earlier in the same second is
// kept too) and reported.
//
// A read never throws: a file that cannot be read, or is damaged and cannot be moved aside (a
// folder the user may not write), reads as empty and is reported once; a write then refuses
// rather than replace it. Thread-safe.
class UserDefaults {
public:
    // A few hundred patterns and every setting take kilobytes; a file of megabytes is damaged or
    // not ours, and reading one of gigabytes would take the memory and the time of the start.
    static constexpr qint64 kMaximumFileBytes = 4 * 1024 * 1024;

    explicit UserDefaults(QString path);

    // The process's store at the default location.
    static UserDefaults& standard();
    static QString defaultPath();

    const QString& path() const { return path_; }

    // The value under `key`; JSON null reads as absent. Never throws.
    std::optional<nlohmann::json> value(const std::string& key);
    // Sets `key`, or removes it when `value` is nothing or null. Throws Support::IoError when the
    // file cannot be read or written, is damaged and cannot be moved aside, or would grow past
    // kMaximumFileBytes (EFBIG); the file is then unchanged.
    void setValue(const std::string& key, const std::optional<nlohmann::json>& value);
    // Every key and value. Never throws.
    nlohmann::json snapshot();

    // Reports since the last call of files moved aside or not usable, each given once, e.g.
    // "preferences.json was not a valid JSON object; moved aside to preferences.json.corrupt-20261206T170000Z".
    QStringList takeDiagnostics();
    // The paths damaged files were moved aside to since the last call, each given once, so the
    // user can be told (the diagnostics above may already have gone to the journal).
    QStringList takeFilesMovedAside();
    // Why writes failed since the last call ("No space left on device"): the first failure of
    // each streak, a successful write ending one, so the user is told once that changes are not
    // being saved rather than at every change.
    QStringList takeWriteFailures();
    // Runs after every failed write, on the writing thread once the store is unlocked, so whoever
    // tells the user can take the failures above. An empty function stops it.
    void setWriteFailureObserver(std::function<void()> observer);

private:
    struct FileStamp {
        long long modifiedNs = -1;
        long long size = -1;
        unsigned long long inode = 0;
        friend bool operator==(const FileStamp&, const FileStamp&) = default;
    };

    struct Contents {
        enum class State { absent, object, unreadable, damaged } state = State::absent;
        nlohmann::json object = nlohmann::json::object();
        int errorNumber = 0; // why an unreadable file could not be read
        QString damage;      // what is wrong with a damaged one, e.g. "was not a valid JSON object"
    };

    FileStamp stampOnDisk() const;
    // Brings `cache_` up to date with the file; the caller holds `mutex_`. Never throws.
    void refreshLocked();
    Contents readContents() const;
    // With the file lock held: the file's object, or an empty one after moving a damaged file
    // aside. Throws IoError when the file cannot be read or moved aside.
    nlohmann::json readUnderFileLock();
    // Moves the damaged file aside and says what was wrong with it (`damage`); the system's error
    // number when it cannot.
    int quarantineLocked(const QString& damage);
    // Adds a diagnostic and logs it, once for each state (`stamp`) of the file.
    void report(const FileStamp& stamp, const QString& message);
    void writeLocked(const std::string& key, const std::optional<nlohmann::json>& value);

    QString path_;
    std::mutex mutex_;
    nlohmann::json cache_ = nlohmann::json::object();
    std::optional<FileStamp> cachedStamp_;
    std::optional<FileStamp> reportedStamp_;
    QStringList diagnostics_;
    QStringList movedAside_;
    bool writeFailing_ = false; // the last write failed
    QStringList writeFailures_;
    std::function<void()> writeFailureObserver_;
};

} // namespace Support
