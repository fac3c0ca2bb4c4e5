#include "CaptureKit/AppIdentity.h"

#include "CaptureKit/DesktopEntry.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <mutex>

namespace CaptureKit {

namespace {

std::optional<QString> nonEmpty(const std::optional<QString>& value) {
    if (value && !value->isEmpty()) return value;
    return std::nullopt;
}

} // namespace

DesktopEntryIndex::DesktopEntryIndex(const QStringList& dataFolders) {
    for (const DesktopEntryFile& file : DesktopEntry::files(dataFolders)) {
        const std::optional<QHash<QString, QString>> keys = DesktopEntry::mainGroup(file.path);
        if (!keys) continue;
        const QString windowClass = keys->value("StartupWMClass");
        if (windowClass.isEmpty()) continue;
        QStringList& ids = idsByWindowClass_[windowClass];
        if (!ids.contains(file.id)) ids << file.id;
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
    const std::optional<QString> windowClass = nonEmpty(properties.windowClass);
    if (!windowClass) return std::nullopt;
    if (auto id = entries.idForWindowClass(*windowClass)) return id;
    return windowClass;
}

QStringList applicationIdentities(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries) {
    QStringList ids;
    const auto add = [&](const std::optional<QString>& id) {
        if (id && !id->isEmpty() && !ids.contains(*id)) ids << *id;
    };
    add(properties.gtkApplicationID);
    add(desktopFileID(properties));
    if (const std::optional<QString> windowClass = nonEmpty(properties.windowClass)) {
        for (const QString& id : entries.idsForWindowClass(*windowClass)) add(id);
        add(windowClass);
    }
    return ids;
}

} // namespace CaptureKit
