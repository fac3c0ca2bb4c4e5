#include "BrindlecastApp/Settings/SettingsCard.h"

#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QApplication>
#include <QPainter>
#include <QSet>
#include <QVBoxLayout>

namespace BrindlecastApp {

SettingsCard::SettingsCard(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    setAttribute(Qt::WA_TranslucentBackground);
}

bool SettingsCard::shows(const QList<QWidget*>& rows) const {
    if (rows.size() != rows_.size()) return false;
    for (int i = 0; i < rows.size(); ++i)
        if (rows_[i].data() != rows[i] || rows[i]->parentWidget() != this) return false;
    return true;
}

void SettingsCard::setRows(const QList<QWidget*>& rows) {
    if (shows(rows)) return;
    // Showing a row in a visible card lays the card out at once; with the layout off, the rows are
    // laid out together once at the end instead of once per row.
    layout_->setEnabled(false);
    const QSet<QWidget*> next(rows.begin(), rows.end());
    for (const QPointer<QWidget>& old : rows_) {
        if (!old || old->parentWidget() != this || next.contains(old.data())) continue;
        if (old->isAncestorOf(QApplication::focusWidget())) setFocus(Qt::OtherFocusReason);
        old->hide();
        old->deleteLater();
    }
    // The items are cheap to make again; the rows themselves are kept. Items are put in directly,
    // since adding a row that was laid out before would search the whole layout for it.
    while (QLayoutItem* item = layout_->takeAt(layout_->count() - 1)) delete item;
    const int lines = std::max(0, int(rows.size()) - 1);
    while (hairlines_.size() > lines) delete hairlines_.takeLast();
    while (hairlines_.size() < lines) hairlines_ << new Hairline(Qt::Horizontal, std::nullopt, this);
    rows_.clear();
    for (QWidget* row : rows) {
        if (!rows_.isEmpty()) {
            Hairline* line = hairlines_[rows_.size() - 1];
            layout_->addItem(new QWidgetItemV2(line));
            line->show();
        }
        if (row->parentWidget() != this) row->setParent(this);
        layout_->addItem(new QWidgetItemV2(row));
        row->show();
        rows_ << row;
    }
    layout_->setEnabled(true);
    layout_->activate();
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
