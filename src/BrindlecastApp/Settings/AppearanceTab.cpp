#include "BrindlecastApp/Settings/AppearanceTab.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Settings/AccentSwatch.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "BrindlecastApp/Settings/ThemeSegmented.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace BrindlecastApp {

AppearanceTab::AppearanceTab(QWidget* parent)
    : QWidget(parent), mode_(new ThemeSegmented(ThemeSegmented::standardItems())) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(22);

    auto* themeRow = new QWidget;
    themeRow->setAttribute(Qt::WA_TranslucentBackground);
    auto* themeLayout = new QHBoxLayout(themeRow);
    themeLayout->setContentsMargins(14, 11, 14, 11);
    themeLayout->addWidget(makeSettingsText(tr("Appearance"), SettingsControlStyle::font(13), TextLabel::Tone::primary), 1);
    themeLayout->addSpacing(12);
    themeLayout->addWidget(mode_);
    auto* themeCard = new SettingsCard;
    themeCard->setRows({themeRow});
    page->addWidget(makeSettingsSection(tr("THEME"), themeCard));

    auto* accentRow = new QWidget;
    accentRow->setAttribute(Qt::WA_TranslucentBackground);
    auto* accentLayout = new QHBoxLayout(accentRow);
    accentLayout->setContentsMargins(16, 14, 16, 14);
    accentLayout->setSpacing(16);
    for (const QColor& color : Theme::accentSwatches()) {
        auto* swatch = new AccentSwatch(color);
        swatches_ << swatch;
        accentLayout->addWidget(swatch);
    }
    accentLayout->addStretch(1);
    auto* accentCard = new SettingsCard;
    accentCard->setRows({accentRow});
    page->addWidget(makeSettingsSection(tr("ACCENT COLOR"), accentCard));
    page->addStretch(1);
}

} // namespace BrindlecastApp
