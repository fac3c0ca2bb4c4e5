// The desktop adapters: the Trash, the file manager over D-Bus (a stand-in on a private bus) and
// the alerts.
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Pipeline/DesktopWorkspace.h"
#include "BrindlecastApp/Pipeline/MessageBoxAlerts.h"

#include "PrivateBus.h"
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

} // namespace

TEST(DesktopWorkspace, TrashedFilesLandInTheFreedesktopTrashWithTheirRecord) {
    const QString folder = TestSupport::makeTemporaryFolder("trash");
    const QString path = folder + "/Screenshot 2026-12-05 at 6.25.34 PM.png";
    TestSupport::writeFile(path, "png");
    DesktopWorkspace workspace{QDBusConnection(QString())};
    QString error;
    ASSERT_TRUE(workspace.moveToTrash(path, &error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash";
    EXPECT_EQ(TestSupport::readFile(trash + "/files/Screenshot 2026-12-05 at 6.25.34 PM.png"), "png");
    const QString info = TestSupport::readFile(trash + "/info/Screenshot 2026-12-05 at 6.25.34 PM.png.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=")) << info.toStdString();
    const QString recorded = info.section("Path=", 1).section('\n', 0, 0);
    EXPECT_EQ(QUrl::fromPercentEncoding(recorded.toUtf8()), QFileInfo(path).absoluteFilePath());
    EXPECT_TRUE(info.contains("\nDeletionDate="));

    EXPECT_FALSE(workspace.moveToTrash(folder + "/missing.png", &error));
    EXPECT_FALSE(error.isEmpty());
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
    ASSERT_TRUE(TestSupport::waitUntil([&] { return manager.calls.size() == 2; }));
    EXPECT_EQ(manager.calls.join('\n').toStdString(),
              "ShowFolders file:///home/ada/Pictures/Brindlecast []\n"
              "ShowItems file:///home/ada/Pictures/Brindlecast/a%20b.png file:///home/ada/Pictures/Brindlecast/c.png []");
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
