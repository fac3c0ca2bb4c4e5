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
    // The pipeline's part of Done: stores the annotations, then runs `finished`, which closes the
    // window. When storing fails the window stays open while the user decides, and `finished`
    // runs once the annotations are stored or discarded. None: the window closes at once.
    std::function<void(std::function<void()> finished)> onDone;
    std::function<void()> onExportFolder;
    std::function<void()> onFlatten;
    std::function<void()> onSettings;
    std::function<void(bool ask)> onDeleteImage;
    // A row of the recents sidebar was chosen; none: a click only moves the highlight.
    std::function<void(const CaptureEntry&)> onSelectRecent;
    // Stores this capture's annotations when the window closes or another capture takes its
    // place; none stores nothing. True when stored. False when storing failed: the user is asked,
    // the window stays open meanwhile, and `resolved` runs once they are stored or discarded.
    std::function<bool(std::function<void()> resolved)> onPersist;
};

} // namespace BrindlecastApp
