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

// The words of an Exec command line, its quoting undone ("\"a b\"" is one word).
QStringList commandWords(const QString& exec);

// The programs the entry starts its application as, as written: TryExec, and Exec's program when
// everything after it is an option or a field code. A program given anything else (an interpreter
// given a script, `sh -c`, a launcher given an app's name) runs what its own name does not say,
// so it is left out. `env` and its assignments before the program are looked through.
QStringList programs(const QHash<QString, QString>& keys);

} // namespace DesktopEntry

} // namespace CaptureKit
