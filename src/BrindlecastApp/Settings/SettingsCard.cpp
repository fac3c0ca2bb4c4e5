#include "BrindlecastApp/Settings/SettingsCard.h"

#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QPainter>
#include <QVBoxLayout>

namespace BrindlecastApp {

SettingsCard::SettingsCard(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    setAttribute(Qt::WA_TranslucentBackground);
}

void SettingsCard::setRows(const QList<QWidget*>& rows) {
    while (QLayoutItem* item = layout_->takeAt(0)) delete item;
    qDeleteAll(hairlines_);
    hairlines_.clear();
    for (const QPointer<QWidget>& old : rows_) {
        if (old && old->parentWidget() == this && !rows.contains(old.data())) {
            old->hide();
            old->deleteLater();
        }
    }
    rows_.clear();
    for (QWidget* row : rows) {
        if (!rows_.isEmpty()) {
            auto* line = new Hairline(Qt::Horizontal, std::nullopt, this);
            hairlines_ << line;
            layout_->addWidget(line);
        }
        layout_->addWidget(row);
        row->show();
        rows_ << row;
    }
}

QColor SettingsCard::background() const {
    return tokensFor(this).isDark() ? Design::white(0.09 * 0.5) : Design::black(0.05 * 0.5);
}

QColor SettingsCard::border() const { return tokensFor(this).isDark() ? Design::white(0.10) : Design::black(0.08); }

void SettingsCard::paintEvent(QPaintEvent*) {
    const double radius = tokensFor(this).radii.button;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(continuousRoundedRect(rect(), radius), background());
    // A widget cannot draw beyond its edge, so the 1-point border runs just inside it.
    painter.setPen(QPen(border(), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(continuousRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5));
}

} // namespace BrindlecastApp
