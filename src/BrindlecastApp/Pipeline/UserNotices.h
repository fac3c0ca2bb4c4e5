#pragma once

#include "DetectionKit/Detection.h"

#include <QString>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

// The words of an alert: its message and informative text (both plain text).
struct AlertText {
    QString message;
    QString informativeText;
    friend bool operator==(const AlertText&, const AlertText&) = default;
};

// Tells which patterns could not finish some lines of a capture in time, and what became of those
// lines; nothing when every pattern finished.
std::optional<AlertText> unfinishedPatternsAlert(const std::vector<DetectionKit::UnfinishedPattern>& unfinished);

// Tells that the user's damaged preferences file was moved aside to `asidePath`, so captures go
// on without the user's own rules until they are set again.
AlertText preferencesMovedAsideAlert(const QString& asidePath);

// Tells that the user's preferences file (`path`) could not be written, and why (`reason`): what
// the user changes meanwhile is gone at the next start.
AlertText preferencesNotSavedAlert(const QString& path, const QString& reason);

} // namespace BrindlecastApp::Pipeline
