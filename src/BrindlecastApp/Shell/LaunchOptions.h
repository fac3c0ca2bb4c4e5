#pragma once

#include <QString>
#include <QStringList>

namespace BrindlecastApp {

// What the command line asks of this process. Arguments it does not know are ignored (a launcher
// may add its own); they are listed so that the app can say so once.
struct LaunchOptions {
    enum class Action { run, printVersion, printHelp };

    Action action = Action::run;
    // "--preview-*", "--test-*", "--dark", "--legacy-review", "--tool" and its value, and with
    // "--preview-settings" the names of the settings pages
    QStringList developerFlags;
    // Everything else, in order; "--tool" without a tool name after it is among them.
    QStringList ignoredArguments;

    static LaunchOptions parse(const QStringList& arguments); // arguments without the program name
    static QString helpText();
    static QString versionText();
    // The log line naming the ignored arguments; empty when there are none.
    QString ignoredArgumentsLine() const;
};

} // namespace BrindlecastApp
