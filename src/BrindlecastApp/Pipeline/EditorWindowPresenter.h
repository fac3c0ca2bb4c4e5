#pragma once

#include "BrindlecastApp/Editor/EditorWindowController.h"
#include "BrindlecastApp/Pipeline/EditorWiring.h"

#include <QPointer>

#include <functional>
#include <memory>

namespace BrindlecastApp {
class CaptureLibrary;
class ReviewViewModel;
class Theme;
} // namespace BrindlecastApp

namespace BrindlecastApp::Pipeline {

// The pipeline's editor is the one editor window: an edit is shown in a new window while none
// is showing, else loaded into the window on screen (restored when minimised and raised). The
// window shows the edit's file and library, and its controls run the edit's actions. GUI thread
// only.
class EditorWindowPresenter final : public EditorPresenter {
public:
    // `library` is asked for the application's capture library each time an edit is shown.
    EditorWindowPresenter(Theme* theme, std::function<CaptureLibrary*()> library,
                          EditorWindowController::Options options = defaultOptions());
    ~EditorWindowPresenter() override;

    // The editor's toolbar; Show in Files opens the desktop's file manager on the file.
    static EditorWindowController::Options defaultOptions();

    bool isShowing() const override;
    std::shared_ptr<EditSession> currentEdit() const override;
    void present(const std::shared_ptr<EditSession>& edit) override;
    void load(const std::shared_ptr<EditSession>& edit) override;
    void close() override;
    void bringToFront() override;
    void commitPendingTextEdit() override;

    // Shows a capture that is no edit (the design preview): nothing is stored for it, and the
    // next capture loads into its window. `onSettings` runs from the window's settings button.
    void presentPreview(std::shared_ptr<ReviewViewModel> model, const QString& filename, std::function<void()> onSettings);

    // Lets the window go without storing anything: for the application's end, after the open edit
    // was stored for the last time.
    void releaseWindow();

    // The review model the window shows, null when none: what Undo and Redo act on.
    ReviewViewModel* shownModel() const;
    EditorWindowController* controller() const { return controller_.get(); }

private:
    EditorContent contentFor(const std::shared_ptr<EditSession>& edit) const;
    // A new window while none shows, else the shown one, stored already by its caller.
    void show(const EditorContent& content);

    QPointer<Theme> theme_;
    std::function<CaptureLibrary*()> library_;
    EditorWindowController::Options options_;
    std::unique_ptr<EditorWindowController> controller_;
    std::shared_ptr<EditSession> current_;
};

} // namespace BrindlecastApp::Pipeline
