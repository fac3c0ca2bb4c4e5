#include "BrindlecastApp/Settings/PolicySettings.h"
#include "SettingsTestSupport.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <new>

using namespace BrindlecastApp;
using PolicyKit::ExportDestination;
using PolicyKit::PIIAction;
using PolicyKit::PIIPattern;
using PolicyKit::PolicySource;
using nlohmann::json;

namespace {

QStringList names(const std::vector<PIIPattern>& patterns) {
    QStringList result;
    for (const PIIPattern& p : patterns) result << p.name;
    return result;
}

const json kOrgCase = {{"Name", "OrgCaseID"}, {"Regex", "CASE-[0-9]{6}"}, {"Action", "blurMandatory"}};
const json kTicket = {{"Name", "Ticket"}, {"Regex", "T-[0-9]+"}, {"Action", "blurSuggested"}};

} // namespace

// Each reader takes its layer: the user's lists from the user's file, the organisation's from the
// managed folder, and a key is locked exactly when the organisation sets it.
TEST(PolicySettingsReaders, EachKeyComesFromItsLayer) {
    struct Case {
        const char* what;
        json managed;
        json user;
        QStringList userBlocked, managedBlocked, custom, managedCustom;
        bool emailManaged;
        PolicySource watermarkSource;
    };
    const std::vector<Case> cases{
        {"nothing set", json::object(), json::object(), {}, {}, {}, {}, false, PolicySource::default_},
        {"user only",
         json::object(),
         {{"BlockedBundleIDs", {"org.example.Notes"}}, {"PIIPatterns", {kTicket, {{"Name", "email"}, {"Action", "blurMandatory"}}}},
          {"Watermark", {{"Enabled", true}}}},
         {"org.example.Notes"}, {}, {"Ticket"}, {}, false, PolicySource::user},
        {"organisation and user",
         {{"BlockedBundleIDs", {"com.example.Vault", "com.example.Chat"}},
          {"PIIPatterns", {kOrgCase, {{"Name", "email"}, {"Action", "blurMandatory"}}}},
          {"Watermark", {{"Enabled", true}}}},
         {{"BlockedBundleIDs", {"org.example.Notes"}}, {"PIIPatterns", {kTicket, kOrgCase}}, {"Watermark", {{"Enabled", false}}}},
         {"org.example.Notes"}, {"com.example.Vault", "com.example.Chat"}, {"Ticket"}, {"OrgCaseID"}, true,
         PolicySource::managed},
        {"lists of the wrong type read as empty",
         {{"BlockedBundleIDs", "com.example.Vault"}},
         {{"BlockedBundleIDs", {"org.example.Notes", 7}}, {"PIIPatterns", {{"Name", "x"}}}},
         {}, {}, {}, {}, false, PolicySource::default_},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PolicyFolders folders;
        if (!c.managed.empty()) folders.setManaged(c.managed);
        for (const auto& [key, value] : c.user.items()) folders.store().setUserValue(key, value);
        PolicySettings model(folders.store());
        EXPECT_EQ(model.userBlockedBundleIDs(), c.userBlocked);
        EXPECT_EQ(model.managedBlockedBundleIDs(), c.managedBlocked);
        EXPECT_EQ(names(model.customPatterns()), c.custom);
        EXPECT_EQ(names(model.managedCustomPatterns()), c.managedCustom);
        EXPECT_EQ(model.builtinIsManaged("email"), c.emailManaged);
        EXPECT_EQ(model.policy().source("Watermark"), c.watermarkSource);
    }
}

// Every writer stores the exact form resolution reads back, removes the key when nothing is
// left, and a second model over a new store sees the same policy.
TEST(PolicySettingsWriters, StoreTheResolversFormAndASecondModelSeesIt) {
    struct Case {
        const char* what;
        std::function<void(PolicySettings&)> write;
        const char* key;
        json stored;
    };
    const std::vector<Case> cases{
        {"watermark", [](PolicySettings& m) { m.setWatermark({true, false, true, false}); }, "Watermark",
         {{"Enabled", true}, {"IncludeUser", false}, {"IncludeDevice", true}, {"IncludeTimestamp", false}}},
        {"destinations keep order", [](PolicySettings& m) {
             m.setAllowedExportDestinations({ExportDestination::folder, ExportDestination::clipboard});
         }, "AllowedExportDestinations", {"folder", "clipboard"}},
        {"no destinations stores nothing", [](PolicySettings& m) { m.setAllowedExportDestinations({}); },
         "AllowedExportDestinations", json()},
        {"sidecar mode", [](PolicySettings& m) { m.write("SidecarMode", json("file")); }, "SidecarMode", "file"},
        {"blocked apps", [](PolicySettings& m) { m.setUserBlockedBundleIDs({"b.app", "a.app"}); }, "BlockedBundleIDs",
         {"b.app", "a.app"}},
        {"no blocked apps removes the key", [](PolicySettings& m) {
             m.setUserBlockedBundleIDs({"a.app"});
             m.setUserBlockedBundleIDs({});
         }, "BlockedBundleIDs", json()},
        {"required e-mail is an override without an expression",
         [](PolicySettings& m) { m.setBuiltinAction("email", PIIAction::blurMandatory); }, "PIIPatterns",
         {{{"Name", "email"}, {"Action", "blurMandatory"}}}},
        {"suggested again removes it and the key", [](PolicySettings& m) {
             m.setBuiltinAction("email", PIIAction::blurMandatory);
             m.setBuiltinAction("email", PIIAction::blurSuggested);
         }, "PIIPatterns", json()},
        {"a replaced pattern moves last", [](PolicySettings& m) {
             EXPECT_TRUE(m.addCustomPattern({"A", "a+", PIIAction::blurSuggested}));
             EXPECT_TRUE(m.addCustomPattern({"B", "b+", PIIAction::blurSuggested}));
             EXPECT_TRUE(m.addCustomPattern({"A", "aa", PIIAction::blurMandatory}));
         }, "PIIPatterns",
         {{{"Name", "B"}, {"Regex", "b+"}, {"Action", "blurSuggested"}},
          {{"Name", "A"}, {"Regex", "aa"}, {"Action", "blurMandatory"}}}},
        {"re-grading keeps the place", [](PolicySettings& m) {
             m.addCustomPattern({"A", "a+", PIIAction::blurSuggested});
             m.addCustomPattern({"B", "b+", PIIAction::blurSuggested});
             m.setCustomPatternAction("A", PIIAction::blurMandatory);
         }, "PIIPatterns",
         {{{"Name", "A"}, {"Regex", "a+"}, {"Action", "blurMandatory"}},
          {{"Name", "B"}, {"Regex", "b+"}, {"Action", "blurSuggested"}}}},
        {"removing the last pattern removes the key", [](PolicySettings& m) {
             m.addCustomPattern({"A", "a+", PIIAction::blurSuggested});
             m.removeCustomPattern("A");
         }, "PIIPatterns", json()},
        {"an expression that does not compile is refused", [](PolicySettings& m) {
             EXPECT_FALSE(m.addCustomPattern({"A", "(unbalanced", PIIAction::blurSuggested}));
         }, "PIIPatterns", json()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PolicyFolders folders;
        PolicySettings model(folders.store());
        c.write(model);
        EXPECT_EQ(folders.userValue(c.key), c.stored);
        PolicySettings second(folders.store());
        EXPECT_EQ(second.policy(), model.policy());
    }
}

TEST(PolicySettingsWriters, AGuardedKeyTheOrganisationSetsIsNeitherStoredNorRepublished) {
    PolicyFolders folders;
    folders.setManaged({{"Watermark", {{"Enabled", true}}}, {"SidecarMode", "off"}});
    PolicySettings model(folders.store());
    QSignalSpy changed(&model, &PolicySettings::changed);
    model.setWatermark({false, false, false, false});
    model.write("SidecarMode", json("file"));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(folders.userValue("Watermark").is_null());
    EXPECT_TRUE(folders.userValue("SidecarMode").is_null());
    EXPECT_TRUE(model.policy().watermark.enabled);

    model.setWatermark({true, true, false, true}); // still managed: the organisation's value stands
    EXPECT_EQ(model.policy().watermark, (PolicyKit::WatermarkConfig{true, true, true, true}));
}

TEST(PolicySettingsWriters, TheUsersBlockedListIsWrittenWhileTheOrganisationSetsOne) {
    PolicyFolders folders;
    folders.setManaged({{"BlockedBundleIDs", {"com.example.Vault", "com.example.Chat"}}});
    PolicySettings model(folders.store());
    model.setUserBlockedBundleIDs({"org.example.Notes", "com.example.Vault"});
    EXPECT_EQ(folders.userValue("BlockedBundleIDs"), json({"org.example.Notes", "com.example.Vault"}));
    EXPECT_EQ(model.policy().blockedBundleIDs, (QStringList{"org.example.Notes", "com.example.Vault", "com.example.Chat"}));
    EXPECT_EQ(model.policy().source("BlockedBundleIDs"), PolicySource::managed);
}

TEST(PolicySettingsWriters, PatternsTheOrganisationHoldsAreRefusedOrLeftAlone) {
    PolicyFolders folders;
    folders.setManaged({{"PIIPatterns", {kOrgCase, {{"Name", "email"}, {"Action", "blurMandatory"}}}}});
    // The user's own pattern of the organisation's name: hidden, not in force, but kept.
    folders.store().setUserValue("PIIPatterns", json::array({{{"Name", "OrgCaseID"}, {"Regex", "X"}, {"Action", "blurSuggested"}}}));
    PolicySettings model(folders.store());

    model.setBuiltinAction("email", PIIAction::blurSuggested);
    EXPECT_EQ(model.builtinAction("email"), PIIAction::blurMandatory);
    EXPECT_FALSE(model.addCustomPattern({"email", "", PIIAction::blurSuggested}));
    EXPECT_FALSE(model.addCustomPattern({"OrgCaseID", "Y", PIIAction::blurSuggested}));
    EXPECT_TRUE(model.customPatterns().empty());

    EXPECT_TRUE(model.addCustomPattern({"Ticket", "T-[0-9]+", PIIAction::blurSuggested}));
    EXPECT_EQ(names(model.userPIIPatterns()), (QStringList{"OrgCaseID", "Ticket"}));
    EXPECT_EQ(names(model.customPatterns()), QStringList{"Ticket"});
    EXPECT_EQ(names(model.policy().piiPatterns), (QStringList{"OrgCaseID", "email", "Ticket"}));
    EXPECT_EQ(model.policy().piiPatterns[0].regex, "CASE-[0-9]{6}");
}

// A pattern write re-encodes the user's list from what the parser accepts: entries it drops and
// keys it does not know are gone.
TEST(PolicySettingsWriters, AnEntryTheParserRejectsIsGoneAfterAnyPatternWrite) {
    PolicyFolders folders;
    folders.store().setUserValue(
        "PIIPatterns", json::array({{{"Name", "Odd"}, {"Regex", "o"}, {"Action", "blurSometimes"}},
                                    {{"Name", "NoRegex"}, {"Action", "blurSuggested"}},
                                    {{"Name", "Bad"}, {"Regex", "(("}, {"Action", "blurSuggested"}},
                                    {{"Name", "Kept"}, {"Regex", "k"}, {"Action", "blurSuggested"}, {"Note", "x"}}}));
    PolicySettings model(folders.store());
    model.setBuiltinAction("phone", PIIAction::blurSuggested);
    EXPECT_EQ(folders.userValue("PIIPatterns"),
              json::array({{{"Name", "Kept"}, {"Regex", "k"}, {"Action", "blurSuggested"}}}));
}

TEST(PolicySettingsSimulation, TheSampleStandsInForTheOrganisationWhileWritesReachTheUser) {
    PolicyFolders folders;
    folders.setManaged({{"BlockedBundleIDs", {"com.example.Real"}}});
    PolicySettings model(folders.store());
    QSignalSpy changed(&model, &PolicySettings::changed);
    model.setSimulateManaged(true);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(model.managedBlockedBundleIDs(), (QStringList{"com.example.ConfidentialVault", "org.example.InternalNotes"}));
    ASSERT_EQ(model.managedCustomPatterns().size(), 1u);
    EXPECT_EQ(model.managedCustomPatterns()[0], (PIIPattern{"OrgCaseID", "CASE-[0-9]{6}", PIIAction::blurMandatory}));
    EXPECT_TRUE(model.builtinIsManaged("email"));
    for (const char* key : {"AllowedExportDestinations", "MandatoryReview", "BlockedBundleIDs", "Watermark", "SidecarMode",
                            "PIIPatterns", "LockAgent"})
        EXPECT_EQ(model.policy().source(key), PolicySource::managed) << key;
    model.setWatermark({false, false, false, false});
    EXPECT_TRUE(folders.userValue("Watermark").is_null());
    model.setUserBlockedBundleIDs({"org.example.Notes"});
    EXPECT_EQ(folders.userValue("BlockedBundleIDs"), json({"org.example.Notes"}));

    model.setSimulateManaged(false);
    EXPECT_EQ(model.managedBlockedBundleIDs(), QStringList{"com.example.Real"});
    EXPECT_EQ(model.policy().source("Watermark"), PolicySource::default_);
}

// The preference file refuses the write: the error is logged, nothing is claimed, and the model
// shows what is really stored.
TEST(PolicySettingsWriters, AWriteTheFileRefusesIsLoggedAndTheStoredValueStays) {
    PolicyFolders folders;
    folders.store().setUserValue("BlockedBundleIDs", json::array({"org.example.Notes"}));
    PolicySettings model(folders.store());
    folders.breakUserWrites();
    CapturedLog log;
    QSignalSpy changed(&model, &PolicySettings::changed);

    model.setUserBlockedBundleIDs({});
    EXPECT_FALSE(model.addCustomPattern({"Ticket", "T-[0-9]+", PIIAction::blurSuggested}));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(model.userBlockedBundleIDs(), QStringList{"org.example.Notes"});
    EXPECT_EQ(model.policy().blockedBundleIDs, QStringList{"org.example.Notes"});
    EXPECT_TRUE(model.customPatterns().empty());
    int errors = 0;
    for (const Support::LogEntry& entry : log.entries())
        errors += entry.level == Support::LogLevel::error && entry.message.startsWith("could not store BlockedBundleIDs");
    EXPECT_EQ(errors, 1);
}

// A refresh publishes only when something a page shows differs: the resolved policy, or the
// user's or the organisation's lists behind it (the same effective list can hide a change in
// them). Writes publish always, so the page that wrote redraws from what was stored.
TEST(PolicySettingsRefresh, PublishesOnlyWhatThePagesWouldShowDifferently) {
    struct Case {
        const char* what;
        std::function<void(PolicyKit::PreferenceStore&, json& managed)> change;
        bool published;
    };
    const std::vector<Case> cases{
        {"nothing", [](PolicyKit::PreferenceStore&, json&) {}, false},
        {"the same value stored again",
         [](PolicyKit::PreferenceStore& store, json&) { store.setUserValue("PIIPatterns", json::array({kTicket})); }, false},
        {"the user blocks an app the organisation blocks: same effective list, one more row",
         [](PolicyKit::PreferenceStore& store, json&) { store.setUserValue("BlockedBundleIDs", json{"com.example.Vault"}); },
         true},
        {"the user's pattern named like the organisation's: not in force, still listed in the file",
         [](PolicyKit::PreferenceStore& store, json&) {
             store.setUserValue("PIIPatterns", json::array({kTicket, kOrgCase}));
         },
         true},
        {"the organisation forbids sidecars", [](PolicyKit::PreferenceStore&, json& managed) { managed["AllowSidecars"] = false; },
         true},
        {"a setting changes", [](PolicyKit::PreferenceStore& store, json&) { store.setUserValue("Watermark", json{{"Enabled", true}}); },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PolicyFolders folders;
        json managed{{"BlockedBundleIDs", {"com.example.Vault"}}, {"PIIPatterns", {kOrgCase}}};
        folders.setManaged(managed);
        folders.store().setUserValue("PIIPatterns", json::array({kTicket}));
        PolicySettings model(folders.store());
        QSignalSpy published(&model, &PolicySettings::changed);
        PolicyKit::PreferenceStore other = folders.store();
        c.change(other, managed);
        folders.setManaged(managed);
        model.refresh();
        EXPECT_EQ(published.count(), c.published ? 1 : 0);
        model.refresh();
        EXPECT_EQ(published.count(), c.published ? 1 : 0); // and once only
    }
    // A write publishes even when it stores what was there.
    PolicyFolders folders;
    PolicySettings model(folders.store());
    QSignalSpy published(&model, &PolicySettings::changed);
    model.setUserBlockedBundleIDs({});
    EXPECT_EQ(published.count(), 1);
}

// The model starts from the real domain whatever the memory it is built in held before (a block
// the allocator hands out again): the first refresh of an unchanged domain publishes nothing.
// Every member the constructor resolves with is set before it is read.
TEST(PolicySettingsRefresh, StartsFromTheRealDomainWhateverItsMemoryHeld) {
    for (const unsigned char previous : {0x00, 0x01, 0xff}) {
        SCOPED_TRACE(int(previous));
        PolicyFolders folders;
        folders.setManaged({{"BlockedBundleIDs", {"com.example.Vault"}}});
        const auto storage = std::make_unique<unsigned char[]>(sizeof(PolicySettings) + alignof(PolicySettings));
        void* at = storage.get();
        std::size_t room = sizeof(PolicySettings) + alignof(PolicySettings);
        ASSERT_TRUE(std::align(alignof(PolicySettings), sizeof(PolicySettings), at, room));
        std::memset(at, previous, sizeof(PolicySettings));
        // Keeps the compiler from dropping the fill as a store into an object not yet built.
        asm volatile("" : : "r"(at) : "memory");
        auto* model = new (at) PolicySettings(folders.store());
        QSignalSpy published(model, &PolicySettings::changed);
        model->refresh();
        EXPECT_EQ(published.count(), 0);
        EXPECT_FALSE(model->simulateManaged());
        model->~PolicySettings();
    }
}
