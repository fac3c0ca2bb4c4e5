#pragma once

#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"

#include <QString>

namespace BrindlecastApp::Pipeline {

// Tickets of the captures asked to be opened again: only the newest request reaches the editor,
// the others are dropped when their work is done. GUI thread only.
class ReopenRequests {
public:
    int begin() { return ++latest_; }
    bool isLatest(int ticket) const { return ticket == latest_; }

private:
    int latest_ = 0;
};

// Brings a library capture back into the editor: decodes it, detects personal data in it again
// under the policy of this moment, loads its stored annotations as the edit's start and its
// desktop-less companion for backdrops. The work runs on a worker; when the user asked for
// another capture in the meantime, this one is dropped. A file that does not decode (or is too
// large for the memory free) is logged and the user told why. A detection that fails, a pattern
// that could not finish some lines, or stored annotations that cannot be read, open the capture
// all the same and tell the user; such annotations are then never written over.
// Call on the GUI thread.
void openExisting(const Environment& env, const QString& path);

} // namespace BrindlecastApp::Pipeline
