#pragma once

#include <QString>
#include <QStringList>

namespace Support::Folders {

// Creates the folder at `path` with every missing parent; one that already exists is fine.
// Throws Support::IoError with the system's reason (a file in the way, no permission).
void create(const QString& path);

// The names of the regular files in `folder` (links and anything else left out), byte for byte
// (FileNames), in no order; none when the folder cannot be read.
QStringList files(const QString& folder);

// The user's home folder and base folders, byte for byte (FileNames), as the environment names
// them: "$HOME" when it is an absolute path, else the home the user database gives; each
// "$XDG_..._HOME" when it is an absolute path, else its usual place below the home. A home whose
// name is not UTF-8 is the folder it names, never a look-alike with U+FFFD in it.
QString home();
QString configHome(); // $XDG_CONFIG_HOME, or "$HOME/.config"
QString dataHome();   // $XDG_DATA_HOME, or "$HOME/.local/share"
QString cacheHome();  // $XDG_CACHE_HOME, or "$HOME/.cache"

// The user's Pictures folder as xdg-user-dirs names it in "$XDG_CONFIG_HOME/user-dirs.dirs"
// (XDG_PICTURES_DIR="$HOME/..." or an absolute path), byte for byte (FileNames), or
// "$HOME/Pictures" when the file names none.
QString pictures();

} // namespace Support::Folders
