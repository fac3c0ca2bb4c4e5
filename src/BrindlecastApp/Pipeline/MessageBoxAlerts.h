#pragma once

#include "BrindlecastApp/Pipeline/Presenters.h"

namespace BrindlecastApp::Pipeline {

// The pipeline's alerts as application-modal message boxes, raised and activated over whatever
// application is in front.
class MessageBoxAlerts final : public AlertPresenter {
public:
    void show(const QString& message, const QString& informativeText) override;
    bool confirm(const Confirmation& confirmation) override;
};

} // namespace BrindlecastApp::Pipeline
