#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Settings/MiniSegmented.h"
#include "BrindlecastApp/Settings/PatternDraftRow.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "DetectionKit/PIIDetector.h"
#include "PrivacyTestWindow.h"
#include "SettingsTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using PolicyKit::PIIAction;
using nlohmann::json;

namespace {

const json kOrgCase = {{"Name", "OrgCaseID"}, {"Regex", "CASE-[0-9]{6}"}, {"Action", "blurMandatory"}};

QStringList texts(const QWidget* row) {
    QStringList found;
    for (const TextLabel* label : row->findChildren<TextLabel*>()) found << label->text();
    return found;
}

void click(QWidget* widget, QPoint at = {}) {
    ASSERT_TRUE(widget);
    QTest::mouseClick(widget, Qt::LeftButton, {}, at.isNull() ? widget->rect().center() : at);
}

void clickSegment(QWidget* row, int index) {
    auto* control = row->findChild<MiniSegmentedView*>();
    ASSERT_TRUE(control);
    click(control, control->segmentRect(index).center().toPoint());
}

class PrivacyPage : public testing::Test {
protected:
    // The window over the folders as they stand now.
    PrivacyTestWindow& open(ThemeMode mode = ThemeMode::light) {
        window_ = std::make_unique<PrivacyTestWindow>(folders_.store(), mode);
        return *window_;
    }
    QList<QWidget*> rows(SettingsCard* card) {
        window_->settle();
        QList<QWidget*> result;
        for (const auto& row : card->rows()) result << row.data();
        return result;
    }

    PolicyFolders folders_;
    std::unique_ptr<PrivacyTestWindow> window_;
};

} // namespace

TEST_F(PrivacyPage, WithNoBlockedApplicationsTheCardHoldsOnlyTheAddRow) {
    PrivacyTestWindow& w = open();
    EXPECT_EQ(rows(w.page->blockedAppsCard()), QList<QWidget*>{w.page->addApplicationRow()});
    EXPECT_EQ(rows(w.page->detectorsCard()).size(), 6);
    EXPECT_EQ(w.page->detectorsCard()->hairlineCount(), 5);
}

TEST_F(PrivacyPage, TheOrganisationsEntriesAreLockedTheUsersRemovable) {
    folders_.setManaged({{"BlockedBundleIDs", {"com.example.Vault"}}});
    folders_.store().setUserValue("BlockedBundleIDs", json::array({"org.example.Notes", "org.example.Gone", "org.example.Notes"}));
    TestSupport::writeFile(TestSupport::homeFolder() + "/data/applications/org.example.Notes.desktop",
                           "[Desktop Entry]\nType=Application\nName=Team Notes\nExec=notes\nIcon=accessories-text-editor\n");
    PrivacyTestWindow& w = open();
    QList<QWidget*> apps = rows(w.page->blockedAppsCard());
    ASSERT_EQ(apps.size(), 5);
    EXPECT_EQ(texts(apps[0]), (QStringList{"com.example.Vault", "com.example.Vault"})); // no entry: the ID twice
    auto* lock = apps[0]->findChild<SettingsSymbol*>();
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->toolTip(), "Blocked by your organization");
    EXPECT_FALSE(apps[0]->findChild<SettingsSymbolButton*>());
    EXPECT_EQ(texts(apps[1]), (QStringList{"Team Notes", "org.example.Notes"}));
    EXPECT_EQ(apps[1]->findChild<SettingsSymbolButton*>()->toolTip(), "Remove");

    // Removing drops every occurrence; removing the last one removes the user's value.
    click(apps[1]->findChild<SettingsSymbolButton*>());
    EXPECT_EQ(folders_.userValue("BlockedBundleIDs"), json({"org.example.Gone"}));
    apps = rows(w.page->blockedAppsCard());
    ASSERT_EQ(apps.size(), 3);
    click(apps[1]->findChild<SettingsSymbolButton*>());
    EXPECT_TRUE(folders_.userValue("BlockedBundleIDs").is_null());
    EXPECT_EQ(rows(w.page->blockedAppsCard()).size(), 2);
}

TEST_F(PrivacyPage, AddingAnApplicationAppendsItOnceEvenIfTheOrganisationBlocksIt) {
    folders_.setManaged({{"BlockedBundleIDs", {"com.example.Vault"}}});
    PrivacyTestWindow& w = open();
    for (const char* id : {"org.example.Notes", "org.example.Notes", "com.example.Vault"}) {
        w.nextChoice = id;
        click(w.page->addApplicationRow());
        w.settle();
    }
    click(w.page->addApplicationRow()); // cancelled: nothing chosen
    EXPECT_EQ(folders_.userValue("BlockedBundleIDs"), json({"org.example.Notes", "com.example.Vault"}));
    const QList<QWidget*> apps = rows(w.page->blockedAppsCard());
    ASSERT_EQ(apps.size(), 4); // the organisation's Vault locked, the user's removable
    EXPECT_TRUE(apps[0]->findChild<SettingsSymbol*>());
    EXPECT_EQ(texts(apps[2]).last(), "com.example.Vault");
    EXPECT_TRUE(apps[2]->findChild<SettingsSymbolButton*>());
}

TEST_F(PrivacyPage, ADetectorChoiceWritesTheOverrideAndAManagedDetectorIsLocked) {
    folders_.setManaged({{"PIIPatterns", {{{"Name", "phone"}, {"Action", "blurMandatory"}}}}});
    PrivacyTestWindow& w = open();
    QList<QWidget*> detectors = rows(w.page->detectorsCard());
    ASSERT_EQ(detectors.size(), 6);
    EXPECT_EQ(texts(detectors[0]), QStringList{"Email addresses"});
    auto* email = detectors[0]->findChild<MiniSegmentedView*>();
    EXPECT_TRUE(email->isSegmentSelected(0)); // Suggested with no entry
    EXPECT_EQ(detectors[0]->toolTip(), "");

    clickSegment(detectors[0], 1);
    EXPECT_EQ(folders_.userValue("PIIPatterns"), json::array({{{"Name", "email"}, {"Action", "blurMandatory"}}}));
    detectors = rows(w.page->detectorsCard());
    EXPECT_TRUE(detectors[0]->findChild<MiniSegmentedView*>()->isSegmentSelected(1));
    clickSegment(detectors[0], 0);
    EXPECT_TRUE(folders_.userValue("PIIPatterns").is_null());

    detectors = rows(w.page->detectorsCard());
    QWidget* phone = detectors[1];
    EXPECT_EQ(phone->toolTip(), "Managed by your organization");
    EXPECT_TRUE(phone->findChild<SettingsSymbol*>());
    EXPECT_TRUE(phone->findChild<MiniSegmentedView*>()->isLocked());
    EXPECT_TRUE(phone->findChild<MiniSegmentedView*>()->isSegmentSelected(1));
    clickSegment(phone, 0);
    EXPECT_TRUE(folders_.userValue("PIIPatterns").is_null());
}

TEST_F(PrivacyPage, TheDraftIsCheckedAsTyped) {
    folders_.setManaged({{"PIIPatterns", {kOrgCase}}});
    folders_.store().setUserValue("PIIPatterns", json::array({{{"Name", "Ticket"}, {"Regex", "T-[0-9]+"}, {"Action", "blurSuggested"}}}));
    PrivacyTestWindow& w = open();
    click(w.page->addPatternRow());
    w.settle();
    ASSERT_TRUE(w.page->addingPattern());
    PatternDraftRow* draft = w.page->draftRow();
    EXPECT_TRUE(draft->isVisible());
    EXPECT_TRUE(draft->nameField()->hasFocus());

    struct Case {
        const char* name;
        const char* regex;
        bool valid;
        bool invalidShown;
    };
    const std::vector<Case> cases{
        {"Badge", "", false, false},          {"Badge", "(unbalanced", false, true}, {"", "B-[0-9]+", false, false},
        {"ssn", "B-[0-9]+", false, false},    {"SSN", "B-[0-9]+", true, false},      {"   ", "B-[0-9]+", true, false},
        {"Ticket", "B-[0-9]+", false, false}, {"OrgCaseID", "B", false, false},      {"Ticket ", "B", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.name << "\" / \"" << c.regex << '"');
        draft->nameField()->clear();
        draft->expressionField()->clear();
        QTest::keyClicks(draft->nameField(), c.name);
        QTest::keyClicks(draft->expressionField(), c.regex);
        EXPECT_EQ(w.page->draftValid(), c.valid);
        EXPECT_EQ(draft->addButton()->isEnabled(), c.valid);
        EXPECT_EQ(draft->invalidLabel()->isVisible(), c.invalidShown);
        EXPECT_EQ(draft->invalidLabel()->text(), "Invalid expression");
    }
    // Return with an invalid draft does nothing; Escape closes without writing.
    draft->expressionField()->clear();
    QTest::keyClick(draft->expressionField(), Qt::Key_Return);
    EXPECT_TRUE(w.page->addingPattern());
    QTest::keyClick(draft->nameField(), Qt::Key_Escape);
    w.settle();
    EXPECT_FALSE(w.page->addingPattern());
    EXPECT_EQ(w.page->draft(), PatternDraft{});
    EXPECT_EQ(folders_.userValue("PIIPatterns").size(), 1u);
}

TEST_F(PrivacyPage, AddingReGradingAndRemovingPatterns) {
    folders_.setManaged({{"PIIPatterns", {kOrgCase}}});
    folders_.store().setUserValue(
        "PIIPatterns", json::array({{{"Name", "Ticket"}, {"Regex", "T-[0-9]+"}, {"Action", "blurSuggested"}},
                                    {{"Name", "OrgCaseID"}, {"Regex", "X"}, {"Action", "blurSuggested"}},
                                    {{"Name", "email"}, {"Action", "blurMandatory"}}}));
    PrivacyTestWindow& w = open();
    QList<QWidget*> patterns = rows(w.page->patternsCard());
    ASSERT_EQ(patterns.size(), 3); // the organisation's, the user's Ticket, the add row
    EXPECT_EQ(texts(patterns[0]), (QStringList{"OrgCaseID", "CASE-[0-9]{6}"}));
    EXPECT_TRUE(patterns[0]->findChild<MiniSegmentedView*>()->isLocked());
    EXPECT_EQ(patterns[0]->findChild<SettingsSymbol*>()->toolTip(), "Enforced by your organization");
    EXPECT_FALSE(patterns[0]->findChild<SettingsSymbolButton*>());
    EXPECT_EQ(texts(patterns[1]), (QStringList{"Ticket", "T-[0-9]+"}));

    click(w.page->addPatternRow());
    w.settle();
    PatternDraftRow* draft = w.page->draftRow();
    QTest::keyClicks(draft->nameField(), "<b>Badge</b>");
    QTest::keyClicks(draft->expressionField(), "B-[0-9]{4}");
    clickSegment(draft, 1);
    QTest::keyClick(draft->expressionField(), Qt::Key_Return);
    w.settle();
    EXPECT_FALSE(w.page->addingPattern());
    EXPECT_EQ(w.page->draft(), PatternDraft{});
    const json stored = folders_.userValue("PIIPatterns");
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored.back(), json({{"Name", "<b>Badge</b>"}, {"Regex", "B-[0-9]{4}"}, {"Action", "blurMandatory"}}));
    patterns = rows(w.page->patternsCard());
    ASSERT_EQ(patterns.size(), 4);
    EXPECT_EQ(texts(patterns[2]).first(), "<b>Badge</b>"); // shown as typed, never as markup

    // Re-grading keeps the place; removing drops the entry.
    clickSegment(patterns[1], 1);
    EXPECT_EQ(folders_.userValue("PIIPatterns")[0]["Action"], "blurMandatory");
    patterns = rows(w.page->patternsCard());
    click(patterns[2]->findChild<SettingsSymbolButton*>());
    w.settle();
    EXPECT_EQ(folders_.userValue("PIIPatterns").size(), 3u);
    EXPECT_EQ(rows(w.page->patternsCard()).size(), 3);
}

// Stored values of any length keep to one line and never widen the page.
TEST_F(PrivacyPage, LongStoredValuesAreCutNotWidened) {
    const QString longName = QString("Name ").repeated(60), longRegex = QString("[0-9]{4}-").repeated(40);
    folders_.store().setUserValue("PIIPatterns", json::array({{{"Name", longName.toStdString()},
                                                               {"Regex", longRegex.toStdString()},
                                                               {"Action", "blurSuggested"}}}));
    folders_.store().setUserValue("BlockedBundleIDs", json::array({("org.example." + QString("Long").repeated(80)).toStdString()}));
    PrivacyTestWindow& w = open();
    w.settle();
    EXPECT_LE(w.page->minimumSizeHint().width(), 580 - 2 * 26);
    const QWidget* row = rows(w.page->patternsCard())[0];
    for (const TextLabel* label : row->findChildren<TextLabel*>()) {
        EXPECT_TRUE(label->shownText().endsWith(QChar(0x2026))) << label->text().left(20).toStdString();
        EXPECT_LE(label->mapTo(&w.themed.window, QPoint(label->width(), 0)).x(), 580 - 26);
    }
}

// An expression whose matching backtracks without end is a valid expression: it is stored, and
// the next capture's detection gives up on it after its budget, says so, and finishes.
TEST_F(PrivacyPage, ACatastrophicExpressionIsStoredAndDetectionSkipsIt) {
    PrivacyTestWindow& w = open();
    click(w.page->addPatternRow());
    w.settle();
    QTest::keyClicks(w.page->draftRow()->nameField(), "Runaway");
    QTest::keyClicks(w.page->draftRow()->expressionField(), "(a+)+$");
    click(w.page->draftRow()->addButton());
    EXPECT_EQ(folders_.userValue("PIIPatterns")[0]["Regex"], "(a+)+$");

    const PolicyKit::EffectivePolicy policy = PolicyKit::EffectivePolicy::resolve(folders_.store()).policy;
    const DetectionKit::RecognizedLine line{QString(40, 'a') + "!", Support::Rect(0, 0, 1, 0.1), {}};
    const DetectionKit::DetectionResult result =
        DetectionKit::PIIDetector::findings({line}, {}, 800, 600, Pipeline::patternInputs(policy));
    ASSERT_EQ(result.diagnostics.size(), 1);
    EXPECT_TRUE(result.diagnostics[0].contains("Runaway")) << result.diagnostics[0].toStdString();
}

TEST_F(PrivacyPage, AWriteTheFileRefusesLeavesThePageOnTheStoredValue) {
    folders_.store().setUserValue("BlockedBundleIDs", json::array({"org.example.Notes"}));
    PrivacyTestWindow& w = open();
    folders_.breakUserWrites();
    CapturedLog log;
    click(rows(w.page->blockedAppsCard())[0]->findChild<SettingsSymbolButton*>());
    const QList<QWidget*> apps = rows(w.page->blockedAppsCard());
    ASSERT_EQ(apps.size(), 2);
    EXPECT_EQ(texts(apps[0]).last(), "org.example.Notes");
    EXPECT_FALSE(log.entries().empty());
}

// The page as a person sees it, in both schemes, with and without the organisation's values.
TEST_F(PrivacyPage, Screenshots) {
    folders_.store().setUserValue("BlockedBundleIDs", json::array({"org.example.Notes", "com.example.Unknown"}));
    folders_.store().setUserValue(
        "PIIPatterns", json::array({{{"Name", "Ticket"}, {"Regex", "T-[0-9]{5}"}, {"Action", "blurSuggested"}},
                                    {{"Name", "Employee ID"}, {"Regex", "\\bEMP-[A-Z]{2}[0-9]{6}\\b(?:-[0-9]{2})?"},
                                     {"Action", "blurMandatory"}},
                                    {{"Name", "ssn"}, {"Action", "blurMandatory"}}}));
    TestSupport::writeFile(TestSupport::homeFolder() + "/data/applications/org.example.Notes.desktop",
                           "[Desktop Entry]\nType=Application\nName=Team Notes\nExec=notes\nIcon=accessories-text-editor\n");
    for (bool managed : {false, true}) {
        if (managed)
            folders_.setManaged({{"BlockedBundleIDs", {"com.example.Vault"}},
                                 {"PIIPatterns", {kOrgCase, {{"Name", "email"}, {"Action", "blurMandatory"}}}}});
        for (ThemeMode mode : {ThemeMode::light, ThemeMode::dark}) {
            PrivacyTestWindow& w = open(mode);
            if (managed) {
                click(w.page->addPatternRow());
                w.settle();
                QTest::keyClicks(w.page->draftRow()->nameField(), "Badge");
                QTest::keyClicks(w.page->draftRow()->expressionField(), "B-[0-9");
            }
            const QString name = QString("privacy-page-%1-%2")
                                     .arg(mode == ThemeMode::dark ? "dark" : "light", managed ? "managed" : "user");
            const QImage image = w.screenshot(name);
            ASSERT_FALSE(image.isNull());
            EXPECT_EQ(image.width(), 580);
            // Nothing is cut off: every row of every card lies inside the window.
            for (SettingsCard* card : {w.page->blockedAppsCard(), w.page->detectorsCard(), w.page->patternsCard()})
                EXPECT_LE(card->mapTo(&w.themed.window, QPoint(0, card->height())).y(), image.height() / image.devicePixelRatio());
        }
    }
}
