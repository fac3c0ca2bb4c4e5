// The application picker on the test display: an application whose window is on screen now and
// one installed as a desktop entry are both offered, and picking from the modal dialog returns the
// ID the capture layer knows the window by.
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Settings/ApplicationPicker.h"
#include "support/TestEnvironment.h"

#include <QApplication>
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
