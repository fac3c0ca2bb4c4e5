#pragma once

#include "ExportKit/ExportTypes.h"

#include <functional>

namespace BrindlecastApp {

// Told once, when a copy has ended, whether the image reached the clipboard.
using CopyOutcome = std::function<void(bool copied)>;

// What the editor window hands the widget in its toolbar slot: the capture's actions and the
// destinations its policy allows. Settings, delete, export, flatten and copy are the pipeline's
// own; Show in Files and Done are the window's, which reveal the capture's file and finish the
// edit. Copy, Export to Folder and Flatten first end an inline text edit on the canvas, keeping
// its text. Every action may be called at any time on the GUI thread.
struct EditorToolbarActions {
    std::function<void()> onSettings;
    std::function<void()> onShowInFinder;
    // true: ask the user first.
    std::function<void(bool)> onDeleteImage;
    std::function<void()> onExportFolder;
    std::function<void()> onFlatten;
    // Reports its outcome when it has one; a copy that never starts reports nothing.
    std::function<void(CopyOutcome)> onCopy;
    std::function<void()> onDone;
    ExportKit::DestinationSet allowedDestinations;
};

} // namespace BrindlecastApp
