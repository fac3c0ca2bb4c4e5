#pragma once

#include <QString>

namespace Support::Folders {

// Creates the folder at `path` with every missing parent; one that already exists is fine.
// Throws Support::IoError with the system's reason (a file in the way, no permission).
void create(const QString& path);

} // namespace Support::Folders
