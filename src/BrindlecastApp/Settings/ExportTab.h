#pragma once

#include "PolicyKit/PolicyTypes.h"

#include <QPointer>
#include <QWidget>

#include <vector>

class QLabel;

namespace BrindlecastApp {

class AppSettings;
class PolicySettings;
class SettingsCard;

// The Export page: where exports may go (one destination always stays on), the export image
// format, the watermark and where annotations are kept. Policy rows show the resolved policy and
// lock while the organisation manages their key; every change is written at once through the
// shared PolicySettings or the app settings, and the page redraws from what they then hold.
class ExportTab : public QWidget {
    Q_OBJECT
public:
    ExportTab(AppSettings* settings, PolicySettings* policy, QWidget* parent = nullptr);

    SettingsCard* destinationsCard() const { return destinations_; }
    SettingsCard* watermarkCard() const { return watermark_; }
    SettingsCard* storageCard() const { return storage_; }
    QLabel* storageCaption() const { return storageCaption_; }

    // Whether the row of `destination` is the last one on: `allowed` holds no other of the
    // clipboard and the folder (however often each is listed; the upload endpoint never counts).
    static bool isLastDestination(const std::vector<PolicyKit::ExportDestination>& allowed,
                                  PolicyKit::ExportDestination destination);
    // The list after the row of `destination` was clicked: every entry of it removed when it was
    // on, else it appended. Other entries keep their order.
    static std::vector<PolicyKit::ExportDestination> toggled(const std::vector<PolicyKit::ExportDestination>& allowed,
                                                             PolicyKit::ExportDestination destination);
    static QString storageCaptionText(PolicyKit::SidecarMode mode);

    // Draws every row from the model and the settings now (it does so by itself after changes).
    void rebuild();

private:
    QWidget* destinationRow(const QString& label, PolicyKit::ExportDestination destination);
    QWidget* formatRow();
    QWidget* watermarkSwitchRow(bool locked);
    QWidget* storageRow();
    void scheduleRebuild();

    AppSettings* settings_;
    QPointer<PolicySettings> policy_;
    SettingsCard* destinations_;
    SettingsCard* watermark_;
    SettingsCard* storage_;
    QLabel* storageCaption_ = nullptr;
    bool rebuildPending_ = false;
};

} // namespace BrindlecastApp
