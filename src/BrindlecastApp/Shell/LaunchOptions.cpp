#include "BrindlecastApp/Shell/LaunchOptions.h"

#include "BrindlecastApp/Shell/PreviewFlags.h"

namespace BrindlecastApp {

LaunchOptions LaunchOptions::parse(const QStringList& arguments) {
    LaunchOptions options;
    // The settings preview takes the name of its page as an argument of its own.
    const bool settingsPreview = arguments.contains("--preview-settings");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == "--version" || argument == "-v") {
            options.action = Action::printVersion;
            return options;
        }
        if (argument == "--help" || argument == "-h") {
            options.action = Action::printHelp;
            return options;
        }
        if (argument.startsWith("--preview") || argument.startsWith("--test-") || argument == "--dark" ||
            argument == "--legacy-review") {
            options.developerFlags << argument;
            continue;
        }
        if (settingsPreview && PreviewPlan::settingsPages().contains(argument)) {
            options.developerFlags << argument;
            continue;
        }
        if (argument == "--tool") {
            // The tool's name follows; a flag in its place means none was given.
            if (i + 1 < arguments.size() && !arguments[i + 1].startsWith("--")) {
                options.developerFlags << argument << arguments[++i];
            } else {
                options.ignoredArguments << argument;
            }
            continue;
        }
        options.ignoredArguments << argument;
    }
    return options;
}

QString LaunchOptions::ignoredArgumentsLine() const {
    if (ignoredArguments.isEmpty()) return {};
    QStringList quoted;
    for (const QString& argument : ignoredArguments) quoted << "'" + argument + "'";
    return QStringLiteral("ignoring unknown arguments: %1").arg(quoted.join(' '));
}

QString LaunchOptions::versionText() { return QStringLiteral("Brindlecast " BRINDLECAST_VERSION "\n"); }

QString LaunchOptions::helpText() {
    return QStringLiteral(
        "Usage: brindlecast [--help] [--version]\n"
        "\n"
        "Brindlecast lives in the system tray and takes screenshots that are safe to share:\n"
        "it finds personal data in each capture, hides it, and lets you review and annotate\n"
        "the result before anything leaves the machine.\n"
        "\n"
        "  -h, --help       show this help and exit\n"
        "  -v, --version    show the version and exit\n");
}

} // namespace BrindlecastApp
