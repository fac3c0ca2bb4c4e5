#include "PolicyKit/ManagedLayer.h"

#include "Support/BoundedJson.h"
#include "Support/SafeFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace PolicyKit {

namespace {

// A policy file is a handful of keys; anything much larger is not one.
constexpr off_t kMaxFileBytes = 1024 * 1024;

QString ownerName(uid_t uid) { return uid == 0 ? QString("root") : QString("uid %1").arg(uid); }

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Why `info` may not hold forced values, or nothing when it may.
std::optional<QString> trustProblem(const struct stat& info, uid_t trustedOwner) {
    if (info.st_uid != trustedOwner) {
        return QString("owned by %1, not %2").arg(ownerName(info.st_uid), ownerName(trustedOwner));
    }
    if (info.st_mode & (S_IWGRP | S_IWOTH)) return QString("writable by group or others");
    return std::nullopt;
}

// Checks the folder and each parent up to the trusted ancestor; the first problem, if any.
std::optional<QString> folderProblem(const QString& canonicalFolder, const ManagedFolder& folder) {
    const QString ancestor = QFileInfo(folder.trustedAncestor).canonicalFilePath();
    if (ancestor.isEmpty()) return QString("trusted ancestor \"%1\" does not exist").arg(folder.trustedAncestor);
    const QString prefix = ancestor.endsWith('/') ? ancestor : ancestor + '/';
    if (canonicalFolder != ancestor && !canonicalFolder.startsWith(prefix)) {
        return QString("\"%1\" is not inside \"%2\"").arg(canonicalFolder, ancestor);
    }
    QString current = canonicalFolder;
    while (true) {
        struct stat info {};
        if (::lstat(QFile::encodeName(current).constData(), &info) != 0) {
            return QString("\"%1\": %2").arg(current, errnoText(errno));
        }
        if (!S_ISDIR(info.st_mode)) return QString("\"%1\" is not a folder").arg(current);
        if (const std::optional<QString> problem = trustProblem(info, folder.trustedOwner)) {
            return QString("\"%1\" is %2").arg(current, *problem);
        }
        if (current == ancestor) return std::nullopt;
        current = QFileInfo(current).path();
    }
}

struct FileRead {
    std::optional<QByteArray> bytes;
    QString problem;
};

// Opens without following links and checks the opened file itself, so the checked file is the
// one read.
FileRead readTrustedFile(const QString& path, uid_t trustedOwner) {
    Support::SafeFile::Failure failure;
    std::optional<Support::SafeFile::OpenFile> file = Support::SafeFile::open(path, Support::SafeFile::Links::refuse, &failure);
    if (!file) {
        const bool irregular = failure.errorNumber == ELOOP || failure.errorNumber == EINVAL || failure.errorNumber == EISDIR;
        return {std::nullopt, irregular ? QString("not a regular file") : QString("unreadable (%1)").arg(failure.reason)};
    }
    if (const std::optional<QString> problem = trustProblem(file->status(), trustedOwner)) return {std::nullopt, *problem};
    std::optional<QByteArray> bytes = file->readAll(kMaxFileBytes, &failure);
    if (bytes) return {std::move(bytes), QString()};
    if (failure.errorNumber == EFBIG) return {std::nullopt, QString("larger than %1 bytes").arg(kMaxFileBytes)};
    return {std::nullopt, QString("unreadable (%1)").arg(failure.reason)};
}

// The policy files of a folder: "*.json" (exactly that case), hidden files and folders aside, in
// C-locale order (by the bytes of their names). Nothing, with `problem` set, when the folder
// cannot be listed.
std::optional<QStringList> policyFileNames(const QString& folder, QString& problem) {
    DIR* listing = ::opendir(QFile::encodeName(folder).constData());
    if (!listing) {
        problem = QString("unreadable (%1)").arg(errnoText(errno));
        return std::nullopt;
    }
    std::vector<QByteArray> names;
    const int folderFd = ::dirfd(listing);
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        struct stat info {};
        const bool isFolder = ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        if (!name.startsWith('.') && name.endsWith(".json") && !isFolder) names.push_back(name);
        errno = 0;
    }
    const int listError = errno;
    ::closedir(listing);
    if (listError != 0) {
        problem = QString("unreadable (%1)").arg(errnoText(listError));
        return std::nullopt;
    }
    std::sort(names.begin(), names.end());
    QStringList decoded;
    for (const QByteArray& name : names) decoded << QFile::decodeName(name);
    return decoded;
}

} // namespace

ManagedLayer ManagedLayer::load(const ManagedFolder& folder) {
    ManagedLayer layer;
    const auto folderUnusable = [&](const QString& problem) {
        layer.diagnostics << QString("managed policy folder \"%1\": %2; its files are ignored").arg(folder.path, problem);
        return layer;
    };
    // Only a folder that is not there means "nothing forced". One that cannot be reached or read
    // may hold enforced values, and losing them silently would lift the organisation's rules.
    char resolved[PATH_MAX];
    if (!::realpath(QFile::encodeName(folder.path).constData(), resolved)) {
        if (errno == ENOENT) return layer;
        return folderUnusable(QString("unreadable (%1)").arg(errnoText(errno)));
    }
    const QString canonical = QFile::decodeName(resolved);
    if (const std::optional<QString> problem = folderProblem(canonical, folder)) return folderUnusable(*problem);
    QString listProblem;
    const std::optional<QStringList> names = policyFileNames(canonical, listProblem);
    if (!names) return folderUnusable(listProblem);

    std::map<std::string, QString> setBy; // key -> file that set it
    for (const QString& name : *names) {
        const QString path = canonical + '/' + name;
        const FileRead read = readTrustedFile(path, folder.trustedOwner);
        if (!read.bytes) {
            layer.diagnostics << QString("managed policy \"%1\": %2; ignored").arg(path, read.problem);
            continue;
        }
        QString parseError;
        std::optional<nlohmann::json> bounded = Support::BoundedJson::parse(*read.bytes, &parseError);
        if (!bounded) {
            layer.diagnostics << QString("managed policy \"%1\": not valid JSON (%2); ignored").arg(path, parseError);
            continue;
        }
        nlohmann::json& parsed = *bounded;
        if (!parsed.is_object()) {
            layer.diagnostics << QString("managed policy \"%1\": not a JSON object; ignored").arg(path);
            continue;
        }
        for (auto& [key, value] : parsed.items()) {
            if (value.is_null()) continue; // null reads as absent
            const auto earlier = setBy.find(key);
            if (earlier != setBy.end() && layer.values[key] != value) {
                layer.diagnostics << QString("managed policy \"%1\": %2 overrides the value from \"%3\"")
                                         .arg(path, QString::fromStdString(key), earlier->second);
            }
            layer.values[key] = value;
            setBy[key] = path;
        }
    }
    return layer;
}

} // namespace PolicyKit
