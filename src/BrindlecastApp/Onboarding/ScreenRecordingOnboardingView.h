#pragma once

#include "BrindlecastApp/Onboarding/WalkthroughEnvironment.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QTimer;

namespace BrindlecastApp {

class OnboardingFooter;
class StepCard;
class ToggleRowIllustration;

// The walkthrough's content: header, the three steps with their pictures, and the footer, which
// watches the capture access. Built waiting (or granted, when access is there already); while it
// is on screen and waiting, a poll asks every second until it sees access, then shows the
// confirmation and, 1.1 s later, calls `onFinished` once, unless `finishContext` is gone by then.
// Access seen at construction never finishes it: the user closes the window. The poll stops when
// the window closes. Must sit under a themed root.
class ScreenRecordingOnboardingView : public QWidget {
    Q_OBJECT
public:
    enum class State { waiting, granted, finished };

    ScreenRecordingOnboardingView(WalkthroughEnvironment environment, QObject* finishContext,
                                  std::function<void()> onFinished, QWidget* parent = nullptr);

    static constexpr int pollMs = 1000;
    static constexpr double finishDelay = 1.1;

    static const QString& title();
    static const QString& subtitle();
    struct Step {
        QString title, caption;
    };
    static const QList<Step>& steps();

    State state() const { return state_; }
    // One tick of the poll.
    void poll();
    // "Open System Settings": asks for access, then opens the desktop's settings, both every time.
    void openSettings();

    const QTimer& pollTimer() const { return *poll_; }
    OnboardingFooter* footer() const { return footer_; }
    const QList<StepCard*>& stepCards() const { return cards_; }
    ToggleRowIllustration* toggleRow() const { return toggleRow_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    WalkthroughEnvironment environment_;
    QPointer<QObject> finishContext_;
    std::function<void()> onFinished_;
    State state_;
    QTimer* poll_;
    OnboardingFooter* footer_;
    ToggleRowIllustration* toggleRow_;
    QList<StepCard*> cards_;
};

} // namespace BrindlecastApp
