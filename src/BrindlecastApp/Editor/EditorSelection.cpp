#include "BrindlecastApp/Editor/EditorSelection.h"

namespace BrindlecastApp {

void EditorSelection::setEntry(std::optional<CaptureEntry> entry) {
    entry_ = std::move(entry);
    emit entryChanged();
}

} // namespace BrindlecastApp
