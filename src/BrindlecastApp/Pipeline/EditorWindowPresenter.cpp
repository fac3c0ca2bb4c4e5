#include "BrindlecastApp/Pipeline/EditorWindowPresenter.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Editor/EditorToolbar.h"
#include "BrindlecastApp/Library/CaptureEntry.h"
#include "BrindlecastApp/Pipeline/DesktopWorkspace.h"
#include "BrindlecastApp/Pipeline/EditSession.h"

namespace BrindlecastApp::Pipeline {

EditorWindowPresenter::EditorWindowPresenter(Theme* theme, std::function<CaptureLibrary*()> library,
                                             EditorWindowController::Options options)
    : theme_(theme), library_(std::move(library)), options_(std::move(options)) {}

EditorWindowPresenter::~EditorWindowPresenter() = default;

EditorWindowController::Options EditorWindowPresenter::defaultOptions() {
    EditorWindowController::Options options;
    options.revealFile = [](const QString& path) { DesktopWorkspace().showItems({path}); };
    options.makeToolbar = [](ReviewViewModel& model, const EditorToolbarActions& actions) -> QWidget* {
        return new EditorToolbar(model, actions);
    };
    return options;
}

bool EditorWindowPresenter::isShowing() const { return controller_ && controller_->isShowing(); }

std::shared_ptr<EditSession> EditorWindowPresenter::currentEdit() const { return isShowing() ? current_ : nullptr; }

void EditorWindowPresenter::present(const std::shared_ptr<EditSession>& edit) {
    current_ = edit;
    controller_.reset(); // a closed window is not reused
    controller_ = EditorWindowController::present(contentFor(edit), theme_, options_);
}

void EditorWindowPresenter::load(const std::shared_ptr<EditSession>& edit) {
    current_ = edit;
    show(contentFor(edit));
}

void EditorWindowPresenter::show(const EditorContent& content) {
    if (!isShowing()) {
        controller_.reset();
        controller_ = EditorWindowController::present(content, theme_, options_);
        return;
    }
    // The pipeline stored the capture shown so far before it asked for this one.
    controller_->forgetPendingStore();
    controller_->load(content);
    controller_->bringToFront();
}

void EditorWindowPresenter::close() {
    if (controller_) controller_->close();
}

void EditorWindowPresenter::bringToFront() {
    if (controller_) controller_->bringToFront();
}

void EditorWindowPresenter::commitPendingTextEdit() {
    if (isShowing()) controller_->commitPendingTextEdit();
}

void EditorWindowPresenter::presentPreview(std::shared_ptr<ReviewViewModel> model, const QString& filename,
                                           std::function<void()> onSettings) {
    EditorContent content;
    content.viewModel = model.get();
    content.owner = std::move(model);
    content.filename = filename;
    content.onSettings = std::move(onSettings);
    // Whatever was shown keeps what the user did to it.
    if (isShowing()) {
        controller_->commitPendingTextEdit();
        if (current_) current_->store();
    }
    current_ = nullptr;
    show(content);
}

void EditorWindowPresenter::releaseWindow() {
    controller_.reset();
    current_.reset();
}

ReviewViewModel* EditorWindowPresenter::shownModel() const { return controller_ ? controller_->shownModel() : nullptr; }

EditorContent EditorWindowPresenter::contentFor(const std::shared_ptr<EditSession>& edit) const {
    EditorContent content;
    content.viewModel = &edit->viewModel();
    content.owner = edit;
    content.filename = edit->filename();
    content.library = library_ ? library_() : nullptr;
    content.selecting = edit->path();
    // The window may outlive an edit's last other owner by a turn; the actions hold it weakly.
    const std::weak_ptr<EditSession> weak = edit;
    const auto run = [weak](void (EditSession::*action)()) {
        return [weak, action] {
            if (const std::shared_ptr<EditSession> alive = weak.lock()) ((*alive).*action)();
        };
    };
    content.onCopy = [weak](CopyOutcome outcome) {
        if (const std::shared_ptr<EditSession> alive = weak.lock()) alive->copy(std::move(outcome));
    };
    content.onDone = [weak](std::function<void()> finished) {
        const std::shared_ptr<EditSession> alive = weak.lock();
        if (!alive || alive->store(finished)) finished();
    };
    content.onExportFolder = run(&EditSession::exportToFolder);
    content.onFlatten = run(&EditSession::flatten);
    content.onSettings = run(&EditSession::showSettings);
    content.onPersist = [weak](std::function<void()> resolved) {
        const std::shared_ptr<EditSession> alive = weak.lock();
        return !alive || alive->store(std::move(resolved));
    };
    content.onDeleteImage = [weak](bool ask) {
        if (const std::shared_ptr<EditSession> alive = weak.lock()) alive->deleteImage(ask);
    };
    content.onSelectRecent = [weak](const CaptureEntry& entry) {
        if (const std::shared_ptr<EditSession> alive = weak.lock()) alive->selectRecent(entry.path());
    };
    return content;
}

} // namespace BrindlecastApp::Pipeline
