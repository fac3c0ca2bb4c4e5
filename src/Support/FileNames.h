#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

namespace Support::FileNames {

// File names on Linux are bytes, not text: a folder made under a Latin-1 locale is named
// "Bilder\xe4". Qt turns such a name into U+FFFD and back into other bytes, which names another
// file. These two carry every name through a QString unchanged: valid UTF-8 reads as the text
// it is (as Qt reads it), and each byte that is no part of a valid UTF-8 sequence becomes the
// lone surrogate U+DC80..U+DCFF, which encode() turns back into that byte. Paths that reach
// the file system go through encode(); names that come from it through decode(). Qt's own file
// classes cannot open such a path; the program's file layer (SafeFile, AtomicFile, Folders) can.
QByteArray encode(const QString& path);
QString decode(const QByteArray& bytes);

// Whether anything is at `path`: a file, a folder, a link (even one that leads nowhere).
bool exists(const QString& path);

// When the file at `path` (a link itself, not where it leads) was last changed; nothing when
// there is none.
std::optional<QDateTime> modified(const QString& path);

} // namespace Support::FileNames
