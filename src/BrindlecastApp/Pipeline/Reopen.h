#pragma once

#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"

#include <QString>

#include <atomic>

namespace BrindlecastApp::Pipeline {

// Tickets of the captures asked to be opened again: only the newest request reaches the editor,
// the others are dropped, before their work starts when it has not yet. begin() on the GUI thread;
// isLatest() from any thread.
class ReopenRequests {
public:
    int begin() { return ++latest_; }
    bool isLatest(int ticket) const { return ticket == latest_; }

private:
    std::atomic<int> latest_ = 0;
};

// Brings a library capture back into the editor: decodes it, detects personal data in it again
// under the policy of this moment, loads its stored annotations as the edit's start and its
// desktop-less companion for backdrops. The work runs on reopening's own few workers, never on
// those that captures and exports share, so no number of reopens can hold up a capture; when the
// user asked for another capture in the meantime, this one is dropped. Files are opened as
// Support::ImageFiles opens them: a pipe in the place of a capture or its companion is refused at
// once. A file that does not decode (or is too large for the memory free, or is no regular file)
// is logged and the user told why. A detection that fails, a pattern
// that could not finish some lines, or stored annotations that cannot be read, open the capture
// all the same and tell the user; such annotations are then never written over.
// Call on the GUI thread.
void openExisting(const Environment& env, const QString& path);

} // namespace BrindlecastApp::Pipeline
