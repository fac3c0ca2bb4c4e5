#pragma once

#include "PolicyKit/EffectivePolicy.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <optional>

namespace BrindlecastApp {

class AppSettings;
class GlassButton;
class SettingsCheckRow;
class TextLabel;

// The General page: start at login (locked while the organisation locks the agent), the library
// folder and the six capture options. It keeps nothing of its own: every row shows the app
// settings as they stand and writes through their setters. Update switches are shown only for an
// updater that has them; the package manager's has none.
class GeneralTab : public QWidget {
    Q_OBJECT
public:
    // Asks for a folder, starting at the given one; nothing when the user cancelled.
    using FolderChooser = std::function<std::optional<QString>(QWidget* parent, const QString& start)>;
    // The policy as it stands now, resolved afresh.
    using PolicyResolver = std::function<PolicyKit::EffectivePolicy()>;

    // `chooser` defaults to the desktop's folder dialog.
    GeneralTab(AppSettings* settings, PolicyResolver resolvePolicy, FolderChooser chooser = {}, QWidget* parent = nullptr);

    // Locked only by a "LockAgent" the organisation sets to true.
    static bool startAtLoginLocked(const PolicyKit::EffectivePolicy& policy);
    // The folder with the home folder written "~".
    static QString abbreviatedPath(const QString& folder);

    SettingsCheckRow* startAtLoginRow() const { return loginRow_; }
    const QList<SettingsCheckRow*>& captureRows() const { return captureRows_; }
    TextLabel* libraryPathLabel() const { return libraryPath_; }
    GlassButton* changeLibraryButton() const { return change_; }

    // Shows the settings and the policy's lock as they stand now.
    void refresh();

private:
    QWidget* libraryRow();
    void chooseLibrary();

    AppSettings* settings_;
    PolicyResolver resolvePolicy_;
    FolderChooser chooser_;
    SettingsCheckRow* loginRow_;
    QList<SettingsCheckRow*> captureRows_;
    TextLabel* libraryPath_ = nullptr;
    GlassButton* change_ = nullptr;
};

} // namespace BrindlecastApp
