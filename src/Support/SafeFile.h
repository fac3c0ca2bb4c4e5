#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <sys/stat.h>

class QFile;

namespace Support::SafeFile {

// The one way this program opens a file for reading that someone else may have put in its place
// (a capture in the library, a desktop entry, an icon, a policy file): it never waits on a pipe
// or a device, reads only regular files, never more than the reader's limit, and follows a
// symbolic link only where the reader asks for it.

// Whether a symbolic link at the path itself is followed (links in the folders above always are).
enum class Links {
    refuse, // the link counts as a file that is not a regular one
    follow, // the regular file at its end is read
};

// Why a file was not opened or not read whole.
struct Failure {
    int errorNumber = 0; // ENOENT, EACCES, ...; EFBIG above the limit; EINVAL or EISDIR when not a regular file
    QString reason;      // for people: "not a regular file", "larger than 1024 bytes", or the system's text
};

// The system's text for an error number, or the reasons above for their own numbers.
QString describe(int errorNumber);

// A regular file opened for reading. Move-only; the descriptor closes with it.
class OpenFile {
public:
    OpenFile(OpenFile&& other) noexcept;
    OpenFile& operator=(OpenFile&& other) noexcept;
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile();

    int descriptor() const { return fd_; }
    // The opened file's own status: what was checked is what is read.
    const struct stat& status() const { return status_; }
    qint64 size() const { return qint64(status_.st_size); }

    // The whole file from where it stands, unless it is larger than `maximumBytes` (when not
    // negative) by its size or by the bytes read (a file that grows while it is read): then
    // nothing, with EFBIG.
    std::optional<QByteArray> readAll(qint64 maximumBytes, Failure* failure = nullptr);

    // Up to `length` bytes from `offset`, without moving where the file stands: fewer when the
    // file ends first, none at or past its end. For readers that look at parts of a file (a
    // chunk's header, the newest lines) and never need the rest.
    std::optional<QByteArray> readAt(qint64 offset, qint64 length, Failure* failure = nullptr);

    // A QFile over the descriptor, for readers that take a device (image readers); it owns the
    // descriptor from then on and this file is left closed. Nothing when Qt refuses it.
    std::unique_ptr<QFile> intoDevice(Failure* failure = nullptr);

private:
    friend std::optional<OpenFile> open(const QString&, Links, Failure*);
    OpenFile(int fd, const struct stat& status) : fd_(fd), status_(status) {}

    int fd_ = -1;
    struct stat status_ {};
};

// Opens `path` for reading when it is a regular file. A pipe, socket or device is refused before
// it is opened and checked again once it is, without ever waiting on it.
std::optional<OpenFile> open(const QString& path, Links links, Failure* failure = nullptr);

// open() and readAll() in one.
std::optional<QByteArray> read(const QString& path, qint64 maximumBytes, Links links, Failure* failure = nullptr);

} // namespace Support::SafeFile
