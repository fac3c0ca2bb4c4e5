#include "BrindlecastApp/Editor/FloatingThumbnailCard.h"

#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/SpringValue.h"
#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/WalkthroughClock.h"
#include "BrindlecastApp/Design/WindowSurface.h"
#include "Support/DateFormatter.h"
#include "Support/Fonts.h"
#include "Support/RelativeTime.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace BrindlecastApp {

namespace {

constexpr double kRadius = 15;
constexpr double kBorderWidth = 3;
constexpr double kCloseSide = 22;
const Animation kSlideIn = Animation::spring(0.5, 0.82);
const Animation kSlideOut = Animation::spring(0.32, 0.9);

QRectF fitted(QSizeF image, const QRectF& frame) {
    if (image.isEmpty()) return frame;
    const QSizeF size = image.scaled(frame.size(), Qt::KeepAspectRatio);
    return QRectF(frame.center().x() - size.width() / 2, frame.center().y() - size.height() / 2, size.width(),
                  size.height());
}

} // namespace

FloatingThumbnailCard::FloatingThumbnailCard(QImage image, QSize thumbSize, QDateTime time,
                                             std::function<QDateTime()> now, WalkthroughClock& clock, Actions actions)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      image_(std::move(image)), imageSize_(image_.size()), thumbSize_(thumbSize), time_(std::move(time)), now_(std::move(now)), clock_(clock),
      actions_(std::move(actions)), slide_(new SpringValue(this, 0)) {
    setObjectName("FloatingThumbnail");
    setWindowTitle("Brindlecast Thumbnail");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setFixedSize(panelSize(thumbSize_));
    // Only the card shows; without a compositor the panel is cut to it wherever the slide has it.
    surface_ = WindowSurface::attach(this, [this] { return visibleCard(); });
    connect(slide_, &SpringValue::valueChanged, surface_, &WindowSurface::reshape);
}

FloatingThumbnailCard::~FloatingThumbnailCard() = default;

QSize FloatingThumbnailCard::panelSize(QSize thumbSize) {
    return QSize(thumbSize.width() + 2 * kPadding, thumbSize.height() + kFooterHeight + 2 * kPadding);
}

QRectF FloatingThumbnailCard::cardRect() const {
    return QRectF(kPadding, kPadding, thumbSize_.width(), thumbSize_.height() + kFooterHeight);
}

QRectF FloatingThumbnailCard::closeButtonRect() const {
    const QRectF card = cardRect();
    return QRectF(card.right() - 11 - kCloseSide, card.top() + thumbSize_.height() + (kFooterHeight - kCloseSide) / 2,
                  kCloseSide, kCloseSide);
}

double FloatingThumbnailCard::slideOffset() const { return (1 - slide_->value()) * kSlideDistance; }

QPainterPath FloatingThumbnailCard::visibleCard() const {
    QPainterPath card;
    card.addRoundedRect(cardRect().translated(slideOffset(), 0), kRadius, kRadius);
    QPainterPath panel;
    panel.addRect(rect());
    return card.intersected(panel);
}

bool FloatingThumbnailCard::isSeeThrough() const { return surface_->isSeeThrough(); }

QString FloatingThumbnailCard::caption() const {
    const QDateTime now = now_();
    // Under a minute, and a capture time a little ahead of the clock, read as "just now".
    const qint64 seconds = time_.secsTo(now);
    const QString when = seconds < 60
        ? tr("just now")
        : Support::shortRelativeTime(time_, now, Support::DateFormatter::localeId());
    return tr("Tap to edit \u00B7 ") + when;
}

// --- The wait --------------------------------------------------------------------------------

void FloatingThumbnailCard::scheduleAutoDismiss() {
    cancelAutoDismiss();
    // A card on its way out has asked to go already; a wait now could only reach a newer card.
    if (slidingOut_) return;
    auto* token = new QObject(this);
    dismissToken_ = token;
    clock_.after(kAutoDismissSeconds, token, [this, token] {
        dismissToken_ = nullptr;
        token->deleteLater();
        if (actions_.onDismiss) actions_.onDismiss(this);
    });
}

void FloatingThumbnailCard::cancelAutoDismiss() { delete dismissToken_.data(); }

void FloatingThumbnailCard::slideOut() {
    cancelAutoDismiss();
    slidingOut_ = true;
    slide_->animateTo(0, kSlideOut);
}

void FloatingThumbnailCard::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (appeared_) return;
    appeared_ = true;
    slide_->animateTo(1, kSlideIn);
    scheduleAutoDismiss();
}

// --- Pointer ---------------------------------------------------------------------------------

void FloatingThumbnailCard::setHovering(bool hovering) {
    if (hovering_ == hovering) return;
    hovering_ = hovering;
    update();
}

void FloatingThumbnailCard::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setHovering(true);
    cancelAutoDismiss();
}

void FloatingThumbnailCard::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHovering(false);
    scheduleAutoDismiss();
}

void FloatingThumbnailCard::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    // The margin around the card takes the pointer's hover, not its clicks.
    if (!visibleCard().contains(event->position())) return;
    pressed_ = true;
    pressOnClose_ = closeButtonRect().translated(slideOffset(), 0).contains(event->position());
}

void FloatingThumbnailCard::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return QWidget::mouseReleaseEvent(event);
    pressed_ = false;
    if (slidingOut_) return;
    if (pressOnClose_) {
        // The close button dismisses alone; it is never also a click on the card.
        const QRectF close = closeButtonRect().translated(slideOffset(), 0);
        if (close.contains(event->position()) && actions_.onDismiss) actions_.onDismiss(this);
        return;
    }
    // The bands and the caption bar take the click too: the whole card is the button.
    if (actions_.onTap) actions_.onTap();
}

// --- Drawing ---------------------------------------------------------------------------------

const QImage& FloatingThumbnailCard::cardImage() const {
    const double scale = devicePixelRatioF();
    const QString text = caption();
    const bool dark = tokensFor(this).scheme == ColorScheme::dark;
    if (!drawn_.image.isNull() && drawn_.caption == text && drawn_.hovering == hovering_ && drawn_.dark == dark &&
        drawn_.scale == scale)
        return drawn_.image;
    QImage canvas((QSizeF(size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(scale);
    canvas.fill(Qt::transparent);
    const QRectF card = cardRect();
    QPainterPath shape;
    shape.addRoundedRect(card, kRadius, kRadius);
    {
        QPainter p(&canvas);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.setClipPath(shape);
        p.fillRect(card, Qt::black);
        const QRectF frame(card.topLeft(), QSizeF(thumbSize_));
        const QRectF place = fitted(QSizeF(imageSize_), frame);
        const QSize device = (place.size() * scale).toSize().expandedTo(QSize(1, 1));
        if (picture_.size() != device) {
            // Scaled from the capture the first time, from the picture itself should the screen's
            // pixel ratio change later.
            const QImage& source = image_.isNull() ? picture_ : image_;
            picture_ = source.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            image_ = QImage();
        }
        p.save();
        p.setClipRect(frame, Qt::IntersectClip);
        p.drawImage(place, picture_);
        p.restore();

        // The caption bar: a thin material of the scheme under black at 72 %.
        const QRectF footer(card.left(), frame.bottom(), card.width(), kFooterHeight);
        p.fillRect(footer, dark ? QColor(40, 40, 44, 150) : QColor(250, 250, 252, 150));
        p.fillRect(footer, QColor(0, 0, 0, int(0.72 * 255)));

        const double textLeft = footer.left() + 11;
        const double textRight = closeButtonRect().left() - 6;
        QFont title = Support::Fonts::interfaceFontOfSize(12, QFont::DemiBold);
        QFont detail = Support::Fonts::interfaceFontOfSize(10.5, QFont::Normal);
        const double titleHeight = QFontMetricsF(title).height();
        const double detailHeight = QFontMetricsF(detail).height();
        const double top = footer.center().y() - (titleHeight + 1 + detailHeight) / 2;
        p.setFont(title);
        p.setPen(Qt::white);
        p.drawText(QRectF(textLeft, top, textRight - textLeft, titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   tr("Screenshot"));
        p.setFont(detail);
        p.setPen(QColor(255, 255, 255, int(0.6 * 255)));
        TabularDigits::draw(p, QRectF(textLeft, top + titleHeight + 1, textRight - textLeft, detailHeight), text);

        // The close button: a faint disc, brighter while the pointer is anywhere over the panel.
        const QRectF close = closeButtonRect();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, int((hovering_ ? 0.32 : 0.16) * 255)));
        p.drawEllipse(close);
        QPen cross(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap);
        p.setPen(cross);
        const double arm = 3.3;
        const QPointF c = close.center();
        p.drawLine(c + QPointF(-arm, -arm), c + QPointF(arm, arm));
        p.drawLine(c + QPointF(-arm, arm), c + QPointF(arm, -arm));

        // The border along the inside of the edge.
        p.setClipping(false);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255, int(0.92 * 255)), kBorderWidth));
        const double inset = kBorderWidth / 2;
        p.drawRoundedRect(card.adjusted(inset, inset, -inset, -inset), kRadius - inset, kRadius - inset);
    }
    drawn_ = {ShadowPainter::apply(canvas, {Tokens::Shadow{QColor(0, 0, 0, int(0.38 * 255)), 9, 0, 4}}, scale), text,
              hovering_, dark, scale};
    drawn_.image.setDevicePixelRatio(scale);
    return drawn_.image;
}

void FloatingThumbnailCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (isSeeThrough()) {
        p.setOpacity(std::clamp(slide_->value(), 0.0, 1.0));
    } else {
        // Cut to the card, the panel shows no fade (a clear pixel is black there); under the
        // card's smoothed edge lies the white of its border, not black.
        p.fillRect(rect(), Qt::white);
    }
    p.drawImage(QPointF(slideOffset(), 0), cardImage());
}

} // namespace BrindlecastApp
