#pragma once

#include "BrindlecastApp/Editor/EditorToolbarActions.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace BrindlecastApp {

class CaptureLibrary;
class ReviewViewModel;
struct CaptureEntry;

// One capture as the editor window shows it: its review model, its file and the actions behind
// the window's controls. The callbacks that do nothing may be left empty.
struct EditorContent {
    // Shared by the canvas and every slot; kept alive by `owner` while the window's views of it live.
    ReviewViewModel* viewModel = nullptr;
    std::shared_ptr<const void> owner;
    // Shown in the title strip and as the window title.
    QString filename;
    // The recents sidebar's list; none shows a placeholder in its place.
    CaptureLibrary* library = nullptr;
    // The capture's file: its row in the sidebar, what Show in Files reveals.
    std::optional<QString> selecting;

    std::function<void(CopyOutcome)> onCopy;
    // The pipeline's part of Done: stores the annotations. The window then closes.
    std::function<void()> onDone;
    std::function<void()> onExportFolder;
    std::function<void()> onFlatten;
    std::function<void()> onSettings;
    std::function<void(bool ask)> onDeleteImage;
    // A row of the recents sidebar was chosen; none: a click only moves the highlight.
    std::function<void(const CaptureEntry&)> onSelectRecent;
    // Stores this capture's annotations; run once when the window closes. None stores nothing.
    std::function<void()> onPersist;
};

} // namespace BrindlecastApp
