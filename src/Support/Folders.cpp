#include "Support/Folders.h"

#include "Support/FileNames.h"
#include "Support/IoError.h"
#include "Support/SafeFile.h"

#include <QDir>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace Support::Folders {

namespace {

// A user-dirs.dirs file holds a dozen short lines.
constexpr qint64 maximumUserDirsBytes = 64 * 1024;

QByteArray environmentPath(const char* variable) {
    const QByteArray value = qgetenv(variable);
    return value.startsWith('/') ? value : QByteArray();
}

QByteArray homeBytes() {
    if (QByteArray home = environmentPath("HOME"); !home.isEmpty()) return home;
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return QByteArray(found->pw_dir);
    return "/";
}

// "$variable" when it names an absolute path, else `belowHome` under the home folder.
QString baseFolder(const char* variable, const char* belowHome) {
    QByteArray folder = environmentPath(variable);
    if (folder.isEmpty()) folder = homeBytes() + belowHome;
    return FileNames::decode(folder);
}

// The folder a line `XDG_PICTURES_DIR="<value>"` names, read as xdg-user-dirs reads it: blanks
// around the parts, a value of "$HOME" or "$HOME/..." or an absolute path, a backslash taking
// the next byte as it is; any other line names nothing.
std::optional<QByteArray> picturesIn(const QByteArray& line, const QByteArray& home) {
    QByteArray rest = line.trimmed();
    const QByteArray name = "XDG_PICTURES_DIR";
    if (!rest.startsWith(name)) return std::nullopt;
    rest = rest.mid(name.size()).trimmed();
    if (!rest.startsWith('=')) return std::nullopt;
    rest = rest.mid(1).trimmed();
    if (!rest.startsWith('"')) return std::nullopt;
    rest = rest.mid(1);
    QByteArray folder;
    if (rest.startsWith("$HOME") && (rest.size() == 5 || rest[5] == '/' || rest[5] == '"')) {
        folder = home;
        rest = rest.mid(5);
    } else if (!rest.startsWith('/')) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < rest.size() && rest[i] != '"'; ++i) {
        if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
        folder += rest[i];
    }
    return folder;
}

} // namespace

void create(const QString& path) {
    const std::filesystem::path folder(FileNames::encode(path).toStdString());
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw IoError(error.value(), path, "create folder");
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) throw IoError(errno, path, "create folder");
    if (!S_ISDIR(info.st_mode)) throw IoError(ENOTDIR, path, "create folder");
}

QStringList files(const QString& folder) {
    QStringList names;
    DIR* listing = ::opendir(FileNames::encode(folder).constData());
    if (!listing) return names;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat info {};
        if (::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            names << FileNames::decode(QByteArray(entry->d_name));
    }
    ::closedir(listing);
    return names;
}

QString home() { return FileNames::decode(homeBytes()); }
QString configHome() { return baseFolder("XDG_CONFIG_HOME", "/.config"); }
QString dataHome() { return baseFolder("XDG_DATA_HOME", "/.local/share"); }
QString cacheHome() { return baseFolder("XDG_CACHE_HOME", "/.cache"); }

QString pictures() {
    const QByteArray home = homeBytes();
    const std::optional<QByteArray> dirs =
        SafeFile::read(configHome() + "/user-dirs.dirs", maximumUserDirsBytes, SafeFile::Links::follow);
    std::optional<QByteArray> pictures;
    // The last such line counts, as when the shell reads the file.
    if (dirs)
        for (const QByteArray& line : dirs->split('\n'))
            if (std::optional<QByteArray> named = picturesIn(line, home)) pictures = named;
    return QDir::cleanPath(FileNames::decode(pictures ? *pictures : home + "/Pictures"));
}

} // namespace Support::Folders
