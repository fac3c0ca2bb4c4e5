#include "BrindlecastApp/Editor/Popovers/PopoverControls.h"

#include "BrindlecastApp/Design/Motion.h"
#include "BrindlecastApp/Design/SpringHover.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Review/Color.h"
#include "Support/Fonts.h"

#include <QConicalGradient>
#include <QEvent>
#include <QGraphicsEffect>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kHoverScale = 1.18;
constexpr double kRingGap = 3;
constexpr int kColumns = 5;
constexpr int kSpacing = 9;
constexpr int kMinimumColumn = 10;
const QColor kEdge(0, 0, 0, int(0.15 * 255));

// The edge of a colour disc: black at 0.15 over the light panel; over the dark one that would
// hide the near-black swatch, which wears the strip's rim instead.
QColor edgeFor(const QWidget* widget) { return tokensFor(widget).isDark() ? swatchRimFor(widget) : kEdge; }

// The entrance of a popover's panel: drawn faded, lowered and shrunk about the top centre by the
// part of the entrance still to come. Starts each time the panel is shown.
class FloatInEffect : public QGraphicsEffect {
public:
    explicit FloatInEffect(QWidget* panel) : QGraphicsEffect(panel), panel_(panel) {
        QObject::connect(&progress_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            shown_ = v.toDouble();
            update();
        });
        panel->installEventFilter(this);
    }

    PopoverControls::FloatInFrame frame() const {
        return {shown_, 14 * (1 - shown_), 0.985 + 0.015 * shown_};
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == panel_ && event->type() == QEvent::Show) {
            progress_.stop();
            shown_ = 0;
            Motion::configure(progress_, PopoverControls::floatInAnimation(), reduceMotionFor(panel_));
            progress_.setStartValue(0.0);
            progress_.setEndValue(1.0);
            progress_.start();
        } else if (watched == panel_ && event->type() == QEvent::Hide) {
            // Nothing animates on the way out; the next showing starts from the beginning.
            progress_.stop();
            shown_ = 0;
        }
        return false;
    }

    void draw(QPainter* painter) override {
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, QGraphicsEffect::PadToEffectiveBoundingRect);
        const PopoverControls::FloatInFrame f = frame();
        painter->save();
        painter->setOpacity(painter->opacity() * f.opacity);
        const QRectF bounds = boundingRectFor(sourceBoundingRect(Qt::LogicalCoordinates));
        const QPointF topCentre(bounds.center().x(), bounds.top());
        painter->translate(0, f.offset);
        painter->translate(topCentre);
        painter->scale(f.scale, f.scale);
        painter->translate(-topCentre);
        painter->setRenderHint(QPainter::SmoothPixmapTransform, f.scale != 1);
        painter->drawPixmap(offset, pixmap);
        painter->restore();
    }

private:
    QWidget* panel_;
    QVariantAnimation progress_;
    double shown_ = 0;
};

} // namespace

namespace PopoverControls {

const QStringList& palette() {
    static const QStringList colours{"#FF3B30", "#FF9500", "#FFCC00", "#34C759", "#00C7BE",
                                     "#30B0C7", "#32ADE6", "#007AFF", "#5856D6", "#AF52DE",
                                     "#FF2D55", "#A2845E", "#8E8E93", "#1D1D1F", "#FFFFFF"};
    return colours;
}

Animation floatInAnimation() { return Animation::easeOut(0.16); }

void floatIn(QWidget* panel) {
    if (!panel || dynamic_cast<FloatInEffect*>(panel->graphicsEffect())) return;
    panel->setGraphicsEffect(new FloatInEffect(panel));
}

FloatInFrame floatInFrame(const QWidget* panel) {
    if (const auto* effect = panel ? dynamic_cast<const FloatInEffect*>(panel->graphicsEffect()) : nullptr)
        return effect->frame();
    return {};
}

} // namespace PopoverControls

// --- Header and divider --------------------------------------------------------------------------

namespace {

QFont headerFont() {
    QFont font = Support::Fonts::interfaceFontOfSize(11, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    return font;
}

} // namespace

PopoverHeader::PopoverHeader(QString title, QWidget* parent) : QWidget(parent), title_(std::move(title)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QString PopoverHeader::shownText() const { return title_.toUpper(); }

QSize PopoverHeader::sizeHint() const {
    const QFontMetricsF metrics(headerFont());
    return QSize(int(std::ceil(metrics.horizontalAdvance(shownText()))), int(std::ceil(metrics.height())));
}

void PopoverHeader::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(headerFont());
    p.setPen(tokensFor(this).secondaryText());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, shownText());
}

PopoverDivider::PopoverDivider(QWidget* parent) : QWidget(parent) {
    setFixedHeight(1);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QColor PopoverDivider::color() const {
    return tokensFor(this).isDark() ? QColor(255, 255, 255, int(0.10 * 255)) : QColor(0, 0, 0, int(0.08 * 255));
}

void PopoverDivider::paintEvent(QPaintEvent*) { QPainter(this).fillRect(rect(), color()); }

// --- Swatch and grid -----------------------------------------------------------------------------

Swatch::Swatch(QString hex, bool selected, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), hex_(std::move(hex)), selected_(selected), hover_(new SpringHover(this)) {
    setFixedSize(kSide, kSide);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setAccessibleName(hex_);
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) action();
    });
}

void Swatch::setSelectedSwatch(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

double Swatch::drawnScale() const { return 1 + (kHoverScale - 1) * hover_->amount(); }

QRectF Swatch::discRect() const {
    return QRectF((width() - kDisc) / 2.0, (height() - kDisc) / 2.0, kDisc, kDisc);
}

bool Swatch::hitButton(const QPoint& pos) const { return discRect().contains(pos); }

void Swatch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc = discRect();
    // Disc, edge and ring grow together about the centre.
    p.translate(disc.center());
    p.scale(drawnScale(), drawnScale());
    p.translate(-disc.center());
    p.setPen(Qt::NoPen);
    p.setBrush(Color::fromHex(hex_).toQColor());
    p.drawEllipse(disc);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(edgeFor(this), 1));
    p.drawEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5));
    if (selected_) {
        // Laid out always, shown only when selected: 28 across, a 1-pt gap from the disc.
        p.setPen(QPen(tokensFor(this).accent, 2));
        p.drawEllipse(disc.adjusted(-kRingGap + 1, -kRingGap + 1, kRingGap - 1, kRingGap - 1));
    }
}

PaletteGrid::PaletteGrid(std::optional<QString> selection, std::function<void(const QString&)> onPick, QWidget* leading,
                         QWidget* parent)
    : QWidget(parent), leading_(leading), onPick_(std::move(onPick)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (leading_) leading_->setParent(this);
    for (const QString& hex : PopoverControls::palette()) {
        swatches_.push_back(new Swatch(hex, false, [this, hex] {
            if (onPick_) onPick_(hex);
        }, this));
    }
    setSelection(selection);
}

void PaletteGrid::setSelection(const std::optional<QString>& selection) {
    for (Swatch* swatch : swatches_)
        swatch->setSelectedSwatch(selection && swatch->hex().compare(*selection, Qt::CaseInsensitive) == 0);
}

int PaletteGrid::cellCount() const { return int(swatches_.size()) + (leading_ ? 1 : 0); }

int PaletteGrid::heightForWidth(int) const {
    const int rows = (cellCount() + kColumns - 1) / kColumns;
    // Rows are as high as the disc; the ring and the hover growth reach into the margin.
    return rows * Swatch::kDisc + (rows - 1) * kSpacing + 2 * ((Swatch::kSide - Swatch::kDisc) / 2);
}

QSize PaletteGrid::sizeHint() const {
    const int width = kColumns * (Swatch::kDisc + kSpacing) - kSpacing + (Swatch::kSide - Swatch::kDisc);
    return QSize(width, heightForWidth(width));
}

void PaletteGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void PaletteGrid::place() {
    const int margin = (Swatch::kSide - Swatch::kDisc) / 2;
    const double inner = width() - 2 * margin;
    const double column = std::max<double>(kMinimumColumn, (inner - (kColumns - 1) * kSpacing) / kColumns);
    const double used = kColumns * column + (kColumns - 1) * kSpacing;
    const double left = margin + (inner - used) / 2; // centred
    int cell = 0;
    const auto centreOf = [&](int index) {
        const int row = index / kColumns;
        const int col = index % kColumns;
        return QPointF(left + col * (column + kSpacing) + column / 2,
                       margin + row * (Swatch::kDisc + kSpacing) + Swatch::kDisc / 2.0);
    };
    if (leading_) {
        const QPointF c = centreOf(cell++);
        leading_->setGeometry(QRect(int(std::lround(c.x() - column / 2)), int(c.y() - Swatch::kDisc / 2.0),
                                    int(column), Swatch::kDisc));
    }
    for (Swatch* swatch : swatches_) {
        const QPointF c = centreOf(cell++);
        swatch->move(int(std::lround(c.x() - Swatch::kSide / 2.0)), int(std::lround(c.y() - Swatch::kSide / 2.0)));
    }
}

// --- Custom colour row -----------------------------------------------------------------------------

CustomColorRow::CustomColorRow(std::function<QColor()> current, ReviewViewModel& model,
                               CustomColorPanel::OnChange onChange, QWidget* parent)
    : QAbstractButton(parent), current_(std::move(current)), model_(model), onChange_(std::move(onChange)) {
    setToolTip(tr("More colors"));
    setText(tr("Custom Color\u2026"));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(30);
    // Opening writes nothing: the chooser is preset before it is bound to the capture.
    connect(this, &QAbstractButton::clicked, this,
            [this] { CustomColorPanel::open(current_ ? current_() : QColor(), model_, onChange_); });
}

QSize CustomColorRow::sizeHint() const {
    const QFontMetrics metrics(Support::Fonts::interfaceFontOfSize(13, QFont::Medium));
    return QSize(4 + 22 + 10 + metrics.horizontalAdvance(text()) + 4, 30);
}

void CustomColorRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // The wheel never shows the bound colour: it is always the same.
    const QRectF wheel(4, (height() - 22) / 2.0, 22, 22);
    QConicalGradient hues(wheel.center(), 0);
    const QColor stops[] = {QColor(255, 59, 48),  QColor(255, 149, 0), QColor(255, 204, 0),  QColor(52, 199, 89),
                            QColor(50, 173, 230), QColor(88, 86, 214), QColor(175, 82, 222), QColor(255, 59, 48)};
    for (int i = 0; i < 8; ++i) hues.setColorAt(i / 7.0, stops[i]);
    p.setPen(Qt::NoPen);
    p.setBrush(hues);
    p.drawEllipse(wheel);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(edgeFor(this), 1));
    p.drawEllipse(wheel.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setFont(Support::Fonts::interfaceFontOfSize(13, QFont::Medium));
    p.setPen(tokensFor(this).primaryText());
    p.drawText(QRectF(wheel.right() + 10, 0, width() - wheel.right() - 14, height()), Qt::AlignLeft | Qt::AlignVCenter,
               text());
}

} // namespace BrindlecastApp
