#include "BrindlecastApp/Settings/SettingsCheckRow.h"

#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Settings/MacCheckbox.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"

#include <QHBoxLayout>

namespace BrindlecastApp {

SettingsCheckRow::SettingsCheckRow(const QString& title, bool isOn, bool locked, std::function<void()> action,
                                   QWidget* parent)
    : QAbstractButton(parent), checkbox_(new MacCheckbox(isOn)),
      lock_(new SettingsSymbol("lock.fill", 11)) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 11, 14, 11);
    layout->setSpacing(11);
    auto* label = makeSettingsText(title, SettingsControlStyle::font(13), TextLabel::Tone::primary);
    for (QWidget* part : {static_cast<QWidget*>(checkbox_), static_cast<QWidget*>(label), lock_})
        part->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(checkbox_);
    layout->addWidget(label, 1);
    layout->addWidget(lock_);
    ToolTip::install(this);
    setLocked(locked);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

bool SettingsCheckRow::isOn() const { return checkbox_->isOn(); }

void SettingsCheckRow::setOn(bool on) { checkbox_->setOn(on); }

void SettingsCheckRow::setLocked(bool locked) {
    locked_ = locked;
    lock_->setVisible(locked);
    setEnabled(!locked);
    setToolTip(locked ? tr("Managed by your organization") : QString());
}

void SettingsCheckRow::paintEvent(QPaintEvent*) {} // the parts draw themselves; the row has no look of its own

} // namespace BrindlecastApp
