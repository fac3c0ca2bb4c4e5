#include "BrindlecastApp/Pipeline/PipelineLog.h"

#include "DetectionKit/Recognition.h"
#include "Support/IoError.h"

#include <optional>

namespace BrindlecastApp::Pipeline {

namespace {

// The user's words for a file-system failure: the error's own, or those of the failure it was
// thrown for (a store or a delivery keeps the one of its file inside); nothing for any other.
std::optional<QString> fileSystemReason(const std::exception& error) {
    if (const auto* io = dynamic_cast<const Support::IoError*>(&error)) return io->reason();
    const auto* nested = dynamic_cast<const std::nested_exception*>(&error);
    if (!nested || !nested->nested_ptr()) return std::nullopt;
    try {
        std::rethrow_exception(nested->nested_ptr());
    } catch (const std::exception& inner) {
        return fileSystemReason(inner);
    } catch (...) {
    }
    return std::nullopt;
}

} // namespace

void PipelineLog::write(Support::LogLevel level, const QString& message) const {
    if (!sink_) {
        Support::Log::write(kSubsystem, kCategory, level, message);
        return;
    }
    sink_->write({kSubsystem, kCategory, level, message});
}

QString describe(const std::exception& error) {
    QString text = QString::fromUtf8(error.what());
    // The failure it was thrown for, with its file: a temporary file's name is told here alone.
    if (const auto* nested = dynamic_cast<const std::nested_exception*>(&error); nested && nested->nested_ptr())
        text += " (" + describe(nested->nested_ptr()) + ")";
    return text;
}

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

QString alertText(const std::exception_ptr& error) {
    if (!error) return describe(error);
    try {
        std::rethrow_exception(error);
    } catch (const DetectionKit::RecognitionError& e) {
        if (e.cause() == DetectionKit::RecognitionError::Cause::installationDamaged)
            return QStringLiteral("Brindlecast's detection files are damaged or missing; install Brindlecast again");
        return describe(e);
    } catch (const std::exception& e) {
        return fileSystemReason(e).value_or(describe(e));
    } catch (...) {
    }
    return describe(error);
}

} // namespace BrindlecastApp::Pipeline
