#pragma once

#include <QString>
#include <stdexcept>

namespace Support {

// A failed file-system call: the system's error number and its description.
class IoError : public std::runtime_error {
public:
    IoError(int errorNumber, const QString& path, const QString& operation);

    int errorNumber() const { return errorNumber_; }
    const QString& path() const { return path_; }
    const QString& operation() const { return operation_; }
    // The operating system's text for the error number, as strerror gives it.
    QString description() const;
    // The folder the user knows the failed call by: the folder made for "create folder", else the
    // one holding the path (a hidden temporary file sits beside the file it becomes). When a part
    // of the path is no folder (ENOTDIR), that part: the file in the way.
    QString folder() const;
    // What went wrong in words the user can act on, naming that folder and never the file's own
    // name (it may be a temporary one): "the disk holding /home/ada/Pictures is read-only". The
    // system's text for an error number without words of its own.
    QString reason() const;

private:
    int errorNumber_;
    QString path_;
    QString operation_;
    // For ENOTDIR: the part of the path that exists and is no folder, looked up as the call failed.
    QString inTheWay_;
};

} // namespace Support
