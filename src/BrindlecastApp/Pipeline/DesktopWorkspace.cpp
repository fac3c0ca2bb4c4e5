#include "BrindlecastApp/Pipeline/DesktopWorkspace.h"

#include "Support/FileNames.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace BrindlecastApp::Pipeline {

namespace {

// A file URL of the path's own bytes: QUrl::fromLocalFile would write a name that is no UTF-8 as
// another one.
QUrl fileUrl(const QString& path) {
    return QUrl::fromEncoded("file://" + Support::FileNames::encode(path).toPercentEncoding("/"));
}

void openWithDesktop(const QString& folder) { QDesktopServices::openUrl(fileUrl(folder)); }

} // namespace

void DesktopWorkspace::moveToTrash(const QString& path) { trash_.moveToTrash(path); }

void DesktopWorkspace::showFolder(const QString& folder) const { askFileManager("ShowFolders", {folder}, folder); }

void DesktopWorkspace::showItems(const QStringList& paths) const {
    if (paths.isEmpty()) return;
    askFileManager("ShowItems", paths, QFileInfo(paths.first()).absolutePath());
}

void DesktopWorkspace::askFileManager(const QString& method, const QStringList& paths, const QString& fallbackFolder) const {
    if (!bus_.isConnected()) return openWithDesktop(fallbackFolder);
    QStringList uris;
    for (const QString& path : paths) uris << fileUrl(path).toString(QUrl::FullyEncoded);
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                                       "org.freedesktop.FileManager1", method);
    call << uris << QString();
    // Asked without waiting: a file manager started on demand may take a while to answer.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), nullptr);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, fallbackFolder] {
        if (watcher->isError()) openWithDesktop(fallbackFolder);
        watcher->deleteLater();
    });
}

} // namespace BrindlecastApp::Pipeline
