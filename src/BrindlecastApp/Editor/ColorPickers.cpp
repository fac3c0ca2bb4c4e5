#include "BrindlecastApp/Editor/ColorPickers.h"

#include "BrindlecastApp/Design/SchemePopup.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Review/Color.h"

#include <QAction>
#include <QConicalGradient>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QMenu>
#include <QPainter>

namespace BrindlecastApp {

namespace {

constexpr QSize kHitSize{22, 24};
constexpr double kDot = 14;
constexpr double kRing = 21;
constexpr double kRingWidth = 1.5;

QRectF centred(const QRectF& area, double side) {
    return {area.center().x() - side / 2, area.center().y() - side / 2, side, side};
}


// A swatch or the custom well: the selection ring under a 14-point dot, in a 22 x 24 frame that
// takes clicks everywhere.
class ColorDot : public QAbstractButton {
public:
    using Fill = std::function<QBrush(const QRectF& dot)>;
    ColorDot(Fill fill, bool rim, QWidget* parent) : QAbstractButton(parent), fill_(std::move(fill)), rim_(rim) {
        setFixedSize(kHitSize);
        setFocusPolicy(Qt::NoFocus);
    }
    void setRing(bool ring) {
        if (ring == ring_) return;
        ring_ = ring;
        update();
    }
    bool ring() const { return ring_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area(rect());
        if (ring_) {
            painter.setPen(QPen(tokensFor(this).accent, kRingWidth));
            painter.setBrush(Qt::NoBrush);
            // Stroked inside its 21-point circle.
            painter.drawEllipse(centred(area, kRing - kRingWidth));
        }
        const QRectF dot = centred(area, kDot);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill_(dot));
        painter.drawEllipse(dot);
        if (rim_) {
            // A point wide, inside the dot's edge.
            painter.setPen(QPen(swatchRimFor(this), 1));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
        }
    }

private:
    Fill fill_;
    bool rim_;
    bool ring_ = false;
};

QBrush rainbow(const QRectF& dot) {
    // Red, orange, yellow, green, cyan, blue, purple and red again, evenly about the centre.
    const QList<QColor> hues{QColor(255, 59, 48), QColor(255, 149, 0), QColor(255, 204, 0), QColor(52, 199, 89),
                             QColor(50, 173, 230), QColor(0, 122, 255), QColor(175, 82, 222), QColor(255, 59, 48)};
    QConicalGradient gradient(dot.center(), 0);
    for (int i = 0; i < hues.size(); ++i) gradient.setColorAt(double(i) / (hues.size() - 1), hues[i]);
    return gradient;
}

class OutlineDot : public QAbstractButton {
public:
    explicit OutlineDot(QWidget* parent) : QAbstractButton(parent) {
        setFixedSize(kHitSize);
        setFocusPolicy(Qt::NoFocus);
        setObjectName(QStringLiteral("outlineColorWell"));
    }
    void setColor(const std::optional<QString>& hex) {
        hex_ = hex;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(isEnabled() ? 1.0 : 0.35);
        const QRectF dot = centred(QRectF(rect()), kDot);
        QBrush fill;
        if (hex_) {
            fill = Color::fromHex(*hex_).toQColor();
        } else {
            // A hard split: black on the left half, white on the right.
            QLinearGradient split(dot.left(), 0, dot.right(), 0);
            split.setColorAt(0, Qt::black);
            split.setColorAt(0.5, Qt::black);
            split.setColorAt(0.5001, Qt::white);
            split.setColorAt(1, Qt::white);
            fill = split;
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawEllipse(dot);
        painter.setPen(QPen(swatchRimFor(this), 0.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(dot);
    }

private:
    std::optional<QString> hex_;
};

} // namespace

SwatchPicker::SwatchPicker(const QStringList& swatches, QWidget* parent) : StylePicker(7, parent) {
    setObjectName(QStringLiteral("swatchRow"));
    for (const QString& hex : swatches) {
        const QColor color = Color::fromHex(hex).toQColor();
        auto* swatch = new ColorDot([color](const QRectF&) { return QBrush(color); }, true, this);
        swatch->setObjectName(hex);
        setStripHelp(swatch, QStringLiteral("Set color"));
        connect(swatch, &QAbstractButton::clicked, this, [this, hex] { emit colorPicked(hex); });
        row()->addWidget(swatch);
        swatches_ << swatch;
    }
    auto* well = new ColorDot(&rainbow, false, this);
    well->setObjectName(QStringLiteral("customColorWell"));
    setStripHelp(well, QStringLiteral("More colors"));
    connect(well, &QAbstractButton::clicked, this, &SwatchPicker::customColorRequested);
    row()->addWidget(well);
    well_ = well;
}

void SwatchPicker::setActiveColor(const QString& hex) {
    active_ = hex;
    const QString wanted = hex.toUpper();
    bool anySwatch = false;
    for (QAbstractButton* button : swatches_) {
        const bool current = button->objectName().toUpper() == wanted;
        anySwatch = anySwatch || current;
        static_cast<ColorDot*>(button)->setRing(current);
        button->setToolTip(current ? QStringLiteral("Current color") : QStringLiteral("Set color"));
    }
    static_cast<ColorDot*>(well_)->setRing(!anySwatch);
}

bool SwatchPicker::ringShown(int index) const {
    const QAbstractButton* button = index < 0 ? well_ : swatches_.value(index);
    return button && static_cast<const ColorDot*>(button)->ring();
}

OutlineColorWell::OutlineColorWell(QWidget* parent)
    : StylePicker(0, parent), button_(new OutlineDot(this)), auto_(new QAction(QStringLiteral("Auto (contrast)"), this)) {
    row()->addWidget(button_);
    button_->addAction(auto_);
    // The menu is a window of its own: it is shown in the strip's scheme.
    button_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(button_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        auto* menu = new QMenu(button_);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(auto_);
        SchemePopup::follow(*menu, *button_);
        menu->popup(button_->mapToGlobal(at));
    });
    connect(button_, &QAbstractButton::clicked, this, &OutlineColorWell::colorRequested);
    connect(auto_, &QAction::triggered, this, &OutlineColorWell::automaticRequested);
    setOutlineColor(std::nullopt);
}

void OutlineColorWell::setOutlineColor(const std::optional<QString>& hex) {
    hex_ = hex;
    static_cast<OutlineDot*>(button_)->setColor(hex);
    setStripHelp(button_, hex ? QStringLiteral("Outline color (right-click for auto)")
                              : QStringLiteral("Outline color: auto contrast"));
}

void OutlineColorWell::setOutlineOn(bool on) {
    // A disabled button also keeps its context menu shut.
    button_->setEnabled(on);
    button_->update();
}

} // namespace BrindlecastApp
