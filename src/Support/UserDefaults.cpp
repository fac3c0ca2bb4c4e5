#include "Support/UserDefaults.h"

#include "Support/AtomicFile.h"
#include "Support/BoundedJson.h"
#include "Support/FileLock.h"
#include "Support/IoError.h"
#include "Support/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Support {

namespace {

QString lockPathFor(const QString& path) { return path + ".lock"; }

// A file that is there but cannot be opened (another owner, no permission) holds values this
// store cannot see; replacing it would lose them, so the write is refused instead.
void requireReadableOrAbsent(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return;
    }
    if (errno != ENOENT) throw IoError(errno, path, "read");
}

} // namespace

UserDefaults::UserDefaults(QString path) : path_(std::move(path)) {}

QString UserDefaults::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/app.brindlecast/preferences.json";
}

UserDefaults& UserDefaults::standard() {
    static UserDefaults store(defaultPath());
    return store;
}

UserDefaults::FileStamp UserDefaults::stampOnDisk() const {
    struct stat info {};
    if (::stat(QFile::encodeName(path_).constData(), &info) != 0) return FileStamp{};
    return FileStamp{static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec,
                     static_cast<long long>(info.st_size), static_cast<unsigned long long>(info.st_ino)};
}

std::optional<nlohmann::json> UserDefaults::readObject() const {
    const std::optional<QByteArray> bytes = AtomicFile::read(path_);
    if (!bytes) return nlohmann::json::object();
    std::optional<nlohmann::json> parsed = BoundedJson::parse(*bytes);
    if (!parsed || !parsed->is_object()) return std::nullopt;
    return parsed;
}

void UserDefaults::quarantineLocked() {
    // Not ours to repair: keep the bytes for the user, start from an empty store, and say so.
    const QString stamp = QDateTime::currentDateTimeUtc().toString("yyyyMMdd'T'HHmmss'Z'");
    // A file moved aside earlier in the same second keeps its name; this one takes a number.
    QString aside = path_ + ".corrupt-" + stamp;
    struct stat taken {};
    for (int n = 2; ::lstat(QFile::encodeName(aside).constData(), &taken) == 0; ++n) {
        aside = path_ + ".corrupt-" + stamp + "-" + QString::number(n);
    }
    const QString name = QFileInfo(path_).fileName();
    QString message;
    if (std::rename(QFile::encodeName(path_).constData(), QFile::encodeName(aside).constData()) == 0) {
        message = QString("%1 was not a valid JSON object; moved aside to %2").arg(name, QFileInfo(aside).fileName());
    } else {
        message = QString("%1 was not a valid JSON object and could not be moved aside: %2")
                      .arg(name, QString::fromLocal8Bit(std::strerror(errno)));
    }
    diagnostics_ << message;
    Log::write("app.brindlecast", "preferences", LogLevel::error, message);
}

nlohmann::json UserDefaults::readUnderFileLock() {
    if (std::optional<nlohmann::json> data = readObject()) return *data;
    quarantineLocked();
    return nlohmann::json::object();
}

void UserDefaults::refreshLocked() {
    const FileStamp stamp = stampOnDisk();
    if (cachedStamp_ && *cachedStamp_ == stamp) return;
    // The stamp is taken before the read: a file replaced in between is then read again next
    // time instead of being taken for the one already read.
    std::optional<nlohmann::json> data = readObject();
    if (data) {
        cache_ = std::move(*data);
        cachedStamp_ = stamp;
        return;
    }
    // Take the file lock before moving the file aside, so a writer in another process cannot be
    // replacing it at the same moment.
    FileLock lock(lockPathFor(path_));
    cache_ = readUnderFileLock();
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
    std::lock_guard guard(mutex_);
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder)) throw IoError(EACCES, folder, "create folder");

    FileLock lock(lockPathFor(path_));
    requireReadableOrAbsent(path_);
    nlohmann::json data = readUnderFileLock(); // re-read: another process may have written
    if (value && !value->is_null()) {
        data[key] = *value;
    } else {
        data.erase(key);
    }
    const std::string text = data.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    AtomicFile::write(path_, QByteArray::fromStdString(text), 0600);
    cache_ = std::move(data);
    cachedStamp_ = stampOnDisk();
}

QStringList UserDefaults::takeDiagnostics() {
    std::lock_guard guard(mutex_);
    QStringList out;
    out.swap(diagnostics_);
    return out;
}

} // namespace Support
