#pragma once

class QComboBox;
class QFileDialog;
class QWidget;

namespace BrindlecastApp::SchemePopup {

// A list that drops down from a control (a menu's list, a completion list) is a window of its own:
// it takes no palette from the window it belongs to, and a list drawn as a menu is given the
// application's. These keep such a list in the scheme of its owner's themed window, as it is each
// time the list shows.
void follow(QWidget& popup, const QWidget& owner);
void follow(QComboBox& box);

// A file dialog in the scheme of `parent`'s themed window, its drop-down and completion lists
// included.
void follow(QFileDialog& dialog, const QWidget* parent);

} // namespace BrindlecastApp::SchemePopup
