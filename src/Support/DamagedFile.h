#pragma once

#include <QString>

namespace Support::DamagedFile {

// Moves a damaged file out of its reader's way and keeps it for the user: it is renamed to
// "<path>.corrupt-<UTC time>" ("…-2", "…-3" when one moved aside in the same second holds the
// name; nothing is replaced). Returns the new path. Throws Support::IoError when the file cannot
// be renamed (a folder the user may not write); it then stays where it was.
QString moveAside(const QString& path);

} // namespace Support::DamagedFile
