#include "BrindlecastApp/Editor/EditorStatusBar.h"

#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/Icon.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Review/CanvasRenderer.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Review/ShellControls.h"
#include "Support/Fonts.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kSnapRadius = 8; // the toolbar radius (16) less 8, at least 3
constexpr double kChipFontSize = 12;

void installToolTip(QWidget* widget, const QString& text) {
    widget->setToolTip(text);
    ToolTip::install(widget);
}

// A line of text in the primary colour; with a width, centred in it.
class StatusText : public QWidget {
public:
    StatusText(QFont font, std::optional<int> width, QWidget* parent) : QWidget(parent), font_(std::move(font)), width_(width) {
        setAttribute(Qt::WA_TranslucentBackground);
    }
    void setText(const QString& text) {
        if (text == text_) return;
        text_ = text;
        updateGeometry();
        update();
    }
    QSize sizeHint() const override {
        const QFontMetricsF metrics(font_);
        return {width_.value_or(int(std::ceil(TabularDigits::horizontalAdvance(font_, text_)))),
                int(std::ceil(metrics.height()))};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setFont(font_);
        painter.setPen(tokensFor(this).primaryText());
        TabularDigits::draw(painter, rect(), text_, Qt::AlignHCenter);
    }

private:
    QString text_;
    QFont font_;
    std::optional<int> width_;
};

// Zoom out and in: a 15-point glyph in a 26 x 24 frame that takes clicks everywhere.
class ZoomButton : public QAbstractButton {
public:
    ZoomButton(Icon::Glyph glyph, const QString& help, QWidget* parent) : QAbstractButton(parent), glyph_(glyph) {
        setFixedSize(26, 24);
        setFocusPolicy(Qt::NoFocus);
        installToolTip(this, help);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        constexpr double size = 15;
        Icon::paint(painter, glyph_, QPointF((width() - size) / 2, (height() - size) / 2), size, tokensFor(this).primaryText());
    }

private:
    Icon::Glyph glyph_;
};

// "Fit", "50%", "100%": a title 9 points in from each side, 24 points high, on a tinted rounded
// plate that takes the accent colour while its zoom is the current one.
class SnapButton : public QAbstractButton {
public:
    SnapButton(const QString& title, const QString& help, QWidget* parent) : QAbstractButton(parent) {
        setText(title);
        setObjectName(title);
        setFocusPolicy(Qt::NoFocus);
        installToolTip(this, help);
        setProperty("active", false);
    }
    void setActive(bool active) {
        if (active == active_) return;
        active_ = active;
        setProperty("active", active);
        update();
    }
    bool isActive() const { return active_; }
    QSize sizeHint() const override {
        return {int(std::ceil(TabularDigits::horizontalAdvance(titleFont(), text()) + 18)), 24};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const Tokens t = tokensFor(this);
        const QColor plate = active_ ? Design::withOpacity(t.accent, 0.22) : t.isDark() ? Design::white(0.09) : Design::black(0.05);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), kSnapRadius, kSnapRadius);
        painter.fillPath(shape, plate);
        painter.setFont(titleFont());
        painter.setPen(t.primaryText());
        TabularDigits::draw(painter, rect(), text(), Qt::AlignHCenter);
    }

private:
    static QFont titleFont() { return Support::Fonts::interfaceFont(12, QFont::Medium); }
    bool active_ = false;
};

// The suggested-redactions chip: an eye and "hidden/all" in red; faded, with the eye struck
// through, while every suggested redaction is released.
class SuggestedChip : public QAbstractButton {
public:
    explicit SuggestedChip(QWidget* parent) : QAbstractButton(parent) {
        setObjectName(QStringLiteral("suggestedChip"));
        setFocusPolicy(Qt::NoFocus);
        ToolTip::install(this);
    }
    void show(std::size_t hidden, std::size_t all) {
        anyHidden_ = hidden > 0;
        // Read by whoever checks what the chip shows.
        setProperty("symbol", symbol());
        setProperty("opacity", opacity());
        setText(QStringLiteral("%1/%2").arg(hidden).arg(all));
        setToolTip(anyHidden_ ? QStringLiteral("Suggested PII blurs \u2014 click to release all (they ship exposed)")
                              : QStringLiteral("All suggested blurs released \u2014 click to restore all"));
        updateGeometry();
        update();
    }
    QString symbol() const { return anyHidden_ ? QStringLiteral("eye.fill") : QStringLiteral("eye.slash.fill"); }
    double opacity() const { return anyHidden_ ? 1.0 : 0.55; }
    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        const double side = Symbols::sideForPointSize(kChipFontSize);
        return {int(std::ceil(side + 4 + TabularDigits::horizontalAdvance(font(), text()))),
                int(std::ceil(std::max(side, metrics.height())))};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(opacity());
        const QColor red = CanvasRenderer::systemRed();
        const double side = Symbols::sideForPointSize(kChipFontSize);
        Symbols::paint(painter, symbol(), QRectF(0, (height() - side) / 2, side, side), red, SymbolWeight::semibold);
        painter.setFont(font());
        painter.setPen(red);
        TabularDigits::draw(painter, QRectF(side + 4, 0, width() - side - 4, height()), text());
    }

private:
    static QFont font() { return Support::Fonts::interfaceFont(int(kChipFontSize), QFont::DemiBold); }
    bool anyHidden_ = true;
};

// The frame glyph before the image size, in the secondary text colour of the moment.
class FrameIcon : public QWidget {
public:
    explicit FrameIcon(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(14, 14);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        Icon::paint(painter, Icon::Glyph::frame, QPointF(0, 0), 14, tokensFor(this).secondaryText());
    }
};

// A vertical hairline with 3 points on each side.
QWidget* separator(QWidget* parent) {
    auto* holder = new QWidget(parent);
    holder->setAttribute(Qt::WA_TranslucentBackground);
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(3, 0, 3, 0);
    row->addWidget(new Hairline(Qt::Vertical, std::nullopt, holder));
    return holder;
}

} // namespace

EditorStatusBar::EditorStatusBar(ReviewViewModel& model, QWidget* parent)
    : GlassPanel(GlassVariant::toolbar, Tokens::defaults().radii.toolbar, parent), model_(&model) {
    setObjectName(QStringLiteral("statusBar"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(6);
    row->setSizeConstraint(QLayout::SetFixedSize);

    chips_ = new QWidget(this);
    chips_->setAttribute(Qt::WA_TranslucentBackground);
    auto* chipRow = new QHBoxLayout(chips_);
    chipRow->setContentsMargins(0, 0, 0, 0);
    chipRow->setSpacing(10);
    mandatoryChip_ = new SymbolLabel(QStringLiteral("lock.fill"), CanvasRenderer::systemRed(), chips_);
    mandatoryChip_->setObjectName(QStringLiteral("mandatoryChip"));
    ToolTip::install(mandatoryChip_);
    auto* suggested = new SuggestedChip(chips_);
    suggestedChip_ = suggested;
    chipRow->addWidget(mandatoryChip_);
    chipRow->addWidget(suggestedChip_);
    connect(suggestedChip_, &QAbstractButton::clicked, this, [this] {
        if (model_) model_->toggleAllSuggested();
    });
    row->addWidget(chips_);
    chipSeparator_ = separator(this);
    row->addWidget(chipSeparator_);

    dimensions_ = new QWidget(this);
    dimensions_->setAttribute(Qt::WA_TranslucentBackground);
    auto* dimensionRow = new QHBoxLayout(dimensions_);
    dimensionRow->setContentsMargins(0, 0, 0, 0);
    dimensionRow->setSpacing(6);
    dimensionRow->addWidget(new FrameIcon(dimensions_));
    auto* size = new StatusText(Support::Fonts::interfaceFont(12, QFont::Medium), std::nullopt, dimensions_);
    size->setObjectName(QStringLiteral("dimensions"));
    dimensionRow->addWidget(size);
    row->addWidget(dimensions_);
    row->addWidget(separator(this));

    zoomOut_ = new ZoomButton(Icon::Glyph::minus, QStringLiteral("Zoom out"), this);
    auto* percent = new StatusText(Support::Fonts::interfaceFont(12, QFont::DemiBold), 44, this);
    percent->setObjectName(QStringLiteral("percent"));
    percent_ = percent;
    zoomIn_ = new ZoomButton(Icon::Glyph::plus, QStringLiteral("Zoom in"), this);
    row->addWidget(zoomOut_);
    row->addWidget(percent_);
    row->addWidget(zoomIn_);
    row->addWidget(separator(this));

    fit_ = new SnapButton(QStringLiteral("Fit"), QStringLiteral("Fit to window"), this);
    half_ = new SnapButton(QStringLiteral("50%"), QStringLiteral("Zoom to 50%"), this);
    actual_ = new SnapButton(QStringLiteral("100%"), QStringLiteral("Zoom to 100%"), this);
    for (QAbstractButton* button : {fit_, half_, actual_}) row->addWidget(button);

    connect(zoomOut_, &QAbstractButton::clicked, this, [this] {
        if (model_) model_->setDisplayScale(displayScale() - kZoomStep);
    });
    connect(zoomIn_, &QAbstractButton::clicked, this, [this] {
        if (model_) model_->setDisplayScale(displayScale() + kZoomStep);
    });
    connect(fit_, &QAbstractButton::clicked, this, [this] {
        if (model_) model_->setZoom(1);
    });
    connect(half_, &QAbstractButton::clicked, this, [this] {
        if (model_) model_->setDisplayScale(0.5);
    });
    connect(actual_, &QAbstractButton::clicked, this, [this] {
        if (model_) model_->setDisplayScale(1.0);
    });

    connect(&model, &ReviewViewModel::changed, this, &EditorStatusBar::refresh);
    refresh();
}

double EditorStatusBar::displayScale() const { return model_ ? model_->fitScale() * model_->zoom() : 0; }

std::optional<long long> EditorStatusBar::percent() const {
    const double percent = displayScale() * 100;
    // Beyond a 64-bit integer nothing sensible can be shown either.
    if (!std::isfinite(percent) || std::abs(percent) > 1e15) return std::nullopt;
    return std::llround(percent);
}

QString EditorStatusBar::percentText() const {
    const std::optional<long long> value = percent();
    return value ? QStringLiteral("%1%").arg(*value) : QStringLiteral("\u2014%");
}

QString EditorStatusBar::dimensionsText() const {
    if (!model_) return {};
    return QStringLiteral("%1 \u00D7 %2 px").arg(model_->image().width()).arg(model_->image().height());
}

bool EditorStatusBar::isNear(double scale) const { return std::abs(displayScale() - scale) < 0.005; }

bool EditorStatusBar::fitActive() const { return model_ && std::abs(model_->zoom() - 1) < 0.001; }

void EditorStatusBar::refresh() {
    if (!model_) return;
    const std::size_t mandatory = model_->mandatory().size();
    const std::size_t suggested = model_->suggested().size();
    const std::size_t released = model_->releasedSuggested().size();
    const std::size_t hidden = suggested > released ? suggested - released : 0;

    mandatoryChip_->setVisible(mandatory > 0);
    mandatoryChip_->setText(QString::number(mandatory));
    mandatoryChip_->setToolTip(QStringLiteral("%1 mandatory redactions \u2014 enforced by policy").arg(mandatory));
    suggestedChip_->setVisible(suggested > 0);
    static_cast<SuggestedChip*>(suggestedChip_)->show(hidden, suggested);
    const bool anyChip = mandatory > 0 || suggested > 0;
    chips_->setVisible(anyChip);
    chipSeparator_->setVisible(anyChip);

    dimensions_->findChild<StatusText*>(QStringLiteral("dimensions"))->setText(dimensionsText());
    static_cast<StatusText*>(percent_)->setText(percentText());
    static_cast<SnapButton*>(fit_)->setActive(fitActive());
    static_cast<SnapButton*>(half_)->setActive(isNear(0.5));
    static_cast<SnapButton*>(actual_)->setActive(isNear(1.0));
    adjustSize();
}

} // namespace BrindlecastApp
