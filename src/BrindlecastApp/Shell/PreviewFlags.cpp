#include "BrindlecastApp/Shell/PreviewFlags.h"

#include <utility>

namespace BrindlecastApp {

const QStringList& PreviewPlan::settingsPages() {
    static const QStringList pages{"general", "appearance", "privacy", "export", "managed"};
    return pages;
}

bool PreviewPlan::isPreviewOrTestLaunch(const QStringList& arguments) {
    for (const QString& argument : arguments)
        if (argument.startsWith("--preview") || argument.startsWith("--test-")) return true;
    return false;
}

PreviewPlan PreviewPlan::fromArguments(const QStringList& arguments) {
    PreviewPlan plan;
    plan.dark = arguments.contains("--dark");
    for (const QString& argument : arguments)
        if (settingsPages().contains(argument)) plan.settingsPage = argument;

    static const std::pair<const char*, Window> windows[] = {
        {"--test-window-pick", Window::testWindowPick}, {"--preview-gallery", Window::gallery},
        {"--preview-about", Window::about},             {"--preview-permissions", Window::permissions},
        {"--preview-editor", Window::editor},           {"--preview-thumbnail", Window::thumbnail},
        {"--preview-settings", Window::settings},
    };
    for (const auto& [flag, window] : windows)
        if (arguments.contains(QString::fromLatin1(flag))) {
            plan.window = window;
            return plan;
        }
    plan.diagnostics = arguments.contains("--preview-diagnostics");
    plan.review = arguments.contains("--preview-review") || arguments.contains("--preview-legacy-review");
    return plan;
}

} // namespace BrindlecastApp
