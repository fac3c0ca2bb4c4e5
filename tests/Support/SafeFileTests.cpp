#include "Support/SafeFile.h"

#include "support/FifoTrap.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>

using Support::SafeFile::Links;

// Whatever stands at the path, a reader gets the bytes of a regular file within its limit or a
// reason, never waiting: a pipe (the trap lets go of any reader that opened it) and a device are
// not even opened.
TEST(SafeFile, ReadsRegularFilesWithinTheLimitAndNothingElse) {
    const QString folder = TestSupport::makeTemporaryFolder("safe-file");
    TestSupport::writeFile(folder + "/note", "hello");
    TestSupport::FifoTrap pipe(folder + "/pipe");
    ASSERT_TRUE(pipe.made());
    QFile::link(folder + "/note", folder + "/link to note");
    QFile::link(folder + "/pipe", folder + "/link to pipe");

    const struct {
        const char* name;
        QString path;
        Links links;
        qint64 limit;
        int error; // 0: "hello" is read
        const char* reason;
    } cases[] = {
        {"a regular file", folder + "/note", Links::refuse, 5, 0, ""},
        {"no limit", folder + "/note", Links::refuse, -1, 0, ""},
        {"above the limit", folder + "/note", Links::refuse, 4, EFBIG, "larger than 4 bytes"},
        {"missing", folder + "/none", Links::follow, -1, ENOENT, "No such file or directory"},
        {"a folder", folder, Links::follow, -1, EISDIR, "not a regular file"},
        {"a pipe", folder + "/pipe", Links::follow, -1, EINVAL, "not a regular file"},
        {"a device", "/dev/zero", Links::follow, -1, EINVAL, "not a regular file"},
        {"a link, refused", folder + "/link to note", Links::refuse, -1, ELOOP, "not a regular file"},
        {"a link, followed", folder + "/link to note", Links::follow, -1, 0, ""},
        {"a link to a pipe, followed", folder + "/link to pipe", Links::follow, -1, EINVAL, "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Support::SafeFile::Failure failure;
        const std::optional<QByteArray> bytes = Support::SafeFile::read(c.path, c.limit, c.links, &failure);
        if (c.error == 0) {
            EXPECT_EQ(bytes, QByteArray("hello"));
        } else {
            EXPECT_FALSE(bytes);
            EXPECT_EQ(failure.errorNumber, c.error);
            EXPECT_EQ(failure.reason, c.reason);
        }
    }
    EXPECT_FALSE(pipe.caughtAReader()) << "the pipe was opened";
}

// A file that grows past the limit while it is read is refused by the count of bytes read.
TEST(SafeFile, AFileGrowingPastTheLimitWhileReadIsRefused) {
    const QString path = TestSupport::makeTemporaryFolder("growing") + "/log";
    TestSupport::writeFile(path, "12345");
    std::optional<Support::SafeFile::OpenFile> file = Support::SafeFile::open(path, Links::refuse);
    ASSERT_TRUE(file);
    QFile grow(path);
    ASSERT_TRUE(grow.open(QIODevice::Append));
    grow.write(QByteArray(100, 'x'));
    grow.close();
    Support::SafeFile::Failure failure;
    EXPECT_FALSE(file->readAll(50, &failure));
    EXPECT_EQ(failure.errorNumber, EFBIG);
}
