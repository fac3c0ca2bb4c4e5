#pragma once

#include <QDateTime>
#include <QImage>
#include <QPainterPath>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace BrindlecastApp {

class SpringValue;
class WalkthroughClock;
class WindowSurface;

// The card of the post-capture thumbnail, itself the frameless panel that shows it: the image
// fitted into a 230-pt frame over a caption bar with a close button, a white border, a shadow and
// 14 pt of room around it for the shadow and the slide. With a compositor the room is clear and
// the card fades as it slides; without one the panel is cut to the card as it slides, with no
// fade and no shadow. It slides in from the right when shown, dismisses itself after a 6-second
// wait that hovering (the card or its margin) pauses and leaving restarts in full, and runs
// `onTap` on a click on the card but not on its close button; the margin takes no clicks.
// Dismissing is the controller's: the card only asks, naming itself, and slides out when told to.
// GUI thread only.
class FloatingThumbnailCard : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> onTap;
        // Asks for this card to go: the close button and the expired wait.
        std::function<void(FloatingThumbnailCard*)> onDismiss;
    };

    static constexpr double kAutoDismissSeconds = 6;
    static constexpr int kPadding = 14;
    static constexpr int kFooterHeight = 38;
    static constexpr int kImageWidth = 230;
    static constexpr double kSlideDistance = 300;

    FloatingThumbnailCard(QImage image, QSize thumbSize, QDateTime time, std::function<QDateTime()> now,
                          WalkthroughClock& clock, Actions actions);
    ~FloatingThumbnailCard() override;

    // The panel's size for a thumbnail frame: the frame, the caption bar and the padding.
    static QSize panelSize(QSize thumbSize);

    // Starts sliding out; the wait is cancelled and nothing schedules it again.
    void slideOut();

    QSize thumbSize() const { return thumbSize_; }
    bool isHovering() const { return hovering_; }
    bool isSlidingOut() const { return slidingOut_; }
    bool isDismissalPending() const { return !dismissToken_.isNull(); }
    // The caption's second line, "Tap to edit · " and the relative time, as drawn now.
    QString caption() const;
    // Where the close button and the card sit, in the panel's coordinates at rest.
    QRectF closeButtonRect() const;
    QRectF cardRect() const;
    // The slide's offset to the right of the resting place, 300 off screen to 0 in place.
    double slideOffset() const;
    // The card's outline where the slide has it now, within the panel: what shows and takes clicks.
    QPainterPath visibleCard() const;
    // With a compositor: the margin is clear and the card fades; else the panel is cut to the card.
    bool isSeeThrough() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void scheduleAutoDismiss();
    void cancelAutoDismiss();
    void setHovering(bool hovering);
    // The card with its shadow, drawn again only when what it shows changes (the caption, the
    // hover, the scheme, the device pixels), not for every frame of the slide.
    const QImage& cardImage() const;

    // The capture until the card is first drawn; then only `picture_`, the capture scaled to its
    // frame at the device pixels it was drawn at (the full-size capture is not held for the card's
    // whole stay).
    mutable QImage image_;
    mutable QImage picture_;
    QSize imageSize_;
    struct DrawnCard {
        QImage image;
        QString caption;
        bool hovering = false;
        bool dark = false;
        double scale = 0;
    };
    mutable DrawnCard drawn_;
    QSize thumbSize_;
    QDateTime time_;
    std::function<QDateTime()> now_;
    WalkthroughClock& clock_;
    Actions actions_;
    SpringValue* slide_; // 0 hidden and off to the right, 1 in place
    WindowSurface* surface_ = nullptr;
    bool appeared_ = false;
    bool hovering_ = false;
    bool slidingOut_ = false;
    bool pressOnClose_ = false;
    bool pressed_ = false;
    // The pending dismissal runs only while this object lives; deleting it cancels the wait.
    QPointer<QObject> dismissToken_;
};

} // namespace BrindlecastApp
