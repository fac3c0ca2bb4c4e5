#pragma once

#include "BrindlecastApp/Pipeline/EditorRequest.h"
#include "BrindlecastApp/Pipeline/PipelineEnvironment.h"

#include <functional>
#include <memory>

namespace BrindlecastApp {
class ReviewViewModel;
}

namespace BrindlecastApp::Pipeline {

class EditSession;

// The editor window as the pipeline sees it. The window calls the shown edit's persist() when
// it closes and when its Done button is used; the pipeline stores the previous edit's
// annotations itself before it loads another one. GUI thread only.
class EditorPresenter {
public:
    virtual ~EditorPresenter() = default;
    // Whether the window exists and is visible.
    virtual bool isShowing() const = 0;
    // The edit the window shows; nothing when it shows none.
    virtual std::shared_ptr<EditSession> currentEdit() const = 0;
    // A new window on the edit, with the application brought to the front.
    virtual void present(const std::shared_ptr<EditSession>& edit) = 0;
    // The visible window takes the edit and is made key and front (the application is not
    // activated).
    virtual void load(const std::shared_ptr<EditSession>& edit) = 0;
    virtual void close() = 0;
    // The visible window is made key and front, with the application brought to the front; the
    // edit it shows stays as it is.
    virtual void bringToFront() = 0;
    // Ends an inline text edit in progress, keeping its text in the annotations.
    virtual void commitPendingTextEdit() = 0;
};

// Puts one capture in front of the user in the editor: builds its edit (view model and actions)
// and shows it, reusing the visible window. Without a host nothing is shown. Returns the edit.
std::shared_ptr<EditSession> openEditor(const Environment& env, EditorRequest request);

// Stores the shown edit's annotations after committing an inline text edit in progress: when the
// desktop session saves its state. An edit that was deleted or flattened stores nothing.
void persistOpenEdit(const Environment& env);
// The same, once, as the application quits: the edit stores nothing after that.
void persistOpenEditBeforeQuit(const Environment& env);
// The same before the application is asked to end (Quit, a termination signal): `leave` runs
// once the annotations are stored, or, when storing fails, once the user retried successfully or
// discarded them.
void storeOpenEditBeforeLeaving(const Environment& env, std::function<void()> leave);
// The same when a signal ends the application: one try and no question; a failure is logged.
void storeOpenEditBeforeSignalEnd(const Environment& env);

} // namespace BrindlecastApp::Pipeline
