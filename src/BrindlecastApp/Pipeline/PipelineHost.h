#pragma once

#include "ExportKit/ExportTypes.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

namespace BrindlecastApp::Pipeline {

// The user's settings a capture reads, as they are at the moment of reading.
struct PipelineSettings {
    bool showFloatingThumbnail = true;
    bool openEditorAfterCapture = true;
    bool copyToClipboardAutomatically = false;
    // The library folder's path.
    QString libraryLocation;
    // PNG, or JPEG at quality 0.85.
    ExportKit::ImageFormat exportFormat = ExportKit::ImageFormat::png();
};

// What the running application offers the pipeline: its settings, its capture library, the
// floating thumbnail and the windows a capture may lead to. Used on the GUI thread only. A
// pipeline without a host (a tool, a test) still writes and audits its files, but nothing is
// listed, shown or opened.
class PipelineHost {
public:
    virtual ~PipelineHost() = default;

    virtual PipelineSettings settings() const = 0;

    // The library's images, newest first.
    virtual QStringList libraryPaths() const = 0;
    // Lists the image as the newest entry (moving it there when already listed).
    virtual void addToLibrary(const QString& imagePath) = 0;
    // The same for an image just written, with its pixels: the library need not read them back.
    virtual void addWrittenToLibrary(const QString& imagePath, const QImage& written) {
        (void)written;
        addToLibrary(imagePath);
    }
    // Lists the library folder again.
    virtual void reloadLibrary() = 0;

    // The post-capture thumbnail; a tap runs `onTap` and dismisses it.
    virtual void showFloatingThumbnail(const QImage& image, const QDateTime& time, std::function<void()> onTap) = 0;
    virtual void showScreenRecordingOnboarding() = 0;
    virtual void showSettings() = 0;
    // Brings the editor forward on that capture, opening it again when it is not shown.
    virtual void openRecentInEditor(const QString& imagePath) = 0;
};

} // namespace BrindlecastApp::Pipeline
