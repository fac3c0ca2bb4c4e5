#include "BrindlecastApp/Shell/EditMenu.h"

#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Review/ShowsReviewModel.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QMetaObject>
#include <QWidget>

namespace BrindlecastApp {

namespace {

struct Command {
    const char* title;
    const char* slot;
    QKeySequence::StandardKey keys;
};

} // namespace

EditMenu::EditMenu(QObject* parent) : QObject(parent), menu_(new QMenu("Edit")) {
    // The desktop's own keys for each command (Ctrl+Z, Ctrl+Shift+Z, and Ctrl+Y for redo where
    // the desktop has it, and so on), as Qt knows them.
    const Command commands[] = {
        {"Undo", "undo", QKeySequence::Undo},
        {"Redo", "redo", QKeySequence::Redo},
        {nullptr, nullptr, QKeySequence::UnknownKey},
        {"Cut", "cut", QKeySequence::Cut},
        {"Copy", "copy", QKeySequence::Copy},
        {"Paste", "paste", QKeySequence::Paste},
        {"Select All", "selectAll", QKeySequence::SelectAll},
    };
    for (const Command& command : commands) {
        if (!command.title) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(command.title);
        action->setShortcuts(command.keys);
        action->setShortcutContext(Qt::WindowShortcut);
        const char* slot = command.slot;
        connect(action, &QAction::triggered, this, [slot] {
            if (sendToFocus(slot)) return;
            const bool history = qstrcmp(slot, "undo") == 0 || qstrcmp(slot, "redo") == 0;
            ReviewViewModel* model = history ? shownReviewModel() : nullptr;
            if (!model) return;
            if (qstrcmp(slot, "undo") == 0) {
                model->undo();
            } else {
                model->redo();
            }
        });
    }
    qApp->installEventFilter(this);
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible()) attach(window);
}

EditMenu::~EditMenu() {
    if (qApp) qApp->removeEventFilter(this);
    delete menu_;
}

QList<QAction*> EditMenu::actions() const { return menu_->actions(); }

bool EditMenu::sendToFocus(const char* slot) {
    const QByteArray signature = QByteArray(slot) + "()";
    for (QWidget* widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        if (widget->metaObject()->indexOfMethod(signature.constData()) >= 0)
            return QMetaObject::invokeMethod(widget, slot, Qt::DirectConnection);
        if (widget->isWindow()) break;
    }
    return false;
}

ReviewViewModel* EditMenu::shownReviewModel() {
    const auto shown = [](QWidget* widget) -> ReviewViewModel* {
        const auto* holder = dynamic_cast<const ShowsReviewModel*>(widget);
        return holder ? holder->shownReviewModel() : nullptr;
    };
    QWidget* window = QApplication::activeWindow();
    for (QWidget* widget = QApplication::focusWidget(); widget; widget = widget->parentWidget()) {
        if (ReviewViewModel* model = shown(widget)) return model;
        if (widget->isWindow()) break;
    }
    if (!window) return nullptr;
    if (ReviewViewModel* model = shown(window)) return model;
    for (QWidget* widget : window->findChildren<QWidget*>())
        if (ReviewViewModel* model = shown(widget)) return model;
    return nullptr;
}

bool EditMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->isWindow()) attach(widget);
    }
    return QObject::eventFilter(watched, event);
}

void EditMenu::attach(QWidget* window) {
    // Menus and tooltips are windows too, but take no editing commands.
    if (window == menu_ || window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip) return;
    for (QAction* action : menu_->actions())
        if (!action->isSeparator() && !window->actions().contains(action)) window->addAction(action);
}

} // namespace BrindlecastApp
