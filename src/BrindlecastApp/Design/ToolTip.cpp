#include "BrindlecastApp/Design/ToolTip.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/WindowSurface.h"

#include "Support/Fonts.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QScreen>

#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr int kFontSize = 11;
constexpr double kPaddingX = 8;
constexpr double kPaddingY = 4;
constexpr int kBelowPointer = 18;

QFont tipFont() { return Support::Fonts::interfaceFont(kFontSize, QFont::Normal); }

QPointer<ToolTip>& sharedTip() {
    static QPointer<ToolTip> tip;
    return tip;
}

// Turns the toolkit's tool tip requests of the installed widgets into ours.
class ToolTipFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget) return false;
        switch (event->type()) {
        case QEvent::ToolTip: {
            const auto* help = static_cast<QHelpEvent*>(event);
            ToolTip::showText(widget->toolTip(), widget, help->globalPos() + QPoint(0, kBelowPointer));
            return true; // the toolkit's own box must not show as well
        }
        case QEvent::Leave:
        case QEvent::Hide:
        case QEvent::MouseButtonPress:
        case QEvent::EnabledChange:
            if (ToolTip* tip = ToolTip::visibleTip(); tip && tip->owner() == widget) ToolTip::hideText();
            break;
        default:
            break;
        }
        return false;
    }
};

ToolTipFilter* filter() {
    static QPointer<ToolTipFilter> instance;
    if (!instance) instance = new ToolTipFilter(qApp);
    return instance;
}

} // namespace

ToolTip::ToolTip()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      // Rounded where a compositor shows the corners clear, else a square opaque box.
      surface_(WindowSurface::attach(this, [this] {
          QPainterPath whole;
          whole.addRect(rect());
          return whole;
      })) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setObjectName(QStringLiteral("designToolTip"));
}

void ToolTip::install(QWidget* widget) {
    if (widget) widget->installEventFilter(filter());
}

ToolTip* ToolTip::visibleTip() {
    ToolTip* tip = sharedTip();
    return tip && tip->isVisible() ? tip : nullptr;
}

void ToolTip::showText(const QString& text, QWidget* owner, const QPoint& globalPosition) {
    if (text.isEmpty() || !owner) {
        hideText();
        return;
    }
    if (!sharedTip()) sharedTip() = new ToolTip;
    ToolTip* tip = sharedTip();
    tip->text_ = text;
    tip->owner_ = owner;
    tip->resize(tip->sizeHint());
    QPoint position = globalPosition;
    // Kept on the owner's screen.
    if (QScreen* screen = owner->screen()) {
        const QRect area = screen->availableGeometry();
        position.setX(std::clamp(position.x(), area.left(), std::max(area.left(), area.right() - tip->width())));
        if (position.y() + tip->height() > area.bottom()) position.setY(globalPosition.y() - tip->height() - 2 * kBelowPointer);
    }
    tip->move(position);
    tip->update();
    tip->show();
    tip->raise();
}

void ToolTip::hideText() {
    if (ToolTip* tip = sharedTip()) {
        tip->hide();
        tip->owner_ = nullptr;
    }
}

QSize ToolTip::sizeHint() const {
    const QFontMetricsF metrics(tipFont());
    return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text_) + 2 * kPaddingX)),
            static_cast<int>(std::ceil(metrics.height() + 2 * kPaddingY))};
}

void ToolTip::paintEvent(QPaintEvent*) {
    // The owner's scheme, so the tip matches the window it belongs to.
    const Tokens t = tokensFor(owner_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QColor fill = t.isDark() ? QColor(44, 44, 48) : QColor(250, 250, 252);
    const QColor edge = t.isDark() ? Design::hairline() : Design::black(0.12);
    const bool opaque = !surface_->isSeeThrough();
    const double radius = opaque ? 0 : t.radii.small;
    if (opaque) painter.fillRect(rect(), fill);
    painter.setPen(QPen(edge, 1));
    painter.setBrush(fill);
    painter.drawPath(continuousRoundedRect(bounds, radius));
    painter.setFont(tipFont());
    painter.setPen(t.primaryText());
    painter.drawText(QRectF(rect()), Qt::AlignCenter, text_);
}

} // namespace BrindlecastApp
