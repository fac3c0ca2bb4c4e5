#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace BrindlecastApp::Pipeline {

// Names and places of the files a capture leaves in the library folder. New library files are
// only named and written on the GUI thread, one after the other.

// "Screenshot 2026-12-05 at 6.25.34 PM.png": the time as the clock on the wall shows it, in
// English whatever the user's language, and the extension without its dot.
QString screenshotFilename(const QDateTime& date, const QString& extension);

// The time a screenshot name records, in the local time zone, whatever counter follows it;
// nothing for any other name.
std::optional<QDateTime> timeInScreenshotName(const QString& filename);

// The n-th name to try for a file whose name is taken: `filename` itself for 0, then
// "<base> (1).<ext>", "<base> (2).<ext>", ...
QString numberedName(const QString& filename, int n);

// The first path in `folder` where nothing exists yet, by numberedName().
QString uniquePath(const QString& folder, const QString& filename);

// Writes `bytes` into a new file at the first free path for `filename` in `folder`, never over
// anything already there (a symbolic link included; one that appears meanwhile moves it on to the
// next name). The file only gets its name once it is whole and flushed, so a crash or a full disk
// never leaves part of it under that name. Returns the path. Throws Support::IoError.
QString writeNewFile(const QString& folder, const QString& filename, const QByteArray& bytes);

// Writes the desktop-less companion of a working copy the same way, under its one name; a name
// already taken fails with EEXIST. Returns the path. Throws Support::IoError.
QString writeCompanion(const QString& workingCopyPath, const QByteArray& png);

// The desktop-less companion of a working copy: "<name>.content.png" for "<name>.png".
QString companionPath(const QString& workingCopyPath);
// The annotation sidecar of an image: "<image file name>.brindlecast.json".
QString sidecarPath(const QString& imagePath);

} // namespace BrindlecastApp::Pipeline
