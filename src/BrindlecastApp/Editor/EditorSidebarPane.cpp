#include "BrindlecastApp/Editor/EditorSidebarPane.h"

#include "BrindlecastApp/Design/GlassPanel.h"
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
      grip_(new SidebarResizeGrip(this)) {
    setObjectName(QStringLiteral("sidebarPane"));
    setAttribute(Qt::WA_TranslucentBackground);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(kInset, kInset, 0, kInset);
    outer->setSpacing(0);
    outer->addWidget(panel_);

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
    setSidebarWidth(sidebarWidth_);
}

void EditorSidebarPane::setSidebarWidth(double width) {
    sidebarWidth_ = width;
    panel_->setFixedWidth(int(std::lround(width)));
    placeGrip();
}

void EditorSidebarPane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeGrip();
}

void EditorSidebarPane::placeGrip() {
    // Over the trailing edge of the padded pane, its full height.
    const int trailing = kInset + panel_->width();
    grip_->setGeometry(trailing - SidebarResizeGrip::kWidth, 0, SidebarResizeGrip::kWidth, height());
    grip_->raise();
}

} // namespace BrindlecastApp
