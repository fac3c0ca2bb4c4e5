#pragma once

#include "BrindlecastApp/Settings/ApplicationCatalog.h"

#include <QDialog>

#include <optional>
#include <vector>

class QLineEdit;
class QTreeWidget;

namespace BrindlecastApp {

class GlassButton;

// The modal list from which the user picks an application to block: the installed desktop
// entries and the applications with windows on screen, each with its icon, name and ID, a filter
// field, and Cancel / "Block". Double-clicking an application blocks it too.
class ApplicationPicker : public QDialog {
    Q_OBJECT
public:
    explicit ApplicationPicker(std::vector<ApplicationEntry> entries, QWidget* parent = nullptr);

    // The ID of the application picked, once the dialog was accepted.
    std::optional<QString> chosenID() const;

    QTreeWidget* list() const { return list_; }
    QLineEdit* filterField() const { return filter_; }
    GlassButton* blockButton() const { return block_; }

    // Lists the installed applications and those on screen now, runs the picker modally and
    // returns the ID chosen, or nothing when the user cancelled.
    static std::optional<QString> choose(QWidget* parent);
    // The windows on the X display now; none without a display.
    static std::vector<CaptureKit::WindowInfo> onScreenWindows();

private:
    void applyFilter(const QString& text);

    QLineEdit* filter_;
    QTreeWidget* list_;
    GlassButton* block_;
};

} // namespace BrindlecastApp
