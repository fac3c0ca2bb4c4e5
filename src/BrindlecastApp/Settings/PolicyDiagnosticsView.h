#pragma once

#include "PolicyKit/EffectivePolicy.h"

#include <QStringList>
#include <QWidget>

#include <vector>

namespace BrindlecastApp {

// One line of the diagnostics table: a policy key, its value in force as text, and where it came
// from.
struct PolicyDiagnosticsRow {
    QString key;
    QString value;
    PolicyKit::PolicySource source;
};

// The read-only picture of one policy resolution: every policy key with its value in force and
// its source, how many of them the organisation manages, and the resolver's diagnostic lines in
// its order. It resolves nothing itself. Its colours are the desktop's, not the app theme's.
class PolicyDiagnosticsView : public QWidget {
    Q_OBJECT
public:
    PolicyDiagnosticsView(PolicyKit::EffectivePolicy policy, QStringList diagnostics, QWidget* parent = nullptr);

    // The nine rows in their fixed order. The storage mode counts as managed also when only
    // "AllowSidecars" is managed: that key has no row of its own and bears on the mode alone.
    static std::vector<PolicyDiagnosticsRow> rows(const PolicyKit::EffectivePolicy& policy);
    static int managedCount(const std::vector<PolicyDiagnosticsRow>& rows);
    // "No managed settings — …" or "n of 9 settings managed by your organization".
    static QString subtitle(const std::vector<PolicyDiagnosticsRow>& rows);
    // "DEFAULT", "USER" or "MANAGED".
    static QString capsuleLabel(PolicyKit::PolicySource source);

    // The callout's lines: each distinct resolver line once, where it first appears, with how
    // often it appears; at most `kMaxCalloutLines` of them, each cut to `kMaxLineLength`
    // characters, then one line that counts the resolver lines left out. A managed file can hold
    // hundreds of thousands of bad entries, and a window needs none of them twice to be read.
    static constexpr int kMaxCalloutLines = 200;
    static constexpr int kMaxLineLength = 400;
    static QStringList calloutLines(const QStringList& diagnostics);

    const QStringList& diagnostics() const { return diagnostics_; }
    QWidget* diagnosticsCallout() const { return callout_; }

private:
    QWidget* header(const std::vector<PolicyDiagnosticsRow>& rows);
    QWidget* makeCallout();
    QWidget* rowWidget(const PolicyDiagnosticsRow& row);

    PolicyKit::EffectivePolicy policy_;
    QStringList diagnostics_;
    QWidget* callout_ = nullptr;
};

} // namespace BrindlecastApp
