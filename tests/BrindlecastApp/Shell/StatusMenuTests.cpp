#include "BrindlecastApp/Shell/StatusMenu.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPainter>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

QStringList titles(const QList<StatusMenuRow>& rows) {
    QStringList result;
    for (const StatusMenuRow& row : rows) result << (row.separator ? QString("---") : row.title);
    return result;
}

const StatusMenuRow* rowTitled(const QList<StatusMenuRow>& rows, const QString& title) {
    for (const StatusMenuRow& row : rows)
        if (row.title == title) return &row;
    return nullptr;
}

} // namespace

TEST(StatusMenu, RowsFollowAccessAgentLockAndUpdateChannel) {
    const QStringList top{"Capture Region", "Capture Window", "Capture Display", "---",
                          "Open Editor",    "Show Screenshots Folder", "---"};
    struct Case {
        StatusMenuState state;
        QStringList rest;
    };
    const Case cases[] = {
        {{false, false, std::nullopt},
         {"Allow Screen Recording…", "Settings…", "About Brindlecast", "---", "Quit Brindlecast"}},
        {{true, false, std::nullopt},
         {"Screen Recording: Allowed", "Settings…", "About Brindlecast", "---", "Quit Brindlecast"}},
        {{true, true, std::nullopt}, {"Screen Recording: Allowed", "Settings…", "About Brindlecast"}},
        {{false, true, QString("Check for Updates…")},
         {"Allow Screen Recording…", "Settings…", "Check for Updates…", "About Brindlecast"}},
        {{true, false, QString("Check for Updates…")},
         {"Screen Recording: Allowed", "Settings…", "Check for Updates…", "About Brindlecast", "---",
          "Quit Brindlecast"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rest.join(" | ").toStdString());
        EXPECT_EQ(titles(StatusMenu::rows(c.state)), top + c.rest);
    }
}

TEST(StatusMenu, RowsCarryTheirCommandsShortcutsAndSymbols) {
    struct Case {
        QString title;
        StatusCommand command;
        QKeySequence shortcut;
        QString symbol;
        QString accessibility;
        bool enabled;
    };
    const QString status = "Screen Recording permission status";
    const Case cases[] = {
        {"Capture Region", StatusCommand::captureRegion, QKeySequence("Meta+Shift+7"), "rectangle.dashed", {}, true},
        {"Capture Window", StatusCommand::captureWindowPick, QKeySequence("Meta+Shift+8"), "macwindow", {}, true},
        {"Capture Display", StatusCommand::captureDisplay, QKeySequence("Meta+Shift+9"), "macwindow.on.rectangle", {}, true},
        {"Open Editor", StatusCommand::openEditor, QKeySequence("Ctrl+Shift+E"), "square.and.pencil", {}, true},
        {"Show Screenshots Folder", StatusCommand::showScreenshotsFolder, {}, "folder", {}, true},
        {"Allow Screen Recording…", StatusCommand::showPermissionWalkthrough, {}, "exclamationmark.shield.fill", status, true},
        {"Screen Recording: Allowed", StatusCommand::none, {}, "checkmark.shield", status, false},
        {"Settings…", StatusCommand::showSettings, QKeySequence("Ctrl+,"), "gearshape", {}, true},
        {"Check for Updates…", StatusCommand::checkForUpdates, {}, {}, {}, true},
        {"About Brindlecast", StatusCommand::showAbout, {}, {}, {}, true},
        {"Quit Brindlecast", StatusCommand::quit, QKeySequence("Ctrl+Q"), {}, {}, true},
    };
    const QList<StatusMenuRow> denied = StatusMenu::rows({false, false, QString("Check for Updates…")});
    const QList<StatusMenuRow> allowed = StatusMenu::rows({true, false, std::nullopt});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        const StatusMenuRow* row = rowTitled(denied, c.title);
        if (!row) row = rowTitled(allowed, c.title);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->command, c.command);
        EXPECT_EQ(row->shortcut, c.shortcut);
        EXPECT_EQ(row->symbol, c.symbol);
        EXPECT_EQ(row->accessibilityDescription, c.accessibility);
        EXPECT_EQ(row->enabled(), c.enabled);
    }
}

// The menu is rebuilt from scratch each time: rendering twice leaves one set of actions, and a
// chosen action runs its row's command.
TEST(StatusMenu, RendersRowsIntoAMenuAndRunsTheChosenCommand) {
    QMenu menu;
    QList<StatusCommand> ran;
    const auto run = [&ran](StatusCommand command) { ran << command; };
    StatusMenu::render(menu, StatusMenu::rows({false, false, std::nullopt}), Qt::black, run);
    const QList<StatusMenuRow> rows = StatusMenu::rows({true, true, std::nullopt});
    StatusMenu::render(menu, rows, Qt::black, run);

    const QList<QAction*> actions = menu.actions();
    ASSERT_EQ(actions.size(), rows.size());
    for (qsizetype i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].title.toStdString());
        EXPECT_EQ(actions[i]->isSeparator(), rows[i].separator);
        if (rows[i].separator) continue;
        EXPECT_EQ(actions[i]->text(), rows[i].title);
        EXPECT_EQ(actions[i]->isEnabled(), rows[i].enabled());
        EXPECT_EQ(actions[i]->shortcut(), rows[i].shortcut);
        EXPECT_EQ(actions[i]->icon().isNull(), rows[i].symbol.isEmpty());
    }
    // Kept for a person to look at: the menu as it opens, and the tray image on both panels.
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        StatusMenu::render(menu, StatusMenu::rows({false, false, QString("Check for Updates…")}),
                           menu.palette().color(QPalette::Text), run);
        menu.adjustSize();
        EXPECT_TRUE(menu.grab().save(folder + "/status-menu.png"));
        QImage tray(2 * 44, 44, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&tray);
        for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
            const int x = scheme == ColorScheme::dark ? 44 : 0;
            painter.fillRect(x, 0, 44, 44, scheme == ColorScheme::dark ? QColor(40, 40, 40) : QColor(235, 235, 235));
            painter.drawPixmap(x + 11, 11, StatusMenu::trayIcon(QImage(), scheme).pixmap(22, 22));
        }
        painter.end();
        EXPECT_TRUE(tray.save(folder + "/tray-icon.png"));
        StatusMenu::render(menu, rows, Qt::black, run);
    }
    const QList<QAction*> shown = menu.actions();
    shown[1]->trigger(); // "Capture Window"
    shown[7]->trigger(); // "Screen Recording: Allowed": disabled, does nothing
    EXPECT_EQ(ran, QList<StatusCommand>{StatusCommand::captureWindowPick});
}

TEST(StatusMenu, TrayImageIsTheArtworkInThePanelsColourOrTheShieldSymbol) {
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
        const QImage shield = StatusMenu::trayIcon(QImage(), scheme).pixmap(22, 22).toImage();
        ASSERT_FALSE(shield.isNull());
        int inked = 0;
        for (int y = 0; y < shield.height(); ++y)
            for (int x = 0; x < shield.width(); ++x) inked += qAlpha(shield.pixel(x, y)) > 128;
        EXPECT_GT(inked, 40) << "the symbol is drawn";

        QImage artwork(16, 16, QImage::Format_ARGB32_Premultiplied);
        artwork.fill(Qt::transparent);
        artwork.setPixel(3, 4, qRgba(255, 0, 0, 255));
        const QImage tinted = StatusMenu::trayIcon(artwork, scheme).pixmap(16, 16).toImage();
        const QColor ink = tinted.pixelColor(3, 4);
        EXPECT_EQ(ink.alpha() > 200, true);
        EXPECT_EQ(ink.red() > 128 && ink.green() > 128, scheme == ColorScheme::dark) << "the artwork's colour is not kept";
        EXPECT_EQ(qAlpha(tinted.pixel(0, 0)), 0);
    }
}
