#pragma once

#include "BrindlecastApp/Editor/FloatingThumbnailCard.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class QScreen;

namespace BrindlecastApp {

class Theme;
class WalkthroughClock;

// What the thumbnail asks of the platform; live() is the real one, tests drive their own clock.
struct FloatingThumbnailEnvironment {
    std::shared_ptr<WalkthroughClock> clock;
    std::function<QDateTime()> now;
    // The screen holding the keyboard focus: that of the desktop's active window, else the
    // primary; null when there is no screen.
    std::function<QScreen*()> focusScreen;

    static FloatingThumbnailEnvironment live();
};

// Owns the one thumbnail panel shown after a capture and its life: show() puts up a new card in
// the bottom-right corner of the work area of the screen with the keyboard focus, replacing the
// one up at once; dismiss() slides the card out and takes its panel off screen 0.34 s later. It
// acts on its own card only, so that two controllers (the app's and a preview's) never touch each
// other's panel. GUI thread only.
class FloatingThumbnailController : public QObject {
    Q_OBJECT
public:
    static constexpr int kScreenInset = 26;
    static constexpr double kOrderOutSeconds = 0.34;

    explicit FloatingThumbnailController(Theme& theme,
                                         FloatingThumbnailEnvironment environment = FloatingThumbnailEnvironment::live(),
                                         QObject* parent = nullptr);
    ~FloatingThumbnailController() override;

    // A tap on the card runs `onTap`, then dismisses it.
    void show(const QImage& image, const QDateTime& time, std::function<void()> onTap);
    // Slides the current card out; nothing without one.
    void dismiss();

    // The card on screen (or sliding out), null when none.
    FloatingThumbnailCard* currentCard() const { return current_; }

    // The height of the 230-pt image frame on a screen of that size: its aspect kept, rounded
    // half away from zero; 144 without a screen.
    static int thumbnailHeight(std::optional<QSize> screenSize);
    // The panel's place: `inset` in from the bottom-right corner of `workArea`.
    static QPoint panelOrigin(const QRect& workArea, QSize panel);

    // The developer preview: a drawn sample in the scheme asked for, kept for the process's life.
    static FloatingThumbnailController* presentPreview(bool dark);
    // The preview's sample: a 460 x 288 drawing of a sunset gradient, a sun and a red frame.
    static QImage syntheticShot();

signals:
    // Tells this controller's own card to slide out.
    void dismissing();

private:
    void dismiss(FloatingThumbnailCard* card);
    void orderOut(FloatingThumbnailCard* card);

    Theme& theme_;
    FloatingThumbnailEnvironment environment_;
    QPointer<FloatingThumbnailCard> current_;
};

} // namespace BrindlecastApp
