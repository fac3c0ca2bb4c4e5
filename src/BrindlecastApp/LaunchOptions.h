#pragma once

#include <QString>
#include <QStringList>

namespace BrindlecastApp {

// What the command line asks of this process.
struct LaunchOptions {
    enum class Action { run, printVersion, printHelp, rejectArguments };

    Action action = Action::run;
    QString unknownArgument; // set with rejectArguments
    QStringList developerFlags; // "--preview-*", "--test-*", "--dark", "--tool" and its value

    static LaunchOptions parse(const QStringList& arguments); // arguments without the program name
    static QString helpText();
    static QString versionText();
};

} // namespace BrindlecastApp
