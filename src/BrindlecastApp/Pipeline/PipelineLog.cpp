#include "BrindlecastApp/Pipeline/PipelineLog.h"

#include "BrindlecastApp/Pipeline/FreedesktopTrash.h"
#include "DetectionKit/Recognition.h"
#include "SidecarKit/SidecarError.h"
#include "Support/IoError.h"

#include <QFileInfo>

#include <optional>
#include <utility>

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

namespace {

// A trash the user's file was not put into, by the folder the file stays in: the trash's own
// folder means nothing to the user (the log names it).
QString refusalReason(const TrashRefused& refused) {
    const QString folder = refused.folder();
    switch (refused.cause()) {
    case TrashRefused::Cause::link:
        return QStringLiteral("the Trash on the disk holding %1 is a link to another place").arg(folder);
    case TrashRefused::Cause::notAFolder:
        return QStringLiteral("the Trash on the disk holding %1 is not a folder").arg(folder);
    case TrashRefused::Cause::anotherUsers:
        return QStringLiteral("the Trash on the disk holding %1 belongs to another user").arg(folder);
    case TrashRefused::Cause::openToOthers:
        return QStringLiteral("other users may change the Trash on the disk holding %1").arg(folder);
    case TrashRefused::Cause::noDisk: return QStringLiteral("the disk holding %1 was not found").arg(folder);
    }
    return describe(refused);
}

// An alert's words for a failure, and whether they are the app's own reason (a clause to make a
// sentence of) rather than the error's plain textual form (kept as it is).
std::pair<QString, bool> wordsFor(const std::exception_ptr& error) {
    if (!error) return {describe(error), false};
    try {
        std::rethrow_exception(error);
    } catch (const TrashRefused& e) {
        return {refusalReason(e), true};
    } catch (const SidecarKit::DamagedDocument& e) {
        // The decoder's words (a JSON library's) are the log's.
        const QString name = QFileInfo(e.file()).fileName();
        return {e.source() == SidecarKit::SidecarSource::file
                    ? QStringLiteral("the annotation file %1 is damaged").arg(name)
                    : QStringLiteral("the annotations stored in %1 are damaged").arg(name),
                true};
    } catch (const SidecarKit::JSONDecodingError&) {
        return {QStringLiteral("the stored annotations are damaged"), true};
    } catch (const DetectionKit::RecognitionError& e) {
        if (e.cause() == DetectionKit::RecognitionError::Cause::installationDamaged)
            return {QStringLiteral("Brindlecast's detection files are damaged or missing; install Brindlecast again"), true};
        return {describe(e), false};
    } catch (const std::exception& e) {
        if (std::optional<QString> reason = fileSystemReason(e)) return {*reason, true};
        return {describe(e), false};
    } catch (...) {
    }
    return {describe(error), false};
}

} // namespace

QString alertText(const std::exception_ptr& error) { return wordsFor(error).first; }

QString alertSentence(const std::exception_ptr& error) {
    auto [text, reason] = wordsFor(error);
    if (!reason || text.isEmpty()) return text;
    text[0] = text[0].toUpper();
    if (!text.endsWith('.')) text += '.';
    return text;
}

QString alertSentences(const std::exception_ptr& error, const QString& consequence) {
    QString text = alertSentence(error);
    if (!text.isEmpty() && !text.endsWith('.')) text += '.';
    return text.isEmpty() ? consequence : text + ' ' + consequence;
}

} // namespace BrindlecastApp::Pipeline
