#include "BrindlecastApp/Pipeline/ApplicationHost.h"

#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "BrindlecastApp/Settings/AppSettings.h"

namespace BrindlecastApp::Pipeline {

namespace {

constexpr double kJpegQuality = 0.85;

} // namespace

ApplicationHost::ApplicationHost(AppSettings& settings, CaptureLibrary& library, Windows windows)
    : settings_(settings), library_(library), windows_(std::move(windows)) {}

PipelineSettings ApplicationHost::settings() const {
    PipelineSettings values;
    values.showFloatingThumbnail = settings_.showFloatingThumbnail();
    values.openEditorAfterCapture = settings_.openEditorAfterCapture();
    values.copyToClipboardAutomatically = settings_.copyToClipboardAutomatically();
    values.libraryLocation = settings_.libraryLocation();
    values.exportFormat = settings_.exportFormat() == AppSettings::ExportImageFormat::jpeg
                              ? ExportKit::ImageFormat::jpeg(kJpegQuality)
                              : ExportKit::ImageFormat::png();
    return values;
}

QStringList ApplicationHost::libraryPaths() const {
    QStringList paths;
    for (const CaptureEntry& entry : library_.entries()) paths << entry.path();
    return paths;
}

void ApplicationHost::addToLibrary(const QString& imagePath) { library_.add(imagePath); }

void ApplicationHost::addWrittenToLibrary(const QString& imagePath, const QImage& written) {
    library_.add(imagePath, written);
}

void ApplicationHost::reloadLibrary() { library_.reload(); }

void ApplicationHost::showFloatingThumbnail(const QImage& image, const QDateTime& time, std::function<void()> onTap) {
    if (windows_.showFloatingThumbnail) windows_.showFloatingThumbnail(image, time, std::move(onTap));
}

void ApplicationHost::showScreenRecordingOnboarding() {
    if (windows_.showScreenRecordingOnboarding) windows_.showScreenRecordingOnboarding();
}

void ApplicationHost::showSettings() {
    if (windows_.showSettings) windows_.showSettings();
}

void ApplicationHost::openRecentInEditor(const QString& imagePath) {
    if (windows_.openRecentInEditor) windows_.openRecentInEditor(imagePath);
}

} // namespace BrindlecastApp::Pipeline
