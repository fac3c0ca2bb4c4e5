#include "BrindlecastApp/Settings/ExportTab.h"

#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Settings/MiniSegmented.h"
#include "BrindlecastApp/Design/PillToggle.h"
#include "BrindlecastApp/Settings/PolicySettings.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsCheckRow.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLayout>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace BrindlecastApp {

using PolicyKit::ExportDestination;
using PolicyKit::PolicySource;
using PolicyKit::SidecarMode;
using PolicyKit::WatermarkConfig;
namespace Key = PolicyKit::PolicyKey;

namespace {

bool contains(const std::vector<ExportDestination>& list, ExportDestination d) {
    return std::find(list.begin(), list.end(), d) != list.end();
}

QString managedHelp() { return ExportTab::tr("Managed by your organization"); }

// A row of the page's own: title, a gap, the lock while locked, then the control.
QWidget* controlRow(const QString& title, QWidget* control, bool locked, const QString& help = QString()) {
    QWidget* row = makeSettingsRow(11);
    row->layout()->addWidget(makeSettingsText(title, SettingsControlStyle::font(13), TextLabel::Tone::primary));
    static_cast<QBoxLayout*>(row->layout())->addStretch(1);
    static_cast<QBoxLayout*>(row->layout())->addSpacing(1); // with the 11-point spacing: at least 12
    if (locked) row->layout()->addWidget(new SettingsSymbol("lock.fill", 11));
    row->layout()->addWidget(control);
    if (!help.isEmpty()) {
        row->setToolTip(help);
        ToolTip::install(row);
    }
    return row;
}

} // namespace

bool ExportTab::isLastDestination(const std::vector<ExportDestination>& allowed, ExportDestination destination) {
    if (!contains(allowed, destination)) return false;
    const ExportDestination other =
        destination == ExportDestination::clipboard ? ExportDestination::folder : ExportDestination::clipboard;
    return destination != ExportDestination::uploadEndpoint && !contains(allowed, other);
}

std::vector<ExportDestination> ExportTab::toggled(const std::vector<ExportDestination>& allowed, ExportDestination destination) {
    std::vector<ExportDestination> result = allowed;
    if (contains(allowed, destination)) std::erase(result, destination);
    else result.push_back(destination);
    return result;
}

QString ExportTab::storageCaptionText(SidecarMode mode) {
    switch (mode) {
    case SidecarMode::off: return tr("Annotations are not saved between sessions.");
    case SidecarMode::file:
        return tr("Annotations save to a .brindlecast.json next to the image. Exports are always flattened.");
    case SidecarMode::embedded: break;
    }
    return tr("Annotations travel inside the working-copy PNG. Exports are always flattened.");
}

ExportTab::ExportTab(AppSettings* settings, PolicySettings* policy, QWidget* parent)
    : QWidget(parent), settings_(settings), policy_(policy), destinations_(new SettingsCard), watermark_(new SettingsCard),
      storage_(new SettingsCard) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(22);
    page->addWidget(makeSettingsSection(tr("EXPORT DESTINATIONS"), destinations_,
                                        tr("At least one destination stays on. Exports are always flattened, redacted, "
                                           "and audited. Library working copies stay PNG regardless of format.")));
    page->addWidget(makeSettingsSection(tr("WATERMARK"), watermark_,
                                        tr("Stamped bottom-right into every new screenshot at capture, and refreshed on "
                                           "export.")));
    QWidget* storage = makeSettingsSection(tr("ANNOTATION STORAGE"), storage_, QString(""));
    storageCaption_ = storage->findChild<QLabel*>("caption");
    page->addWidget(storage);
    page->addStretch(1);
    if (policy_) connect(policy_, &PolicySettings::changed, this, &ExportTab::scheduleRebuild);
    connect(settings_, &AppSettings::changed, this, &ExportTab::scheduleRebuild);
    rebuild();
}

void ExportTab::scheduleRebuild() {
    // The clicked control may be one of the rows replaced: redraw once control is back in the loop.
    if (rebuildPending_) return;
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        rebuildPending_ = false;
        rebuild();
    });
}

void ExportTab::rebuild() {
    if (!policy_) return;
    const PolicyKit::EffectivePolicy& p = policy_->policy();
    destinations_->setRows({destinationRow(tr("Copy to clipboard"), ExportDestination::clipboard),
                            destinationRow(tr("Save to library folder"), ExportDestination::folder), formatRow()});

    const bool watermarkLocked = p.source(Key::watermark) == PolicySource::managed;
    QList<QWidget*> watermarkRows{watermarkSwitchRow(watermarkLocked)};
    if (p.watermark.enabled) {
        const auto checkRow = [&](const QString& title, bool on, bool WatermarkConfig::*field) {
            return new SettingsCheckRow(title, on, watermarkLocked, [this, field] {
                if (!policy_) return;
                WatermarkConfig w = policy_->policy().watermark;
                w.*field = !(w.*field);
                policy_->setWatermark(w);
            });
        };
        watermarkRows << checkRow(tr("Include user name"), p.watermark.includeUser, &WatermarkConfig::includeUser)
                      << checkRow(tr("Include device name"), p.watermark.includeDevice, &WatermarkConfig::includeDevice)
                      << checkRow(tr("Include timestamp"), p.watermark.includeTimestamp, &WatermarkConfig::includeTimestamp);
    }
    watermark_->setRows(watermarkRows);
    storage_->setRows({storageRow()});
    if (storageCaption_) storageCaption_->setText(storageCaptionText(p.sidecarMode));
}

QWidget* ExportTab::destinationRow(const QString& label, ExportDestination destination) {
    const std::vector<ExportDestination>& allowed = policy_->policy().allowedExportDestinations;
    const bool on = contains(allowed, destination);
    const bool managed = policy_->policy().source(Key::allowedExportDestinations) == PolicySource::managed;
    const bool last = isLastDestination(allowed, destination);
    auto* row = new SettingsCheckRow(label, on, managed || last, [this, destination] {
        if (policy_) policy_->setAllowedExportDestinations(toggled(policy_->policy().allowedExportDestinations, destination));
    });
    if (!managed && last) row->setToolTip(tr("At least one export destination must stay on"));
    return row;
}

QWidget* ExportTab::formatRow() {
    using Format = AppSettings::ExportImageFormat;
    auto* control = new MiniSegmented<Format>({{"PNG", Format::png}, {"JPEG", Format::jpeg}}, settings_->exportFormat(), false,
                                              [this](const Format& format) { settings_->setExportFormat(format); });
    return controlRow(tr("Image format"), control, false);
}

QWidget* ExportTab::watermarkSwitchRow(bool locked) {
    auto* toggle = new PillToggle(policy_->policy().watermark.enabled, [this](bool) {
        if (!policy_) return;
        WatermarkConfig w = policy_->policy().watermark;
        w.enabled = !w.enabled;
        policy_->setWatermark(w);
    });
    toggle->setEnabled(!locked);
    if (locked) {
        auto* dim = new QGraphicsOpacityEffect(toggle);
        dim->setOpacity(0.5);
        toggle->setGraphicsEffect(dim);
    }
    toggle->setObjectName("watermarkSwitch");
    return controlRow(tr("Add watermark to exports"), toggle, locked, locked ? managedHelp() : QString());
}

QWidget* ExportTab::storageRow() {
    const PolicyKit::EffectivePolicy& p = policy_->policy();
    // A mode the organisation names, or sidecars it forbids, leave the user nothing to choose.
    const bool locked = p.source(Key::sidecarMode) == PolicySource::managed || policy_->sidecarsForbiddenByOrganisation();
    auto* control = new MiniSegmented<SidecarMode>(
        {{tr("Embedded"), SidecarMode::embedded}, {tr("Separate file"), SidecarMode::file}, {tr("Off"), SidecarMode::off}},
        p.sidecarMode, locked, [this](const SidecarMode& mode) {
            if (policy_) policy_->write(Key::sidecarMode, nlohmann::json(rawValue(mode).toStdString()));
        });
    control->setObjectName("storageControl");
    const bool forbidden = locked && p.source(Key::sidecarMode) != PolicySource::managed;
    return controlRow(tr("Keep annotations editable"), control, locked, forbidden ? managedHelp() : QString());
}

} // namespace BrindlecastApp
