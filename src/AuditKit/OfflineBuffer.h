#pragma once

#include "AuditKit/AuditRecord.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

namespace AuditKit {

// Audit records not yet delivered, one compact JSON line each in "audit-buffer.jsonl", oldest
// first, at most `maxCount` lines and kMaximumKeptBytes; the oldest lines beyond either are
// dropped and counted in "audit-buffer-dropped.count" (saturating at the largest 64-bit value).
// A buffer file above kMaximumFileBytes was not written by a buffer: it is not read but moved
// aside as "audit-buffer.jsonl.corrupt-<UTC time>" (logged), and buffering starts afresh.
//
// Every buffer object over one folder in this process shares one mutex, and each operation also
// holds an flock on "audit-buffer.lock" against other processes, so read-modify-write cycles of
// different sinks never erase each other's lines. Failures are swallowed: a failed write leaves
// the previous file in place. The first failed rewrite of a streak (a full disk) is logged; lines
// `remove` could not take out then are no longer read by this process (their records were
// delivered), and the next rewrite that succeeds leaves them out of the file.
//
// The thread that records an event stores it with `appendUntrimmed`, one appending write that
// costs the same however full the buffer is; the delivery worker then calls `trim`, which
// applies the bound and flushes the file to the disk.
class OfflineBuffer {
public:
    static constexpr const char* kFileName = "audit-buffer.jsonl";
    static constexpr const char* kDroppedCountFileName = "audit-buffer-dropped.count";
    static constexpr const char* kLockFileName = "audit-buffer.lock";
    // Ten thousand records take a few megabytes; a burst appended before the next trim has room
    // between the two bounds.
    static constexpr qint64 kMaximumKeptBytes = 32 * 1024 * 1024;
    static constexpr qint64 kMaximumFileBytes = 2 * kMaximumKeptBytes;
    // A count is at most 20 digits; anything much longer is not one.
    static constexpr qint64 kMaximumCountBytes = 64;

    // Creates the folder (and missing parents) when it does not exist, here and again on append.
    // A negative maxCount counts as 0.
    OfflineBuffer(const QString& directory, qint64 maxCount);

    const QString& directory() const { return directory_; }
    QString fileName() const;
    QString droppedCountFileName() const;
    qint64 maxCount() const { return maxCount_; }

    // Adds the record as the newest line, trimming the oldest beyond maxCount. False when the
    // record could not be stored.
    bool append(const AuditRecord& record);
    // Adds the record as the newest line with one appending write: the file is neither read nor
    // replaced. The line is in the file when this returns, so the process may end or be killed
    // at once without losing it; `trim` flushes it to the disk. Until then the file may hold
    // more than maxCount lines (readers see the newest maxCount). False when the record could
    // not be stored.
    bool appendUntrimmed(const AuditRecord& record);
    // Drops the oldest lines beyond maxCount, counting them, and flushes the file to the disk.
    void trim();
    // Every line that decodes, oldest first; other lines are skipped and stay in the file.
    std::vector<AuditRecord> readAll();
    // The raw lines, oldest first (blank lines left out): the newest maxCount.
    std::vector<QByteArray> readLines();
    // Removes one occurrence of each given line, leaving lines appended meanwhile alone; the file
    // goes when nothing is left. When the file cannot be rewritten, the given lines' records (by
    // event ID; a line that does not decode by its bytes) stay in it but are read by no buffer
    // of this process from then on.
    void remove(const std::vector<QByteArray>& lines);
    // Removes the buffer file; the dropped count stays.
    void clear();
    // The dropped count as stored (0 when missing or unreadable).
    qint64 droppedCount();

private:
    struct Folder;
    struct Lines {
        std::vector<QByteArray> lines; // without the lines removed while the file could not be rewritten
        qsizetype withheld = 0;        // how many of those the file still holds
        bool readable = true;          // false when the file exists but could not be read
    };
    // One per folder for the whole process (records withheld must stay so for the next capture's
    // buffer), shared by every buffer object over it.
    static std::shared_ptr<Folder> folderState(const QString& folder);
    // Runs `work` holding the folder's mutex and file lock; `fallback` when the lock cannot be had.
    template <typename Work, typename Result = std::invoke_result_t<Work>>
    Result locked(Result fallback, Work work);

    Lines readLinesLocked() const;
    // Leaves out the lines removed while the file could not be rewritten, and forgets those the
    // file no longer holds.
    void withholdRemovedLocked(Lines& read) const;
    // Moves an oversized buffer file aside; false when it cannot be (it is then never replaced).
    bool moveAsideOversizedLocked() const;
    // Replaces the file with `lines`, so the withheld lines are gone from it too.
    bool writeLinesLocked(const std::vector<QByteArray>& lines) const;
    // Logs the first failure of a streak.
    void rewriteFailedLocked(const QString& reason) const;
    // The file was replaced or removed: it holds no withheld line, and a streak of failures ends.
    void rewrittenLocked() const;
    // Drops the oldest of `lines` beyond maxCount and kMaximumKeptBytes and counts them; true when
    // any went.
    bool trimLocked(std::vector<QByteArray>& lines) const;
    void incrementDroppedLocked(qint64 count) const;
    qint64 readDroppedLocked() const;

    QString directory_;
    qint64 maxCount_;
    std::shared_ptr<Folder> folder_;
};

} // namespace AuditKit
