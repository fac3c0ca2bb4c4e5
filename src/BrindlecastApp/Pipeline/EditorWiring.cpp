#include "BrindlecastApp/Pipeline/EditorWiring.h"

#include "BrindlecastApp/Pipeline/EditSession.h"

namespace BrindlecastApp::Pipeline {

std::shared_ptr<EditSession> openEditor(const Environment& env, EditorRequest request) {
    const QString content = request.contentImage         ? QStringLiteral("%1x%2")
                                                               .arg(request.contentImage->width())
                                                               .arg(request.contentImage->height())
                            : request.contentImagePending ? QStringLiteral("pending")
                                                          : QStringLiteral("nil");
    env->log.info("openEditor: contentImage " + content);

    const std::shared_ptr<EditSession> edit = EditSession::create(env, std::move(request));
    if (!env->host || !env->editor) return edit;
    EditorPresenter& editor = *env->editor;
    if (editor.isShowing()) {
        // The capture shown so far keeps its annotations, with the text being typed into it: the
        // load discards its canvas.
        if (const std::shared_ptr<EditSession> previous = editor.currentEdit()) {
            editor.commitPendingTextEdit();
            previous->store();
        }
        editor.load(edit);
    } else {
        editor.present(edit);
    }
    return edit;
}

void persistOpenEdit(const Environment& env) {
    if (!env->editor) return;
    env->editor->commitPendingTextEdit();
    if (const std::shared_ptr<EditSession> edit = env->editor->currentEdit()) edit->persist();
}

void persistOpenEditBeforeQuit(const Environment& env) {
    if (!env->editor) return;
    env->editor->commitPendingTextEdit();
    if (const std::shared_ptr<EditSession> edit = env->editor->currentEdit()) edit->persistBeforeQuit();
}

void storeOpenEditBeforeLeaving(const Environment& env, std::function<void()> leave) {
    const std::shared_ptr<EditSession> edit = env->editor ? env->editor->currentEdit() : nullptr;
    if (!edit) return leave();
    env->editor->commitPendingTextEdit();
    edit->storeBeforeQuit(std::move(leave));
}

void storeOpenEditBeforeSignalEnd(const Environment& env) {
    const std::shared_ptr<EditSession> edit = env->editor ? env->editor->currentEdit() : nullptr;
    if (!edit) return;
    env->editor->commitPendingTextEdit();
    edit->storeOnceBeforeSignalEnd();
}

} // namespace BrindlecastApp::Pipeline
