#include "BrindlecastApp/Shell/LaunchOptions.h"
#include "BrindlecastApp/Shell/PreviewFlags.h"

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using Window = PreviewPlan::Window;

TEST(PreviewFlags, FirstWindowFlagWinsThenDiagnosticsAndReview) {
    struct Case {
        QStringList arguments;
        Window window;
        bool diagnostics, review, dark;
        QString page;
    };
    const Case cases[] = {
        {{}, Window::none, false, false, false, "general"},
        {{"--preview-about", "--preview-gallery"}, Window::gallery, false, false, false, "general"},
        {{"--preview-settings", "--test-window-pick"}, Window::testWindowPick, false, false, false, "general"},
        {{"--preview-thumbnail", "--preview-editor", "--dark"}, Window::editor, false, false, true, "general"},
        {{"--preview-settings", "--preview-permissions"}, Window::permissions, false, false, false, "general"},
        {{"--preview-settings", "privacy", "export"}, Window::settings, false, false, false, "export"},
        {{"export", "--preview-settings", "--dark", "managed"}, Window::settings, false, false, true, "managed"},
        {{"--preview-settings", "Privacy", "--export"}, Window::settings, false, false, false, "general"},
        {{"--preview-diagnostics", "--preview-review"}, Window::none, true, true, false, "general"},
        {{"--preview-diagnostics", "--preview-review", "--preview-settings"}, Window::settings, false, false, false, "general"},
        {{"--preview-legacy-review", "--dark"}, Window::none, false, true, true, "general"},
        // Flags are whole arguments: neither a longer one nor a prefix counts.
        {{"--preview-gallery-x", "--darker", "--preview"}, Window::none, false, false, false, "general"},
        {{"--preview-text-chip"}, Window::none, false, false, false, "general"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const PreviewPlan plan = PreviewPlan::fromArguments(c.arguments);
        EXPECT_EQ(plan.window, c.window);
        EXPECT_EQ(plan.diagnostics, c.diagnostics);
        EXPECT_EQ(plan.review, c.review);
        EXPECT_EQ(plan.dark, c.dark);
        EXPECT_EQ(plan.settingsPage, c.page);
    }
}

TEST(LaunchOptions, SettingsPageNamesAreArgumentsOnlyBesideTheSettingsPreview) {
    using Action = LaunchOptions::Action;
    EXPECT_EQ(LaunchOptions::parse({"--preview-settings", "privacy"}).action, Action::run);
    EXPECT_EQ(LaunchOptions::parse({"export", "--preview-settings"}).developerFlags,
              QStringList({"export", "--preview-settings"}));
    const LaunchOptions bare = LaunchOptions::parse({"privacy"});
    EXPECT_EQ(bare.action, Action::run);
    EXPECT_EQ(bare.ignoredArguments, QStringList{"privacy"});
}
