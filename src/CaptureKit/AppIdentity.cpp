#include "CaptureKit/AppIdentity.h"

#include "CaptureKit/DesktopEntry.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <climits>
#include <mutex>

#include <unistd.h>

namespace CaptureKit {

namespace {

std::optional<QString> nonEmpty(const std::optional<QString>& value) {
    if (value && !value->isEmpty()) return value;
    return std::nullopt;
}

} // namespace

void DesktopEntryIndex::add(QHash<QString, QStringList>& index, const QString& key, const QString& id) {
    if (key.isEmpty()) return;
    QStringList& ids = index[key];
    if (!ids.contains(id)) ids << id;
}

DesktopEntryIndex::DesktopEntryIndex(const QStringList& dataFolders) {
    for (const DesktopEntryFile& file : DesktopEntry::files(dataFolders)) {
        const std::optional<QHash<QString, QString>> keys = DesktopEntry::mainGroup(file.path);
        if (!keys) continue;
        const QString windowClass = keys->value("StartupWMClass");
        add(idsByWindowClass_, windowClass, file.id);
        add(idsByName_, windowClass.toCaseFolded(), file.id);
        add(idsByName_, file.id.toCaseFolded(), file.id);
        if (file.id.contains('.')) add(idsByName_, file.id.section('.', -1).toCaseFolded(), file.id);
        for (const QString& program : DesktopEntry::programs(*keys)) {
            add(idsByName_, QFileInfo(program).fileName().toCaseFolded(), file.id);
            const QString path = program.contains('/') ? program : QStandardPaths::findExecutable(program);
            if (!path.isEmpty()) add(idsByProgram_, QFileInfo(path).canonicalFilePath(), file.id);
        }
    }
}

QStringList DesktopEntryIndex::standardDataFolders() {
    QStringList folders;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty()) home = QDir::homePath() + "/.local/share";
    folders << home;
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty()) dirs = "/usr/local/share:/usr/share";
    for (const QString& dir : dirs.split(':', Qt::SkipEmptyParts)) folders << dir;
    return folders;
}

std::shared_ptr<const DesktopEntryIndex> DesktopEntryIndex::standard() {
    static std::mutex mutex;
    static QStringList cachedFolders;
    static QList<QDateTime> cachedTimes;
    static std::shared_ptr<const DesktopEntryIndex> cached;

    const QStringList folders = standardDataFolders();
    QList<QDateTime> times;
    for (const QString& folder : folders) times << QFileInfo(folder + "/applications").lastModified();
    std::lock_guard lock(mutex);
    if (!cached || folders != cachedFolders || times != cachedTimes) {
        cached = std::make_shared<const DesktopEntryIndex>(folders);
        cachedFolders = folders;
        cachedTimes = times;
    }
    return cached;
}

std::optional<QString> DesktopEntryIndex::idForWindowClass(const QString& windowClass) const {
    const QStringList ids = idsForWindowClass(windowClass);
    if (ids.isEmpty()) return std::nullopt;
    return ids.front();
}

QStringList DesktopEntryIndex::idsForWindowClass(const QString& windowClass) const {
    return idsByWindowClass_.value(windowClass);
}

QStringList DesktopEntryIndex::idsForWindow(const WindowIdentityProperties& properties) const {
    QStringList ids;
    const auto addAll = [&](const QStringList& more) {
        for (const QString& id : more)
            if (!ids.contains(id)) ids << id;
    };
    const std::optional<QString> windowClass = nonEmpty(properties.windowClass);
    const std::optional<QString> instance = nonEmpty(properties.windowInstance);
    const std::optional<QString> program = nonEmpty(properties.program);
    if (windowClass) addAll(idsForWindowClass(*windowClass));
    if (instance) addAll(idsForWindowClass(*instance));
    if (windowClass) addAll(idsByName_.value(windowClass->toCaseFolded()));
    if (instance) addAll(idsByName_.value(instance->toCaseFolded()));
    if (program) {
        addAll(idsByName_.value(QFileInfo(*program).fileName().toCaseFolded()));
        addAll(idsByProgram_.value(*program));
    }
    return ids;
}

namespace {

std::optional<QString> desktopFileID(const WindowIdentityProperties& properties) {
    std::optional<QString> file = nonEmpty(properties.kdeDesktopFile);
    // Some toolkits publish the file name with its extension.
    if (file && file->endsWith(".desktop")) file->chop(int(qstrlen(".desktop")));
    return nonEmpty(file);
}

} // namespace

std::optional<QString> applicationID(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries) {
    if (auto id = nonEmpty(properties.gtkApplicationID)) return id;
    if (auto file = desktopFileID(properties)) return file;
    if (const QStringList ids = entries.idsForWindow(properties); !ids.isEmpty()) return ids.front();
    return nonEmpty(properties.windowClass);
}

QStringList applicationIdentities(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries) {
    QStringList ids;
    const auto add = [&](const std::optional<QString>& id) {
        if (id && !id->isEmpty() && !ids.contains(*id)) ids << *id;
    };
    add(properties.gtkApplicationID);
    add(desktopFileID(properties));
    for (const QString& id : entries.idsForWindow(properties)) add(id);
    add(properties.windowClass);
    add(properties.windowInstance);
    return ids;
}

bool isIdentified(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries) {
    return nonEmpty(properties.gtkApplicationID) || desktopFileID(properties) || nonEmpty(properties.program)
           || !entries.idsForWindow(properties).isEmpty();
}

std::optional<QString> programOfProcess(std::uint32_t pid) {
    if (pid == 0) return std::nullopt;
    char buffer[PATH_MAX];
    const QByteArray link = QByteArray("/proc/") + QByteArray::number(pid) + "/exe";
    const ssize_t length = readlink(link.constData(), buffer, sizeof buffer);
    if (length <= 0 || std::size_t(length) >= sizeof buffer) return std::nullopt;
    QString target = QFile::decodeName(QByteArray(buffer, length));
    // A program replaced (by an upgrade) or removed while it runs is still the one it was.
    if (target.endsWith(" (deleted)")) target.chop(int(qstrlen(" (deleted)")));
    if (target.isEmpty()) return std::nullopt;
    return target;
}

} // namespace CaptureKit
