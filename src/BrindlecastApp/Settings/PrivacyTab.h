#pragma once

#include "BrindlecastApp/Settings/ApplicationCatalog.h"
#include "BrindlecastApp/Settings/PatternDraft.h"
#include "BrindlecastApp/Settings/SettingsRowCache.h"
#include "PolicyKit/PolicyTypes.h"

#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace BrindlecastApp {

class PatternDraftRow;
class PolicySettings;
class SettingsAddRow;
class SettingsCard;

// The Privacy page: the blocked applications (the organisation's, locked, then the user's own,
// removable), the six built-in detectors each Suggested or Required, and the custom patterns
// with the editor that adds one. It keeps no policy data: every row is drawn from the shared
// PolicySettings and every change is written through it at once; the page redraws from the
// model's next resolution.
class PrivacyTab : public QWidget {
    Q_OBJECT
public:
    // Asks the user for an application to block; nothing when they cancelled.
    using ApplicationChooser = std::function<std::optional<QString>(QWidget* parent)>;

    // `chooser` defaults to the application picker.
    explicit PrivacyTab(PolicySettings* policy, ApplicationChooser chooser = {}, QWidget* parent = nullptr);

    // The built-in detectors in the order shown: (detector name, row title).
    static const std::vector<std::pair<QString, QString>>& builtinDetectors();

    SettingsCard* blockedAppsCard() const { return blockedApps_; }
    SettingsCard* detectorsCard() const { return detectors_; }
    SettingsCard* patternsCard() const { return patterns_; }
    SettingsAddRow* addApplicationRow() const { return addApp_; }
    SettingsAddRow* addPatternRow() const { return addPattern_; }
    PatternDraftRow* draftRow() const { return draftRow_; }

    bool addingPattern() const { return addingPattern_; }
    const PatternDraft& draft() const;
    // Whether the draft may be added: an expression that compiles, a name that is neither a
    // built-in detector's nor one already listed. Names are compared exactly, nothing trimmed.
    bool draftValid() const;

    // Redraws from the model now (the page does so by itself after each change). Rows whose
    // content is unchanged are kept as they are, so a redraw costs what changed.
    void rebuild();

private:
    QWidget* appRow(const QString& bundleID, bool managed);
    QWidget* builtinRow(const QString& name, const QString& title, bool managed);
    QWidget* customPatternRow(const PolicyKit::PIIPattern& pattern, bool managed);
    bool isValidDraft(const PatternDraft& draft) const;
    QWidget* section(const QString& title, SettingsCard* card, const QString& caption);

    void addApplication();
    void removeApplication(const QString& bundleID);
    void openDraft();
    void commitDraft();
    void closeDraft();
    void scheduleRebuild();
    // Scrolls the settings page just enough to show `row` whole.
    void reveal(QWidget* row);
    // Moves the keyboard focus to the patterns card when it is inside `leaving`.
    void moveFocusToCardFrom(QWidget* leaving);

    QPointer<PolicySettings> policy_;
    ApplicationChooser chooser_;
    SettingsCard* blockedApps_;
    SettingsCard* detectors_;
    SettingsCard* patterns_;
    SettingsAddRow* addApp_;
    SettingsAddRow* addPattern_;
    PatternDraftRow* draftRow_;
    ApplicationCatalog catalog_;
    // The blocked-app lists the card shows (the organisation's, then the user's).
    std::optional<std::pair<QStringList, QStringList>> shownApps_;
    SettingsRowCache detectorRows_;
    SettingsRowCache patternRows_;
    // Every custom pattern name listed, the organisation's and the user's.
    QSet<QString> listedPatternNames_;
    // A pattern just added, brought into view once its row is shown.
    std::optional<QString> revealPattern_;
    bool addingPattern_ = false;
    bool rebuildPending_ = false;
};

} // namespace BrindlecastApp
