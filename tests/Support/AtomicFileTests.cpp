#include "Support/AtomicFile.h"
#include "Support/IoError.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

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

namespace {

// Sets the process's umask for the scope (the test runs alone in its process) and gives it back.
struct Umask {
    explicit Umask(mode_t mask) : previous(::umask(mask)) {}
    ~Umask() { ::umask(previous); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;
    mode_t previous;
};

} // namespace

// Every writer follows one rule: a new file gets its mode less the umask, and a file replaced
// keeps its own mode whatever the umask, while a link in its place lends it nothing.
TEST(AtomicFile, ANewFileGetsItsModeLessTheUmaskAndAReplacedOneKeepsItsOwn) {
    enum class Before { nothing, file0640, linkTo0644 };
    enum class Writer { write, writePrivate, createNew };
    struct Case {
        mode_t umask;
        Writer writer;
        Before before;
        mode_t expected;
    };
    const Case cases[] = {
        {077, Writer::write, Before::nothing, 0600},        {022, Writer::write, Before::nothing, 0644},
        {002, Writer::write, Before::nothing, 0664},        {027, Writer::createNew, Before::nothing, 0640},
        {077, Writer::createNew, Before::nothing, 0600},    {000, Writer::writePrivate, Before::nothing, 0600},
        {077, Writer::writePrivate, Before::nothing, 0600}, {077, Writer::write, Before::file0640, 0640},
        {000, Writer::writePrivate, Before::file0640, 0640}, {077, Writer::write, Before::linkTo0644, 0600},
    };
    for (const Case& c : cases) {
        const QString folder = TestSupport::makeTemporaryFolder();
        const QString path = folder + "/shot.png";
        if (c.before == Before::file0640) {
            TestSupport::writeFile(path, "old");
            ::chmod(QFile::encodeName(path).constData(), 0640);
        } else if (c.before == Before::linkTo0644) {
            TestSupport::writeFile(folder + "/elsewhere", "keep me");
            ::chmod(QFile::encodeName(folder + "/elsewhere").constData(), 0644);
            ASSERT_EQ(::symlink("elsewhere", QFile::encodeName(path).constData()), 0);
        }
        {
            const Umask mask(c.umask);
            const auto onlyName = [](int n) { return n == 0 ? QStringLiteral("shot.png") : QString(); };
            if (c.writer == Writer::createNew) Support::AtomicFile::createNew(folder, onlyName, "new");
            else if (c.writer == Writer::write) Support::AtomicFile::write(path, "new");
            else Support::AtomicFile::write(path, "new", 0600);
        }
        const std::string name = QString("umask %1, writer %2, before %3")
                                     .arg(c.umask, 3, 8, QChar('0')).arg(int(c.writer)).arg(int(c.before)).toStdString();
        EXPECT_EQ(TestSupport::readFile(path), "new") << name;
        EXPECT_EQ(modeOf(path), c.expected) << name;
        EXPECT_TRUE(temporaryLeftovers(folder).isEmpty()) << name;
    }
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
    // Hidden, so a folder listing never shows a file being written.
    ASSERT_TRUE(name.startsWith("/x/.shot.png.tmp-"));
    const QString uuid = name.mid(QString("/x/.shot.png.tmp-").size());
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

namespace {

bool isLink(const QString& path) { return QFileInfo(path).isSymLink(); }

void link(const QString& target, const QString& at) {
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()), 0);
}

// "shot.png", "shot (1).png", "shot (2).png", then no more.
QString shotName(int attempt) {
    if (attempt == 0) return "shot.png";
    return attempt <= 2 ? QString("shot (%1).png").arg(attempt) : QString();
}

} // namespace

TEST(AtomicFile, FollowingALinkReplacesItsTargetBesideItselfAndKeepsTheLink) {
    struct Case {
        const char* name;
        const char* linkText;  // relative to the link's own folder, or absolute below the home folder
        bool chained;          // a link to a link to the file
        bool targetExists;
    };
    const Case cases[] = {
        {"relative", "../dotfiles/preferences.json", false, true},
        {"absolute", "/dotfiles/preferences.json", false, true},
        {"chain of two", "../dotfiles/preferences.json", true, true},
        {"dangling", "../dotfiles/preferences.json", false, false},
    };
    for (const Case& c : cases) {
        const QString home = TestSupport::makeTemporaryFolder("home");
        QDir().mkpath(home + "/dotfiles");
        QDir().mkpath(home + "/config");
        const QString target = home + "/dotfiles/preferences.json";
        if (c.targetExists) {
            TestSupport::writeFile(target, "old");
            ::chmod(QFile::encodeName(target).constData(), 0640);
        }
        const QString path = home + "/config/preferences.json";
        const QString text = QString(c.linkText).startsWith('/') ? home + c.linkText : QString(c.linkText);
        if (c.chained) {
            link(text, home + "/config/middle.json");
            link("middle.json", path);
        } else {
            link(text, path);
        }

        Support::AtomicFile::write(path, "new", 0600, Support::AtomicFile::Links::follow);
        EXPECT_TRUE(isLink(path)) << c.name;
        EXPECT_EQ(TestSupport::readFile(target), "new") << c.name;
        EXPECT_EQ(TestSupport::readFile(path), "new") << c.name;
        EXPECT_EQ(modeOf(target), c.targetExists ? 0640u : 0600u) << c.name;
        EXPECT_TRUE(temporaryLeftovers(home + "/dotfiles").isEmpty()) << c.name;
        EXPECT_TRUE(temporaryLeftovers(home + "/config").isEmpty()) << c.name;
    }
}

TEST(AtomicFile, ALinkIsReplacedNotFollowedUnlessAsked) {
    const QString folder = TestSupport::makeTemporaryFolder();
    TestSupport::writeFile(folder + "/elsewhere", "keep me");
    link(folder + "/elsewhere", folder + "/state.json");
    Support::AtomicFile::write(folder + "/state.json", "new");
    EXPECT_FALSE(isLink(folder + "/state.json"));
    EXPECT_EQ(TestSupport::readFile(folder + "/state.json"), "new");
    EXPECT_EQ(TestSupport::readFile(folder + "/elsewhere"), "keep me");
}

TEST(AtomicFile, ALinkThatNeverEndsIsRefused) {
    const QString folder = TestSupport::makeTemporaryFolder();
    link(folder + "/b", folder + "/a");
    link(folder + "/a", folder + "/b");
    try {
        Support::AtomicFile::write(folder + "/a", "x", 0600, Support::AtomicFile::Links::follow);
        FAIL() << "the write should have failed";
    } catch (const Support::IoError& error) {
        EXPECT_EQ(error.errorNumber(), ELOOP);
    }
    EXPECT_TRUE(isLink(folder + "/a"));
}

TEST(AtomicFile, CreateNewTakesTheFirstFreeNameAndNeverReplacesAnything) {
    struct Case {
        const char* name;
        std::function<void(const QString& folder)> plant;
        const char* expectedName;  // nothing: every name is taken
    };
    const Case cases[] = {
        {"free", [](const QString&) {}, "shot.png"},
        {"file taken", [](const QString& f) { TestSupport::writeFile(f + "/shot.png", "earlier"); }, "shot (1).png"},
        {"link to a file",
         [](const QString& f) {
             TestSupport::writeFile(f + "/victim", "keep me");
             link(f + "/victim", f + "/shot.png");
         },
         "shot (1).png"},
        {"dangling link", [](const QString& f) { link(f + "/nowhere", f + "/shot.png"); }, "shot (1).png"},
        {"folder", [](const QString& f) { QDir(f).mkdir("shot.png"); }, "shot (1).png"},
        {"all taken",
         [](const QString& f) {
             for (int n = 0; n < 3; ++n) TestSupport::writeFile(f + "/" + shotName(n), "earlier");
         },
         nullptr},
    };
    for (const Case& c : cases) {
        const QString folder = TestSupport::makeTemporaryFolder();
        c.plant(folder);
        const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
        if (!c.expectedName) {
            try {
                Support::AtomicFile::createNew(folder, shotName, "png bytes");
                ADD_FAILURE() << c.name << ": the write should have failed";
            } catch (const Support::IoError& error) {
                EXPECT_EQ(error.errorNumber(), EEXIST) << c.name;
            }
        } else {
            const QString path = Support::AtomicFile::createNew(folder, shotName, "png bytes");
            EXPECT_EQ(path, folder + "/" + c.expectedName) << c.name;
            EXPECT_EQ(TestSupport::readFile(path), "png bytes") << c.name;
            EXPECT_FALSE(isLink(path)) << c.name;
        }
        QStringList after = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
        if (c.expectedName) after.removeOne(c.expectedName);
        EXPECT_EQ(after, before) << c.name;  // nothing planted was touched, no temporary is left
        if (QFileInfo::exists(folder + "/victim")) {
            EXPECT_EQ(TestSupport::readFile(folder + "/victim"), "keep me");
        }
    }
}

TEST(AtomicFile, CreateNewOnAFullDiskLeavesNoFile) {
    const QString folder = TestSupport::makeTemporaryFolder();
    const QByteArray bytes(256 * 1024, 'x');
    try {
        const TestSupport::FileSizeLimit full(64 * 1024);
        Support::AtomicFile::createNew(folder, shotName, bytes);
        FAIL() << "the write should have failed";
    } catch (const Support::IoError& error) {
        EXPECT_EQ(error.errorNumber(), EFBIG);
    }
    EXPECT_TRUE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

TEST(AtomicFile, ReadRefusesAFileAboveTheGivenSize) {
    const QString folder = TestSupport::makeTemporaryFolder();
    TestSupport::writeFile(folder + "/doc", QByteArray(1000, 'a'));
    int error = 0;
    EXPECT_EQ(Support::AtomicFile::read(folder + "/doc", &error, 1000), QByteArray(1000, 'a'));
    EXPECT_FALSE(Support::AtomicFile::read(folder + "/doc", &error, 999).has_value());
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(Support::AtomicFile::read(folder + "/doc", &error, -1)->size(), 1000);
}
