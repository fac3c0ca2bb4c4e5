#include "BrindlecastApp/Editor/MoreMenu.h"

#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/SizedText.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/FlatButton.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace BrindlecastApp {

namespace {

constexpr double kSidePadding = 9;
constexpr double kSpacing = 8;
constexpr double kSymbolFrame = 18;
constexpr double kRadius = 7;

SizedText titleText() { return SizedText(Support::Fonts::interfaceFont(QFont::Medium), 12.5); }
QFont hintFont() { return Support::Fonts::interfaceFont(11); }

// The desktop's red for destructive commands, a little lighter on dark surfaces.
QColor systemRed(const Tokens& t) { return t.isDark() ? QColor(255, 69, 58) : QColor(255, 59, 48); }

} // namespace

MoreMenuRow::MoreMenuRow(QString title, QString systemImage, bool enabled, std::optional<QString> shortcutHint,
                         bool destructive, std::function<void(Qt::KeyboardModifiers)> action, QWidget* parent)
    : QWidget(parent), title_(std::move(title)), systemImage_(std::move(systemImage)), enabled_(enabled),
      shortcutHint_(std::move(shortcutHint)), destructive_(destructive), action_(std::move(action)) {
    setObjectName(title_);
    setAttribute(Qt::WA_Hover);
    setFixedHeight(kHeight);
    setAccessibleName(title_);
}

QColor MoreMenuRow::fill() const {
    return hovering_ && enabled_ ? FlatLook::hoverTint(this) : QColor(Qt::transparent);
}

QColor MoreMenuRow::foreground() const {
    const Tokens t = tokensFor(this);
    return destructive_ ? systemRed(t) : t.primaryText();
}

QSize MoreMenuRow::sizeHint() const {
    double width = 2 * kSidePadding + kSymbolFrame + kSpacing + titleText().horizontalAdvance(title_);
    if (shortcutHint_) width += kSpacing + QFontMetricsF(hintFont()).horizontalAdvance(*shortcutHint_);
    return {int(std::ceil(width)), kHeight};
}

void MoreMenuRow::paintEvent(QPaintEvent*) {
    const Tokens t = tokensFor(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(enabled_ ? 1.0 : 0.4);
    const QRectF bounds = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill());
    painter.drawPath(continuousRoundedRect(bounds, kRadius));

    const QColor ink = foreground();
    const double side = Symbols::sideForPointSize(12);
    double x = kSidePadding;
    Symbols::paint(painter, systemImage_, QRectF(x + (kSymbolFrame - side) / 2, bounds.center().y() - side / 2, side, side),
                   ink);
    x += kSymbolFrame + kSpacing;
    double right = bounds.right() - kSidePadding;
    if (shortcutHint_) {
        painter.setFont(hintFont());
        painter.setPen(t.secondaryText());
        const double hintWidth = QFontMetricsF(hintFont()).horizontalAdvance(*shortcutHint_);
        painter.drawText(QRectF(right - hintWidth, 0, hintWidth, bounds.height()), Qt::AlignRight | Qt::AlignVCenter,
                         *shortcutHint_);
        right -= hintWidth + kSpacing;
    }
    painter.setPen(ink);
    titleText().draw(painter, QRectF(x, 0, std::max(0.0, right - x), bounds.height()), Qt::AlignLeft | Qt::AlignVCenter, title_);
}

void MoreMenuRow::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QWidget::enterEvent(event);
}

void MoreMenuRow::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QWidget::leaveEvent(event);
}

void MoreMenuRow::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    event->accept();
}

void MoreMenuRow::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    event->accept();
    // Shift comes from this click itself, not from the keyboard's state later.
    if (click && enabled_ && action_) action_(event->modifiers());
}

MoreMenuPanel::MoreMenuPanel(Actions actions, QWidget* parent) : QWidget(parent), actions_(std::move(actions)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(2);
    // Every row closes the menu before its callback runs.
    const auto closingThen = [this](std::function<void(Qt::KeyboardModifiers)> then) {
        return [this, then = std::move(then)](Qt::KeyboardModifiers modifiers) {
            const std::function<void(Qt::KeyboardModifiers)> callback = then;
            if (actions_.closeMenu) actions_.closeMenu();
            if (callback) callback(modifiers);
        };
    };
    const auto plain = [](const std::function<void()>& callback) {
        return [callback](Qt::KeyboardModifiers) {
            if (callback) callback();
        };
    };
    column->addWidget(new MoreMenuRow("Show in Files", "folder", true, std::nullopt, false,
                                      closingThen(plain(actions_.onShowInFinder)), this));
    column->addWidget(new MoreMenuRow("Export to Folder", "square.and.arrow.up", actions_.exportEnabled, std::nullopt,
                                      false, closingThen(plain(actions_.onExportFolder)), this));
    column->addWidget(new MoreMenuRow("Flatten Image", "square.2.layers.3d.bottom.filled", true, std::nullopt, false,
                                      closingThen(plain(actions_.onFlatten)), this));
    auto* divider = new QWidget(this);
    auto* dividerLayout = new QVBoxLayout(divider);
    dividerLayout->setContentsMargins(0, 2, 0, 2);
    dividerLayout->addWidget(new Hairline(Qt::Horizontal, std::nullopt, divider));
    column->addWidget(divider);
    column->addWidget(new MoreMenuRow("Delete Screenshot", "trash", true, QStringLiteral("Ctrl+Backspace"), true,
                                      closingThen([onDelete = actions_.onDeleteImage](Qt::KeyboardModifiers modifiers) {
                                          if (onDelete) onDelete(!(modifiers & Qt::ShiftModifier));
                                      }),
                                      this));
    // 200 points, or wider where a row's title and hint would not fit side by side.
    int widest = 0;
    for (MoreMenuRow* row : rows()) widest = std::max(widest, row->sizeHint().width());
    setFixedWidth(std::max(kWidth, widest + 16));
}

QList<MoreMenuRow*> MoreMenuPanel::rows() const { return findChildren<MoreMenuRow*>(QString(), Qt::FindDirectChildrenOnly); }

MoreMenuRow* MoreMenuPanel::row(const QString& title) const {
    for (MoreMenuRow* candidate : rows())
        if (candidate->title() == title) return candidate;
    return nullptr;
}

} // namespace BrindlecastApp
