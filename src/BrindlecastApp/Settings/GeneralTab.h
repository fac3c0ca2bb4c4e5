#pragma once

#include "PolicyKit/EffectivePolicy.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <optional>

namespace BrindlecastApp {

class AppSettings;
class UpdateProvider;
class GlassButton;
class SettingsCheckRow;
class TextLabel;

// The General page: start at login (locked while the organisation locks the agent), the automatic
// updates, the library folder and the six capture options. It keeps nothing of its own but what
// the two update rows show: every other row shows the app settings as they stand and writes
// through their setters. The UPDATES section is there only for an updater that has the switches
// (the package manager's has none); each of its rows is locked while the organisation forces the
// updater's own key for it.
class GeneralTab : public QWidget {
    Q_OBJECT
public:
    // Asks for a folder, starting at the given one; nothing when the user cancelled.
    using FolderChooser = std::function<std::optional<QString>(QWidget* parent, const QString& start)>;
    // The policy as it stands now, resolved afresh.
    using PolicyResolver = std::function<PolicyKit::EffectivePolicy()>;
    // Whether the organisation forces a key of the preference domain, asked afresh.
    using ForcedKeyReader = std::function<bool(const std::string& key)>;

    // The updater's keys that lock the update rows when forced.
    static constexpr const char* kAutomaticChecksKey = "SUEnableAutomaticChecks";
    static constexpr const char* kAutomaticUpdatesKey = "SUAutomaticallyUpdate";

    // `chooser` defaults to the desktop's folder dialog.
    GeneralTab(AppSettings* settings, PolicyResolver resolvePolicy, ForcedKeyReader isForced, FolderChooser chooser = {},
               QWidget* parent = nullptr);

    // Locked only by a "LockAgent" the organisation sets to true.
    static bool startAtLoginLocked(const PolicyKit::EffectivePolicy& policy);
    // The folder with the home folder written "~".
    static QString abbreviatedPath(const QString& folder);
    // `folder` when it exists, else its nearest ancestor that does (the home folder when none does).
    static QString nearestExistingFolder(const QString& folder);

    SettingsCheckRow* startAtLoginRow() const { return loginRow_; }
    const QList<SettingsCheckRow*>& captureRows() const { return captureRows_; }
    // The UPDATES section and its two rows; the section is hidden for an updater without switches.
    QWidget* updatesSection() const { return updatesSection_; }
    SettingsCheckRow* automaticChecksRow() const { return checksRow_; }
    SettingsCheckRow* automaticUpdatesRow() const { return updatesRow_; }
    TextLabel* libraryPathLabel() const { return libraryPath_; }
    GlassButton* changeLibraryButton() const { return change_; }

    // Shows the settings, the policy's lock and the forced update keys as they stand now.
    void refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* updatesCard();
    QWidget* libraryRow();
    void chooseLibrary();
    void writeUpdateSwitch(void (UpdateProvider::*set)(bool), bool on);
    // What the updater reports now, read into the two update rows.
    void readUpdateSwitches();

    AppSettings* settings_;
    PolicyResolver resolvePolicy_;
    ForcedKeyReader isForced_;
    FolderChooser chooser_;
    SettingsCheckRow* loginRow_;
    QWidget* updatesSection_ = nullptr;
    SettingsCheckRow* checksRow_ = nullptr;
    SettingsCheckRow* updatesRow_ = nullptr;
    QList<SettingsCheckRow*> captureRows_;
    TextLabel* libraryPath_ = nullptr;
    GlassButton* change_ = nullptr;
};

} // namespace BrindlecastApp
