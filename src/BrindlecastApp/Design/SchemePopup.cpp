#include "BrindlecastApp/Design/SchemePopup.h"

#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QEvent>
#include <QFileDialog>
#include <QPointer>

namespace BrindlecastApp::SchemePopup {

namespace {

// Gives the list its owner's palette as it shows, after whatever the list's control set. The
// list's view is given it too: a list drawn as a menu takes the roles its view does not set from
// the application's menus.
class Follower : public QObject {
public:
    Follower(QWidget& popup, const QWidget& owner) : QObject(&popup), owner_(&owner) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && owner_) {
            auto* popup = static_cast<QWidget*>(watched);
            const QPalette scheme = paletteFor(tokensFor(owner_));
            popup->setPalette(scheme);
            for (QAbstractItemView* view : popup->findChildren<QAbstractItemView*>()) view->setPalette(scheme);
        }
        return false;
    }

private:
    QPointer<const QWidget> owner_;
};

// The dialog makes its controls as it first shows: its lists are followed then.
class DialogFollower : public QObject {
public:
    explicit DialogFollower(QFileDialog& dialog) : QObject(&dialog) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            auto* dialog = static_cast<QFileDialog*>(watched);
            for (QComboBox* list : dialog->findChildren<QComboBox*>()) follow(*list);
            for (QCompleter* completer : dialog->findChildren<QCompleter*>())
                if (completer->widget()) follow(*completer->popup(), *completer->widget());
        }
        return false;
    }
};

} // namespace

void follow(QWidget& popup, const QWidget& owner) {
    static const char* const kFollowed = "brindlecast-scheme-followed";
    if (popup.property(kFollowed).toBool()) return;
    popup.setProperty(kFollowed, true);
    popup.installEventFilter(new Follower(popup, owner));
}

void follow(QComboBox& box) { follow(*box.view()->window(), box); }

void follow(QFileDialog& dialog, const QWidget* parent) {
    dialog.setPalette(paletteFor(tokensFor(parent)));
    dialog.installEventFilter(new DialogFollower(dialog));
}

} // namespace BrindlecastApp::SchemePopup
