#pragma once

#include "BrindlecastApp/Pipeline/EditorRequest.h"
#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"
#include "ExportKit/ExportTypes.h"

#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace BrindlecastApp {
class ReviewViewModel;
}

namespace BrindlecastApp::Pipeline {

// One edit of one capture in the editor: its view model and the actions behind the editor's
// buttons, menus and keys. It keeps the policy, audit trail and host of the moment it opened.
// GUI thread only.
class EditSession : public std::enable_shared_from_this<EditSession> {
public:
    // How an edit ended before its window let it go. An ended edit never stores its annotations
    // again: its file moved to the Trash, the annotations are in its pixels, or they were stored
    // for the last time as the application quit.
    enum class Ending { none, deleted, flattened, quit };

    static std::shared_ptr<EditSession> create(Environment env, EditorRequest request);
    ~EditSession();

    ReviewViewModel& viewModel() const { return *viewModel_; }
    const QString& path() const { return request_.path; }
    // The working copy's file name: the window's title.
    QString filename() const;
    const QString& modeName() const { return request_.modeName; }
    Ending ending() const { return ending_; }

    // --- The editor's actions --------------------------------------------------------------------
    // Exports to the clipboard when the policy of the opening allowed it, then tells `outcome`
    // whether the image reached the clipboard (a failure also raises the export alert).
    // Otherwise nothing at all, and nothing is told. Nothing leaves a capture moved to the Trash.
    void copy(std::function<void(bool copied)> outcome = nullptr);
    // Exports into the library folder; the policy of this moment decides whether that is allowed.
    // Nothing, once the capture is in the Trash.
    void exportToFolder();
    // Burns what the editor hides (every mandatory finding and the suggested ones not released)
    // and the annotations into the working copy, removes its stored annotations and companion,
    // and opens it again. When any step fails the capture's files stay as they were and the user
    // is told why ("Flatten failed"); stored annotations that could not be read are never removed.
    void flatten();
    void showSettings();
    // Moves the working copy, its annotations and its companion to the Trash, asking first when
    // `ask` is true. A working copy that does not move stays open, and the user is told why
    // ("Delete failed").
    void deleteImage(bool ask);
    // Opens another library capture in the editor.
    void selectRecent(const QString& imagePath);
    // Stores the annotations as the policy of the opening says: beside the image, inside it, or
    // not at all. True when they are stored or need no storing; a failure is logged, and false.
    bool persist();
    // The same for a store the user counts on (Done, closing the window, another capture taking
    // the window, quitting): when writing fails, the user is asked on the next turn
    // ("Annotations could not be saved", the reason, Retry or Discard) and `resolved` runs once
    // the annotations are stored or the user discarded them. True when stored at once.
    bool store(std::function<void()> resolved = nullptr);
    // The last store of an edit still open when the application quits.
    void persistBeforeQuit();
    // The same through store(): `leave` runs once the annotations are stored or discarded. An edit
    // whose annotations are as they were last stored (or as it opened) has nothing to store.
    void storeBeforeQuit(std::function<void()> leave);
    // The last store when a signal ends the application, where nobody is there to answer a
    // question: one try, when anything changed since the annotations were last stored; a
    // failure is logged with the file and the reason, and the edit stores nothing after.
    void storeOnceBeforeSignalEnd();
    // The companion that was still being prepared when the edit opened, or nothing when there is
    // none after all. Exports under a backdrop wait for it.
    void companionReady(const std::optional<QImage>& companion);
    // The findings that were still being looked for when the edit opened; exports, copies and
    // copied text that waited for them go on.
    void detectionsArrived(const std::vector<DetectionKit::Detection>& detections);
    // Looking for them failed: whatever waited for them is refused, and what the capture holds is
    // unknown until a later detection run finds it.
    void detectionsFailed();

private:
    EditSession(Environment env, EditorRequest request);
    void runExport(ExportKit::DestinationKind destination, std::function<void(bool delivered)> finished = nullptr);
    // The export itself, once the detections cover everything `policy` makes mandatory.
    void exportUnder(const PolicyKit::EffectivePolicy& policy, ExportKit::DestinationKind destination,
                     const std::function<void(bool delivered)>& finished);
    void commitFlattened(const QByteArray& png);
    // Logs the failure and tells the user the capture stays as it was.
    void flattenFailed(const std::exception_ptr& failure);
    void moveToTrash();
    // Moved to the Trash, or about to be without a question: nothing may leave it.
    bool trashed() const { return trashPending_ || ending_ == Ending::deleted; }
    // Writes the annotations; the failure, if any.
    std::exception_ptr writeAnnotations();
    // The file the annotations go to under the policy of the opening.
    QString annotationFile() const;
    // The annotations differ from those last stored, or from those the edit opened with.
    bool changedSinceStored() const;
    // The same with the failure logged.
    std::exception_ptr failedToStore();
    // Asks on the next turn whether to retry (asking again when that fails too) or discard, then
    // runs what waits for the answer.
    void askAfterFailedStore(const std::exception_ptr& failure);

    Environment env_;
    EditorRequest request_;
    std::weak_ptr<PipelineHost> host_;
    std::unique_ptr<ReviewViewModel> viewModel_;
    Ending ending_ = Ending::none;
    bool trashPending_ = false;
    bool flattening_ = false;
    bool companionPending_ = false;
    std::vector<std::function<void()>> afterCompanion_;
    // While the user is asked about a failed store: what runs once it is stored or discarded.
    std::optional<std::vector<std::function<void()>>> awaitingAnswer_;
    std::vector<SidecarKit::Annotation> lastStored_;
};

} // namespace BrindlecastApp::Pipeline
