#pragma once

#include <QString>

namespace BrindlecastApp::Pipeline {

// Modal alerts of the pipeline, shown with the application brought to the front. Both calls
// return only after the user answered.
class AlertPresenter {
public:
    struct Confirmation {
        QString message;
        QString informativeText;
        QString confirmTitle; // the first, default button
        QString cancelTitle;
    };

    virtual ~AlertPresenter() = default;
    // A message with one OK button.
    virtual void show(const QString& message, const QString& informativeText) = 0;
    // A warning with two buttons; true only for the first.
    virtual bool confirm(const Confirmation& confirmation) = 0;
};

// The desktop's wastebasket.
class Trash {
public:
    virtual ~Trash() = default;
    // Moves the file into the trash. Throws why when it did not move (Support::IoError, or another
    // error of the trash's own).
    virtual void moveToTrash(const QString& path) = 0;
};

} // namespace BrindlecastApp::Pipeline
