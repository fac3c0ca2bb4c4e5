#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QWidget;

namespace BrindlecastApp {

class ReviewViewModel;

// The hidden Edit menu: Undo, Redo, Cut, Copy, Paste and Select All with the desktop's standard
// keys for them in every window of the app, although a tray app shows no menu bar. Each window gets the actions
// when it is first shown; a chosen action goes to the focused widget, or the nearest of its
// parents, that has a slot of the action's name ("undo", "redo", "cut", "copy", "paste",
// "selectAll"). Undo and Redo that no such widget takes go to the review model the active window
// shows (ShowsReviewModel). Text fields handle these keys themselves before any shortcut.
class EditMenu : public QObject {
    Q_OBJECT
public:
    explicit EditMenu(QObject* parent = nullptr);
    ~EditMenu() override;

    // The "Edit" submenu, in the order Undo, Redo, a separator, Cut, Copy, Paste, Select All.
    QMenu* menu() const { return menu_; }
    QList<QAction*> actions() const;

    // Sends the command named `slot` to the widget that should take it; false when none has it.
    static bool sendToFocus(const char* slot);
    // The review model the active window shows, or null.
    static ReviewViewModel* shownReviewModel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attach(QWidget* window);

    QMenu* menu_;
};

} // namespace BrindlecastApp
