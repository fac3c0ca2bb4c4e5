#pragma once

#include "Support/Log.h"

#include <QString>
#include <exception>
#include <memory>

namespace BrindlecastApp::Pipeline {

// The pipeline's log: subsystem "app.brindlecast", category "pipeline", into the given sink (the
// process's sink when none is given). Arguments are written as they are, nothing is redacted.
class PipelineLog {
public:
    static constexpr const char* kSubsystem = "app.brindlecast";
    static constexpr const char* kCategory = "pipeline";

    explicit PipelineLog(std::shared_ptr<Support::LogSink> sink = nullptr) : sink_(std::move(sink)) {}

    void error(const QString& message) const { write(Support::LogLevel::error, message); }
    // The log's default level: lines worth keeping that report no failure.
    void notice(const QString& message) const { write(Support::LogLevel::notice, message); }
    void info(const QString& message) const { write(Support::LogLevel::info, message); }

private:
    void write(Support::LogLevel level, const QString& message) const;

    std::shared_ptr<Support::LogSink> sink_;
};

// The plain textual form of a failure, for the log: the error's case and payload
// ("blockedContentPresent(bundleIDs: [...])", "io(\"...\")"), or the library's message, with the
// failure it was thrown for (and its file) in brackets.
QString describe(const std::exception_ptr& error);
QString describe(const std::exception& error);

// What an alert tells of a failure: the one place that words errors for people. A file-system
// failure (itself, or the one a store or a delivery was thrown for) names the folder and a reason
// the user can act on (read-only, full, missing, not permitted), never a temporary file's name;
// a trash that is refused names the folder the file stays in, never the trash's own; stored
// annotations that do not read are damaged, without the decoder's words; an engine module that cannot be loaded asks for the app to be installed again, without the
// library's path or the loader's words. Any other error gives its plain textual form. The
// system's words and the paths are the log's (describe()).
QString alertText(const std::exception_ptr& error);
// The same as an alert's whole informative text: the app's own reason as a sentence,
// capitalised and closed; an error's plain textual form as it is.
QString alertSentence(const std::exception_ptr& error);
// An alert's informative text that goes on after the reason: alertSentence(), closed with a full
// stop, then `consequence` ("The screenshot was not changed.").
QString alertSentences(const std::exception_ptr& error, const QString& consequence);

} // namespace BrindlecastApp::Pipeline
