#pragma once

#include "BrindlecastApp/Onboarding/WalkthroughEnvironment.h"

#include <QObject>
#include <QPointer>
#include <QSize>

#include <memory>

namespace BrindlecastApp {

class EditorWindowChrome;
class GlassPanel;
class ScreenRecordingOnboardingView;
class Theme;

// The "Screen Recording" walkthrough window: a fixed-size glass panel, centred when built, moved by
// its background, with only its close button alive. It is 470 x 615 points, taller only when its
// content needs more, never smaller, and the user cannot resize it. Closing (by the button or when
// access arrived) hides it and ends its poll and animations; the window and its view live until
// the controller goes.
class PermissionOnboardingController : public QObject {
    Q_OBJECT
public:
    PermissionOnboardingController(Theme& theme, WalkthroughEnvironment environment, QObject* parent = nullptr);
    ~PermissionOnboardingController() override;

    static constexpr QSize designSize{470, 615};
    static inline const QString kTitle = QStringLiteral("Screen Recording");

    // The window's size for content that needs `contentHeight` points at the design width.
    static QSize windowSizeFor(int contentHeight);

    EditorWindowChrome* window() const { return window_; }
    ScreenRecordingOnboardingView* view() const { return view_; }
    bool isVisible() const;
    // Shows the window (or brings it forward), makes it active and puts it in front.
    void present();
    // A theme the controller must keep alive for its window (the preview's own).
    void keepTheme(std::shared_ptr<Theme> theme) { ownTheme_ = std::move(theme); }

private:
    std::shared_ptr<Theme> ownTheme_;
    QPointer<EditorWindowChrome> window_;
    GlassPanel* panel_ = nullptr;
    ScreenRecordingOnboardingView* view_ = nullptr;
};

} // namespace BrindlecastApp
