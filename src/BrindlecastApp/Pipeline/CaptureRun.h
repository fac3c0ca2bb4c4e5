#pragma once

#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "BrindlecastApp/Pipeline/PipelineMode.h"

#include <functional>

namespace BrindlecastApp::Pipeline {

// Takes one capture from the policy of this moment to a redacted, watermarked working copy in
// the library, its desktop-less companion beside it, an optional automatic copy to the clipboard
// and the editor (or, with "--legacy-review", to the review window). What leaves (the automatic
// copy, the review road's export) goes by the policy of the moment it leaves, which may have
// changed since the hot key. Every failure ends in a log line and an alert (or the
// screen-recording walkthrough).
//
// Call on the GUI thread; it returns at once. Capture, detection, redaction and encoding run on
// workers; files are named and written on the GUI thread. `finished` is called once on the GUI
// thread: true when a working copy was saved (or the review path says so), false when the
// capture was refused, failed or was abandoned. Without a mandatory pattern it comes once the
// working copy, its companion and the editor are there; the search for personal data that follows
// them, and the automatic copy that waits for it, go on after. Runs never wait for each other.
void run(const Environment& env, const Mode& mode, std::function<void(bool)> finished = {});

// Starts loading the detection engines when a capture taken now would look for findings (the
// policy makes a pattern mandatory, or the editor or the automatic copy would use them), so that
// they load while the user selects. Returns at once. GUI thread.
void prepareDetection(const Environment& env);

} // namespace BrindlecastApp::Pipeline
