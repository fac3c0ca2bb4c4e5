#include "BrindlecastApp/Shell/LaunchOptions.h"

#include <gtest/gtest.h>

using BrindlecastApp::LaunchOptions;

TEST(LaunchOptions, ParsesTheCommandLine) {
    using Action = LaunchOptions::Action;
    struct Case {
        QStringList arguments;
        Action action;
        QStringList developerFlags;
        QString unknown;
    };
    const Case cases[] = {
        {{}, Action::run, {}, {}},
        {{"--version"}, Action::printVersion, {}, {}},
        {{"--preview-gallery", "-h"}, Action::printHelp, {"--preview-gallery"}, {}},
        {{"--preview-gallery", "--dark"}, Action::run, {"--preview-gallery", "--dark"}, {}},
        {{"--tool", "Arrow", "--test-window-pick"}, Action::run, {"--tool", "Arrow", "--test-window-pick"}, {}},
        {{"--tool"}, Action::rejectArguments, {}, "--tool"},
        {{"--dark", "capture.png"}, Action::rejectArguments, {"--dark"}, "capture.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const LaunchOptions options = LaunchOptions::parse(c.arguments);
        EXPECT_EQ(options.action, c.action);
        EXPECT_EQ(options.developerFlags, c.developerFlags);
        EXPECT_EQ(options.unknownArgument, c.unknown);
    }
}
