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
#include <sys/stat.h>
#include <system_error>

namespace Support::Folders {

namespace {

// A user-dirs.dirs file holds a dozen short lines.
constexpr qint64 maximumUserDirsBytes = 64 * 1024;

QByteArray environmentPath(const char* variable) {
    const QByteArray value = qgetenv(variable);
    return value.startsWith('/') ? value : QByteArray();
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

QString pictures() {
    const QByteArray home = environmentPath("HOME");
    if (home.isEmpty()) return QDir::homePath() + "/Pictures";
    QByteArray config = environmentPath("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = home + "/.config";
    const std::optional<QByteArray> dirs =
        SafeFile::read(FileNames::decode(config + "/user-dirs.dirs"), maximumUserDirsBytes, SafeFile::Links::follow);
    std::optional<QByteArray> pictures;
    // The last such line counts, as when the shell reads the file.
    if (dirs)
        for (const QByteArray& line : dirs->split('\n'))
            if (std::optional<QByteArray> named = picturesIn(line, home)) pictures = named;
    return QDir::cleanPath(FileNames::decode(pictures ? *pictures : home + "/Pictures"));
}

} // namespace Support::Folders
