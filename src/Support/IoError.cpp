#include "Support/IoError.h"

#include "Support/FileNames.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace Support {

namespace {

// The nearest part of `path` that exists and is no folder ("/home/ada/notes.txt" for
// "/home/ada/notes.txt/Brindlecast/shot.png"); empty when every part that exists is a folder.
QString partInTheWay(const QString& path) {
    QString part = path;
    while (!part.isEmpty()) {
        struct stat info {};
        if (::stat(FileNames::encode(part).constData(), &info) == 0) return S_ISDIR(info.st_mode) ? QString() : part;
        const QString parent = QFileInfo(part).path();
        if (parent == part) break;
        part = parent;
    }
    return {};
}

} // namespace

IoError::IoError(int errorNumber, const QString& path, const QString& operation)
    : std::runtime_error((operation + " " + path + ": " + QString::fromLocal8Bit(std::strerror(errorNumber)))
                             .toStdString()),
      errorNumber_(errorNumber),
      path_(path),
      operation_(operation),
      inTheWay_(errorNumber == ENOTDIR ? partInTheWay(path) : QString()) {}

QString IoError::description() const { return QString::fromLocal8Bit(std::strerror(errorNumber_)); }

QString IoError::folder() const {
    if (!inTheWay_.isEmpty()) return inTheWay_;
    if (operation_ == QStringLiteral("create folder")) return path_;
    return QFileInfo(path_).path();
}

QString IoError::reason() const {
    const QString place = folder();
    const bool reading = operation_.startsWith(QStringLiteral("read"));
    switch (errorNumber_) {
    case EROFS: return QStringLiteral("the disk holding %1 is read-only").arg(place);
    case ENOSPC:
    case EDQUOT: return QStringLiteral("the disk holding %1 is full").arg(place);
    case ENOENT:
        return reading ? QStringLiteral("the file is no longer in %1").arg(place)
                       : QStringLiteral("the folder %1 is missing").arg(place);
    case ENOTDIR: return QStringLiteral("%1 is not a folder").arg(place);
    case EISDIR: return QStringLiteral("a folder in %1 has the name the file needs").arg(place);
    case EACCES:
    case EPERM:
        return reading ? QStringLiteral("you do not have permission to read files in %1").arg(place)
                       : QStringLiteral("you do not have permission to change %1").arg(place);
    case EFBIG: return QStringLiteral("the file is too large for %1").arg(place);
    case EIO: return QStringLiteral("the disk holding %1 reported an error").arg(place);
    default: return QStringLiteral("%1: %2").arg(place, description());
    }
}

} // namespace Support
