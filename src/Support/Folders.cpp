#include "Support/Folders.h"

#include "Support/IoError.h"

#include <QFile>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace Support::Folders {

void create(const QString& path) {
    const std::filesystem::path folder(QFile::encodeName(path).toStdString());
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw IoError(error.value(), path, "create folder");
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) throw IoError(errno, path, "create folder");
    if (!S_ISDIR(info.st_mode)) throw IoError(ENOTDIR, path, "create folder");
}

} // namespace Support::Folders
