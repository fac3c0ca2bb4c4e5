#include "BrindlecastApp/Editor/EditorSidebarPane.h"

#include "BrindlecastApp/Design/Fade.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/SpringValue.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/SidebarResizeGrip.h"
#include "BrindlecastApp/Editor/SidebarToggle.h"
#include "BrindlecastApp/Editor/SidebarWidth.h"
#include "BrindlecastApp/Design/Window/WindowDragArea.h"
#include "Support/UserDefaults.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr int kHeaderPadding = 10;

// The sidebar's radius sits 8 points inside the window's.
double sidebarRadius() { return std::max(Tokens::defaults().radii.window - EditorSidebarPane::kInset, 3.0); }

} // namespace

EditorSidebarPane::EditorSidebarPane(QWidget* slot, QWidget* parent)
    : QWidget(parent), sidebarWidth_(SidebarWidth::load(Support::UserDefaults::standard())), slot_(slot),
      panel_(new GlassPanel(GlassVariant::sidebar, sidebarRadius(), this)), toggle_(new SidebarToggle),
      grip_(new SidebarResizeGrip(this)), presence_(new SpringValue(this, 1)) {
    setObjectName(QStringLiteral("sidebarPane"));
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);

    auto* column = new QVBoxLayout(panel_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    // The header's empty part moves the window.
    auto* header = new WindowDragArea(panel_);
    header->setObjectName(QStringLiteral("sidebarHeader"));
    header->setFixedHeight(kHeaderHeight);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(kHeaderPadding, 0, kHeaderPadding, 0);
    headerRow->addStretch(1);
    toggle_->setParent(header);
    headerRow->addWidget(toggle_);
    connect(toggle_, &QAbstractButton::clicked, this, &EditorSidebarPane::toggleClicked);
    column->addWidget(header);
    if (slot) column->addWidget(slot, 1);
    else column->addStretch(1);

    connect(grip_, &SidebarResizeGrip::dragged, this, [this](double translation) {
        const double base = resizeBaseWidth_.value_or(sidebarWidth_);
        resizeBaseWidth_ = base;
        setSidebarWidth(SidebarWidth::dragged(base, translation));
    });
    connect(grip_, &SidebarResizeGrip::dragEnded, this, [this] {
        resizeBaseWidth_.reset();
        SidebarWidth::store(Support::UserDefaults::standard(), sidebarWidth_);
    });
    connect(presence_, &SpringValue::valueChanged, this, &EditorSidebarPane::place);
    connect(presence_, &SpringValue::settled, this, [this] {
        if (presence_->target() == 0) hide();
    });
    setSidebarWidth(sidebarWidth_);
}

void EditorSidebarPane::present(bool shown, bool animated) {
    if (shown) show();
    if (animated) {
        presence_->animateTo(shown ? 1 : 0, tokensFor(this).motion.quick);
    } else {
        presence_->jumpTo(shown ? 1 : 0);
        place();
        if (!shown) hide();
    }
}

double EditorSidebarPane::presence() const { return presence_->value(); }

int EditorSidebarPane::fullWidth() const { return kInset + panel_->width(); }

void EditorSidebarPane::setSidebarWidth(double width) {
    sidebarWidth_ = width;
    panel_->setFixedWidth(int(std::lround(width)));
    place();
}

void EditorSidebarPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void EditorSidebarPane::place() {
    // The row gives the pane as much room as the sidebar has come in; the panel slides in from the
    // leading edge by what is still missing, so its trailing edge meets the content column.
    const double presence = presence_->value();
    const int reserved = std::max(0, int(std::lround(presence * fullWidth())));
    if (width() != reserved || minimumWidth() != reserved) setFixedWidth(reserved);
    panel_->setGeometry(reserved - panel_->width(), kInset, panel_->width(), std::max(0, height() - 2 * kInset));
    // With no room at all nothing shows: a pane at rest, in or out, carries no effect.
    Fade::setOpacity(*this, presence <= 0 ? 1 : presence);
    // Over the trailing edge of the padded pane, its full height.
    grip_->setGeometry(reserved - SidebarResizeGrip::kWidth, 0, SidebarResizeGrip::kWidth, height());
    grip_->raise();
}

} // namespace BrindlecastApp
