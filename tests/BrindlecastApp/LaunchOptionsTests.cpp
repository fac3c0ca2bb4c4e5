#include "BrindlecastApp/Shell/LaunchOptions.h"

#include <gtest/gtest.h>

using BrindlecastApp::LaunchOptions;

// Unknown arguments never stop the app: a launcher may add its own. They are named once in the log.
TEST(LaunchOptions, ParsesTheCommandLineAndIgnoresWhatItDoesNotKnow) {
    using Action = LaunchOptions::Action;
    struct Case {
        QStringList arguments;
        Action action;
        QStringList developerFlags;
        QStringList ignored;
    };
    const Case cases[] = {
        {{}, Action::run, {}, {}},
        {{"capture.png", "--version"}, Action::printVersion, {}, {"capture.png"}},
        {{"--preview-gallery", "-h"}, Action::printHelp, {"--preview-gallery"}, {}},
        {{"--tool", "Arrow", "--test-window-pick"}, Action::run, {"--tool", "Arrow", "--test-window-pick"}, {}},
        {{"--preview-editor", "--tool"}, Action::run, {"--preview-editor"}, {"--tool"}},
        {{"--tool", "--preview-editor"}, Action::run, {"--preview-editor"}, {"--tool"}},
        {{"--preview-settings", "Privacy"}, Action::run, {"--preview-settings"}, {"Privacy"}},
        {{"-platform", "offscreen", "--dark"}, Action::run, {"--dark"}, {"-platform", "offscreen"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const LaunchOptions options = LaunchOptions::parse(c.arguments);
        EXPECT_EQ(options.action, c.action);
        EXPECT_EQ(options.developerFlags, c.developerFlags);
        EXPECT_EQ(options.ignoredArguments, c.ignored);
    }
    EXPECT_EQ(LaunchOptions::parse({"-x", "a b"}).ignoredArgumentsLine(), "ignoring unknown arguments: '-x' 'a b'");
    EXPECT_EQ(LaunchOptions::parse({"--dark"}).ignoredArgumentsLine(), "");
}
