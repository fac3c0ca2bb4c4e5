#pragma once

#include "BrindlecastApp/Library/CaptureEntry.h"

#include <QObject>

#include <optional>

namespace BrindlecastApp {

// Which library entry an editor window shows: set by the window for each capture it loads, shown
// as selected by the recents sidebar and written by a click on one of its rows. One per window,
// kept for the window's whole life. GUI thread only.
class EditorSelection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The entry of the capture on screen; nothing when that capture is not in the library.
    const std::optional<CaptureEntry>& entry() const { return entry_; }
    // Signals entryChanged on every write, also of the entry already held.
    void setEntry(std::optional<CaptureEntry> entry);

signals:
    void entryChanged();

private:
    std::optional<CaptureEntry> entry_;
};

} // namespace BrindlecastApp
