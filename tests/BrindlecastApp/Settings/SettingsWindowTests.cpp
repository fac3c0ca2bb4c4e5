#include "BrindlecastApp/Channel/Channel.h"
#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Settings/ThemeSegmented.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Settings/AccentSwatch.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Settings/AppearanceTab.h"
#include "BrindlecastApp/Settings/ExportTab.h"
#include "BrindlecastApp/Settings/GeneralTab.h"
#include "BrindlecastApp/Settings/ManagedTab.h"
#include "BrindlecastApp/Settings/MiniSegmented.h"
#include "BrindlecastApp/Design/PillToggle.h"
#include "BrindlecastApp/Settings/PolicyDiagnosticsView.h"
#include "BrindlecastApp/Settings/PatternDraftRow.h"
#include "BrindlecastApp/Settings/PolicySettings.h"
#include "BrindlecastApp/Settings/PrivacyTab.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsCheckRow.h"
#include "BrindlecastApp/Settings/SettingsSectionHeader.h"
#include "BrindlecastApp/Settings/OverlayScrollBar.h"
#include "BrindlecastApp/Settings/SettingsWindow.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "SettingsTestSupport.h"
#include "Support/UserDefaults.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using PolicyKit::EffectivePolicy;
using PolicyKit::ExportDestination;
using PolicyKit::PolicySource;
using nlohmann::json;

namespace {

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void keep(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    image.save(folder + "/" + name + ".png");
}

// A settings window over a temporary policy folder, preference file and login launch.
class SettingsWindowTest : public testing::Test {
protected:
    void SetUp() override {
        saved_ = Channel::current();
        Channel::current().loginLaunch = login;
    }
    void TearDown() override {
        controllers.clear();
        Channel::current() = saved_;
    }

    SettingsWindowController* open(SettingsTab tab, ThemeMode mode = ThemeMode::light) {
        theme.setMode(mode);
        SettingsWindowOptions options;
        options.store = folders.store();
        options.folderChooser = [this](QWidget*, const QString& start) {
            chooserStart = start;
            return std::exchange(nextFolder, std::nullopt);
        };
        options.openDiagnostics = [this] { ++diagnosticsOpened; };
        controllers.push_back(std::make_unique<SettingsWindowController>(&theme, &settings, tab, options));
        controllers.back()->present();
        settle();
        return controllers.back().get();
    }
    template <typename Page>
    Page* page(SettingsWindowController* c) {
        return qobject_cast<Page*>(c->view()->page());
    }
    // The window, whole, kept under the artefacts.
    QImage shot(SettingsWindowController* c, const QString& name) {
        settle();
        const QImage image = c->window()->grab().toImage();
        keep(image, name);
        return image;
    }

    PolicyFolders folders;
    Support::UserDefaults defaults{TestSupport::makeTemporaryFolder("settings") + "/preferences.json"};
    DesktopSettings desktop;
    Theme theme{&defaults, &desktop};
    AppSettings settings{&defaults};
    std::shared_ptr<RecordingLoginLaunch> login = std::make_shared<RecordingLoginLaunch>();
    std::vector<std::unique_ptr<SettingsWindowController>> controllers;
    std::optional<QString> nextFolder;
    QString chooserStart;
    int diagnosticsOpened = 0;

private:
    Channel saved_;
};

SettingsCheckRow* checkRow(SettingsCard* card, int index) { return qobject_cast<SettingsCheckRow*>(card->rows().value(index)); }

} // namespace

// --- The window and its tabs ------------------------------------------------------------------

TEST_F(SettingsWindowTest, IsFixedAtItsSizeWithFiveTabsAndOpensOnTheGivenPage) {
    SettingsWindowController* c = open(SettingsTab::privacy);
    EXPECT_EQ(c->window()->size(), QSize(580, 520));
    EXPECT_EQ(c->window()->minimumSize(), c->window()->maximumSize());
    EXPECT_EQ(c->window()->windowTitle(), "Settings");
    EXPECT_TRUE(c->window()->trafficLightButtons()[1]->isEnabled()); // minimise
    EXPECT_FALSE(c->window()->trafficLightButtons()[2]->isEnabled()); // zoom
    EXPECT_TRUE(c->isShowing());
    ASSERT_NE(page<PrivacyTab>(c), nullptr);
    QStringList labels;
    for (SettingsTab tab : SettingsTabs::all()) labels << c->view()->tabButton(tab)->text();
    EXPECT_EQ(labels, QStringList({"General", "Appearance", "Privacy", "Export", "MDM"}));
    EXPECT_TRUE(c->view()->tabButton(SettingsTab::privacy)->isSelected());

    QTest::mouseClick(c->view()->tabButton(SettingsTab::export_), Qt::LeftButton);
    settle();
    EXPECT_NE(page<ExportTab>(c), nullptr);
    EXPECT_TRUE(c->view()->tabButton(SettingsTab::export_)->isSelected());
    EXPECT_FALSE(c->view()->tabButton(SettingsTab::privacy)->isSelected());
    // The selected tab's plate is filled; another's is clear while the pointer is elsewhere.
    EXPECT_GT(c->view()->tabButton(SettingsTab::export_)->plateFill().alphaF(), 0.0);
    EXPECT_EQ(c->view()->tabButton(SettingsTab::general)->plateFill().alpha(), 0);

    // Minimised by its yellow button, it is no longer the window "Settings…" brings forward.
    QTest::mouseClick(c->window()->trafficLightButtons()[1], Qt::LeftButton);
    settle();
    EXPECT_TRUE(c->window()->isMinimized());
    EXPECT_FALSE(c->isShowing());
}

// The hover fill follows a spring that overshoots both ends; in and out quickly, its opacity
// stays within what a colour can hold (an invalid one floods the log with warnings).
TEST_F(SettingsWindowTest, TabHoverFillStaysAValidColourThroughTheSpring) {
    SettingsWindowController* c = open(SettingsTab::general);
    SettingsTabButton* tab = c->view()->tabButton(SettingsTab::privacy);
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (text.contains("setAlphaF")) warnings << text;
    });
    double lowest = 1, highest = 0;
    for (int round = 0; round < 3; ++round) {
        for (QEvent::Type type : {QEvent::Enter, QEvent::Leave}) {
            if (type == QEvent::Enter) {
                QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
                QApplication::sendEvent(tab, &enter);
            } else {
                QEvent leave(QEvent::Leave);
                QApplication::sendEvent(tab, &leave);
            }
            for (int step = 0; step < 25; ++step) {
                QTest::qWait(8);
                tab->repaint();
                lowest = std::min(lowest, double(tab->plateFill().alphaF()));
                highest = std::max(highest, double(tab->plateFill().alphaF()));
            }
        }
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.value(0).toStdString();
    EXPECT_GE(lowest, 0.0);
    EXPECT_LE(highest, 0.05 * 0.6 + 1e-9);
    EXPECT_GT(highest, 0.0);
}

// A page that scrolls keeps the margins of one that does not: the scroll bar lies over the right
// margin, the page is 26 points in from both edges, and the knob moves the page.
TEST_F(SettingsWindowTest, ScrollingPagesKeepTheirMarginsUnderAnOverlayBar) {
    json patterns = json::array();
    for (int i = 0; i < 20; ++i)
        patterns.push_back({{"Name", "Ticket " + std::to_string(i)}, {"Regex", "T-[0-9]+"}, {"Action", "blurSuggested"}});
    folders.store().setUserValue("PIIPatterns", patterns);
    for (const auto& [tab, scrolls] : {std::pair{SettingsTab::privacy, true}, std::pair{SettingsTab::appearance, false}}) {
        SCOPED_TRACE(SettingsTabs::rawValue(tab).toStdString());
        SettingsWindowController* c = open(tab);
        settle();
        QWidget* pageWidget = c->view()->page();
        const QRect onWindow(pageWidget->mapTo(c->window(), QPoint(0, 0)), pageWidget->size());
        EXPECT_EQ(onWindow.left(), 26);
        EXPECT_EQ(580 - (onWindow.left() + onWindow.width()), 26);
        QScrollArea* area = c->view()->pageArea();
        EXPECT_FALSE(area->verticalScrollBar()->isVisible());
        auto* bar = area->findChild<OverlayScrollBar*>();
        ASSERT_NE(bar, nullptr);
        EXPECT_EQ(bar->isVisible(), scrolls);
        if (!scrolls) continue;
        EXPECT_EQ(bar->geometry().right(), area->width() - 1);
        EXPECT_LE(bar->width(), 26);
        // Dragging the knob to the bottom scrolls to the end.
        const QPoint knob = bar->knobRect().center().toPoint();
        QTest::mousePress(bar, Qt::LeftButton, {}, knob);
        QMouseEvent drag(QEvent::MouseMove, QPointF(knob.x(), bar->height() + 50), bar->mapToGlobal(QPointF(knob.x(), bar->height() + 50)),
                         Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(bar, &drag);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(knob.x(), bar->height() - 1));
        EXPECT_EQ(area->verticalScrollBar()->value(), area->verticalScrollBar()->maximum());
        EXPECT_NEAR(bar->knobRect().bottom(), bar->height() - 3, 1);
    }
}

TEST(SettingsTabs, RawValuesAreExactAndCaseSensitive) {
    const std::vector<std::pair<QString, std::optional<SettingsTab>>> cases{
        {"general", SettingsTab::general}, {"appearance", SettingsTab::appearance}, {"privacy", SettingsTab::privacy},
        {"export", SettingsTab::export_},   {"managed", SettingsTab::managed},     {"Privacy", std::nullopt},
        {"mdm", std::nullopt},              {"", std::nullopt},
    };
    for (const auto& [raw, tab] : cases) EXPECT_EQ(SettingsTabs::fromRawValue(raw), tab) << raw.toStdString();
}

// Every page in both schemes, as a person sees it; the pages fit the width without a sideways
// scroll bar.
TEST_F(SettingsWindowTest, EveryTabInBothSchemes) {
    folders.setManaged({{"Watermark", {{"Enabled", true}}}, {"LockAgent", true}, {"BlockedBundleIDs", {"com.example.Vault"}}});
    folders.store().setUserValue("AllowedExportDestinations", json{"clipboard"});
    for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
        for (SettingsTab tab : SettingsTabs::all()) {
            SettingsWindowController* c = open(tab, mode);
            const QImage image =
                shot(c, QString("settings-%1-%2").arg(SettingsTabs::rawValue(tab), mode == ThemeMode::dark ? "dark" : "light"));
            EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(580, 520));
            EXPECT_LE(c->view()->page()->width(), 580 - 52);
            c->window()->close();
        }
    }
    // The not-managed MDM page too.
    folders.setManaged(json::object());
    shot(open(SettingsTab::managed), "settings-managed-none-light");
}

// A policy written in another window while this one sat in the background is shown as soon as
// this one is activated again, and this window's next write builds on it, not on what it last saw.
TEST_F(SettingsWindowTest, ActivationResolvesAgainSoNoWriteRevertsAnotherWindow) {
    SettingsWindowController* first = open(SettingsTab::export_);
    SettingsWindowController* second = open(SettingsTab::export_);
    page<ExportTab>(second); // both show the watermark off
    PolicySettings* other = second->view()->policySettings();
    other->setWatermark({true, false, true, true}); // on, without the user name
    EXPECT_FALSE(first->view()->policySettings()->policy().watermark.enabled); // not yet seen

    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(first->window(), &activate);
    settle();
    EXPECT_EQ(first->view()->tab(), SettingsTab::export_); // tab and page kept
    EXPECT_TRUE(first->view()->policySettings()->policy().watermark.enabled);
    // Now "Include timestamp" in the first window keeps what the second one stored.
    ExportTab* exportPage = page<ExportTab>(first);
    ASSERT_EQ(exportPage->watermarkCard()->rows().size(), 4);
    settle();
    SettingsCheckRow* timestamp = checkRow(exportPage->watermarkCard(), 3);
    ASSERT_NE(timestamp, nullptr);
    first->view()->pageArea()->ensureWidgetVisible(timestamp); // scrolled to, as a person would
    settle();
    QTest::mouseClick(timestamp, Qt::LeftButton);

    settle();
    EXPECT_EQ(folders.userValue("Watermark"),
              json({{"Enabled", true}, {"IncludeUser", false}, {"IncludeDevice", true}, {"IncludeTimestamp", false}}));

    // Restored from minimised, likewise.
    other->setWatermark({false, true, true, true});
    first->window()->showMinimized();
    first->window()->showNormal();
    settle();
    QWindowStateChangeEvent restored(Qt::WindowMinimized);
    QApplication::sendEvent(first->window(), &restored);
    EXPECT_FALSE(first->view()->policySettings()->policy().watermark.enabled);
}

// --- General ----------------------------------------------------------------------------------

TEST_F(SettingsWindowTest, StartAtLoginShowsTheRealEntryAndLocksOnlyForAManagedLock) {
    struct Case {
        const char* what;
        json managed, user;
        bool entry, locked, shown;
    };
    const std::vector<Case> cases{
        {"no lock, no entry", json::object(), json::object(), false, false, false},
        {"no lock, entry", json::object(), json::object(), true, false, true},
        {"a lock of the user's own locks nothing", json::object(), {{"LockAgent", true}}, false, false, false},
        {"managed lock off", {{"LockAgent", false}}, json::object(), false, false, false},
        {"managed lock", {{"LockAgent", true}}, json::object(), true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folders.setManaged(c.managed);
        folders.store().setUserValue("LockAgent", c.user.contains("LockAgent") ? std::optional<json>(c.user["LockAgent"]) : std::nullopt);
        login->enabled = c.entry;
        GeneralTab* general = page<GeneralTab>(open(SettingsTab::general));
        EXPECT_EQ(general->startAtLoginRow()->isLocked(), c.locked);
        EXPECT_EQ(general->startAtLoginRow()->isOn(), c.shown);
    }
}

TEST_F(SettingsWindowTest, TickingStartAtLoginWritesTheEntryAndReadsItBack) {
    GeneralTab* general = page<GeneralTab>(open(SettingsTab::general));
    ASSERT_FALSE(general->startAtLoginRow()->isOn()); // stored default on, but no entry
    QTest::mouseClick(general->startAtLoginRow(), Qt::LeftButton);
    EXPECT_TRUE(login->enabled);
    EXPECT_TRUE(general->startAtLoginRow()->isOn());
    QTest::mouseClick(general->startAtLoginRow(), Qt::LeftButton);
    EXPECT_FALSE(login->enabled);
    EXPECT_FALSE(general->startAtLoginRow()->isOn());
    EXPECT_FALSE(Support::UserDefaults(defaults.path()).value("settings.startAtLogin")->get<bool>());
}

// While the organisation locks the agent the entry is kept on without touching the stored
// choice; when the lock ends the entry follows that choice again.
TEST_F(SettingsWindowTest, AManagedAgentLockKeepsTheEntryOnUntilItEnds) {
    settings.setStartAtLogin(false);
    settings.followLoginLock(true);
    EXPECT_TRUE(login->enabled);
    EXPECT_FALSE(settings.storedStartAtLogin());
    settings.followLoginLock(true); // again: nothing changes
    EXPECT_TRUE(login->enabled);
    settings.followLoginLock(false);
    EXPECT_FALSE(login->enabled);
    // An entry the user wanted is left alone when no lock held it.
    settings.setStartAtLogin(true);
    settings.followLoginLock(false);
    EXPECT_TRUE(login->enabled);
}

TEST_F(SettingsWindowTest, LibraryChangeTakesTheChosenFolderAndCancelKeepsIt) {
    GeneralTab* general = page<GeneralTab>(open(SettingsTab::general));
    const QString home = QDir::homePath();
    QDir().mkpath(home + "/Pictures");
    settings.setLibraryLocation(home + "/Pictures/Brindlecast");
    settle();
    EXPECT_EQ(general->libraryPathLabel()->text(), "~/Pictures/Brindlecast");
    QTest::mouseClick(general->changeLibraryButton(), Qt::LeftButton); // cancelled
    EXPECT_EQ(chooserStart, home + "/Pictures"); // the library is made at the first capture
    EXPECT_EQ(settings.libraryLocation(), home + "/Pictures/Brindlecast");
    nextFolder = "/srv/shots/not-there-yet";
    QTest::mouseClick(general->changeLibraryButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(settings.libraryLocation(), "/srv/shots/not-there-yet");
    EXPECT_FALSE(QDir("/srv/shots/not-there-yet").exists()); // not created here
    EXPECT_EQ(general->libraryPathLabel()->text(), "/srv/shots/not-there-yet");
    EXPECT_EQ(GeneralTab::abbreviatedPath(home), "~");
    EXPECT_EQ(GeneralTab::abbreviatedPath(home + "x/y"), home + "x/y");
    QTest::mouseClick(general->changeLibraryButton(), Qt::LeftButton); // cancelled: starts where it exists
    EXPECT_TRUE(QString("/srv/shots/not-there-yet").startsWith(chooserStart));
    EXPECT_TRUE(QFileInfo(chooserStart).isDir());
}

// The folder dialog that "Change…" opens is a window of its own: it comes in the settings
// window's scheme, and so does the list that drops down from it.
TEST_F(SettingsWindowTest, TheFolderDialogComesInTheWindowsScheme) {
    const auto meanLuminance = [](const QImage& image) {
        double sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                sum += 0.2126 * c.red() + 0.7152 * c.green() + 0.0722 * c.blue();
            }
        return sum / std::max(1, image.width() * image.height());
    };
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
        SettingsWindowOptions options; // the desktop's own folder dialog
        options.store = folders.store();
        SettingsWindowController controller(&theme, &settings, SettingsTab::general, options);
        controller.present();
        settle();
        double dialogShown = -1, listShown = -1;
        int tries = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                if (++tries > 200) poll.stop();
                return;
            }
            poll.stop();
            dialogShown = meanLuminance(dialog->grab().toImage());
            if (auto* lookIn = dialog->findChild<QComboBox*>()) {
                lookIn->showPopup();
                settle();
                listShown = meanLuminance(lookIn->view()->window()->grab().toImage());
                keep(lookIn->view()->window()->grab().toImage(), dark ? "folder-dialog-list-dark" : "folder-dialog-list-light");
                lookIn->hidePopup();
            }
            keep(dialog->grab().toImage(), dark ? "folder-dialog-dark" : "folder-dialog-light");
            dialog->reject();
        });
        poll.start(20);
        QTest::mouseClick(page<GeneralTab>(&controller)->changeLibraryButton(), Qt::LeftButton);
        ASSERT_GE(dialogShown, 0) << "no dialog came";
        ASSERT_GE(listShown, 0) << "the dialog had no list";
        if (dark) {
            EXPECT_LT(dialogShown, 80);
            EXPECT_LT(listShown, 80);
        } else {
            EXPECT_GT(dialogShown, 170);
            EXPECT_GT(listShown, 170);
        }
    }
}

TEST(LibraryChooser, StartsInTheNearestFolderThatExists) {
    const QString root = TestSupport::makeTemporaryFolder("library-start");
    QDir().mkpath(root + "/Pictures/Brindlecast");
    TestSupport::writeFile(root + "/note.txt", "not a folder");
    const std::vector<std::pair<QString, QString>> cases{
        {root + "/Pictures/Brindlecast", root + "/Pictures/Brindlecast"},
        {root + "/Pictures/Brindlecast/", root + "/Pictures/Brindlecast"},
        {root + "/Pictures/Gone", root + "/Pictures"},
        {root + "/Gone/Deeper/Still", root},
        {root + "/note.txt/inside", root},
        {"", QDir::homePath()},
    };
    for (const auto& [library, start] : cases) EXPECT_EQ(GeneralTab::nearestExistingFolder(library), start) << library.toStdString();
}

TEST_F(SettingsWindowTest, CaptureRowsWriteTheirSettings) {
    GeneralTab* general = page<GeneralTab>(open(SettingsTab::general));
    ASSERT_EQ(general->captureRows().size(), 6);
    QTest::mouseClick(general->captureRows()[0], Qt::LeftButton);
    QTest::mouseClick(general->captureRows()[2], Qt::LeftButton);
    EXPECT_FALSE(settings.openEditorAfterCapture());
    EXPECT_TRUE(settings.copyToClipboardAutomatically());
    EXPECT_FALSE(general->captureRows()[0]->isOn());
    EXPECT_FALSE(AppSettings(&defaults).openEditorAfterCapture());
}

// An updater with the automatic-update switches, as a feed-backed one has; it may ignore writes.
struct SwitchingUpdater final : UpdateProvider {
    std::optional<QString> menuItemTitle() const override { return "Check for Updates…"; }
    void checkForUpdates() override {}
    bool supportsAutoUpdateSettings() const override { return true; }
    bool automaticallyChecksForUpdates() const override { return checks; }
    void setAutomaticallyChecksForUpdates(bool on) override { checks = ignoresWrites ? checks : on; }
    bool automaticallyDownloadsUpdates() const override { return downloads; }
    void setAutomaticallyDownloadsUpdates(bool on) override { downloads = ignoresWrites ? downloads : on; }
    bool checks = false, downloads = false, ignoresWrites = false;
};

QStringList visibleSectionTitles(GeneralTab* general) {
    QStringList titles;
    for (auto* header : general->findChildren<SettingsSectionHeader*>())
        if (header->isVisibleTo(general)) titles << header->text();
    return titles;
}

TEST_F(SettingsWindowTest, UpdatesSectionIsThereOnlyForAnUpdaterWithSwitches) {
    GeneralTab* packaged = page<GeneralTab>(open(SettingsTab::general)); // the package manager's updater
    EXPECT_EQ(visibleSectionTitles(packaged), QStringList({"STARTUP", "LIBRARY", "CAPTURE"}));

    auto updater = std::make_shared<SwitchingUpdater>();
    updater->downloads = true;
    Channel::current().updater = updater;
    GeneralTab* general = page<GeneralTab>(open(SettingsTab::general));
    EXPECT_EQ(visibleSectionTitles(general), QStringList({"STARTUP", "UPDATES", "LIBRARY", "CAPTURE"}));
    EXPECT_EQ(general->automaticChecksRow()->findChild<TextLabel*>()->text(), "Check for updates automatically");
    EXPECT_EQ(general->automaticUpdatesRow()->findChild<TextLabel*>()->text(), "Download and install updates automatically");
    // Read from the updater when the section came on screen.
    EXPECT_FALSE(general->automaticChecksRow()->isOn());
    EXPECT_TRUE(general->automaticUpdatesRow()->isOn());
    shot(controllers.back().get(), "settings-general-updates-light");
}

TEST_F(SettingsWindowTest, UpdateRowsWriteTheUpdaterAndShowWhatItReports) {
    auto updater = std::make_shared<SwitchingUpdater>();
    Channel::current().updater = updater;
    SettingsWindowController* c = open(SettingsTab::general);
    GeneralTab* general = page<GeneralTab>(c);
    QTest::mouseClick(general->automaticChecksRow(), Qt::LeftButton);
    EXPECT_TRUE(updater->checks);
    EXPECT_TRUE(general->automaticChecksRow()->isOn());
    QTest::mouseClick(general->automaticUpdatesRow(), Qt::LeftButton);
    EXPECT_TRUE(updater->downloads);
    EXPECT_TRUE(general->automaticUpdatesRow()->isOn());

    // An updater that ignores the write: the row stays as the updater reports.
    updater->ignoresWrites = true;
    QTest::mouseClick(general->automaticChecksRow(), Qt::LeftButton);
    EXPECT_TRUE(general->automaticChecksRow()->isOn());
    updater->ignoresWrites = false;

    // Changed behind the page's back: shown when the section comes on screen again.
    updater->checks = false;
    updater->downloads = false;
    c->window()->close();
    c->present();
    settle();
    EXPECT_FALSE(general->automaticChecksRow()->isOn());
    EXPECT_FALSE(general->automaticUpdatesRow()->isOn());
}

TEST_F(SettingsWindowTest, AForcedUpdaterKeyLocksOnlyItsRow) {
    struct Case {
        const char* what;
        json managed;
        bool checksLocked, updatesLocked;
    };
    const std::vector<Case> cases{
        {"nothing forced", json::object(), false, false},
        {"checks forced", {{"SUEnableAutomaticChecks", false}}, true, false},
        {"installs forced", {{"SUAutomaticallyUpdate", true}}, false, true},
        {"both forced", {{"SUEnableAutomaticChecks", true}, {"SUAutomaticallyUpdate", false}}, true, true},
    };
    auto updater = std::make_shared<SwitchingUpdater>();
    updater->checks = true;
    Channel::current().updater = updater;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folders.setManaged(c.managed);
        GeneralTab* general = page<GeneralTab>(open(SettingsTab::general));
        EXPECT_EQ(general->automaticChecksRow()->isLocked(), c.checksLocked);
        EXPECT_EQ(general->automaticUpdatesRow()->isLocked(), c.updatesLocked);
        // A locked row shows what the updater reports, not a tick.
        EXPECT_TRUE(general->automaticChecksRow()->isOn());
        EXPECT_FALSE(general->automaticUpdatesRow()->isOn());
        QTest::mouseClick(general->automaticChecksRow(), Qt::LeftButton);
        EXPECT_EQ(updater->checks, c.checksLocked); // a locked row never writes
        updater->checks = true;
    }
}

// --- Privacy ----------------------------------------------------------------------------------

// Adding a pattern (Add or Return), Escape in the draft and re-grading leave the page scrolled
// where it was; an added pattern's row is brought into view.
TEST_F(SettingsWindowTest, PatternEditsKeepThePrivacyPageWhereItWas) {
    json patterns = json::array();
    for (int i = 0; i < 20; ++i)
        patterns.push_back({{"Name", "Ticket " + std::to_string(i)}, {"Regex", "T-[0-9]+"}, {"Action", "blurSuggested"}});
    enum class Edit { addButton, returnKey, escape, regrade };
    for (Edit edit : {Edit::addButton, Edit::returnKey, Edit::escape, Edit::regrade}) {
        SCOPED_TRACE(int(edit));
        folders.store().setUserValue("PIIPatterns", patterns);
        SettingsWindowController* c = open(SettingsTab::privacy);
        auto* privacy = page<PrivacyTab>(c);
        QScrollArea* area = c->view()->pageArea();
        QScrollBar* bar = area->verticalScrollBar();
        bar->setValue(bar->maximum());
        settle();
        if (edit != Edit::regrade) {
            QTest::mouseClick(privacy->addPatternRow(), Qt::LeftButton);
            settle();
            QTest::keyClicks(privacy->draftRow()->nameField(), "Order");
            QTest::keyClicks(privacy->draftRow()->expressionField(), "ORD-[0-9]+");
        }
        const int before = bar->value();
        const auto rows = privacy->patternsCard()->rows();
        switch (edit) {
        case Edit::addButton: QTest::mouseClick(privacy->draftRow()->addButton(), Qt::LeftButton); break;
        case Edit::returnKey: QTest::keyClick(privacy->draftRow()->expressionField(), Qt::Key_Return); break;
        case Edit::escape: QTest::keyClick(privacy->draftRow()->nameField(), Qt::Key_Escape); break;
        case Edit::regrade: {
            auto* control = rows[rows.size() - 2]->findChild<MiniSegmentedView*>();
            QTest::mouseClick(control, Qt::LeftButton, {}, control->segmentRect(1).center().toPoint());
            break;
        }
        }
        settle();
        EXPECT_GE(bar->value(), before - 1) << "the page moved up by " << before - bar->value();
        const auto now = privacy->patternsCard()->rows();
        if (edit == Edit::addButton || edit == Edit::returnKey) {
            ASSERT_EQ(now.size(), 22);
            QWidget* added = now[20];
            const QRect shown(added->mapTo(area->viewport(), QPoint(0, 0)), added->size());
            EXPECT_TRUE(area->viewport()->rect().contains(shown)) << shown.y() << " of " << area->viewport()->height();
        } else {
            EXPECT_EQ(bar->value(), before);
        }
    }
}

// --- Appearance -------------------------------------------------------------------------------

TEST_F(SettingsWindowTest, ModeAndAccentPersistAndRepaintOtherWindows) {
    SettingsWindowController* general = open(SettingsTab::general);
    SettingsWindowController* appearance = open(SettingsTab::appearance);
    AppearanceTab* tab = page<AppearanceTab>(appearance);
    ASSERT_EQ(tab->swatches().size(), 6);
    EXPECT_TRUE(tab->swatches()[0]->isSelected());
    QTest::mouseClick(tab->swatches()[3], Qt::LeftButton);
    settle();
    EXPECT_EQ(theme.accent(), QColor(255, 149, 0));
    EXPECT_TRUE(tab->swatches()[3]->isSelected());
    EXPECT_FALSE(tab->swatches()[0]->isSelected());
    QTest::mouseClick(tab->modeControl(), Qt::LeftButton, {}, tab->modeControl()->segmentRect(1).center().toPoint());
    settle();
    EXPECT_EQ(theme.mode(), ThemeMode::dark);
    const Theme reloaded(&defaults, &desktop);
    EXPECT_EQ(reloaded.mode(), ThemeMode::dark);
    EXPECT_EQ(reloaded.accent(), QColor(255, 149, 0));
    // The other window follows: its palette is the dark one now.
    EXPECT_LT(general->window()->palette().color(QPalette::Window).lightness(), 128);
}

// --- Export -----------------------------------------------------------------------------------

TEST(ExportDestinations, TheLastDestinationCountsDestinationsNotEntries) {
    using D = ExportDestination;
    struct Case {
        const char* what;
        std::vector<D> allowed;
        bool clipboardLast, folderLast;
        std::vector<D> afterClipboard, afterFolder;
    };
    const std::vector<Case> cases{
        {"both", {D::clipboard, D::folder}, false, false, {D::folder}, {D::clipboard}},
        {"clipboard and upload", {D::clipboard, D::uploadEndpoint}, true, false, {D::uploadEndpoint},
         {D::clipboard, D::uploadEndpoint, D::folder}},
        {"folder twice and upload", {D::folder, D::folder, D::uploadEndpoint}, false, true,
         {D::folder, D::folder, D::uploadEndpoint, D::clipboard}, {D::uploadEndpoint}},
        {"empty", {}, false, false, {D::clipboard}, {D::folder}},
        {"upload alone", {D::uploadEndpoint}, false, false, {D::uploadEndpoint, D::clipboard}, {D::uploadEndpoint, D::folder}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ExportTab::isLastDestination(c.allowed, D::clipboard), c.clipboardLast);
        EXPECT_EQ(ExportTab::isLastDestination(c.allowed, D::folder), c.folderLast);
        EXPECT_EQ(ExportTab::toggled(c.allowed, D::clipboard), c.afterClipboard);
        EXPECT_EQ(ExportTab::toggled(c.allowed, D::folder), c.afterFolder);
    }
}

TEST_F(SettingsWindowTest, ExportRowsFollowTheirSourcesAndLocks) {
    struct Case {
        const char* what;
        json managed, user;
        bool clipboardOn, clipboardLocked, folderOn, folderLocked, storageLocked, watermarkLocked;
        int watermarkRows;
    };
    const std::vector<Case> cases{
        {"defaults", json::object(), json::object(), true, false, true, false, false, false, 1},
        {"duplicated folder is still the only one", json::object(),
         {{"AllowedExportDestinations", {"folder", "folder", "uploadEndpoint"}}}, false, false, true, true, false, false, 1},
        {"destinations managed", {{"AllowedExportDestinations", {"clipboard"}}}, json::object(), true, true, false, true,
         false, false, 1},
        {"sidecars forbidden by the organisation lock storage", {{"AllowSidecars", false}}, {{"SidecarMode", "file"}}, true,
         false, true, false, true, false, 1},
        {"sidecars allowed by the organisation lock nothing", {{"AllowSidecars", true}}, {{"SidecarMode", "file"}}, true,
         false, true, false, false, false, 1},
        {"watermark managed on", {{"Watermark", {{"Enabled", true}}}}, json::object(), true, false, true, false, false, true, 4},
        {"mode managed", {{"SidecarMode", "off"}}, json::object(), true, false, true, false, true, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        folders.setManaged(c.managed);
        for (const char* key : {"AllowedExportDestinations", "SidecarMode"})
            folders.store().setUserValue(key, c.user.contains(key) ? std::optional<json>(c.user[key]) : std::nullopt);
        ExportTab* tab = page<ExportTab>(open(SettingsTab::export_));
        EXPECT_EQ(checkRow(tab->destinationsCard(), 0)->isOn(), c.clipboardOn);
        EXPECT_EQ(checkRow(tab->destinationsCard(), 0)->isLocked(), c.clipboardLocked);
        EXPECT_EQ(checkRow(tab->destinationsCard(), 1)->isOn(), c.folderOn);
        EXPECT_EQ(checkRow(tab->destinationsCard(), 1)->isLocked(), c.folderLocked);
        auto* storage = tab->storageCard()->findChild<MiniSegmentedView*>("storageControl");
        ASSERT_NE(storage, nullptr);
        EXPECT_EQ(storage->isLocked(), c.storageLocked);
        auto* toggle = tab->watermarkCard()->findChild<PillToggle*>("watermarkSwitch");
        ASSERT_NE(toggle, nullptr);
        EXPECT_EQ(toggle->isEnabled(), !c.watermarkLocked);
        EXPECT_EQ(tab->watermarkCard()->rows().size(), c.watermarkRows);
    }
}

TEST_F(SettingsWindowTest, ExportClicksWriteTheUsersValues) {
    ExportTab* tab = page<ExportTab>(open(SettingsTab::export_));
    QTest::mouseClick(checkRow(tab->destinationsCard(), 0), Qt::LeftButton);
    settle();
    EXPECT_EQ(folders.userValue("AllowedExportDestinations"), json({"folder"}));
    EXPECT_TRUE(checkRow(tab->destinationsCard(), 1)->isLocked());
    EXPECT_EQ(checkRow(tab->destinationsCard(), 1)->toolTip(), "At least one export destination must stay on");
    QTest::mouseClick(checkRow(tab->destinationsCard(), 1), Qt::LeftButton); // locked: nothing
    settle();
    EXPECT_EQ(folders.userValue("AllowedExportDestinations"), json({"folder"}));

    QTest::mouseClick(tab->watermarkCard()->findChild<PillToggle*>("watermarkSwitch"), Qt::LeftButton);
    settle();
    EXPECT_EQ(folders.userValue("Watermark")["Enabled"], true);
    EXPECT_EQ(tab->watermarkCard()->rows().size(), 4);
    EXPECT_EQ(tab->watermarkCard()->hairlineCount(), 3);

    auto* storage = tab->storageCard()->findChild<MiniSegmentedView*>("storageControl");
    QTest::mouseClick(storage, Qt::LeftButton, {}, storage->segmentRect(1).center().toPoint());
    settle();
    EXPECT_EQ(folders.userValue("SidecarMode"), "file");
    EXPECT_EQ(tab->storageCaption()->text(),
              "Annotations save to a .brindlecast.json next to the image. Exports are always flattened.");

    auto* format = tab->destinationsCard()->findChild<MiniSegmentedView*>();
    QTest::mouseClick(format, Qt::LeftButton, {}, format->segmentRect(1).center().toPoint());
    EXPECT_EQ(settings.exportFormat(), AppSettings::ExportImageFormat::jpeg);
}

// --- MDM --------------------------------------------------------------------------------------

TEST(ManagedRows, FollowTheFixedOrderAndCountTheEffectiveLists) {
    using Row = ManagedTab::Row;
    struct Case {
        const char* what;
        json managed, user;
        bool isManaged;
        std::vector<Row> rows;
    };
    const std::vector<Case> cases{
        {"nothing managed", json::object(), {{"Watermark", {{"Enabled", true}}}}, false, {}},
        {"only keys without rows", {{"AuditWebhookURL", "https://audit.example/hook"}, {"AllowSidecars", false}},
         json::object(), true, {}},
        {"clipboard alone", {{"AllowedExportDestinations", {"clipboard"}}}, json::object(), true,
         {{"Save location", "Locked"}, {"Upload to company cloud", "Locked \u00B7 Off"}}},
        {"listed in another order", {{"LockAgent", true}, {"SidecarMode", "embedded"}, {"MandatoryReview", false},
          {"AllowedExportDestinations", {"folder", "uploadEndpoint"}}},
         json::object(), true,
         {{"Save location", "Enforced"}, {"Redact sensitive content", "Optional"}, {"Upload to company cloud", "Locked \u00B7 On"},
          {"Annotation storage", "Embedded"}, {"Agent locked", "Enforced"}}},
        {"lists count the user's entries too",
         {{"BlockedBundleIDs", {"com.example.Vault"}}, {"PIIPatterns", {{{"Name", "email"}, {"Action", "blurMandatory"}}}},
          {"LockAgent", false}},
         {{"BlockedBundleIDs", {"org.example.Notes"}}, {"PIIPatterns", {{{"Name", "T"}, {"Regex", "T-[0-9]+"}, {"Action", "blurSuggested"}}}}},
         true, {{"Blocked apps", "2 enforced"}, {"PII detection rules", "2 enforced"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const EffectivePolicy policy = EffectivePolicy::resolve(PolicyKit::PreferenceStore::inMemory(c.managed, c.user)).policy;
        EXPECT_EQ(ManagedTab::isManaged(policy), c.isManaged);
        EXPECT_EQ(ManagedTab::rows(policy), c.rows);
    }
}

TEST_F(SettingsWindowTest, ManagedPageShowsTheFormOnlyWhenManagedAndItsLinkOpensDiagnostics) {
    ManagedTab* none = page<ManagedTab>(open(SettingsTab::managed));
    EXPECT_FALSE(none->showsManagedForm());
    EXPECT_EQ(none->diagnosticsLink(), nullptr);

    folders.setManaged({{"Watermark", {{"Enabled", true}}}});
    ManagedTab* managed = page<ManagedTab>(open(SettingsTab::managed));
    ASSERT_TRUE(managed->showsManagedForm());
    EXPECT_EQ(managed->card()->rows().size(), 1);
    EXPECT_EQ(managed->card()->hairlineCount(), 0);
    QTest::mouseClick(managed->diagnosticsLink(), Qt::LeftButton);
    EXPECT_EQ(diagnosticsOpened, 1);
}

// Counts line up: a value chip is as wide for one figure as for any other.
TEST_F(SettingsWindowTest, ManagedValueChipsDrawTabularFigures) {
    json patterns = json::array();
    for (int i = 0; i < 8; ++i) patterns.push_back({{"Name", "Org " + std::to_string(i)}, {"Regex", "O-[0-9]+"}, {"Action", "blurMandatory"}});
    folders.setManaged({{"BlockedBundleIDs", {"com.example.Vault"}}, {"PIIPatterns", patterns}});
    ManagedTab* managed = page<ManagedTab>(open(SettingsTab::managed));
    std::map<QString, int> widths;
    for (QWidget* chip : managed->findChildren<QWidget*>("valueChip")) widths[chip->accessibleName()] = chip->width();
    ASSERT_TRUE(widths.contains("1 enforced") && widths.contains("8 enforced"));
    EXPECT_EQ(widths["1 enforced"], widths["8 enforced"]);
}

// --- Diagnostics ------------------------------------------------------------------------------

TEST(PolicyDiagnostics, RowsValuesSourcesAndCounts) {
    struct Case {
        const char* what;
        json managed, user;
        std::map<QString, QString> values;
        std::map<QString, PolicySource> sources;
        QString subtitle;
    };
    const std::vector<Case> cases{
        {"defaults", json::object(), json::object(),
         {{"BlockedBundleIDs", "none"}, {"PIIPatterns", "builtins at defaults"}, {"Watermark", "disabled"},
          {"AllowedExportDestinations", "clipboard, folder"}, {"AuditWebhookURL", "none"}, {"SidecarMode", "embedded"},
          {"LockAgent", "off"}, {"MandatoryReview", "on"}, {"BlockedAppBehavior", "placeholder"}},
         {{"Watermark", PolicySource::default_}},
         "No managed settings — defaults and user preferences only"},
        {"user only", json::object(),
         {{"Watermark", {{"Enabled", true}, {"IncludeDevice", false}}}, {"PIIPatterns", {{{"Name", "email"}, {"Action", "blurMandatory"}}}}},
         {{"Watermark", "enabled (user: true, device: false, timestamp: true)"}, {"PIIPatterns", "email: blurMandatory"}},
         {{"Watermark", PolicySource::user}, {"PIIPatterns", PolicySource::user}},
         "No managed settings — defaults and user preferences only"},
        {"watermark and mode managed", {{"Watermark", {{"Enabled", false}}}, {"SidecarMode", "file"}},
         {{"LockAgent", true}},
         {{"Watermark", "disabled"}, {"SidecarMode", "file"}, {"LockAgent", "on"}},
         {{"Watermark", PolicySource::managed}, {"SidecarMode", PolicySource::managed}, {"LockAgent", PolicySource::user}},
         "2 of 9 settings managed by your organization"},
        {"only sidecars forbidden: the storage row is the organisation's", {{"AllowSidecars", false}},
         {{"SidecarMode", "file"}}, {{"SidecarMode", "off"}}, {{"SidecarMode", PolicySource::managed}},
         "1 of 9 settings managed by your organization"},
        {"only unknown destinations", {{"AllowedExportDestinations", {"printer", "fax"}}}, json::object(),
         {{"AllowedExportDestinations", ""}}, {{"AllowedExportDestinations", PolicySource::managed}},
         "1 of 9 settings managed by your organization"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const EffectivePolicy policy = EffectivePolicy::resolve(PolicyKit::PreferenceStore::inMemory(c.managed, c.user)).policy;
        const auto rows = PolicyDiagnosticsView::rows(policy);
        QStringList keys;
        for (const auto& row : rows) keys << row.key;
        EXPECT_EQ(keys, QStringList({"BlockedBundleIDs", "BlockedAppBehavior", "PIIPatterns", "MandatoryReview", "Watermark",
                                     "AllowedExportDestinations", "AuditWebhookURL", "SidecarMode", "LockAgent"}));
        for (const auto& row : rows) {
            if (c.values.contains(row.key)) {
                EXPECT_EQ(row.value, c.values.at(row.key)) << row.key.toStdString();
            }
            if (c.sources.contains(row.key)) {
                EXPECT_EQ(row.source, c.sources.at(row.key)) << row.key.toStdString();
            }
        }
        EXPECT_EQ(PolicyDiagnosticsView::subtitle(rows), c.subtitle);
    }
}

// Conflicts, wrong types and skipped files, as the resolver reports them and in its order; the
// lines are plain text.
TEST(PolicyDiagnostics, TheWindowListsTheResolversLinesInOrder) {
    PolicyFolders folders;
    folders.setManaged({{"AllowedExportDestinations", {"clipboard", "<b>fax</b>"}}, {"MandatoryReview", "yes"},
                        {"Watermark", {{"Enabled", true}}}});
    folders.store().setUserValue("SidecarMode", json("sidecar"));
    const PolicyKit::PolicyResolution resolution = EffectivePolicy::resolve(folders.store());
    ASSERT_GE(resolution.diagnostics.size(), 3);
    PolicyDiagnosticsView view(resolution.policy, resolution.diagnostics);
    view.resize(640, 440);
    view.show();
    settle();
    ASSERT_NE(view.diagnosticsCallout(), nullptr);
    QStringList shown;
    for (QLabel* line : view.diagnosticsCallout()->findChildren<QLabel*>("diagnosticLine")) {
        EXPECT_EQ(line->textFormat(), Qt::PlainText);
        shown << line->text();
    }
    EXPECT_EQ(shown, resolution.diagnostics);
    EXPECT_TRUE(shown.filter("MandatoryReview: expected Bool").size() == 1);
    EXPECT_TRUE(shown.filter("unknown destination \"<b>fax</b>\"").size() == 1);
    keep(view.grab().toImage(), "policy-diagnostics");

    PolicyDiagnosticsView quiet(EffectivePolicy::safeDefaults(), {});
    EXPECT_EQ(quiet.diagnosticsCallout(), nullptr);
    quiet.resize(640, 440);
    keep(quiet.grab().toImage(), "policy-diagnostics-defaults");
}
