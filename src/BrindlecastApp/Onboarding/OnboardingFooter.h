#pragma once

#include <QAnimationGroup>
#include <QVariantAnimation>
#include <QWidget>

#include <functional>

class QGraphicsOpacityEffect;

namespace BrindlecastApp {

class GlassButton;

// The foot of the walkthrough. Waiting: the "Open System Settings" button over a breathing accent
// dot and the waiting line. Granted: a green check and the confirmation, faded in with the quick
// motion token (0.01 s with reduce motion). Nothing turns it back.
class OnboardingFooter : public QWidget {
    Q_OBJECT
public:
    OnboardingFooter(bool granted, std::function<void()> openSettings, QWidget* parent = nullptr);

    static const QString& buttonTitle();
    static const QString& waitingText();
    static const QString& grantedText();

    bool isGranted() const { return granted_; }
    void showGranted(); // animated
    GlassButton* button() const { return button_; }
    QWidget* waitingRow() const { return waiting_; }
    QWidget* grantedRow() const { return grantedRow_; }
    const QVariantAnimation& transition() const { return transition_; }
    // The waiting dot's opacity now: 1 until it starts breathing down to 0.25 on screen.
    double dotOpacity() const { return dotOpacity_; }
    const QAbstractAnimation& breathing() const { return *breathing_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void setProgress(double progress);

    bool granted_;
    GlassButton* button_;
    QWidget* waiting_;
    QWidget* grantedRow_;
    QGraphicsOpacityEffect* waitingFade_;
    QGraphicsOpacityEffect* grantedFade_;
    QVariantAnimation transition_;
    QAnimationGroup* breathing_;
    double dotOpacity_ = 1;
};

} // namespace BrindlecastApp
