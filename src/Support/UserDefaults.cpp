#include "Support/UserDefaults.h"

#include "Support/AtomicFile.h"
#include "Support/BoundedJson.h"
#include "Support/DamagedFile.h"
#include "Support/FileLock.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/IoError.h"
#include "Support/Log.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace Support {

namespace {

QString lockPathFor(const QString& path) { return path + ".lock"; }

} // namespace

UserDefaults::UserDefaults(QString path) : path_(std::move(path)) {}

QString UserDefaults::defaultPath() {
    return Folders::configHome() + "/app.brindlecast/preferences.json";
}

UserDefaults& UserDefaults::standard() {
    static UserDefaults store(defaultPath());
    return store;
}

UserDefaults::FileStamp UserDefaults::stampOnDisk() const {
    struct stat info {};
    if (::stat(FileNames::encode(path_).constData(), &info) != 0) return FileStamp{};
    return FileStamp{static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
                     static_cast<long long>(info.st_size), static_cast<unsigned long long>(info.st_ino)};
}

UserDefaults::Contents UserDefaults::readContents() const {
    Contents contents;
    int error = 0;
    const std::optional<QByteArray> bytes = AtomicFile::read(path_, &error, kMaximumFileBytes);
    if (!bytes) {
        if (error == EFBIG) {
            contents.state = Contents::State::damaged;
            contents.damage = QString("was larger than %1 MB").arg(kMaximumFileBytes / (1024 * 1024));
        } else if (error != ENOENT && error != ENOTDIR) {
            contents.state = Contents::State::unreadable;
            contents.errorNumber = error;
        }
        return contents;
    }
    std::optional<nlohmann::json> parsed = BoundedJson::parse(*bytes);
    if (!parsed || !parsed->is_object()) {
        contents.state = Contents::State::damaged;
        contents.damage = "was not a valid JSON object";
        return contents;
    }
    contents.state = Contents::State::object;
    contents.object = std::move(*parsed);
    return contents;
}

void UserDefaults::report(const FileStamp& stamp, const QString& message) {
    if (reportedStamp_ && *reportedStamp_ == stamp) return;
    reportedStamp_ = stamp;
    diagnostics_ << message;
    Log::write("app.brindlecast", "preferences", LogLevel::error, message);
}

int UserDefaults::quarantineLocked(const QString& damage) {
    // Not ours to repair: keep the bytes for the user, start from an empty store, and say so.
    const FileStamp damaged = stampOnDisk();
    const QString name = QFileInfo(path_).fileName();
    try {
        // Behind a link the damaged file is the one it leads to; the link stays for the next write.
        const QString aside = DamagedFile::moveAside(AtomicFile::linkTarget(path_));
        report(damaged, QString("%1 %2; moved aside to %3").arg(name, damage, QFileInfo(aside).fileName()));
        movedAside_ << aside;
        return 0;
    } catch (const IoError& error) {
        report(damaged, QString("%1 %2 and could not be moved aside: %3")
                            .arg(name, damage, QString::fromLocal8Bit(std::strerror(error.errorNumber()))));
        return error.errorNumber();
    }
}

nlohmann::json UserDefaults::readUnderFileLock() {
    Contents contents = readContents();
    switch (contents.state) {
    case Contents::State::absent:
    case Contents::State::object:
        return std::move(contents.object);
    case Contents::State::unreadable:
        throw IoError(contents.errorNumber, path_, "read");
    case Contents::State::damaged:
        break;
    }
    if (const int error = quarantineLocked(contents.damage)) throw IoError(error, path_, "move aside");
    return nlohmann::json::object();
}

void UserDefaults::refreshLocked() {
    const FileStamp stamp = stampOnDisk();
    if (cachedStamp_ && *cachedStamp_ == stamp) return;
    // The stamp is taken before the read: a file replaced in between is then read again next
    // time instead of being taken for the one already read.
    Contents contents = readContents();
    switch (contents.state) {
    case Contents::State::absent:
    case Contents::State::object:
        cache_ = std::move(contents.object);
        cachedStamp_ = stamp;
        return;
    case Contents::State::unreadable:
        // Values this store cannot see are not there for it; a write will refuse to replace them.
        report(stamp, QString("%1 could not be read (%2); its values are not used")
                          .arg(QFileInfo(path_).fileName(), QString::fromLocal8Bit(std::strerror(contents.errorNumber))));
        cache_ = nlohmann::json::object();
        cachedStamp_ = stamp;
        return;
    case Contents::State::damaged:
        break;
    }
    const QString damage = contents.damage;
    // Take the file lock before moving the file aside, so a writer in another process cannot be
    // replacing it at the same moment. Without the lock (a folder the user may not write) the
    // file cannot be moved either: it reads as empty.
    try {
        FileLock lock(lockPathFor(path_));
        cache_ = readUnderFileLock();
    } catch (const IoError& error) {
        report(stamp, QString("%1 %2 and could not be moved aside: %3")
                          .arg(QFileInfo(path_).fileName(), damage, error.description()));
        cache_ = nlohmann::json::object();
    }
    cachedStamp_ = stampOnDisk();
}

std::optional<nlohmann::json> UserDefaults::value(const std::string& key) {
    std::lock_guard guard(mutex_);
    refreshLocked();
    const auto it = cache_.find(key);
    if (it == cache_.end() || it->is_null()) return std::nullopt;
    return *it;
}

nlohmann::json UserDefaults::snapshot() {
    std::lock_guard guard(mutex_);
    refreshLocked();
    return cache_;
}

void UserDefaults::setValue(const std::string& key, const std::optional<nlohmann::json>& value) {
    std::unique_lock guard(mutex_);
    try {
        writeLocked(key, value);
        writeFailing_ = false;
    } catch (const IoError& error) {
        if (!std::exchange(writeFailing_, true)) writeFailures_ << error.description();
        const std::function<void()> observer = writeFailureObserver_;
        guard.unlock();
        if (observer) observer();
        throw;
    }
}

void UserDefaults::writeLocked(const std::string& key, const std::optional<nlohmann::json>& value) {
    const QString folder = QFileInfo(path_).absolutePath();
    Folders::create(folder);

    FileLock lock(lockPathFor(path_));
    // Re-read: another process may have written. A file that is there but cannot be read holds
    // values this store cannot see, and one that cannot be moved aside is not ours to replace:
    // the write is refused rather than lose them.
    nlohmann::json data = readUnderFileLock();
    if (value && !value->is_null()) {
        data[key] = *value;
    } else {
        data.erase(key);
    }
    const std::string text = data.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    // A file this store would set aside as damaged when it next reads it is never written.
    if (qint64(text.size()) > kMaximumFileBytes) throw IoError(EFBIG, path_, "write");
    AtomicFile::write(path_, QByteArray::fromStdString(text), 0600, AtomicFile::Links::follow);
    cache_ = std::move(data);
    cachedStamp_ = stampOnDisk();
}

QStringList UserDefaults::takeDiagnostics() {
    std::lock_guard guard(mutex_);
    QStringList out;
    out.swap(diagnostics_);
    return out;
}

QStringList UserDefaults::takeFilesMovedAside() {
    std::lock_guard guard(mutex_);
    QStringList out;
    out.swap(movedAside_);
    return out;
}

QStringList UserDefaults::takeWriteFailures() {
    std::lock_guard guard(mutex_);
    QStringList out;
    out.swap(writeFailures_);
    return out;
}

void UserDefaults::setWriteFailureObserver(std::function<void()> observer) {
    std::lock_guard guard(mutex_);
    writeFailureObserver_ = std::move(observer);
}

} // namespace Support
