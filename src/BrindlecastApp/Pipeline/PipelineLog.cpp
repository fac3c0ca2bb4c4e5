#include "BrindlecastApp/Pipeline/PipelineLog.h"

namespace BrindlecastApp::Pipeline {

void PipelineLog::write(Support::LogLevel level, const QString& message) const {
    if (!sink_) {
        Support::Log::write(kSubsystem, kCategory, level, message);
        return;
    }
    sink_->write({kSubsystem, kCategory, level, message});
}

QString describe(const std::exception& error) { return QString::fromUtf8(error.what()); }

QString describe(const std::exception_ptr& error) {
    if (!error) return QStringLiteral("unknown error");
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return describe(e);
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

QString alertText(const std::exception_ptr& error) { return describe(error); }

} // namespace BrindlecastApp::Pipeline
