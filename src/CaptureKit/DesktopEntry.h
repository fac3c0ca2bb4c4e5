#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace CaptureKit {

// One installed desktop entry (a ".desktop" file) as the XDG lookup finds it.
struct DesktopEntryFile {
    QString id;   // the desktop-file ID: the path below applications/ with '/' turned into '-', no ".desktop"
    QString path; // the file
};

namespace DesktopEntry {

// Every desktop file under the "applications" folders of `dataFolders`, earlier folders first.
// An ID already met in an earlier folder is left out: that entry shadows it.
std::vector<DesktopEntryFile> files(const QStringList& dataFolders);

// The unlocalised keys of the file's [Desktop Entry] group with their values, escapes ("\s",
// "\n", "\t", "\r", "\\") resolved. Read by hand: QSettings would mangle the escapes and list
// separators. Nothing when the file cannot be read, is not a regular file (a pipe), or is
// larger than any desktop entry; reading it never waits.
std::optional<QHash<QString, QString>> mainGroup(const QString& path);

// "true" in a desktop file's Boolean key.
bool isTrue(const QHash<QString, QString>& keys, const QString& key);

} // namespace DesktopEntry

} // namespace CaptureKit
