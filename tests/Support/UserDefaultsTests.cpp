#include "Support/IoError.h"
#include "Support/UserDefaults.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using nlohmann::json;

TEST(UserDefaults, DefaultPathIsUnderXdgConfigHome) {
    EXPECT_EQ(Support::UserDefaults::defaultPath(),
              qEnvironmentVariable("XDG_CONFIG_HOME") + "/app.brindlecast/preferences.json");
}

TEST(UserDefaults, SetReadAndRemoveValues) {
    const QString path = TestSupport::makeTemporaryFolder() + "/app.brindlecast/preferences.json";
    Support::UserDefaults store(path);
    EXPECT_FALSE(store.value("theme.mode").has_value());
    EXPECT_FALSE(QFile::exists(path)); // reading never creates the file

    store.setValue("theme.mode", json("dark"));
    store.setValue("BlockedBundleIDs", json::array({"org.example.Vault"}));
    EXPECT_EQ(store.value("theme.mode"), json("dark"));

    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    store.setValue("theme.mode", std::nullopt);
    EXPECT_FALSE(store.value("theme.mode").has_value());
    store.setValue("BlockedBundleIDs", json(nullptr)); // null removes too
    EXPECT_EQ(store.snapshot(), json::object());
}

TEST(UserDefaults, NullReadsAsAbsent) {
    const QString path = TestSupport::makeTemporaryFolder() + "/preferences.json";
    TestSupport::writeFile(path, R"({"MandatoryReview": null, "LockAgent": true})");
    Support::UserDefaults store(path);
    EXPECT_FALSE(store.value("MandatoryReview").has_value());
    EXPECT_EQ(store.value("LockAgent"), json(true));
}

TEST(UserDefaults, WritersInTwoStoresKeepEachOthersKeys) {
    const QString path = TestSupport::makeTemporaryFolder() + "/preferences.json";
    Support::UserDefaults first(path);
    Support::UserDefaults second(path);
    EXPECT_FALSE(first.value("a").has_value()); // first caches the empty state
    second.setValue("b", json(2));
    first.setValue("a", json(1)); // re-reads before writing
    EXPECT_EQ(first.value("b"), json(2));
    EXPECT_EQ(second.value("a"), json(1)); // sees the other store's write
}

TEST(UserDefaults, CorruptFileIsMovedAsideAndReported) {
    const QString folder = TestSupport::makeTemporaryFolder();
    const QString path = folder + "/preferences.json";
    // Not JSON; not an object; nested too deep to copy or write without exhausting the stack.
    const QByteArray tooDeep = "{\"x\":" + QByteArray(200000, '[') + QByteArray(200000, ']') + "}";
    // A number beyond the double range is damage too, not a reason to stop reading preferences.
    for (const QByteArray& corrupt : {QByteArray("{not json"), QByteArray("[1, 2]"), tooDeep, QByteArray(R"({"x":1e999})")}) {
        QDir(folder).removeRecursively();
        TestSupport::writeFile(path, corrupt);
        Support::UserDefaults store(path);
        EXPECT_FALSE(store.value("x").has_value());
        const QStringList diagnostics = store.takeDiagnostics();
        ASSERT_EQ(diagnostics.size(), 1);
        EXPECT_TRUE(diagnostics[0].contains("moved aside to preferences.json.corrupt-")) << diagnostics[0].toStdString();

        const QStringList aside = QDir(folder).entryList(QStringList{"preferences.json.corrupt-*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(TestSupport::readFile(folder + "/" + aside[0]), corrupt);

        store.setValue("x", json(1));
        EXPECT_EQ(store.value("x"), json(1));
        EXPECT_TRUE(store.takeDiagnostics().isEmpty());
    }
}

TEST(UserDefaults, MovingAsideNeverReplacesAnEarlierCorruptFile) {
    const QString folder = TestSupport::makeTemporaryFolder();
    const QString path = folder + "/preferences.json";
    // Earlier corrupt files under this second's name and the next one's.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QStringList earlier{path + ".corrupt-" + now.toString("yyyyMMdd'T'HHmmss'Z'"),
                              path + ".corrupt-" + now.addSecs(1).toString("yyyyMMdd'T'HHmmss'Z'")};
    for (const QString& file : earlier) TestSupport::writeFile(file, "earlier");
    TestSupport::writeFile(path, "{broken");
    Support::UserDefaults store(path);
    EXPECT_FALSE(store.value("x").has_value());
    for (const QString& file : earlier) EXPECT_EQ(TestSupport::readFile(file), "earlier");
    EXPECT_EQ(QDir(folder).entryList(QStringList{"preferences.json.corrupt-*"}, QDir::Files).size(), 3);
    EXPECT_TRUE(store.takeDiagnostics().join("").contains("moved aside to preferences.json.corrupt-"));
}

TEST(UserDefaults, FailedWriteIsReportedAndLeavesTheFile) {
    const QString folder = TestSupport::makeTemporaryFolder();
    const QString path = folder + "/preferences.json";
    TestSupport::writeFile(path, R"({"keep": 1})");
    Support::UserDefaults store(path);
    // A folder where the lock file belongs makes the write fail before anything is written.
    QDir().mkpath(path + ".lock");
    EXPECT_ANY_THROW(store.setValue("x", json(2)));
    EXPECT_EQ(TestSupport::readFile(path), R"({"keep": 1})");
}

TEST(UserDefaults, AFileThatCannotBeReadIsNeverReplaced) {
    // Settings the store cannot read (another owner, no permission) would be lost by a write.
    // Even root cannot open a socket as a file, so a socket stands in for such a file here.
    const QString path = TestSupport::makeTemporaryFolder() + "/preferences.json";
    const int socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    ASSERT_LT(static_cast<size_t>(native.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
    ASSERT_EQ(::bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    Support::UserDefaults store(path);
    EXPECT_FALSE(store.value("x").has_value());
    EXPECT_THROW(store.setValue("x", json(1)), Support::IoError);
    struct stat info {};
    ASSERT_EQ(::lstat(native.constData(), &info), 0);
    EXPECT_TRUE(S_ISSOCK(info.st_mode));
    ::close(socketFd);
}

TEST(UserDefaults, UnusableFileInAFolderTheUserCannotWriteReadsAsEmptyAndIsReportedOnce) {
    // The app reads its theme from this file before anything else, as whoever runs it: a read
    // must not throw, and nothing may be written over values the user cannot see.
    struct Case {
        const char* name;
        QByteArray contents;
        mode_t fileMode;
        bool lockFileWritableByAll;
        const char* diagnostic;
    };
    const Case cases[] = {
        {"damaged", "{not json", 0644, false,
         "preferences.json was not a valid JSON object and could not be moved aside: Permission denied"},
        {"damaged, lock file usable", "[1, 2]", 0644, true,
         "preferences.json was not a valid JSON object and could not be moved aside: Permission denied"},
        {"unreadable", R"({"x": 1})", 0600, false,
         "preferences.json could not be read (Permission denied); its values are not used"},
    };
    for (const Case& c : cases) {
        const QString folder = TestSupport::makeFolderReachableByAll("preferences");
        const QString path = folder + "/preferences.json";
        TestSupport::writeFile(path, c.contents);
        ::chmod(QFile::encodeName(path).constData(), c.fileMode);
        if (c.lockFileWritableByAll) {
            TestSupport::writeFile(path + ".lock", "");
            ::chmod(QFile::encodeName(path + ".lock").constData(), 0666);
        }
        const TestSupport::ChildResult child = TestSupport::runAsUnprivilegedUser([&](QByteArray& out) {
            Support::UserDefaults store(path);
            // The theme, the settings and the policy each read it.
            for (int i = 0; i < 3; ++i) {
                if (store.value("x") || store.snapshot() != json::object()) out += "values seen\n";
            }
            try {
                store.setValue("x", json(2));
                out += "written\n";
            } catch (const Support::IoError&) {
                out += "write refused\n";
            }
            for (const QString& line : store.takeDiagnostics()) out += line.toUtf8() + '\n';
            return 0;
        });
        EXPECT_EQ(child.exitCode, 0) << c.name;
        EXPECT_EQ(child.output, QByteArray("write refused\n") + c.diagnostic + '\n') << c.name;
        EXPECT_EQ(TestSupport::readFile(path), c.contents) << c.name;
        EXPECT_TRUE(QDir(folder).entryList(QStringList{"*.corrupt-*"}).isEmpty()) << c.name;
    }
}

// A dotfiles set-up keeps the real file elsewhere behind a link: writes land in that file and the
// link stays, so later edits of the real file are still read; a damaged one is moved aside where
// it lies.
TEST(UserDefaults, APreferencesFileBehindALinkStaysBehindIt) {
    const QString home = TestSupport::makeTemporaryFolder();
    QDir().mkpath(home + "/dotfiles");
    QDir().mkpath(home + "/config");
    const QString real = home + "/dotfiles/preferences.json";
    const QString path = home + "/config/preferences.json";
    TestSupport::writeFile(real, R"({"keep": 1})");
    ASSERT_EQ(::symlink("../dotfiles/preferences.json", QFile::encodeName(path).constData()), 0);

    Support::UserDefaults store(path);
    store.setValue("x", json(2));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(json::parse(TestSupport::readFile(real).toStdString()), json({{"keep", 1}, {"x", 2}}));

    TestSupport::writeFile(real, R"({"keep": 3})"); // edited where it lies
    EXPECT_EQ(Support::UserDefaults(path).value("keep"), json(3));

    TestSupport::writeFile(real, "{damaged");
    Support::UserDefaults damaged(path);
    EXPECT_FALSE(damaged.value("keep").has_value());
    EXPECT_EQ(QDir(home + "/dotfiles").entryList(QStringList{"preferences.json.corrupt-*"}, QDir::Files).size(), 1);
    damaged.setValue("x", json(4));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(json::parse(TestSupport::readFile(real).toStdString()), json({{"x", 4}}));
}

// The user is told of each file moved aside once, whoever read the diagnostics first.
TEST(UserDefaults, EachFileMovedAsideIsGivenOnceForTheUser) {
    const QString folder = TestSupport::makeTemporaryFolder();
    const QString path = folder + "/preferences.json";
    Support::UserDefaults store(path);
    EXPECT_TRUE(store.takeFilesMovedAside().isEmpty());

    TestSupport::writeFile(path, "{broken");
    EXPECT_FALSE(store.value("x").has_value());
    store.takeDiagnostics(); // the journal's copy, taken by someone else
    const QStringList aside = store.takeFilesMovedAside();
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(QFile::exists(aside.front())) << aside.front().toStdString();
    EXPECT_TRUE(aside.front().startsWith(path + ".corrupt-"));
    EXPECT_TRUE(store.takeFilesMovedAside().isEmpty());
}

// On a full disk every change fails: why is given once for the streak, however many changes
// fail in it, and again once a write went through and the next failed. The observer hears of
// every failure, after the store let go of its lock (it may read the store).
TEST(UserDefaults, WriteFailuresAreGivenOncePerStreak) {
    const QString path = TestSupport::makeTemporaryFolder() + "/preferences.json";
    Support::UserDefaults store(path);
    store.setValue("settings.playCaptureSound", json(true));
    int observed = 0;
    json stored = true;
    store.setWriteFailureObserver([&] {
        ++observed;
        EXPECT_EQ(store.value("settings.playCaptureSound"), stored);
    });
    const auto failEach = [&](int times) {
        const TestSupport::FileSizeLimit full(16);
        for (int i = 0; i < times; ++i) EXPECT_THROW(store.setValue("settings.playCaptureSound", json(i % 2 == 0)), Support::IoError);
    };
    EXPECT_TRUE(store.takeWriteFailures().isEmpty());
    failEach(3);
    EXPECT_EQ(observed, 3);
    EXPECT_EQ(store.takeWriteFailures(), QStringList{QString::fromLocal8Bit(std::strerror(EFBIG))});
    failEach(2);
    EXPECT_TRUE(store.takeWriteFailures().isEmpty()) << "the same streak";

    stored = false;
    store.setValue("settings.playCaptureSound", stored);
    EXPECT_TRUE(store.takeWriteFailures().isEmpty());
    failEach(1);
    EXPECT_EQ(store.takeWriteFailures().size(), 1);
    store.setWriteFailureObserver({});
    failEach(1);
    EXPECT_EQ(observed, 6);
}

// A file of megabytes is read no further than the limit: however large (a sparse file of 64 GiB
// takes no disk and would take the memory and the start), it is set aside as damaged, whole, and
// the user is told; one at the limit is read.
TEST(UserDefaults, AFileAboveTheLimitIsSetAsideUnread) {
    constexpr qint64 limit = Support::UserDefaults::kMaximumFileBytes;
    // Valid JSON of exactly `size` bytes: an object whose one string fills the rest.
    const auto objectOfSize = [](qint64 size) {
        return QByteArray("{\"x\":\"") + QByteArray(size - 9, 'a') + "\"}\n";
    };
    const struct {
        const char* name;
        QByteArray contents;
        qint64 sparseSize; // grown with a hole to this size when not 0
        bool setAside;
    } cases[] = {
        {"at the limit", objectOfSize(limit), 0, false},
        {"one byte above", objectOfSize(limit + 1), 0, true},
        {"a hole of 64 GiB", "{}", qint64(64) << 30, true},
        {"a valid object before a hole", R"({"x": 1})", limit + 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = TestSupport::makeTemporaryFolder();
        const QString path = folder + "/preferences.json";
        TestSupport::writeFile(path, c.contents);
        if (c.sparseSize > 0) {
            ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), c.sparseSize), 0);
        }
        const qint64 size = QFileInfo(path).size();

        Support::UserDefaults store(path);
        EXPECT_EQ(store.value("x").has_value(), !c.setAside);
        const QStringList aside = store.takeFilesMovedAside();
        if (!c.setAside) {
            EXPECT_TRUE(aside.isEmpty());
            EXPECT_TRUE(store.takeDiagnostics().isEmpty());
            continue;
        }
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(QFileInfo(aside.front()).size(), size);
        EXPECT_FALSE(QFile::exists(path));
        const QStringList diagnostics = store.takeDiagnostics();
        ASSERT_EQ(diagnostics.size(), 1);
        EXPECT_TRUE(diagnostics[0].startsWith("preferences.json was larger than 4 MB; moved aside to preferences.json.corrupt-"))
            << diagnostics[0].toStdString();
        store.setValue("x", json(2)); // a fresh file from then on
        EXPECT_EQ(Support::UserDefaults(path).value("x"), json(2));
    }
}

// A write that would make a file this store sets aside when it next reads it is refused, and the
// file keeps what it held.
TEST(UserDefaults, AWritePastTheLimitIsRefusedAndLeavesTheFile) {
    const QString path = TestSupport::makeTemporaryFolder() + "/preferences.json";
    Support::UserDefaults store(path);
    store.setValue("keep", json(1));
    const QByteArray before = TestSupport::readFile(path);
    try {
        store.setValue("x", json(std::string(Support::UserDefaults::kMaximumFileBytes, 'a')));
        ADD_FAILURE() << "the write went through";
    } catch (const Support::IoError& error) {
        EXPECT_EQ(error.errorNumber(), EFBIG);
    }
    EXPECT_EQ(TestSupport::readFile(path), before);
    EXPECT_FALSE(Support::UserDefaults(path).value("x").has_value());
    EXPECT_EQ(store.value("keep"), json(1));
}
