#include "BrindlecastApp/Shell/StatusMenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QMenu>
#include <QPointer>

#include <gtest/gtest.h>

#include <functional>

using namespace BrindlecastApp;

namespace {

QStringList titles(const QList<StatusMenuRow>& rows) {
    QStringList result;
    for (const StatusMenuRow& row : rows) result << (row.separator ? QString("---") : row.title);
    return result;
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
    // Kept for a person to look at: the menu as it opens.
    const QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        StatusMenu::render(menu, StatusMenu::rows({false, false, QString("Check for Updates…")}),
                           menu.palette().color(QPalette::Text), run);
        menu.adjustSize();
        EXPECT_TRUE(menu.grab().save(folder + "/status-menu.png"));
        StatusMenu::render(menu, rows, Qt::black, run);
    }
    const QList<QAction*> shown = menu.actions();
    shown[1]->trigger(); // "Capture Window"
    shown[7]->trigger(); // "Screen Recording: Allowed": disabled, does nothing
    EXPECT_EQ(ran, QList<StatusCommand>{StatusCommand::captureWindowPick});
}

// A chosen action whose command rebuilds the menu (the agent lock or the permission changed) is
// still there when its slot returns; the old actions go once the event loop turns, and the new
// set is whole.
TEST(StatusMenu, RebuildFromAChosenActionKeepsItUntilItsSlotReturns) {
    QMenu menu;
    const QList<StatusMenuRow> rows = StatusMenu::rows({true, false, std::nullopt});
    std::function<void(StatusCommand)> run;
    QPointer<QAction> chosen;
    bool chosenAliveAfterRebuild = false;
    run = [&](StatusCommand) {
        StatusMenu::render(menu, rows, Qt::black, run);
        chosenAliveAfterRebuild = !chosen.isNull() && chosen->text() == "Capture Window";
    };
    StatusMenu::render(menu, rows, Qt::black, run);
    const QList<QAction*> first = menu.actions();
    QList<QPointer<QAction>> old;
    for (QAction* action : first) old << action;
    chosen = first[1];
    chosen->trigger();

    EXPECT_TRUE(chosenAliveAfterRebuild);
    EXPECT_EQ(menu.actions().size(), rows.size());
    for (QAction* action : menu.actions()) EXPECT_FALSE(first.contains(action));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const QPointer<QAction>& action : old) EXPECT_TRUE(action.isNull());
    EXPECT_EQ(menu.actions().size(), rows.size());
}
