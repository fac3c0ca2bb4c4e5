// The desktop adapters: the Trash, the file manager over D-Bus (a stand-in on a private bus) and
// the alerts.
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Pipeline/DesktopWorkspace.h"
#include "BrindlecastApp/Pipeline/FreedesktopTrash.h"
#include "BrindlecastApp/Pipeline/MessageBoxAlerts.h"
#include "BrindlecastApp/Pipeline/PipelineLog.h"

#include "PrivateBus.h"
#include "Support/AtomicFile.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/IoError.h"
#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using namespace BrindlecastApp::Pipeline;

namespace {

// Records what the file manager is asked to show.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    QStringList calls;

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId) { calls << "ShowItems " + uris.join(' ') + " [" + startupId + "]"; }
    void ShowFolders(const QStringList& uris, const QString& startupId) { calls << "ShowFolders " + uris.join(' ') + " [" + startupId + "]"; }
};

// Takes the desktop's "open this URL" requests instead of a real handler.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};



// Takes the desktop's "open this URL" requests for files while it lives.
struct CatchingFileUrls {
    CatchingFileUrls() { QDesktopServices::setUrlHandler("file", &catcher, "open"); }
    ~CatchingFileUrls() { QDesktopServices::unsetUrlHandler("file"); }
    UrlCatcher catcher;
};

// Moves the file into the trash: empty when it moved, else the log's text of why it stays.
template <typename Trash>
QString trashFailure(Trash& trash, const QString& path) {
    try {
        trash.moveToTrash(path);
        return {};
    } catch (...) {
        return describe(std::current_exception());
    }
}

} // namespace

TEST(DesktopWorkspace, TrashedFilesLandInTheFreedesktopTrashWithTheirRecord) {
    const QString folder = TestSupport::makeTemporaryFolder("trash");
    const QString path = folder + "/Screenshot 2026-12-05 at 6.25.34 PM.png";
    TestSupport::writeFile(path, "png");
    DesktopWorkspace workspace{QDBusConnection(QString())};
    QString error = trashFailure(workspace, path);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
    EXPECT_EQ(TestSupport::readFile(trash + "/files/Screenshot 2026-12-05 at 6.25.34 PM.png"), "png");
    const QString info = TestSupport::readFile(trash + "/info/Screenshot 2026-12-05 at 6.25.34 PM.png.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=")) << info.toStdString();
    const QString recorded = info.section("Path=", 1).section('\n', 0, 0);
    EXPECT_EQ(QUrl::fromPercentEncoding(recorded.toUtf8()), QFileInfo(path).absoluteFilePath());
    EXPECT_TRUE(info.contains("\nDeletionDate="));

    EXPECT_THROW(workspace.moveToTrash(folder + "/missing.png"), Support::IoError);

    // A capture in a folder named in Latin-1 is recorded with that folder's own byte.
    const QByteArray latin1 = Support::FileNames::encode(folder) + "/Bilder\xe4";
    const QString named = Support::FileNames::decode(latin1 + "/shot.png");
    Support::Folders::create(Support::FileNames::decode(latin1));
    Support::AtomicFile::write(named, "latin-1");
    error = trashFailure(workspace, named);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_FALSE(Support::FileNames::exists(named));
    const QByteArray record = TestSupport::readFile(trash + "/info/shot.png.trashinfo");
    EXPECT_TRUE(record.contains("/Bilder%E4/shot.png\n")) << record.toStdString();
    std::filesystem::remove_all(latin1.toStdString()); // Qt cannot name it to clean up
}

namespace {

constexpr uid_t otherUser = 65534; // nobody

QByteArray bytes(const QString& path) { return Support::FileNames::encode(path); }

mode_t modeOf(const QString& path) {
    struct stat info {};
    return ::lstat(bytes(path).constData(), &info) == 0 ? info.st_mode : 0;
}

void makeFolder(const QString& path, mode_t mode, uid_t owner = ::geteuid()) {
    ASSERT_EQ(::mkdir(bytes(path).constData(), mode), 0) << path.toStdString();
    ASSERT_EQ(::chmod(bytes(path).constData(), mode), 0);
    ASSERT_EQ(::chown(bytes(path).constData(), owner, gid_t(-1)), 0);
}

// A trash for which `top` is the top of another disk than the home trash's.
FreedesktopTrash withOtherDisk(const QString& top) {
    const QString real = QFileInfo(top).canonicalFilePath();
    return FreedesktopTrash(TestSupport::makeTemporaryFolder("home-disk") + "/Trash", [real](const QString& path) {
        return path == real || path.startsWith(real + "/") ? real : QStringLiteral("/");
    });
}

QStringList everythingIn(const QString& folder) {
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        found << name;
        for (const QString& inner : everythingIn(folder + "/" + name)) found << name + "/" + inner;
    }
    return found;
}

} // namespace

// A folder stands for another disk's top. The trash there is the administrator's sticky .Trash
// (its own folder in it) or this user's .Trash-<uid>; one another user planted, a link, or one
// others may write to is never used, and the file stays.
TEST(FreedesktopTrash, OnAnotherDiskOnlyAFolderOfTheUsersOwnIsUsed) {
    const QString uid = QString::number(::geteuid());
    const QString own = ".Trash-" + uid;
    struct Case {
        const char* name;
        bool needsRoot;
        std::function<void(const QString& top)> plant;
        const char* trash;   // where the file lands, below the top; nothing when it stays
        const char* refusal; // what the error says then
    };
    const Case cases[] = {
        {"no trash yet", false, [](const QString&) {}, ".Trash-*", nullptr},
        {"planted by another user, open to all", true,
         [&](const QString& top) { makeFolder(top + "/" + own, 0777, otherUser); }, nullptr, "belongs to another user"},
        {"a link to a folder of ours", false,
         [&](const QString& top) {
             makeFolder(top + "/elsewhere", 0700);
             ASSERT_EQ(::symlink("elsewhere", bytes(top + "/" + own).constData()), 0);
         },
         nullptr, "is a symbolic link"},
        {"ours but others may write", false, [&](const QString& top) { makeFolder(top + "/" + own, 0777); }, nullptr,
         "other users may write"},
        {"a file in its place", false, [&](const QString& top) { TestSupport::writeFile(top + "/" + own, "x"); }, nullptr,
         "is not a folder"},
        {"the administrator's sticky trash", false, [](const QString& top) { makeFolder(top + "/.Trash", 01777); },
         ".Trash/*", nullptr},
        {"a .Trash that is not sticky", false, [](const QString& top) { makeFolder(top + "/.Trash", 0777); }, ".Trash-*",
         nullptr},
        {"our folder in the sticky trash planted by another user", true,
         [&](const QString& top) {
             makeFolder(top + "/.Trash", 01777);
             makeFolder(top + "/.Trash/" + uid, 0777, otherUser);
         },
         ".Trash-*", nullptr},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && ::geteuid() != 0) continue;
        const QString top = TestSupport::makeTemporaryFolder("disk");
        const FreedesktopTrash trash = withOtherDisk(top);
        c.plant(top);
        if (testing::Test::HasFatalFailure()) return;
        const QStringList planted = everythingIn(top);
        const QString library = top + "/Pictures/Brindlecast";
        TestSupport::writeFile(library + "/shot.png", "png");

        const QString error = trashFailure(trash, library + "/shot.png");
        const bool moved = error.isEmpty();
        EXPECT_EQ(moved, c.trash != nullptr) << c.name << ": " << error.toStdString();
        if (!c.trash) {
            EXPECT_TRUE(error.contains(c.refusal)) << c.name << ": " << error.toStdString();
            EXPECT_EQ(TestSupport::readFile(library + "/shot.png"), "png") << c.name;
            QStringList expected = planted + QStringList{"Pictures", "Pictures/Brindlecast", "Pictures/Brindlecast/shot.png"};
            QStringList after = everythingIn(top);
            expected.sort();
            after.sort();
            EXPECT_EQ(after, expected) << c.name << ": nothing was put into the refused trash";
            continue;
        }
        const QString folder = c.trash == QString(".Trash/*") ? top + "/.Trash/" + uid : top + "/" + own;
        EXPECT_FALSE(QFileInfo::exists(library + "/shot.png")) << c.name;
        EXPECT_EQ(TestSupport::readFile(folder + "/files/shot.png"), "png") << c.name;
        for (const QString& part : {QString(), QString("/files"), QString("/info")})
            EXPECT_EQ(modeOf(folder + part) & 07777, 0700u) << c.name << part.toStdString();
        const QByteArray info = TestSupport::readFile(folder + "/info/shot.png.trashinfo");
        EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=Pictures/Brindlecast/shot.png\nDeletionDate="))
            << c.name << ": the path is recorded from the disk's top\n" << info.toStdString();
        EXPECT_EQ(modeOf(folder + "/info/shot.png.trashinfo") & 077, 0u) << c.name;
    }
}

// The home trash is held to the same rules as a disk's: a link in its place (to another user's
// folder or not), one another user owns or others may write to, or "files" or "info" in it that
// are not the user's own private folders are never used, and the file stays.
TEST(FreedesktopTrash, TheHomeTrashIsOnlyUsedWhenItIsTheUsersOwn) {
    struct Case {
        const char* name;
        bool needsRoot;
        std::function<void(const QString& trash)> plant;
        const char* refusal; // nothing: the file lands in the trash
    };
    const Case cases[] = {
        {"no trash yet", false, [](const QString&) {}, nullptr},
        {"the user's own", false, [](const QString& trash) { makeFolder(trash, 0700); }, nullptr},
        {"a link to another user's folder", true,
         [](const QString& trash) {
             makeFolder(trash + "-theirs", 0777, otherUser);
             ASSERT_EQ(::symlink("Trash-theirs", bytes(trash).constData()), 0);
         },
         "is a symbolic link"},
        {"another user's", true, [](const QString& trash) { makeFolder(trash, 0777, otherUser); }, "belongs to another user"},
        {"the user's, others may write", false, [](const QString& trash) { makeFolder(trash, 0777); },
         "other users may write"},
        {"files made by another user", true,
         [](const QString& trash) {
             makeFolder(trash, 0700);
             makeFolder(trash + "/files", 0777, otherUser);
         },
         "belongs to another user"},
        {"info a link", false,
         [](const QString& trash) {
             makeFolder(trash, 0700);
             makeFolder(trash + "/files", 0700);
             makeFolder(trash + "/elsewhere", 0700);
             ASSERT_EQ(::symlink("elsewhere", bytes(trash + "/info").constData()), 0);
         },
         "is a symbolic link"},
    };
    for (const Case& c : cases) {
        if (c.needsRoot && ::geteuid() != 0) continue;
        const QString data = TestSupport::makeTemporaryFolder("data");
        const QString trash = data + "/Trash";
        c.plant(trash);
        if (testing::Test::HasFatalFailure()) return;
        const QStringList planted = everythingIn(data);
        const QString library = TestSupport::makeTemporaryFolder("library");
        TestSupport::writeFile(library + "/shot.png", "png");

        const FreedesktopTrash homeTrash(trash, [](const QString&) { return QStringLiteral("/"); });
        const QString error = trashFailure(homeTrash, library + "/shot.png");
        const bool moved = error.isEmpty();
        EXPECT_EQ(moved, c.refusal == nullptr) << c.name << ": " << error.toStdString();
        if (c.refusal) {
            EXPECT_TRUE(error.contains(c.refusal)) << c.name << ": " << error.toStdString();
            EXPECT_EQ(TestSupport::readFile(library + "/shot.png"), "png") << c.name;
            EXPECT_EQ(everythingIn(data), planted) << c.name << ": nothing was put into the refused trash";
            continue;
        }
        EXPECT_EQ(TestSupport::readFile(trash + "/files/shot.png"), "png") << c.name;
        for (const QString& part : {QString(), QString("/files"), QString("/info")})
            EXPECT_EQ(modeOf(trash + part) & 07777, 0700u) << c.name << part.toStdString();
    }
}

// A name taken in the trash, by a file or by a record alone, moves the file on to the next name;
// neither the file nor the record there is replaced.
TEST(FreedesktopTrash, ATakenNameIsNeverReplaced) {
    const QString top = TestSupport::makeTemporaryFolder("disk");
    const FreedesktopTrash trash = withOtherDisk(top);
    const QString folder = top + "/.Trash-" + QString::number(::geteuid());
    makeFolder(folder, 0700);
    TestSupport::writeFile(folder + "/files/shot.png", "earlier");
    TestSupport::writeFile(folder + "/info/shot (1).png.trashinfo", "a record whose file is gone");
    TestSupport::writeFile(top + "/shot.png", "png");
    const QString error = trashFailure(trash, top + "/shot.png");
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(TestSupport::readFile(folder + "/files/shot.png"), "earlier");
    EXPECT_EQ(TestSupport::readFile(folder + "/info/shot (1).png.trashinfo"), "a record whose file is gone");
    EXPECT_EQ(TestSupport::readFile(folder + "/files/shot (2).png"), "png");
    EXPECT_TRUE(TestSupport::readFile(folder + "/info/shot (2).png.trashinfo").contains("\nPath=shot.png\n"));
}

TEST(DesktopWorkspace, TheFileManagerShowsFoldersAndItems) {
    REQUIRE_PROGRAM("dbus-daemon");
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    QDBusConnection managerSide = bus.connect("manager-side");
    FakeFileManager manager;
    ASSERT_TRUE(managerSide.registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(managerSide.registerService("org.freedesktop.FileManager1"));
    CatchingFileUrls urls;
    const UrlCatcher& catcher = urls.catcher;

    const DesktopWorkspace workspace(bus.connect("app-side"));
    workspace.showFolder("/home/ada/Pictures/Brindlecast");
    workspace.showItems({"/home/ada/Pictures/Brindlecast/a b.png", "/home/ada/Pictures/Brindlecast/c.png"});
    // A folder named in Latin-1 is named with its own byte.
    workspace.showItems({Support::FileNames::decode("/home/ada/Bilder\xe4/Brindlecast/\xc3\xa9t\xc3\xa9.png")});
    ASSERT_TRUE(TestSupport::waitUntil([&] { return manager.calls.size() == 3; }));
    EXPECT_EQ(manager.calls.join('\n').toStdString(),
              "ShowFolders file:///home/ada/Pictures/Brindlecast []\n"
              "ShowItems file:///home/ada/Pictures/Brindlecast/a%20b.png file:///home/ada/Pictures/Brindlecast/c.png []\n"
              "ShowItems file:///home/ada/Bilder%E4/Brindlecast/%C3%A9t%C3%A9.png []");
    EXPECT_TRUE(catcher.opened.isEmpty());
}

TEST(DesktopWorkspace, WithoutAFileManagerTheFolderOpensOnTheDesktop) {
    REQUIRE_PROGRAM("dbus-daemon");
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    CatchingFileUrls urls;
    const UrlCatcher& catcher = urls.catcher;

    const DesktopWorkspace nobodyAnswers(bus.connect("app-side"));
    nobodyAnswers.showItems({"/home/ada/Pictures/Brindlecast/a.png"});
    const DesktopWorkspace noBus{QDBusConnection(QString())};
    noBus.showFolder("/home/ada/Pictures/Brindlecast");
    ASSERT_TRUE(TestSupport::waitUntil([&] { return catcher.opened.size() == 2; }));
    EXPECT_EQ(catcher.opened.at(0), QUrl::fromLocalFile("/home/ada/Pictures/Brindlecast"));
    EXPECT_EQ(catcher.opened.at(1), QUrl::fromLocalFile("/home/ada/Pictures/Brindlecast"));
}

namespace {

// Answers the next modal box with the button of that text, after keeping a picture of it.
void answerNextBox(const QString& buttonText, const QString& pictureName, QString* shownText) {
    QTimer::singleShot(50, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        *shownText = box->text() + " | " + box->informativeText();
        const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            box->grab().save(folder + "/" + pictureName + ".png");
        }
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == buttonText) return button->click();
        }
        ADD_FAILURE() << "no button " << buttonText.toStdString();
        box->reject();
    });
}

} // namespace

TEST(MessageBoxAlerts, AlertsAndConfirmationsAreModalBoxes) {
    MessageBoxAlerts alerts;
    QString shown;
    answerNextBox("OK", "alert-export-failed", &shown);
    alerts.show("Export failed", "destinationNotAllowed(folder)");
    EXPECT_EQ(shown, "Export failed | destinationNotAllowed(folder)");

    const AlertPresenter::Confirmation deletion{
        "Delete this screenshot?",
        "Screenshot 2026-12-05 at 6.25.34 PM.png moves to the Trash. Hold Shift to skip this confirmation next time.",
        "Move to Trash", "Cancel"};
    answerNextBox("Move to Trash", "alert-delete-confirmation", &shown);
    EXPECT_TRUE(alerts.confirm(deletion));
    answerNextBox("Cancel", "alert-delete-cancelled", &shown);
    EXPECT_FALSE(alerts.confirm(deletion));
}

// Alerts and confirmations take the app's theme, the dark one too, like its other windows.
TEST(MessageBoxAlerts, AlertsFollowTheAppsTheme) {
    using BrindlecastApp::Theme;
    using BrindlecastApp::ThemeMode;
    for (const ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("theme") + "/preferences.json");
        Theme theme(&defaults);
        theme.setMode(mode);
        MessageBoxAlerts alerts(&theme);
        double window = -1, text = -1;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box);
            window = box->palette().color(QPalette::Window).lightnessF();
            text = box->findChild<QLabel*>("qt_msgbox_label")->palette().color(QPalette::WindowText).lightnessF();
            const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
            if (!folder.isEmpty()) {
                QDir().mkpath(folder);
                box->grab().save(folder + (mode == ThemeMode::dark ? "/alert-dark.png" : "/alert-light.png"));
            }
            box->accept();
        });
        alerts.show("Capture cancelled by policy", "The capture area contains content from an app your organization has blocked.");
        EXPECT_EQ(window < 0.5, mode == ThemeMode::dark) << window;
        EXPECT_EQ(text > 0.5, mode == ThemeMode::dark) << text;
    }
}

// A file name holding markup is shown as the characters it is made of, in both texts.
TEST(MessageBoxAlerts, TextsAreShownAsPlainText) {
    MessageBoxAlerts alerts;
    const QString name = "<h1 style=\"color:red\">Quarterly</h1><img src=x>.png";
    QStringList shownTexts;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        for (const char* objectName : {"qt_msgbox_label", "qt_msgbox_informativelabel"}) {
            auto* label = box->findChild<QLabel*>(objectName);
            ASSERT_TRUE(label) << objectName;
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << objectName;
            shownTexts << label->text();
        }
        const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            box->grab().save(folder + "/alert-plain-text.png");
        }
        box->accept();
    });
    alerts.show(name, name + " could not be opened.");
    EXPECT_EQ(shownTexts, (QStringList{name, name + " could not be opened."}));
}

#include "WorkspaceTests.moc"
