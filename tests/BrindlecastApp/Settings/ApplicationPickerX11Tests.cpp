// The application picker on the test display: an application whose window is on screen now and
// one installed as a desktop entry are both offered, and picking from the modal dialog returns the
// ID the capture layer knows the window by.
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Settings/ApplicationIcons.h"
#include "BrindlecastApp/Settings/ApplicationPicker.h"
#include "support/FifoTrap.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

QTreeWidgetItem* itemWithID(QTreeWidget* list, const QString& id) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(1) == id) return list->topLevelItem(i);
    return nullptr;
}

} // namespace

TEST(ApplicationPickerX11, OffersAnInstalledEntryAndAnApplicationOnScreen) {
    if (!TestSupport::hasX11Display()) GTEST_SKIP() << "no X display";
    TestSupport::writeFile(TestSupport::homeFolder() + "/data/applications/org.example.Installed.desktop",
                           "[Desktop Entry]\nType=Application\nName=Installed Example\nExec=true\n");
    QProcess client;
    client.start(CAPTURE_TEST_CLIENT, {"40", "40", "200", "150", "3366cc", "--gtk-id", "org.example.OnScreenOnly"});
    ASSERT_TRUE(client.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.canReadLine() || client.state() != QProcess::Running; }, 20000));
    ASSERT_EQ(client.state(), QProcess::Running) << "the window did not show";

    // The window manager may still be mapping it: wait until the capture layer lists it.
    const auto listed = [] {
        for (const CaptureKit::WindowInfo& w : ApplicationPicker::onScreenWindows())
            if (w.bundleID == "org.example.OnScreenOnly" && w.isOnScreen) return true;
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor(listed, 20000));

    std::optional<QString> chosen;
    bool offered = false;
    QTimer::singleShot(0, [&] {
        // Inside the modal loop: pick the on-screen application as a user would.
        (void)QTest::qWaitFor(
            [] { return qobject_cast<ApplicationPicker*>(QApplication::activeModalWidget()) != nullptr; }, 10000);
        auto* picker = qobject_cast<ApplicationPicker*>(QApplication::activeModalWidget());
        if (!picker) return;
        offered = itemWithID(picker->list(), "org.example.Installed") != nullptr;
        if (QTreeWidgetItem* item = itemWithID(picker->list(), "org.example.OnScreenOnly")) item->setSelected(true);
        QTest::mouseClick(picker->blockButton(), Qt::LeftButton);
    });
    chosen = ApplicationPicker::choose(nullptr);
    client.closeWriteChannel();
    client.waitForFinished(5000);
    EXPECT_TRUE(offered);
    EXPECT_EQ(chosen, "org.example.OnScreenOnly");
}

// An entry, in a data folder of XDG_DATA_DIRS, names a pipe as its icon: the picker opens with it,
// filters and blocks it, and nothing ever opened the pipe (the trap lets go of any reader that
// did, so a picker that waits on it fails here instead of hanging).
TEST(ApplicationPickerX11, AnEntryWhoseIconIsAPipeIsOfferedAndThePickerAnswers) {
    if (!TestSupport::hasX11Display()) GTEST_SKIP() << "no X display";
    const QString data = TestSupport::makeTemporaryFolder("system-data");
    TestSupport::FifoTrap pipe(data + "/piped-icon.png");
    ASSERT_TRUE(pipe.made());
    TestSupport::writeFile(data + "/applications/org.example.Piped.desktop",
                           "[Desktop Entry]\nType=Application\nName=Piped Icon\nExec=true\nIcon=" +
                               QFile::encodeName(data + "/piped-icon.png") + "\n");
    const QByteArray dataDirs = qgetenv("XDG_DATA_DIRS");
    qputenv("XDG_DATA_DIRS", QFile::encodeName(data));

    bool offered = false;
    int shownAfterFilter = -1;
    QTimer::singleShot(0, [&] {
        (void)QTest::qWaitFor(
            [] { return qobject_cast<ApplicationPicker*>(QApplication::activeModalWidget()) != nullptr; }, 10000);
        auto* picker = qobject_cast<ApplicationPicker*>(QApplication::activeModalWidget());
        if (!picker) return;
        ApplicationIcons::shared().waitForIcons();
        QTreeWidgetItem* item = itemWithID(picker->list(), "org.example.Piped");
        offered = item && item->text(0) == "Piped Icon" && !item->icon(0).isNull();
        QTest::keyClicks(picker->filterField(), "Piped");
        shownAfterFilter = 0;
        for (int i = 0; i < picker->list()->topLevelItemCount(); ++i)
            shownAfterFilter += !picker->list()->topLevelItem(i)->isHidden();
        if (item) item->setSelected(true);
        QTest::mouseClick(picker->blockButton(), Qt::LeftButton);
    });
    const std::optional<QString> chosen = ApplicationPicker::choose(nullptr);
    qputenv("XDG_DATA_DIRS", dataDirs);
    EXPECT_TRUE(offered);
    EXPECT_EQ(shownAfterFilter, 1);
    EXPECT_EQ(chosen, "org.example.Piped");
    EXPECT_FALSE(pipe.caughtAReader()) << "the pipe was opened";
}
