#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Settings/ApplicationCatalog.h"
#include "BrindlecastApp/Settings/ApplicationIcons.h"
#include "BrindlecastApp/Settings/ApplicationPicker.h"
#include "../ThemedWindow.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

void install(const QString& dataFolder, const QString& relativePath, const QByteArray& body) {
    TestSupport::writeFile(dataFolder + "/applications/" + relativePath, "[Desktop Entry]\n" + body);
}

QStringList ids(const std::vector<ApplicationEntry>& entries) {
    QStringList result;
    for (const ApplicationEntry& e : entries) result << e.id;
    return result;
}

CaptureKit::WindowInfo window(const char* id, bool onScreen = true, bool ordinary = true) {
    CaptureKit::WindowInfo info;
    if (id) info.bundleID = QString(id);
    info.isOnScreen = onScreen;
    info.isOrdinary = ordinary;
    return info;
}

struct Folders {
    Folders() : user(TestSupport::makeTemporaryFolder("data-home")), system(TestSupport::makeTemporaryFolder("data-dir")) {
        install(user, "org.example.Editor.desktop", "Type=Application\nName=Text\\sEditor\nName[de]=Editor\nIcon=accessories-text-editor\n");
        install(user, "org.example.Shadowed.desktop", "Type=Application\nName=Shadowed\nHidden=true\n");
        install(system, "org.example.Shadowed.desktop", "Type=Application\nName=System Copy\n");
        install(system, "org.example.Helper.desktop", "Type=Application\nName=Helper\nNoDisplay=true\nIcon=helper\n");
        install(system, "vendor/tool.desktop", "Type=Application\nName=Archive Tool\n");
        install(system, "org.example.Link.desktop", "Type=Link\nName=A Link\nURL=https://example.org\n");
        install(system, "org.example.Nameless.desktop", "Type=Application\n");
        TestSupport::writeFile(system + "/applications/notes.txt", "not an entry");
    }
    QString user, system;
};

} // namespace

TEST(ApplicationCatalog, ListsShownApplicationsByNameAndShadowsLaterFolders) {
    const Folders folders;
    const ApplicationCatalog catalog = ApplicationCatalog::load({folders.user, folders.system});
    EXPECT_EQ(ids(catalog.listed()), (QStringList{"vendor-tool", "org.example.Nameless", "org.example.Editor"}));
    EXPECT_EQ(catalog.listed()[2].name, "Text Editor");
    EXPECT_EQ(catalog.listed()[2].iconName, "accessories-text-editor");

    struct Case {
        const char* id;
        QString name;
        QString icon;
    };
    for (const Case& c : {Case{"org.example.Helper", "Helper", "helper"}, // not offered, still named
                          Case{"org.example.Shadowed", "org.example.Shadowed", ""},
                          Case{"org.example.Link", "org.example.Link", ""},
                          Case{"com.example.Unknown", "com.example.Unknown", ""}}) {
        const ApplicationEntry entry = catalog.describe(c.id);
        EXPECT_EQ(entry, (ApplicationEntry{c.id, c.name, c.icon})) << c.id;
    }
    EXPECT_FALSE(genericApplicationIcon(22, IconSearch::current()).isNull());
}

TEST(ApplicationCatalog, OnScreenApplicationsJoinTheListOnce) {
    const Folders folders;
    const ApplicationCatalog catalog = ApplicationCatalog::load({folders.user, folders.system});
    const std::vector<ApplicationEntry> pickable = catalog.pickable(
        {window("org.example.Editor"), window("com.example.Live"), window("com.example.Live"),
         window("org.example.Helper"), window("com.example.Hidden", false), window("com.example.Panel", true, false),
         window(nullptr), window("")});
    EXPECT_EQ(ids(pickable), (QStringList{"vendor-tool", "org.example.Nameless", "org.example.Editor", "com.example.Live",
                                          "org.example.Helper"}));
    EXPECT_EQ(pickable[4].name, "Helper");
}

TEST(ApplicationPicker, FiltersAndReturnsTheChosenID) {
    ApplicationPicker picker({{"org.example.Editor", "Text Editor", ""}, {"com.example.Live", "com.example.Live", ""}});
    EXPECT_EQ(picker.list()->topLevelItemCount(), 2);
    EXPECT_FALSE(picker.blockButton()->isEnabled());
    picker.filterField()->setText("live");
    EXPECT_TRUE(picker.list()->topLevelItem(0)->isHidden());
    picker.list()->topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(picker.blockButton()->isEnabled());
    EXPECT_FALSE(picker.chosenID()) << "nothing before the dialog is accepted";
    picker.accept();
    EXPECT_EQ(picker.chosenID(), "com.example.Live");

    ApplicationPicker cancelled({{"org.example.Editor", "Text Editor", ""}});
    cancelled.list()->topLevelItem(0)->setSelected(true);
    cancelled.reject();
    EXPECT_FALSE(cancelled.chosenID());
}

TEST(ApplicationPicker, Screenshots) {
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        ThemedWindow themed(mode);
        ApplicationPicker picker({{"org.example.Archive", "Archive Tool", "package-x-generic"},
                                  {"org.example.Editor", "Text Editor", "accessories-text-editor"},
                                  {"org.example.Terminal", "Terminal", "utilities-terminal"},
                                  {"com.example.Live", "com.example.Live", ""}},
                                 &themed.window);
        picker.list()->topLevelItem(1)->setSelected(true);
        picker.show();
        QTest::qWait(1);
        const QImage image = picker.grab().toImage();
        ASSERT_FALSE(image.isNull());
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            image.save(folder + QString("/application-picker-%1.png").arg(mode == ThemeMode::dark ? "dark" : "light"));
        }
        picker.reject();
    }
}
