#include "BrindlecastApp/Onboarding/PermissionOnboardingController.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"
#include "BrindlecastApp/Design/Window/WindowDragArea.h"
#include "BrindlecastApp/Onboarding/ScreenRecordingOnboardingView.h"
#include "BrindlecastApp/Settings/OverlayScrollBar.h"

#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace BrindlecastApp {

QSize PermissionOnboardingController::windowSizeFor(int contentHeight) {
    // A caption is never cut: fonts that set taller than the design's grow the window to fit.
    return {designSize.width(), std::max(designSize.height(), contentHeight)};
}

PermissionOnboardingController::PermissionOnboardingController(Theme& theme, WalkthroughEnvironment environment,
                                                               QObject* parent)
    : QObject(parent), window_(new EditorWindowChrome) {
    window_->setWindowTitle(kTitle);
    window_->setObjectName(QStringLiteral("screenRecordingWindow"));
    window_->setStripHeight(44);
    window_->setCornerInset(0);
    ThemedRoot::install(window_, &theme);

    panel_ = new GlassPanel(GlassVariant::window, window_->cornerRadius());
    window_->keepRounding(panel_);
    auto* windowLayout = new QVBoxLayout(window_);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->addWidget(panel_);

    // Presses on anything that does not take them (text, pictures, gaps) reach the drag area.
    auto* dragArea = new WindowDragArea;
    auto* panelLayout = new QVBoxLayout(panel_);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(dragArea);
    auto* dragLayout = new QVBoxLayout(dragArea);
    dragLayout->setContentsMargins(0, 0, 0, 0);
    // On a screen shorter than the walkthrough (a small one at 2x) the window is shrunk to it and
    // the steps scroll instead of being squeezed.
    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    new OverlayScrollBar(scroll);
    dragLayout->addWidget(scroll);
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addStretch(); // content shorter than the window sits in its middle
    QPointer<EditorWindowChrome> window = window_;
    view_ = new ScreenRecordingOnboardingView(std::move(environment), this, [window] {
        if (window) window->close();
    });
    pageLayout->addWidget(view_);
    pageLayout->addStretch();
    scroll->setWidget(page);
    page->setAutoFillBackground(false); // the scroll area fills what it is given; the glass shows through

    int contentHeight = view_->heightForWidth(designSize.width());
    if (contentHeight < 0) contentHeight = view_->sizeHint().height();
    window_->setFixedSizeMode(windowSizeFor(contentHeight));
    ScreenPlacement::centre(*window_, window_->size());
}

PermissionOnboardingController::~PermissionOnboardingController() { delete window_.data(); }

bool PermissionOnboardingController::isVisible() const { return window_ && window_->isVisible(); }

void PermissionOnboardingController::present() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

} // namespace BrindlecastApp
