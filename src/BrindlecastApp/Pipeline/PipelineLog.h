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

// The plain textual form of a failure: the error's case and payload
// ("blockedContentPresent(bundleIDs: [...])", "io(\"...\")"), or the library's message.
QString describe(const std::exception_ptr& error);
QString describe(const std::exception& error);

// The informative text of an "Export failed" alert. None of the modules' errors carries a
// wording of its own for people, so this is the plain textual form too.
QString alertText(const std::exception_ptr& error);

} // namespace BrindlecastApp::Pipeline
