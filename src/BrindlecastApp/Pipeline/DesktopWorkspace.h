#pragma once

#include "BrindlecastApp/Pipeline/FreedesktopTrash.h"
#include "BrindlecastApp/Pipeline/Presenters.h"

#include <QDBusConnection>
#include <QString>
#include <QStringList>

namespace BrindlecastApp::Pipeline {

// The desktop around the application: its file manager and its Trash.
class DesktopWorkspace final : public Trash {
public:
    // `bus` is where the file manager is asked; the session bus by default.
    explicit DesktopWorkspace(QDBusConnection bus = QDBusConnection::sessionBus(), FreedesktopTrash trash = {})
        : bus_(std::move(bus)), trash_(std::move(trash)) {}

    // Into the freedesktop Trash of the file's volume, with its .trashinfo record (FreedesktopTrash).
    void moveToTrash(const QString& path) override;

    // Shows the folder in the file manager (org.freedesktop.FileManager1.ShowFolders), or opens it
    // with the desktop's handler for folders when no file manager answers. Returns at once.
    void showFolder(const QString& folder) const;
    // Shows the files selected in their folder (ShowItems), or opens the first one's folder.
    void showItems(const QStringList& paths) const;

private:
    void askFileManager(const QString& method, const QStringList& paths, const QString& fallbackFolder) const;

    QDBusConnection bus_;
    FreedesktopTrash trash_;
};

} // namespace BrindlecastApp::Pipeline
