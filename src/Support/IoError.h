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
    // The operating system's text for the error number, as strerror gives it.
    QString description() const;

private:
    int errorNumber_;
    QString path_;
};

} // namespace Support
