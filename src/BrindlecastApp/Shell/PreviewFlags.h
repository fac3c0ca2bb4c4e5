#pragma once

#include <QString>
#include <QStringList>

namespace BrindlecastApp {

// What the developer flags of one launch ask for. Flags are whole arguments, compared exactly, at
// any position; everything else on the command line is ignored here.
struct PreviewPlan {
    // The first of these that is present wins, in this order; the rest are not looked at.
    enum class Window {
        none,
        testWindowPick,  // "--test-window-pick": the window-pick capture, as its hot key runs it
        gallery,         // "--preview-gallery"
        about,           // "--preview-about"
        permissions,     // "--preview-permissions"
        editor,          // "--preview-editor"
        thumbnail,       // "--preview-thumbnail"
        settings,        // "--preview-settings", on `settingsPage`
    };

    Window window = Window::none;
    QString settingsPage = QStringLiteral("general"); // the last page name on the command line
    // Only when `window` is none: the diagnostics window, then the review preview.
    bool diagnostics = false;
    bool review = false; // "--preview-review" or "--preview-legacy-review"
    bool dark = false;   // "--dark"; previews are light otherwise, never the desktop's scheme

    friend bool operator==(const PreviewPlan&, const PreviewPlan&) = default;

    static PreviewPlan fromArguments(const QStringList& arguments);

    // The launch is a preview or test launch: some argument begins with "--preview" or "--test-".
    // Such a launch skips the single-instance guard and the launch-time walkthrough.
    static bool isPreviewOrTestLaunch(const QStringList& arguments);

    static const QStringList& settingsPages(); // "general", "appearance", "privacy", "export", "managed"
};

} // namespace BrindlecastApp
