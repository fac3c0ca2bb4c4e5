#include "Support/AtomicFile.h"
#include "Support/IoError.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

QStringList temporaryLeftovers(const QString& folder) {
    return QDir(folder).entryList(QStringList{"*.tmp-*"}, QDir::Files | QDir::Hidden);
}

mode_t modeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

} // namespace

TEST(AtomicFile, NewFileGetsTheRequestedModeAndAReplacedOneKeepsItsOwn) {
    const QString folder = TestSupport::makeTemporaryFolder();
    const QString path = folder + "/state.json";
    Support::AtomicFile::write(path, "old", 0600);
    EXPECT_EQ(modeOf(path), 0600u);
    ::chmod(QFile::encodeName(path).constData(), 0640);
    Support::AtomicFile::write(path, "new", 0600);
    EXPECT_EQ(TestSupport::readFile(path), "new");
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_TRUE(temporaryLeftovers(folder).isEmpty());
}

TEST(AtomicFile, FailedRenameLeavesTargetAndNoTemporaryFile) {
    // A non-empty folder cannot be replaced by a file, whoever runs the test.
    const QString folder = TestSupport::makeTemporaryFolder();
    const QString target = folder + "/occupied";
    TestSupport::writeFile(target + "/inside", "keep me");
    try {
        Support::AtomicFile::write(target, "bytes");
        FAIL() << "the write should have failed";
    } catch (const Support::IoError& error) {
        EXPECT_EQ(error.errorNumber(), EISDIR);
        EXPECT_FALSE(error.description().isEmpty());
    }
    EXPECT_TRUE(temporaryLeftovers(folder).isEmpty());
    EXPECT_EQ(TestSupport::readFile(target + "/inside"), "keep me");
}

TEST(AtomicFile, MissingFolderFailsWithoutSideEffects) {
    const QString folder = TestSupport::makeTemporaryFolder();
    EXPECT_THROW(Support::AtomicFile::write(folder + "/no/such/file", "x"), Support::IoError);
    EXPECT_TRUE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

TEST(AtomicFile, TemporaryNameFollowsTheTarget) {
    const QString name = Support::AtomicFile::temporaryPathFor("/x/shot.png");
    ASSERT_TRUE(name.startsWith("/x/shot.png.tmp-"));
    const QString uuid = name.mid(QString("/x/shot.png.tmp-").size());
    EXPECT_EQ(uuid.size(), 36);
    EXPECT_EQ(uuid, uuid.toUpper());
}

TEST(AtomicFile, EveryNameTheFileSystemAcceptsCanBeWritten) {
    // Names up to the 255-byte limit, some cut short inside a two- or three-byte character.
    const QString cases[] = {
        QString(244, 'a'),
        QString(255, 'b'),
        QString(213, 'c') + QString(20, QChar(0x00E9)),  // 253 bytes, "é" across the cut
        QString(212, 'd') + QString(14, QChar(0x20AC)),  // 254 bytes, "€" across the cut
        "shot.png",
    };
    for (const QString& name : cases) {
        const QString folder = TestSupport::makeTemporaryFolder();
        const QString path = folder + "/" + name;
        ASSERT_LE(QFile::encodeName(name).size(), 255);
        const QString temporary = Support::AtomicFile::temporaryPathFor(path);
        EXPECT_LE(QFile::encodeName(QFileInfo(temporary).fileName()).size(), 255) << name.size();
        EXPECT_TRUE(QFileInfo(temporary).fileName().contains(".tmp-"));
        EXPECT_EQ(QFileInfo(temporary).path(), folder);
        EXPECT_NO_THROW(Support::AtomicFile::write(path, "bytes")) << name.size();
        EXPECT_EQ(TestSupport::readFile(path), "bytes");
        EXPECT_TRUE(temporaryLeftovers(folder).isEmpty());
    }
}
