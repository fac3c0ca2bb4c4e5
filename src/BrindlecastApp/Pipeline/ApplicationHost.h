#pragma once

#include "BrindlecastApp/Pipeline/PipelineHost.h"

#include <functional>

namespace BrindlecastApp {
class AppSettings;
class CaptureLibrary;
} // namespace BrindlecastApp

namespace BrindlecastApp::Pipeline {

// The running application as the pipeline's host: the settings store and capture library the
// application delegate owns, and the windows it opens. The delegate keeps both alive for as long
// as the host lives.
class ApplicationHost final : public PipelineHost {
public:
    struct Windows {
        std::function<void(const QImage&, const QDateTime&, std::function<void()>)> showFloatingThumbnail;
        std::function<void()> showScreenRecordingOnboarding;
        std::function<void()> showSettings;
        std::function<void(const QString& imagePath)> openRecentInEditor;
    };

    ApplicationHost(AppSettings& settings, CaptureLibrary& library, Windows windows);

    PipelineSettings settings() const override;
    QStringList libraryPaths() const override;
    void addToLibrary(const QString& imagePath) override;
    void addWrittenToLibrary(const QString& imagePath, const QImage& written) override;
    void reloadLibrary() override;
    void showFloatingThumbnail(const QImage& image, const QDateTime& time, std::function<void()> onTap) override;
    void showScreenRecordingOnboarding() override;
    void showSettings() override;
    void openRecentInEditor(const QString& imagePath) override;

private:
    AppSettings& settings_;
    CaptureLibrary& library_;
    Windows windows_;
};

} // namespace BrindlecastApp::Pipeline
