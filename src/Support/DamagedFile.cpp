#include "Support/DamagedFile.h"

#include "Support/FileNames.h"
#include "Support/IoError.h"

#include <QDateTime>

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace Support::DamagedFile {

QString moveAside(const QString& path) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString("yyyyMMdd'T'HHmmss'Z'");
    QString aside = path + ".corrupt-" + stamp;
    struct stat taken {};
    for (int n = 2; ::lstat(FileNames::encode(aside).constData(), &taken) == 0; ++n) {
        aside = path + ".corrupt-" + stamp + "-" + QString::number(n);
    }
    if (std::rename(FileNames::encode(path).constData(), FileNames::encode(aside).constData()) != 0) {
        throw IoError(errno, path, "move aside");
    }
    return aside;
}

} // namespace Support::DamagedFile
