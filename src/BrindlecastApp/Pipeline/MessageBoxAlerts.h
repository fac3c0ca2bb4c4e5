#pragma once

#include "BrindlecastApp/Pipeline/Presenters.h"

#include <QPointer>

class QMessageBox;

namespace BrindlecastApp {
class Theme;
}

namespace BrindlecastApp::Pipeline {

// The pipeline's alerts as application-modal message boxes, raised and activated over whatever
// application is in front, in the app's theme.
class MessageBoxAlerts final : public AlertPresenter {
public:
    explicit MessageBoxAlerts(QPointer<Theme> theme = {}) : theme_(std::move(theme)) {}

    void show(const QString& message, const QString& informativeText) override;
    bool confirm(const Confirmation& confirmation) override;

private:
    int run(QMessageBox& box) const;

    QPointer<Theme> theme_;
};

} // namespace BrindlecastApp::Pipeline
