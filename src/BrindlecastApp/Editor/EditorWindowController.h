#pragma once

#include "BrindlecastApp/Editor/EditorContent.h"
#include "BrindlecastApp/Editor/EditorToolbarActions.h"
#include "BrindlecastApp/Editor/EditorView.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <functional>
#include <memory>
#include <optional>

namespace BrindlecastApp {

class EditorSelection;
class ReviewCanvasView;
class ReviewViewModel;
class Theme;

// The one editor window: it shows one capture at a time (EditorView with the recents sidebar,
// the toolbar slot and the status bar), takes the next capture into the same window, and stores
// the capture on screen once: when the window closes, or through Done, which stores it and then
// closes. Its content never shrinks below 1180 x 700 points, nor grows past the screen that shows
// it where that screen holds less. It keeps no document state: the
// capture's state is its review model. GUI thread only.
class EditorWindowController : public QObject {
    Q_OBJECT
public:
    struct Options {
        // Shows a file selected in the desktop's file manager; without it Show in Files does nothing.
        std::function<void(const QString& path)> revealFile;
        // Builds the toolbar slot's widget for one capture; without it the slot stays empty.
        std::function<QWidget*(ReviewViewModel& model, const EditorToolbarActions& actions)> makeToolbar;
    };

    static constexpr QSize kInitialContentSize{1180, 760};
    static constexpr QSize kContentFloor{1180, 700};

    // A new window on `content`, centred on its screen, shown in front and activated.
    static std::unique_ptr<EditorWindowController> present(const EditorContent& content, Theme* theme, Options options = {});
    ~EditorWindowController() override;

    // Puts another capture into this window: the one shown so far is stored first (with the text
    // being typed in it), unless forgetPendingStore() said it was stored already. It does not
    // bring the window forward.
    void load(const EditorContent& content);

    // The toolbar's Done: the text being typed is kept, the capture is stored through its
    // onDone, and the window closes without storing it again; after a failed store, once the
    // user retried successfully or discarded the annotations.
    void done();
    // The toolbar's Show in Files: the file of the capture on screen, when it has one.
    void reveal();
    // Closes the window, which stores the capture on screen once (a failed store keeps it open
    // until the user answers).
    void close();
    // Restores a minimised window, raises it and gives it the keyboard.
    void bringToFront();
    // Ends an inline text edit on the canvas, keeping its text in the annotations.
    void commitPendingTextEdit();
    // The capture on screen was stored by the caller: loading another or closing stores it no more.
    void forgetPendingStore();

    // The window exists and was not closed; a minimised window is showing.
    bool isShowing() const;
    // The review model on screen; null when the window was closed.
    ReviewViewModel* shownModel() const;
    const std::optional<QString>& currentPath() const { return currentPath_; }
    EditorSelection& sidebarSession() const { return *sidebarSession_; }
    EditorWindowChrome* window() const { return window_; }
    EditorView* view() const { return view_; }
    ReviewCanvasView* canvas() const;
    // What the toolbar slot was handed for the capture on screen.
    const EditorToolbarActions& toolbarActions() const { return actions_; }

    // The frame a window needs when `frame` leaves its content below the floor by half a point or
    // more: widened and heightened to the floor with its left and top edges kept. Nothing when it
    // is within half a point of the floor or above it. The window's floor is the designed one,
    // shrunk to a screen too small for it.
    static std::optional<QRectF> floorCorrected(const QRectF& frame, QSizeF floor = QSizeF(kContentFloor));

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    EditorWindowController(Theme* theme, Options options);

    EditorToolbarActions actionsFor(const EditorContent& content);
    QWidget* sidebarFor(const EditorContent& content);
    void enforceContentFloor();
    // Stores the capture shown as the window closes; false keeps it open (the store failed and
    // the user is asked, after which it closes).
    bool windowClosing();

    Options options_;
    QPointer<EditorWindowChrome> window_;
    std::unique_ptr<EditorSelection> sidebarSession_;
    QPointer<EditorView> view_;
    QPointer<ReviewViewModel> model_;
    std::shared_ptr<const void> owner_;
    std::function<bool(std::function<void()> resolved)> persistCurrent_;
    // Counts the captures shown, so that an answer about one never closes the window on the next.
    int loads_ = 0;
    std::optional<QString> currentPath_;
    EditorToolbarActions actions_;
    bool closed_ = false;
};

} // namespace BrindlecastApp
