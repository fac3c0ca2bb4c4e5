#include "AuditKit/OfflineBuffer.h"

#include "AuditKit/AuditJSON.h"
#include "Support/AtomicFile.h"
#include "Support/DamagedFile.h"
#include "Support/FileLock.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/IoError.h"
#include "Support/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <map>
#include <set>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace AuditKit {

namespace {

const Support::Logger log("app.brindlecast.audit", "buffer");

// What identifies a buffered record to the buffers of this process: its event ID, or the line
// itself when it does not decode.
QByteArray recordKey(const QByteArray& line) {
    try {
        return "id:" + AuditJSON::decode(line).eventID.toByteArray(QUuid::WithoutBraces);
    } catch (const AuditJSON::DecodingError&) {
        return "line:" + line;
    }
}

std::optional<qint64> parseCount(const QByteArray& text) {
    const QByteArray trimmed = text.trimmed();
    const qsizetype digitsFrom = (trimmed.startsWith('+') || trimmed.startsWith('-')) ? 1 : 0;
    if (trimmed.size() == digitsFrom) return std::nullopt;
    for (qsizetype i = digitsFrom; i < trimmed.size(); ++i) {
        if (trimmed[i] < '0' || trimmed[i] > '9') return std::nullopt;
    }
    bool ok = false;
    const qint64 value = trimmed.toLongLong(&ok, 10);
    if (!ok) return std::nullopt;
    return value;
}

qint64 saturatingAdd(qint64 a, qint64 b) {
    constexpr qint64 top = std::numeric_limits<qint64>::max();
    constexpr qint64 bottom = std::numeric_limits<qint64>::min();
    if (b > 0 && a > top - b) return top;
    if (b < 0 && a < bottom - b) return bottom;
    return a + b;
}

// A folder that cannot be made shows when the buffer's file cannot be written in it.
void makeFolder(const QString& folder) {
    try {
        Support::Folders::create(folder);
    } catch (const Support::IoError&) {
    }
}

} // namespace

// What every buffer object over one folder shares in this process.
struct OfflineBuffer::Folder {
    std::mutex mutex;
    // Records taken out of the buffer (delivered) that its file still holds, since it could not
    // be rewritten; by recordKey.
    std::set<QByteArray> removed;
    bool rewriteFailing = false; // the last rewrite failed: its streak has been logged
};

std::shared_ptr<OfflineBuffer::Folder> OfflineBuffer::folderState(const QString& folder) {
    static std::mutex registryMutex;
    static std::map<QString, std::shared_ptr<Folder>> registry;
    std::lock_guard guard(registryMutex);
    std::shared_ptr<Folder>& state = registry[folder];
    if (!state) state = std::make_shared<Folder>();
    return state;
}

OfflineBuffer::OfflineBuffer(const QString& directory, qint64 maxCount)
    : directory_(directory), maxCount_(std::max<qint64>(maxCount, 0)) {
    makeFolder(directory_);
    QString key = QFileInfo(directory_).canonicalFilePath();
    if (key.isEmpty()) key = QDir::cleanPath(QFileInfo(directory_).absoluteFilePath());
    folder_ = folderState(key);
}

QString OfflineBuffer::fileName() const { return directory_ + '/' + kFileName; }
QString OfflineBuffer::droppedCountFileName() const { return directory_ + '/' + kDroppedCountFileName; }

OfflineBuffer::Lines OfflineBuffer::readLinesLocked() const {
    Lines result;
    const QString path = fileName();
    int error = 0;
    const std::optional<QByteArray> bytes = Support::AtomicFile::read(path, &error, kMaximumFileBytes);
    if (!bytes) {
        result.readable = error == EFBIG ? moveAsideOversizedLocked() : !Support::FileNames::exists(path);
        return result;
    }
    for (const QByteArray& piece : bytes->split('\n')) {
        if (!piece.isEmpty()) result.lines.push_back(piece);
    }
    withholdRemovedLocked(result);
    return result;
}

void OfflineBuffer::withholdRemovedLocked(Lines& read) const {
    std::set<QByteArray>& removed = folder_->removed;
    if (removed.empty()) return;
    std::set<QByteArray> stillHeld;
    std::erase_if(read.lines, [&](const QByteArray& line) {
        QByteArray key = recordKey(line);
        if (!removed.contains(key)) return false;
        stillHeld.insert(std::move(key));
        ++read.withheld;
        return true;
    });
    removed = std::move(stillHeld);
}

bool OfflineBuffer::moveAsideOversizedLocked() const {
    // Trimming keeps the buffer well below the limit, so this one was not written by a buffer: its
    // records stay on disk for whoever looks into them, and buffering starts afresh.
    const QString limit = QString::number(kMaximumFileBytes / (1024 * 1024));
    try {
        const QString aside = Support::DamagedFile::moveAside(fileName());
        log.error(QString("%1 was larger than %2 MB; moved aside to %3, its records are not delivered")
                      .arg(kFileName, limit, QFileInfo(aside).fileName()));
        return true;
    } catch (const Support::IoError& error) {
        log.error(QString("%1 was larger than %2 MB and could not be moved aside: %3; nothing is buffered")
                      .arg(kFileName, limit, error.description()));
        return false;
    }
}

bool OfflineBuffer::writeLinesLocked(const std::vector<QByteArray>& lines) const {
    QByteArray text;
    for (const QByteArray& line : lines) text += line + '\n';
    try {
        Support::AtomicFile::write(fileName(), text, 0600);
    } catch (const Support::IoError& error) {
        rewriteFailedLocked(error.description());
        return false;
    }
    rewrittenLocked();
    return true;
}

void OfflineBuffer::rewrittenLocked() const {
    folder_->removed.clear();
    folder_->rewriteFailing = false;
}

void OfflineBuffer::rewriteFailedLocked(const QString& reason) const {
    if (std::exchange(folder_->rewriteFailing, true)) return;
    log.error(QString("%1 could not be rewritten (%2); records delivered meanwhile stay in it until it can be, "
                      "and are not posted again")
                  .arg(kFileName, reason));
}

qint64 OfflineBuffer::readDroppedLocked() const {
    const std::optional<QByteArray> text = Support::AtomicFile::read(droppedCountFileName(), nullptr, kMaximumCountBytes);
    if (!text) return 0;
    return parseCount(*text).value_or(0);
}

void OfflineBuffer::incrementDroppedLocked(qint64 count) const {
    const qint64 total = saturatingAdd(readDroppedLocked(), count);
    try {
        Support::AtomicFile::write(droppedCountFileName(), QByteArray::number(total), 0600);
    } catch (const Support::IoError&) {
    }
}

template <typename Work, typename Result>
Result OfflineBuffer::locked(Result fallback, Work work) {
    try {
        std::lock_guard guard(folder_->mutex);
        Support::FileLock lock(directory_ + '/' + kLockFileName);
        return work();
    } catch (const Support::IoError&) {
        return fallback;
    }
}

bool OfflineBuffer::trimLocked(std::vector<QByteArray>& lines) const {
    const qint64 count = static_cast<qint64>(lines.size());
    qint64 excess = std::max<qint64>(count - maxCount_, 0);
    qint64 kept = 0;
    for (qint64 i = excess; i < count; ++i) kept += lines[std::size_t(i)].size() + 1;
    for (; excess < count && kept > kMaximumKeptBytes; ++excess) kept -= lines[std::size_t(excess)].size() + 1;
    if (excess == 0) return false;
    lines.erase(lines.begin(), lines.begin() + excess);
    incrementDroppedLocked(excess);
    return true;
}

bool OfflineBuffer::append(const AuditRecord& record) {
    const QByteArray line = AuditJSON::encode(record);
    // A folder removed since construction would otherwise lose every record from now on.
    makeFolder(directory_);
    return locked(false, [&] {
        Lines current = readLinesLocked();
        // Never replace a file that exists but cannot be read: its records would be lost.
        if (!current.readable) return false;
        current.lines.push_back(line);
        trimLocked(current.lines);
        return writeLinesLocked(current.lines) && maxCount_ > 0;
    });
}

bool OfflineBuffer::appendUntrimmed(const AuditRecord& record) {
    if (maxCount_ == 0) return append(record); // nothing may stay: counted and gone at once
    const QByteArray line = AuditJSON::encode(record) + '\n';
    makeFolder(directory_);
    return locked(false, [&] {
        // Read and write: a file that cannot be read is never added to (it is never replaced either).
        // Never waiting on a pipe in the buffer's place nor filling one, nor adding to a file a link leads to.
        const int fd = ::open(Support::FileNames::encode(fileName()).constData(),
                              O_RDWR | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) return false;
        QByteArray bytes = line;
        struct stat info {};
        const bool stated = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        char last = '\n';
        // A line cut short (the machine stopped mid-write) must not swallow this one.
        if (stated && info.st_size > 0 && ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n') {
            bytes.prepend('\n');
        }
        bool written = stated;
        for (qsizetype done = 0; written && done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR) continue;
            written = n > 0;
            if (written) done += n;
        }
        // A failed write (a full disk) takes back what it added rather than leave half a line.
        if (!written && stated) (void)::ftruncate(fd, info.st_size);
        ::close(fd);
        return written;
    });
}

void OfflineBuffer::trim() {
    locked(false, [&] {
        Lines current = readLinesLocked();
        if (!current.readable) return false;
        // Written and flushed; lines delivered while the file could not be rewritten go with it.
        if (trimLocked(current.lines) || current.withheld > 0) return writeLinesLocked(current.lines);
        const int fd = ::open(Support::FileNames::encode(fileName()).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        ::fdatasync(fd);
        ::close(fd);
        return true;
    });
}

std::vector<QByteArray> OfflineBuffer::readLines() {
    return locked(std::vector<QByteArray>{}, [&] {
        std::vector<QByteArray> lines = readLinesLocked().lines;
        // Lines appended past the bound and not trimmed yet: the oldest are about to go.
        if (static_cast<qint64>(lines.size()) > maxCount_) lines.erase(lines.begin(), lines.end() - maxCount_);
        return lines;
    });
}

std::vector<AuditRecord> OfflineBuffer::readAll() {
    std::vector<AuditRecord> records;
    for (const QByteArray& line : readLines()) {
        try {
            records.push_back(AuditJSON::decode(line));
        } catch (const AuditJSON::DecodingError&) {
        }
    }
    return records;
}

void OfflineBuffer::remove(const std::vector<QByteArray>& lines) {
    if (lines.empty()) return;
    locked(false, [&] {
        Lines current = readLinesLocked();
        if (!current.readable) return false;
        std::vector<QByteArray> taken;
        for (const QByteArray& line : lines) {
            const auto it = std::find(current.lines.begin(), current.lines.end(), line);
            if (it == current.lines.end()) continue;
            current.lines.erase(it);
            taken.push_back(line);
        }
        if (taken.empty() && current.withheld == 0) return true;
        bool replaced = false;
        if (current.lines.empty()) {
            const QByteArray path = Support::FileNames::encode(fileName());
            replaced = ::unlink(path.constData()) == 0 || errno == ENOENT;
            if (replaced) {
                rewrittenLocked();
            } else {
                rewriteFailedLocked(QString::fromLocal8Bit(std::strerror(errno)));
            }
        } else {
            replaced = writeLinesLocked(current.lines);
        }
        // Delivered, yet still in the file: no pass of this process may post them again.
        if (!replaced)
            for (const QByteArray& line : taken) folder_->removed.insert(recordKey(line));
        return replaced;
    });
}

void OfflineBuffer::clear() {
    locked(false, [&] {
        if (::unlink(Support::FileNames::encode(fileName()).constData()) != 0) return false;
        rewrittenLocked();
        return true;
    });
}

qint64 OfflineBuffer::droppedCount() {
    return locked(qint64{0}, [&] { return readDroppedLocked(); });
}

} // namespace AuditKit
