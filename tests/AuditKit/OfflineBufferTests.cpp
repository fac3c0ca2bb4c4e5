#include "AuditKit/AuditJSON.h"
#include "AuditKit/OfflineBuffer.h"
#include "Support/Log.h"
#include "support/FifoTrap.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <thread>

using namespace AuditKit;

namespace {

AuditRecord numbered(int n) {
    return AuditRecord(AuditEvent::policyViolation("test", QString("record %1").arg(n)),
                       QDateTime::fromSecsSinceEpoch(1796000000 + n, Qt::UTC), QUuid::createUuid(), "host", "user");
}

QByteArray lineOf(int n) { return AuditJSON::encode(numbered(n)); }

QStringList details(const std::vector<AuditRecord>& records) {
    QStringList out;
    for (const AuditRecord& r : records) out << std::get<AuditEvent::PolicyViolation>(r.event.value).detail;
    return out;
}

// The buffer's log lines written while it lives.
class BufferLog final : public Support::LogSink {
public:
    void write(const Support::LogEntry& entry) override {
        std::lock_guard guard(mutex_);
        if (entry.category == "buffer") lines_ << entry.message;
    }
    QStringList lines() const {
        std::lock_guard guard(mutex_);
        return lines_;
    }

private:
    mutable std::mutex mutex_;
    QStringList lines_;
};

struct InstalledLog {
    InstalledLog() : previous(Support::Log::sink()), log(std::make_shared<BufferLog>()) { Support::Log::setSink(log); }
    ~InstalledLog() { Support::Log::setSink(previous); }
    std::shared_ptr<Support::LogSink> previous;
    std::shared_ptr<BufferLog> log;
};

class Buffer : public testing::Test {
protected:
    QString folder_ = TestSupport::makeTemporaryFolder("buffer") + "/nested/audit-buffer";
};

} // namespace

TEST_F(Buffer, AppendCreatesTheFolderAndWritesOneLinePerRecord) {
    OfflineBuffer buffer(folder_, 10);
    const AuditRecord first = numbered(1);
    const AuditRecord second = numbered(2);
    EXPECT_TRUE(buffer.append(first));
    EXPECT_TRUE(buffer.append(second));
    EXPECT_EQ(TestSupport::readFile(folder_ + "/audit-buffer.jsonl"),
              AuditJSON::encode(first) + '\n' + AuditJSON::encode(second) + '\n');
    EXPECT_EQ(buffer.readAll(), (std::vector<AuditRecord>{first, second}));
    EXPECT_FALSE(QFile::exists(folder_ + "/audit-buffer-dropped.count"));
}

TEST_F(Buffer, AppendRecreatesAFolderRemovedMeanwhile) {
    OfflineBuffer buffer(folder_, 10);
    ASSERT_TRUE(QDir(folder_).removeRecursively());
    EXPECT_TRUE(buffer.append(numbered(1)));
    EXPECT_EQ(details(buffer.readAll()), QStringList{"record 1"});
}

TEST_F(Buffer, TrimsTheOldestAndCountsThem) {
    OfflineBuffer buffer(folder_, 3);
    for (int n = 1; n <= 3; ++n) buffer.append(numbered(n));
    buffer.append(numbered(4));
    EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 2", "record 3", "record 4"}));
    EXPECT_EQ(TestSupport::readFile(folder_ + "/audit-buffer-dropped.count"), "1");

    // A file that grew beyond the bound some other way is cut back to the newest lines.
    TestSupport::writeFile(folder_ + "/audit-buffer.jsonl", lineOf(5) + '\n' + lineOf(6) + '\n' + lineOf(7) + '\n' +
                                                                 lineOf(8) + '\n' + lineOf(9) + '\n');
    buffer.append(numbered(10));
    EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 8", "record 9", "record 10"}));
    EXPECT_EQ(buffer.droppedCount(), 4);
}

TEST_F(Buffer, ZeroCapacityKeepsNothingAndCountsEverything) {
    OfflineBuffer buffer(folder_, 0);
    TestSupport::writeFile(folder_ + "/audit-buffer.jsonl", lineOf(1) + '\n' + lineOf(2) + '\n');
    EXPECT_FALSE(buffer.append(numbered(3)));
    EXPECT_EQ(TestSupport::readFile(folder_ + "/audit-buffer.jsonl"), "");
    EXPECT_EQ(TestSupport::readFile(folder_ + "/audit-buffer-dropped.count"), "3");
}

TEST_F(Buffer, DroppedCounterReadsLeniently) {
    struct Case {
        const char* stored;
        const char* after;
    };
    const Case cases[] = {
        {"41\n", "42"},
        {"  +7 ", "8"},
        {"-3", "-2"},
        {"not a number", "1"},
        {"", "1"},
        {"12abc", "1"},
        {"99999999999999999999", "1"},
        // Saturates instead of wrapping round to a negative count.
        {"9223372036854775807", "9223372036854775807"},
        // Longer than any count: not read, so it counts as 0.
        {"                                                                7", "1"},
    };
    for (const Case& c : cases) {
        const QString folder = TestSupport::makeTemporaryFolder("counter");
        OfflineBuffer buffer(folder, 1);
        TestSupport::writeFile(folder + "/audit-buffer-dropped.count", c.stored);
        buffer.append(numbered(1));
        buffer.append(numbered(2));
        EXPECT_EQ(TestSupport::readFile(folder + "/audit-buffer-dropped.count"), c.after) << c.stored;
    }
}

TEST_F(Buffer, BlankLinesAreNotRecordsAndGoWithTheNextAppend) {
    OfflineBuffer buffer(folder_, 10);
    const QByteArray first = lineOf(1);
    const QByteArray second = lineOf(2);
    TestSupport::writeFile(folder_ + "/audit-buffer.jsonl", "\n" + first + "\n\n\n" + second);
    EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 1", "record 2"}));
    const AuditRecord third = numbered(3);
    buffer.append(third);
    EXPECT_EQ(TestSupport::readFile(folder_ + "/audit-buffer.jsonl"),
              first + '\n' + second + '\n' + AuditJSON::encode(third) + '\n');
}

TEST_F(Buffer, LinesThatDoNotDecodeAreSkippedButKept) {
    OfflineBuffer buffer(folder_, 10);
    QByteArray overflowing = lineOf(4);
    overflowing.replace("\"schemaVersion\":1", "\"schemaVersion\":1e999");
    ASSERT_TRUE(overflowing.contains("1e999"));
    const QByteArray text =
        lineOf(1) + "\n{\"kind\":\"capture\"\n" + lineOf(3) + "\n\xff\xfe\n" + overflowing + "\n" + lineOf(5) + "\n";
    TestSupport::writeFile(folder_ + "/audit-buffer.jsonl", text);
    EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 1", "record 3", "record 5"}));
    EXPECT_EQ(buffer.readLines().size(), 6u);
}

TEST_F(Buffer, ClearRemovesTheFileButNotTheCount) {
    OfflineBuffer buffer(folder_, 1);
    buffer.append(numbered(1));
    buffer.append(numbered(2));
    buffer.clear();
    EXPECT_TRUE(buffer.readAll().empty());
    EXPECT_FALSE(QFile::exists(folder_ + "/audit-buffer.jsonl"));
    EXPECT_EQ(buffer.droppedCount(), 1);
}

TEST_F(Buffer, RemoveTakesOnlyTheGivenLines) {
    OfflineBuffer buffer(folder_, 10);
    for (int n = 1; n <= 3; ++n) buffer.append(numbered(n));
    const std::vector<QByteArray> lines = buffer.readLines();
    buffer.append(numbered(4)); // arrives while the first two are being delivered
    buffer.remove({lines[0], lines[1]});
    EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 3", "record 4"}));
    buffer.remove(buffer.readLines());
    EXPECT_FALSE(QFile::exists(folder_ + "/audit-buffer.jsonl"));
}

TEST_F(Buffer, QuickAppendAddsOneLineInPlace) {
    OfflineBuffer buffer(folder_, 10);
    // The second seeded line was cut short mid-write: the new record must not run on from it.
    const QByteArray seeded = lineOf(1) + '\n' + lineOf(2).left(20);
    TestSupport::writeFile(buffer.fileName(), seeded);
    const auto inode = [&] { return TestSupport::inodeOf(buffer.fileName()); };
    const auto before = inode();
    const AuditRecord third = numbered(3);
    const AuditRecord fourth = numbered(4);
    EXPECT_TRUE(buffer.appendUntrimmed(third));
    EXPECT_TRUE(buffer.appendUntrimmed(fourth));
    EXPECT_EQ(inode(), before); // added to, not replaced
    EXPECT_EQ(TestSupport::readFile(buffer.fileName()),
              seeded + '\n' + AuditJSON::encode(third) + '\n' + AuditJSON::encode(fourth) + '\n');
    EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 1", "record 3", "record 4"}));
}

TEST_F(Buffer, QuickAppendsPastTheBoundAreCutBackByTrimAndCounted) {
    OfflineBuffer buffer(folder_, 3);
    for (int n = 1; n <= 5; ++n) buffer.appendUntrimmed(numbered(n));
    EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 3", "record 4", "record 5"})); // readers see the bound
    EXPECT_EQ(buffer.droppedCount(), 0);
    const QByteArray newest = TestSupport::readFile(buffer.fileName()).split('\n').mid(2).join('\n');
    buffer.trim();
    EXPECT_EQ(TestSupport::readFile(buffer.fileName()), newest);
    EXPECT_EQ(buffer.droppedCount(), 2);
    buffer.trim(); // nothing more to drop
    EXPECT_EQ(buffer.droppedCount(), 2);

    // With room for nothing, a quick append is counted and gone at once, as a plain one is.
    OfflineBuffer none(folder_ + "-none", 0);
    EXPECT_FALSE(none.appendUntrimmed(numbered(6)));
    EXPECT_EQ(none.droppedCount(), 1);
}

TEST_F(Buffer, BuffersOverOneFolderNeverLoseEachOthersLines) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 50;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([this, t] {
            OfflineBuffer own(folder_, 10000); // one object per writer, as every capture makes its own
            for (int i = 0; i < kPerThread; ++i) own.append(numbered(t * 1000 + i));
        });
    }
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(OfflineBuffer(folder_, 10000).readAll().size(), std::size_t(kThreads * kPerThread));
}

// A buffer file above the limit (a hole of 64 GiB takes no disk) was not written by a buffer: it
// is not read but moved aside whole, and records are buffered afresh beside it.
TEST_F(Buffer, AFileAboveTheLimitIsMovedAsideUnreadAndBufferingGoesOn) {
    const struct {
        const char* name;
        qint64 size;
    } cases[] = {
        {"one byte above", OfflineBuffer::kMaximumFileBytes + 1},
        {"a hole of 64 GiB", qint64(64) << 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = TestSupport::makeTemporaryFolder("oversized");
        OfflineBuffer buffer(folder, 10);
        TestSupport::writeFile(buffer.fileName(), lineOf(1) + '\n');
        QFile file(buffer.fileName());
        ASSERT_TRUE(file.resize(c.size));

        EXPECT_TRUE(buffer.readAll().empty());
        const QStringList aside = QDir(folder).entryList({"audit-buffer.jsonl.corrupt-*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(QFileInfo(folder + "/" + aside.front()).size(), c.size);
        EXPECT_TRUE(buffer.appendUntrimmed(numbered(2)));
        EXPECT_TRUE(buffer.append(numbered(3)));
        EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 2", "record 3"}));
        EXPECT_EQ(buffer.droppedCount(), 0);
    }
}

// Records are bounded in bytes as well as in number, so no burst of large records can make a file
// the buffer would refuse to read: trimming drops the oldest beyond the bytes kept and counts them.
TEST_F(Buffer, TrimKeepsTheNewestRecordsWithinTheBytesKept) {
    OfflineBuffer buffer(folder_, 1000);
    const QString detail(1024 * 1024, 'x');
    constexpr int records = 40;
    for (int n = 1; n <= records; ++n) {
        ASSERT_TRUE(buffer.appendUntrimmed(AuditRecord(AuditEvent::policyViolation(QString::number(n), detail),
                                                       QDateTime::fromSecsSinceEpoch(1796000000, Qt::UTC),
                                                       QUuid::createUuid(), "host", "user")));
    }
    buffer.trim();
    const std::vector<QByteArray> kept = buffer.readLines();
    ASSERT_FALSE(kept.empty());
    EXPECT_LE(QFileInfo(buffer.fileName()).size(), OfflineBuffer::kMaximumKeptBytes);
    EXPECT_EQ(qint64(kept.size()) + buffer.droppedCount(), records);
    EXPECT_EQ(std::get<AuditEvent::PolicyViolation>(AuditJSON::decode(kept.back()).event.value).kind, "40");
    EXPECT_GT(QFileInfo(buffer.fileName()).size() + kept.back().size() + 1, OfflineBuffer::kMaximumKeptBytes)
        << "more was dropped than the bound needs";
}

// A pipe or a link in the buffer's place is never written through: a quick append is refused at
// once, and the file a link leads to is left alone.
TEST_F(Buffer, AQuickAppendNeitherWaitsOnAPipeNorFollowsALink) {
    OfflineBuffer buffer(folder_, 10);
    const QString elsewhere = TestSupport::makeTemporaryFolder("elsewhere") + "/notes";
    TestSupport::writeFile(elsewhere, "mine\n");
    ASSERT_TRUE(QFile::link(elsewhere, buffer.fileName()));
    EXPECT_FALSE(buffer.appendUntrimmed(numbered(1)));
    EXPECT_EQ(TestSupport::readFile(elsewhere), "mine\n");

    QFile::remove(buffer.fileName());
    TestSupport::FifoTrap pipe(buffer.fileName());
    ASSERT_TRUE(pipe.made());
    for (int n = 0; n < 200; ++n) EXPECT_FALSE(buffer.appendUntrimmed(numbered(n))); // more than a pipe holds
}

// On a full disk (no file may grow past a few bytes) delivered lines cannot be taken out of the
// file: they are read no more, by any buffer of the process, and the failure is logged once. The
// next rewrite that succeeds, whichever operation makes it, leaves them out of the file, and a
// quick append meanwhile brings none of them back.
TEST_F(Buffer, LinesRemovedWhileTheFileCannotBeRewrittenAreReadNoMoreAndLeaveAtTheNextRewrite) {
    struct Case {
        const char* rewrite;
        std::function<void(OfflineBuffer&)> run;
        QStringList left;
    };
    const Case cases[] = {
        {"trim", [](OfflineBuffer& b) { b.trim(); }, {"record 3", "record 4"}},
        {"append", [](OfflineBuffer& b) { b.append(numbered(5)); }, {"record 3", "record 4", "record 5"}},
        {"remove", [](OfflineBuffer& b) { b.remove({b.readLines().front()}); }, {"record 4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rewrite);
        const QString folder = TestSupport::makeTemporaryFolder("withheld") + "/audit-buffer";
        OfflineBuffer buffer(folder, 10);
        for (int n = 1; n <= 3; ++n) buffer.append(numbered(n));
        const std::vector<QByteArray> lines = buffer.readLines();
        const QByteArray seeded = TestSupport::readFile(buffer.fileName());
        InstalledLog installed;
        {
            const TestSupport::FileSizeLimit full(16);
            buffer.remove({lines[0]});
            buffer.remove({lines[1]});
        }
        EXPECT_EQ(TestSupport::readFile(buffer.fileName()), seeded);
        EXPECT_EQ(details(buffer.readAll()), QStringList{"record 3"});
        EXPECT_EQ(details(OfflineBuffer(folder, 10).readAll()), QStringList{"record 3"}) << "another capture's buffer";
        ASSERT_EQ(installed.log->lines().size(), 1);
        EXPECT_TRUE(installed.log->lines()[0].startsWith("audit-buffer.jsonl could not be rewritten (File too large)"))
            << installed.log->lines()[0].toStdString();

        ASSERT_TRUE(buffer.appendUntrimmed(numbered(4)));
        EXPECT_EQ(details(buffer.readAll()), (QStringList{"record 3", "record 4"}));
        c.run(buffer);
        QStringList inFile;
        for (const QByteArray& line : TestSupport::readFile(buffer.fileName()).split('\n'))
            if (!line.isEmpty()) inFile << details({AuditJSON::decode(line)});
        EXPECT_EQ(inFile, c.left);
        EXPECT_EQ(details(buffer.readAll()), c.left);

        // A failure after a rewrite that succeeded is a new streak, logged once more (a last line
        // removed takes the file with it, which needs no room).
        {
            const TestSupport::FileSizeLimit full(16);
            for (const QByteArray& line : buffer.readLines()) buffer.remove({line});
        }
        EXPECT_FALSE(QFile::exists(buffer.fileName()));
        EXPECT_EQ(installed.log->lines().size(), c.left.size() > 1 ? 2 : 1);
    }
}

// With every other line delivered, the file goes even on a full disk: nothing has to be written.
TEST_F(Buffer, TheLastLinesRemovedTakeTheFileWithThemOnAFullDisk) {
    OfflineBuffer buffer(folder_, 10);
    for (int n = 1; n <= 2; ++n) buffer.append(numbered(n));
    const std::vector<QByteArray> lines = buffer.readLines();
    const TestSupport::FileSizeLimit full(16);
    buffer.remove({lines[0]});
    EXPECT_TRUE(QFile::exists(buffer.fileName()));
    buffer.remove({lines[1]});
    EXPECT_FALSE(QFile::exists(buffer.fileName()));
    EXPECT_TRUE(buffer.readAll().empty());
}
