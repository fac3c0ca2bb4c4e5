#pragma once

#include "../PipelineTestSupport.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Editor/EditorSelection.h"
#include "BrindlecastApp/Editor/EditorView.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Editor/EditorWindowController.h"
#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "BrindlecastApp/Pipeline/EditorWindowPresenter.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "Support/Folders.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

namespace EditorTesting {

using namespace BrindlecastApp;
using namespace PipelineTests;

// Lets deferred deletions and queued calls run.
inline void settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// A pipeline over fakes whose editor is the real editor window over a real capture library.
struct EditorHarness {
    explicit EditorHarness(PolicyKit::SidecarMode mode = PolicyKit::SidecarMode::file) {
        h.policy.sidecarMode = mode;
        Support::Folders::create(h.libraryFolder);
        library = std::make_unique<CaptureLibrary>(h.libraryFolder);
        EditorWindowController::Options options = Pipeline::EditorWindowPresenter::defaultOptions();
        options.revealFile = [this](const QString& path) { revealed << path; };
        options.makeToolbar = [this](ReviewViewModel&, const EditorToolbarActions& actions) -> QWidget* {
            toolbarActions = actions;
            if (!toolbarHeight) return nullptr;
            auto* toolbar = new QWidget;
            toolbar->setObjectName("toolbar");
            toolbar->setFixedSize(300, *toolbarHeight);
            return toolbar;
        };
        presenter = std::make_shared<Pipeline::EditorWindowPresenter>(nullptr, [this] { return library.get(); }, options);
        h.env->editor = presenter;
    }
    ~EditorHarness() {
        presenter.reset();
        settle();
    }

    // A working copy in the library folder, listed, then opened in the editor.
    QString open(const QString& name, std::vector<Detection> detections = {}) {
        const QString path = h.libraryFolder + "/" + name;
        const QImage image = FakeScreen::patterned(QSize(160, 100), 11);
        image.save(path, "PNG");
        library->add(path);
        Pipeline::EditorRequest request;
        request.image = image;
        request.detections = std::move(detections);
        request.policy = h.policy;
        request.audit = std::make_shared<AuditKit::AuditLog>(nullptr, h.log);
        request.modeName = "region";
        request.path = path;
        Pipeline::openEditor(h.env, std::move(request));
        return path;
    }

    EditorWindowController* controller() const { return presenter->controller(); }
    EditorWindowChrome* window() const { return controller() ? controller()->window() : nullptr; }

    Harness h;
    std::unique_ptr<CaptureLibrary> library;
    std::shared_ptr<Pipeline::EditorWindowPresenter> presenter;
    QStringList revealed;
    std::optional<EditorToolbarActions> toolbarActions;
    // Without a height the toolbar slot stays empty.
    std::optional<int> toolbarHeight;
};

// A left-button mouse event for `widget` at a point on the screen.
inline void sendMouse(QWidget* widget, QEvent::Type type, QPoint global, Qt::MouseButtons buttons) {
    QMouseEvent event(type, QPointF(widget->mapFromGlobal(global)), QPointF(global), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Presses on `widget` at `press`, moves through `moves` (relative to the press), then lets go.
inline void dragOn(QWidget* widget, QPoint press, const QList<QPoint>& moves) {
    sendMouse(widget, QEvent::MouseButtonPress, press, Qt::LeftButton);
    QPoint last = press;
    for (const QPoint& move : moves) {
        last = press + move;
        sendMouse(widget, QEvent::MouseMove, last, Qt::LeftButton);
    }
    sendMouse(widget, QEvent::MouseButtonRelease, last, Qt::NoButton);
}

} // namespace EditorTesting
