#include "BrindlecastApp/Review/StyleInspector.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/WindowSurface.h"
#include "BrindlecastApp/Review/Color.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Review/ShellControls.h"
#include "Support/Fonts.h"

#include <QColorDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace BrindlecastApp {

namespace {

// The slider moves in tenths of a pixel.
constexpr double kSliderSteps = 10;
constexpr int kWidth = 220;

// A round well in the colour it shows; a click opens the colour chooser.
class ColorWell : public QWidget {
public:
    ColorWell(StyleInspector* inspector, QWidget* parent) : QWidget(parent), inspector_(inspector) {
        setFixedSize(44, 22);
        setCursor(Qt::PointingHandCursor);
        setObjectName(QStringLiteral("colorWell"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Design::hairline(), 1));
        painter.setBrush(inspector_->shownColor());
        painter.drawPath(continuousRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6));
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (rect().contains(event->position().toPoint())) inspector_->chooseColor();
    }

private:
    StyleInspector* inspector_;
};

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Support::Fonts::interfaceFont(11));
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, tokensFor(parent).secondaryText());
    label->setPalette(p);
    return label;
}

} // namespace

StyleInspector::StyleInspector(ReviewViewModel& model, QWidget* parent)
    : QWidget(parent), model_(&model), well_(nullptr), caption_(nullptr), slider_(new QSlider(Qt::Horizontal, this)) {
    // Rounded; without a compositor to show the corners clear it is cut to its outline.
    surface_ = WindowSurface::attach(
        this, [this] { return continuousRoundedRect(QRectF(rect()), tokensFor(this).radii.popover); });
    setObjectName(QStringLiteral("styleInspector"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);

    auto* colorRow = new QHBoxLayout;
    colorRow->setContentsMargins(0, 0, 0, 0);
    auto* colorTitle = new QLabel(QStringLiteral("Color"), this);
    colorTitle->setFont(Support::Fonts::interfaceFont(13));
    QPalette p = colorTitle->palette();
    p.setColor(QPalette::WindowText, tokensFor(this).primaryText());
    colorTitle->setPalette(p);
    colorRow->addWidget(colorTitle);
    colorRow->addStretch(1);
    well_ = new ColorWell(this, this);
    colorRow->addWidget(well_);
    column->addLayout(colorRow);

    auto* sizeColumn = new QVBoxLayout;
    sizeColumn->setSpacing(4);
    caption_ = caption(QString(), this);
    sizeColumn->addWidget(caption_);
    slider_->setObjectName(QStringLiteral("widthSlider"));
    sizeColumn->addWidget(slider_);
    column->addLayout(sizeColumn);

    connect(slider_, &QSlider::valueChanged, this, [this](int value) {
        if (!refreshing_) pickWidth(value / kSliderSteps);
    });
    connect(&model, &ReviewViewModel::changed, this, &StyleInspector::refresh);
    setFixedWidth(kWidth);
    refresh();
}

QColor StyleInspector::shownColor() const {
    const auto style = model_ ? model_->selectedStyle() : std::nullopt;
    return Color::fromHex(style ? style->colorHex : QStringLiteral("#FF3B30")).toQColor();
}

double StyleInspector::shownWidth() const {
    const auto style = model_ ? model_->selectedStyle() : std::nullopt;
    return style ? style->lineWidth : 3;
}

QString StyleInspector::sizeCaption() const {
    return model_ && model_->selectedIsText() ? QStringLiteral("Text size") : QStringLiteral("Line width");
}

void StyleInspector::chooseColor() {
    // Not a child of the popover: a popup is deleted when it closes, and would take the chooser along.
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    auto* dialog = new QColorDialog(shownColor(), owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOptions(QColorDialog::DontUseNativeDialog);
    dialog->setWindowTitle(QStringLiteral("Color"));
    const QColor original = shownColor();
    const auto write = [model = model_](const QColor& color) {
        if (model) model->updateSelectedStyle(Color::hexRGB(color), std::nullopt, std::nullopt);
    };
    connect(dialog, &QColorDialog::currentColorChanged, dialog, write);
    // Cancel takes back what the chooser tried.
    connect(dialog, &QDialog::rejected, dialog, [dialog, original, write] {
        if (dialog->currentColor() != original) write(original);
    });
    close();
    dialog->open();
}

void StyleInspector::pickWidth(double width) {
    if (model_) model_->updateSelectedStyle(std::nullopt, width, std::nullopt);
}

void StyleInspector::refresh() {
    if (!model_) return;
    refreshing_ = true;
    const auto range = model_->selectedSizeRange();
    slider_->setRange(int(std::lround(range.lowerBound * kSliderSteps)), int(std::lround(range.upperBound * kSliderSteps)));
    const double width = shownWidth();
    if (std::isfinite(width)) slider_->setValue(int(std::lround(width * kSliderSteps)));
    caption_->setText(sizeCaption());
    refreshing_ = false;
    well_->update();
}

QSize StyleInspector::sizeHint() const { return {kWidth, QWidget::sizeHint().height()}; }

void StyleInspector::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Design::hairline(), 1));
    painter.setBrush(FrostedCard::material());
    const double radius = tokensFor(this).radii.popover;
    // Cut to its outline, it lies on an opaque base there: a clear pixel would show black.
    if (!surface_->isSeeThrough()) painter.fillRect(rect(), QColor(36, 36, 40));
    painter.drawPath(continuousRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius));
}

} // namespace BrindlecastApp
