#include "BrindlecastApp/Settings/PrivacyTab.h"

#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Settings/ApplicationCatalog.h"
#include "BrindlecastApp/Settings/ApplicationIcons.h"
#include "BrindlecastApp/Settings/ApplicationPicker.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Settings/MiniSegmented.h"
#include "BrindlecastApp/Settings/PatternDraftRow.h"
#include "BrindlecastApp/Settings/PolicySettings.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "BrindlecastApp/Settings/SettingsSectionHeader.h"
#include "PolicyKit/EffectivePolicy.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp {

using PolicyKit::PIIAction;
using PolicyKit::PIIPattern;

namespace {

constexpr int kSectionSpacing = 22;
constexpr int kListRowPadding = 9;
constexpr int kMinimumGap = 12; // before a row's trailing controls
constexpr int kIconSide = 22;
constexpr int kRevealMargin = 12; // above and below a row brought into view

std::vector<std::pair<QString, PIIAction>> actionOptions() {
    return {{PrivacyTab::tr("Suggested"), PIIAction::blurSuggested}, {PrivacyTab::tr("Required"), PIIAction::blurMandatory}};
}

bool named(const std::vector<PIIPattern>& patterns, const QString& name) {
    return std::any_of(patterns.begin(), patterns.end(), [&](const PIIPattern& p) { return p.name == name; });
}

// A name over a detail line, both one line of plain text.
QWidget* titleStack(const QString& title, const QString& detail, const QFont& detailFont) {
    auto* stack = new QWidget;
    stack->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(stack);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(makeSettingsText(title, SettingsControlStyle::font(13), TextLabel::Tone::primary));
    layout->addWidget(makeSettingsText(detail, detailFont, TextLabel::Tone::secondary));
    return stack;
}

// The icon is read on a worker (an entry's icon may be any file); the window symbol stands in
// until it comes.
QLabel* applicationIcon(const QString& iconName, qreal scale) {
    auto* icon = new QLabel;
    icon->setFixedSize(kIconSide, kIconSide);
    icon->setScaledContents(true);
    const int pixels = int(std::ceil(kIconSide * scale));
    const auto show = [icon, scale](const QImage& image) {
        QPixmap pixmap = QPixmap::fromImage(image);
        pixmap.setDevicePixelRatio(scale);
        icon->setPixmap(pixmap);
    };
    show(ApplicationIcons::placeholder(pixels));
    ApplicationIcons::shared().request(iconName, pixels, icon, show);
    return icon;
}

} // namespace

const std::vector<std::pair<QString, QString>>& PrivacyTab::builtinDetectors() {
    static const std::vector<std::pair<QString, QString>> detectors{
        {"email", tr("Email addresses")},        {"phone", tr("Phone numbers")},
        {"ssn", tr("Social Security numbers")}, {"card", tr("Credit card numbers")},
        {"iban", tr("IBAN account numbers")},    {"ipv4", tr("IP addresses")},
    };
    return detectors;
}

PrivacyTab::PrivacyTab(PolicySettings* policy, ApplicationChooser chooser, QWidget* parent)
    : QWidget(parent), policy_(policy), chooser_(chooser ? std::move(chooser) : ApplicationChooser(&ApplicationPicker::choose)),
      blockedApps_(new SettingsCard), detectors_(new SettingsCard), patterns_(new SettingsCard),
      addApp_(new SettingsAddRow(tr("Add Application…"), [this] { addApplication(); })),
      addPattern_(new SettingsAddRow(tr("Add Pattern…"), [this] { openDraft(); })),
      draftRow_(new PatternDraftRow([this](const PatternDraft& d) { return isValidDraft(d); }, this)) {
    addApp_->setParent(this);
    addPattern_->setParent(this);
    setAttribute(Qt::WA_TranslucentBackground);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(kSectionSpacing);
    page->addWidget(section(tr("BLOCKED APPS"), blockedApps_, tr("Windows of blocked apps never appear in captures.")));
    page->addWidget(section(tr("PII DETECTION"), detectors_,
                            tr("Built-in detectors always run. Suggested findings can be released in review; required "
                               "ones cannot.")));
    page->addWidget(section(tr("CUSTOM PATTERNS"), patterns_,
                            tr("Patterns set by your organization are enforced; your own add on top and only you can "
                               "remove them.")));
    page->addStretch(1);

    connect(draftRow_, &PatternDraftRow::commitRequested, this, &PrivacyTab::commitDraft);
    connect(draftRow_, &PatternDraftRow::cancelRequested, this, &PrivacyTab::closeDraft);
    if (policy_) connect(policy_, &PolicySettings::changed, this, &PrivacyTab::scheduleRebuild);
    rebuild();
}

QWidget* PrivacyTab::section(const QString& title, SettingsCard* card, const QString& caption) {
    return makeSettingsSection(title, card, caption);
}

void PrivacyTab::scheduleRebuild() {
    // Several writes in one turn of the event loop redraw once, after the click that caused them.
    if (rebuildPending_) return;
    rebuildPending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (rebuildPending_) rebuild();
    });
}

void PrivacyTab::rebuild() {
    rebuildPending_ = false;
    if (!policy_) return;
    const QStringList managedApps = policy_->managedBlockedBundleIDs();
    const QStringList userApps = policy_->userBlockedBundleIDs();
    if (shownApps_ != std::pair(managedApps, userApps)) {
        shownApps_ = std::pair(managedApps, userApps);
        // Read once per redraw rather than once per row, and only when there is a row to name.
        catalog_ = managedApps.isEmpty() && userApps.isEmpty() ? ApplicationCatalog() : ApplicationCatalog::loadStandard();

        QList<QWidget*> apps;
        for (const QString& id : managedApps) apps << appRow(id, true);
        for (const QString& id : userApps) apps << appRow(id, false);
        apps << addApp_;
        blockedApps_->setRows(apps);
    }

    const std::vector<PIIPattern> managedPatterns = policy_->managedPIIPatterns();
    QList<QWidget*> detectors;
    for (const auto& [name, title] : builtinDetectors()) {
        const bool managed = named(managedPatterns, name);
        const QString key = QString("%1|%2|%3").arg(name).arg(managed).arg(rawValue(policy_->builtinAction(name)));
        detectors << detectorRows_.row(key, [&, name = name, title = title] { return builtinRow(name, title, managed); });
    }
    detectorRows_.finish();
    detectors_->setRows(detectors);

    QList<QWidget*> patterns;
    QWidget* revealed = nullptr;
    listedPatternNames_.clear();
    const auto patternRow = [&](const PIIPattern& pattern, bool managed) {
        listedPatternNames_.insert(pattern.name);
        const QString key = QStringList{managed ? "managed" : "user", pattern.name, pattern.regex, rawValue(pattern.action)}.join('\n');
        QWidget* row = patternRows_.row(key, [&] { return customPatternRow(pattern, managed); });
        if (!managed && revealPattern_ == pattern.name) revealed = row;
        return row;
    };
    for (const PIIPattern& pattern : policy_->managedCustomPatterns()) patterns << patternRow(pattern, true);
    for (const PIIPattern& pattern : policy_->customPatterns()) patterns << patternRow(pattern, false);
    patternRows_.finish();
    QWidget* shown = addingPattern_ ? static_cast<QWidget*>(draftRow_) : static_cast<QWidget*>(addPattern_);
    QWidget* kept = addingPattern_ ? static_cast<QWidget*>(addPattern_) : static_cast<QWidget*>(draftRow_);
    patterns << shown;
    // The page keeps the row it does not show (the draft keeps what was typed while hidden).
    moveFocusToCardFrom(kept);
    kept->hide();
    if (kept->parentWidget() != this) kept->setParent(this);
    patterns_->setRows(patterns);
    draftRow_->revalidate();
    if (revealed) {
        revealPattern_.reset();
        reveal(revealed);
    }
}

void PrivacyTab::reveal(QWidget* row) {
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(ancestor)) {
            // The row has its place once the page around it is laid out again.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            area->ensureWidgetVisible(row, 0, kRevealMargin);
            return;
        }
    }
}

QWidget* PrivacyTab::appRow(const QString& bundleID, bool managed) {
    // The icon and name of the application's entry, or its ID and the generic icon.
    const ApplicationEntry entry = catalog_.describe(bundleID);
    QWidget* row = makeSettingsRow(kListRowPadding);
    auto* layout = static_cast<QHBoxLayout*>(row->layout());
    layout->addWidget(applicationIcon(entry.iconName, devicePixelRatioF()));
    layout->addWidget(titleStack(entry.name, bundleID, SettingsControlStyle::font(11)), 1);
    layout->addSpacing(kMinimumGap);
    if (managed) {
        layout->addWidget(new SettingsSymbol("lock.fill", 11, tr("Blocked by your organization")));
    } else {
        layout->addWidget(new SettingsSymbolButton("xmark.circle.fill", 13, tr("Remove"),
                                                   [this, bundleID] { removeApplication(bundleID); }));
    }
    return row;
}

QWidget* PrivacyTab::builtinRow(const QString& name, const QString& title, bool managed) {
    QWidget* row = makeSettingsRow(kListRowPadding);
    auto* layout = static_cast<QHBoxLayout*>(row->layout());
    layout->addWidget(makeSettingsText(title, SettingsControlStyle::font(13), TextLabel::Tone::primary), 1);
    layout->addSpacing(kMinimumGap);
    if (managed) layout->addWidget(new SettingsSymbol("lock.fill", 11));
    QPointer<PolicySettings> policy = policy_;
    layout->addWidget(new MiniSegmented<PIIAction>(actionOptions(), policy_->builtinAction(name), managed,
                                                   [policy, name](const PIIAction& choice) {
                                                       if (policy) policy->setBuiltinAction(name, choice);
                                                   }));
    row->setToolTip(managed ? tr("Managed by your organization") : QString());
    ToolTip::install(row);
    return row;
}

QWidget* PrivacyTab::customPatternRow(const PIIPattern& pattern, bool managed) {
    QWidget* row = makeSettingsRow(kListRowPadding);
    auto* layout = static_cast<QHBoxLayout*>(row->layout());
    layout->addWidget(titleStack(pattern.name, pattern.regex, SettingsControlStyle::monospacedFont(11)), 1);
    layout->addSpacing(kMinimumGap);
    QPointer<PolicySettings> policy = policy_;
    const QString name = pattern.name;
    layout->addWidget(new MiniSegmented<PIIAction>(actionOptions(), pattern.action, managed,
                                                   [policy, name](const PIIAction& choice) {
                                                       if (policy) policy->setCustomPatternAction(name, choice);
                                                   }));
    if (managed) {
        layout->addWidget(new SettingsSymbol("lock.fill", 11, tr("Enforced by your organization")));
    } else {
        layout->addWidget(new SettingsSymbolButton("xmark.circle.fill", 13, tr("Remove"), [policy, name] {
            if (policy) policy->removeCustomPattern(name);
        }));
    }
    return row;
}

void PrivacyTab::addApplication() {
    if (!policy_) return;
    const std::optional<QString> id = chooser_(this);
    if (!id || id->isEmpty() || !policy_) return;
    QStringList ids = policy_->userBlockedBundleIDs();
    if (ids.contains(*id)) return;
    ids << *id;
    policy_->setUserBlockedBundleIDs(ids);
}

void PrivacyTab::removeApplication(const QString& bundleID) {
    if (!policy_) return;
    QStringList ids = policy_->userBlockedBundleIDs();
    ids.removeAll(bundleID);
    policy_->setUserBlockedBundleIDs(ids);
}

const PatternDraft& PrivacyTab::draft() const { return draftRow_->draft(); }

bool PrivacyTab::draftValid() const { return isValidDraft(draft()); }

bool PrivacyTab::isValidDraft(const PatternDraft& d) const {
    if (d.regex.isEmpty() || PatternDraftRow::isInvalidExpression(d.regex)) return false;
    if (d.name.isEmpty() || PolicyKit::EffectivePolicy::builtinDetectorNames().contains(d.name)) return false;
    // The names listed at the last redraw: a redraw follows every change of the lists.
    return policy_ && !listedPatternNames_.contains(d.name);
}

void PrivacyTab::openDraft() {
    addingPattern_ = true;
    rebuild();
    reveal(draftRow_);
    draftRow_->focusName();
}

void PrivacyTab::commitDraft() {
    if (!draftValid()) return;
    const PIIPattern pattern = draft().pattern();
    closeDraft();
    revealPattern_ = pattern.name;
    // Its refusals are the ones draftValid excludes.
    if (!policy_ || !policy_->addCustomPattern(pattern)) revealPattern_.reset();
}

void PrivacyTab::moveFocusToCardFrom(QWidget* leaving) {
    // A focused control that is hidden or disabled hands the focus to the next control, and the
    // settings page scrolls to wherever that is. The card takes it instead.
    if (leaving->isAncestorOf(QApplication::focusWidget())) patterns_->setFocus(Qt::OtherFocusReason);
}

void PrivacyTab::closeDraft() {
    addingPattern_ = false;
    moveFocusToCardFrom(draftRow_); // emptied, the draft disables the Add button it may hold
    draftRow_->reset();
    rebuild();
}

} // namespace BrindlecastApp
