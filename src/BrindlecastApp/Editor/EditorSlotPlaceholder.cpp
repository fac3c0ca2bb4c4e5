#include "BrindlecastApp/Editor/EditorSlotPlaceholder.h"

#include "BrindlecastApp/Design/ThemedRoot.h"
#include "Support/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

namespace {
constexpr double kVerticalPadding = 10;
}

EditorSlotPlaceholder::EditorSlotPlaceholder(QString label, std::optional<double> minHeight, QWidget* parent)
    : QWidget(parent), label_(std::move(label)), minHeight_(minHeight) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QFont EditorSlotPlaceholder::font() const { return Support::Fonts::interfaceFont(12, QFont::Medium); }

QSize EditorSlotPlaceholder::sizeHint() const {
    const QFontMetricsF metrics(font());
    const double height = std::max(metrics.height() + 2 * kVerticalPadding, minHeight_.value_or(0));
    return {int(std::ceil(metrics.horizontalAdvance(label_))), int(std::ceil(height))};
}

QSize EditorSlotPlaceholder::minimumSizeHint() const { return {0, sizeHint().height()}; }

void EditorSlotPlaceholder::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(tokensFor(this).secondaryText());
    painter.drawText(rect(), Qt::AlignCenter, label_);
}

} // namespace BrindlecastApp
