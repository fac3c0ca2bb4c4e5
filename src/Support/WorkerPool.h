#pragma once

class QThreadPool;

namespace Support {

// The threads for long work that waits on other threads: capture runs, recognition, face
// detection. Never Qt's global pool: Qt splits large image conversions and smooth scaling into
// pieces on the global pool and waits for them, so once every thread of that pool waits on such a
// conversion (made by a recognition or face detection thread it waits for), no piece ever runs
// and every capture under way, and the GUI thread with the next scaled image, waits for good.
// Lives as long as the application object (made without one, as long as the process); its
// destruction waits for the work under way.
QThreadPool& workerPool();

} // namespace Support
