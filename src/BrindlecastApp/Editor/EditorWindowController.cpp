#include "BrindlecastApp/Editor/EditorWindowController.h"

#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"
#include "BrindlecastApp/Editor/CustomColorPanel.h"
#include "BrindlecastApp/Editor/EditorSelection.h"
#include "BrindlecastApp/Editor/EditorSlotPlaceholder.h"
#include "BrindlecastApp/Editor/EditorStatusBar.h"
#include "BrindlecastApp/Editor/EditorView.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Editor/RecentsSidebar.h"
#include "BrindlecastApp/Editor/StyleStrip.h"
#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace BrindlecastApp {

std::unique_ptr<EditorWindowController> EditorWindowController::present(const EditorContent& content, Theme* theme,
                                                                        Options options) {
    std::unique_ptr<EditorWindowController> controller(new EditorWindowController(theme, std::move(options)));
    EditorWindowChrome* window = controller->window_;
    controller->load(content);
    // On a screen too small for the designed size (a laptop at 2x) the window takes the work
    // area, and so does its floor: it is never taller or wider than the screen that shows it.
    ScreenPlacement::centre(*window, kInitialContentSize);
    window->show();
    window->raise();
    window->activateWindow();
    return controller;
}

EditorWindowController::EditorWindowController(Theme* theme, Options options)
    : options_(std::move(options)), window_(new EditorWindowChrome), sidebarSession_(std::make_unique<EditorSelection>()) {
    window_->setObjectName(QStringLiteral("editorWindow"));
    window_->setMinimumSize(kContentFloor);
    window_->setStripHeight(EditorView::kStripHeight);
    ThemedRoot::install(window_, theme);
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    window_->installEventFilter(this);
}

EditorWindowController::~EditorWindowController() {
    // The views go before the model that they show.
    CustomColorPanel::detach(model_.data());
    if (window_) {
        window_->removeEventFilter(this);
        delete window_.data();
    }
}

void EditorWindowController::load(const EditorContent& content) {
    Q_ASSERT(content.viewModel);
    commitPendingTextEdit();
    // The capture shown so far is stored before it goes; when that fails the user is asked
    // about it, and this one comes all the same.
    if (persistCurrent_) persistCurrent_(nullptr);
    persistCurrent_ = content.onPersist;
    ++loads_;
    currentPath_ = content.selecting;
    window_->setWindowTitle(content.filename);

    std::optional<CaptureEntry> shown;
    if (content.library && content.selecting) {
        for (const CaptureEntry& entry : content.library->entries())
            if (entry.path() == *content.selecting) {
                shown = entry;
                break;
            }
    }
    sidebarSession_->setEntry(shown);

    actions_ = actionsFor(content);
    ReviewViewModel& model = *content.viewModel;
    QWidget* toolbar = options_.makeToolbar ? options_.makeToolbar(model, actions_) : nullptr;
    auto* view = new EditorView(content.filename, model, true, sidebarFor(content), toolbar, new EditorStatusBar(model),
                                window_->cornerRadius(), window_);
    window_->keepRounding(view->panel());
    view->setStyleStrip(new StyleStrip(model));

    // The colour chooser no longer writes into the capture this one replaces.
    CustomColorPanel::detach(model_.data());
    QPointer<EditorView> previous = view_;
    std::shared_ptr<const void> previousOwner = std::move(owner_);
    window_->layout()->addWidget(view);
    view_ = view;
    model_ = &model;
    owner_ = content.owner;
    if (previous) {
        window_->layout()->removeWidget(previous);
        previous->hide();
        // Deleted on the next turn (a click in it may have led here), and only then is its
        // capture let go, so no view outlives the model it shows.
        QTimer::singleShot(0, qApp, [previous, previousOwner] { delete previous.data(); });
    }
    if (window_->isVisible()) view->show();
    view->canvas()->setFocus();
}

EditorToolbarActions EditorWindowController::actionsFor(const EditorContent& content) {
    EditorToolbarActions actions;
    actions.onSettings = content.onSettings;
    actions.onDeleteImage = content.onDeleteImage;
    QPointer<EditorWindowController> self(this);
    // What leaves the editor or is burnt into the capture includes the text being typed.
    const auto committingFirst = [self](std::function<void()> action) -> std::function<void()> {
        if (!action) return nullptr;
        return [self, action = std::move(action)] {
            if (self) self->commitPendingTextEdit();
            action();
        };
    };
    actions.onExportFolder = committingFirst(content.onExportFolder);
    actions.onFlatten = committingFirst(content.onFlatten);
    if (content.onCopy) {
        actions.onCopy = [self, copy = content.onCopy](CopyOutcome outcome) {
            if (self) self->commitPendingTextEdit();
            copy(std::move(outcome));
        };
    }
    actions.allowedDestinations = content.viewModel->allowedDestinations();
    // The file of this capture, not whatever is shown when the action runs.
    actions.onShowInFinder = [reveal = options_.revealFile, path = content.selecting] {
        if (reveal && path) reveal(*path);
    };
    actions.onDone = [self, finish = content.onDone, shown = loads_] {
        if (!self) return;
        self->commitPendingTextEdit();
        // Stored (or discarded) by Done; the close that follows stores nothing more. A capture
        // that took the window while the user was asked about a failed store stays.
        const auto close = [self, shown] {
            if (!self || self->loads_ != shown) return;
            self->persistCurrent_ = nullptr;
            self->close();
        };
        if (finish) {
            finish(close);
        } else {
            close();
        }
    };
    return actions;
}

QWidget* EditorWindowController::sidebarFor(const EditorContent& content) {
    if (!content.library) return new EditorSlotPlaceholder(EditorSlotPlaceholder::kRecentsLabel);
    return new RecentsSidebar(*content.library, *sidebarSession_, content.onSelectRecent);
}

void EditorWindowController::done() {
    if (actions_.onDone) actions_.onDone();
}

void EditorWindowController::reveal() {
    if (actions_.onShowInFinder) actions_.onShowInFinder();
}

void EditorWindowController::close() {
    if (window_ && !closed_) window_->close();
}

void EditorWindowController::bringToFront() {
    if (!window_ || closed_) return;
    if (window_->isMinimized()) window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void EditorWindowController::commitPendingTextEdit() {
    if (ReviewCanvasView* shown = canvas()) shown->commitTextEditing();
}

void EditorWindowController::forgetPendingStore() { persistCurrent_ = nullptr; }

bool EditorWindowController::isShowing() const { return window_ && !closed_; }

ReviewViewModel* EditorWindowController::shownModel() const { return isShowing() ? model_.data() : nullptr; }

ReviewCanvasView* EditorWindowController::canvas() const { return view_ ? view_->canvas() : nullptr; }

std::optional<QRectF> EditorWindowController::floorCorrected(const QRectF& frame, QSizeF floor) {
    const double floorWidth = floor.width();
    const double floorHeight = floor.height();
    if (frame.width() + 0.5 >= floorWidth && frame.height() + 0.5 >= floorHeight) return std::nullopt;
    return QRectF(frame.left(), frame.top(), std::max(frame.width(), floorWidth), std::max(frame.height(), floorHeight));
}

bool EditorWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        if (event->type() == QEvent::Close && !windowClosing()) {
            event->ignore(); // open while the user decides about annotations that were not stored
            return true;
        }
        else if (event->type() == QEvent::Resize) enforceContentFloor();
    }
    return QObject::eventFilter(watched, event);
}

void EditorWindowController::enforceContentFloor() {
    // The window manager honours the minimum size; this catches one that does not.
    if (const std::optional<QRectF> corrected = floorCorrected(window_->geometry(), window_->minimumSize()))
        window_->setGeometry(corrected->toAlignedRect());
}

bool EditorWindowController::windowClosing() {
    if (closed_) return true;
    commitPendingTextEdit();
    if (persistCurrent_) {
        QPointer<EditorWindowController> self(this);
        const auto closeOnceResolved = [self, shown = loads_] {
            if (!self || self->loads_ != shown) return;
            self->persistCurrent_ = nullptr;
            self->close();
        };
        if (!persistCurrent_(closeOnceResolved)) return false;
        persistCurrent_ = nullptr;
    }
    CustomColorPanel::detach(model_.data());
    closed_ = true;
    return true;
}

} // namespace BrindlecastApp
