#pragma once

#include "PolicyKit/EffectivePolicy.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <vector>

class QVBoxLayout;

namespace BrindlecastApp {

class PolicySettings;
class SettingsCard;

// The MDM page: whether the organisation's policy governs the app and what it enforces. It only
// reads the policy the shared PolicySettings last published; its link opens the policy
// diagnostics window.
class ManagedTab : public QWidget {
    Q_OBJECT
public:
    struct Row {
        QString title;
        QString value;
        friend bool operator==(const Row&, const Row&) = default;
    };

    ManagedTab(PolicySettings* policy, std::function<void()> openDiagnostics, QWidget* parent = nullptr);

    // Any key the organisation manages, also one without a row.
    static bool isManaged(const PolicyKit::EffectivePolicy& policy);
    // The enforced settings in their fixed order; counts are of the effective lists.
    static std::vector<Row> rows(const PolicyKit::EffectivePolicy& policy);

    bool showsManagedForm() const { return card_ != nullptr; }
    SettingsCard* card() const { return card_; }
    QWidget* diagnosticsLink() const { return link_; }

    void rebuild();

private:
    QWidget* banner();
    QWidget* notManagedPanel();

    QPointer<PolicySettings> policy_;
    std::function<void()> openDiagnostics_;
    QVBoxLayout* layout_;
    QWidget* content_ = nullptr;
    SettingsCard* card_ = nullptr;
    QWidget* link_ = nullptr;
};

} // namespace BrindlecastApp
