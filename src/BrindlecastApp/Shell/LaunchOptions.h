#pragma once

#include <QString>
#include <QStringList>

namespace BrindlecastApp {

// What the command line asks of this process.
struct LaunchOptions {
    enum class Action { run, printVersion, printHelp, rejectArguments };

    Action action = Action::run;
    QString unknownArgument; // set with rejectArguments
    // "--preview-*", "--test-*", "--dark", "--legacy-review", "--tool" and its value, and with
    // "--preview-settings" the names of the settings pages
    QStringList developerFlags;

    static LaunchOptions parse(const QStringList& arguments); // arguments without the program name
    static QString helpText();
    static QString versionText();
};

} // namespace BrindlecastApp
