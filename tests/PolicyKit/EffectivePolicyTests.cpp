#include "PolicyKit/EffectivePolicy.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace PolicyKit;
using nlohmann::json;
using nlohmann::ordered_json;

namespace {

struct ResolutionCase {
    const char* name;
    const char* managed; // JSON object of forced values
    const char* user;    // JSON object of the user's values
    const char* changes; // JSON form members that differ from the safe defaults ("sources" included)
    std::vector<const char*> diagnostics;
};

// The whole JSON form of the expected policy: the safe defaults with `changes` laid over them.
ordered_json expectedForm(const char* changes) {
    ordered_json form = EffectivePolicy::safeDefaults();
    const ordered_json patch = ordered_json::parse(changes);
    for (const auto& [key, value] : patch.items()) form[key] = value;
    return ordered_json(form.get<EffectivePolicy>()); // back in field order
}

const ResolutionCase kCases[] = {
    {"blocked IDs join user first, then unseen managed",
     R"({"BlockedBundleIDs":["B","C"]})", R"({"BlockedBundleIDs":["A","B","A"]})",
     R"({"blockedBundleIDs":["A","B","C"],"sources":{"BlockedBundleIDs":"managed"}})", {}},
    {"blocked IDs of the user alone", "{}", R"({"BlockedBundleIDs":["A"]})",
     R"({"blockedBundleIDs":["A"],"sources":{"BlockedBundleIDs":"user"}})", {}},
    {"managed blocked IDs of the wrong type are reported", R"({"BlockedBundleIDs":"com.example.vault"})",
     R"({"BlockedBundleIDs":["A"]})", R"({"blockedBundleIDs":["A"],"sources":{"BlockedBundleIDs":"user"}})",
     {"BlockedBundleIDs: expected Array<String>, got String; ignored"}},
    {"user blocked IDs of the wrong type are silent", "{}", R"({"BlockedBundleIDs":["A",1]})", "{}", {}},
    {"forced bool of the wrong type beats a valid user value", R"({"MandatoryReview":"false"})",
     R"({"MandatoryReview":false})", "{}", {"MandatoryReview: expected Bool, got String; ignored"}},
    {"number 0 is false", "{}", R"({"MandatoryReview":0})",
     R"({"mandatoryReview":false,"sources":{"MandatoryReview":"user"}})", {}},
    {"number 2 is not a bool", "{}", R"({"MandatoryReview":2})", "{}",
     {"MandatoryReview: expected Bool, got Int; ignored"}},
    {"forced value wins over the user's", R"({"LockAgent":true})", R"({"LockAgent":false})",
     R"({"lockAgent":true,"sources":{"LockAgent":"managed"}})", {}},
    {"null reads as absent", R"({"LockAgent":null})", R"({"LockAgent":1.0})",
     R"({"lockAgent":true,"sources":{"LockAgent":"user"}})", {}},
    {"unknown blocked-app behaviour", "{}", R"({"BlockedAppBehavior":"Omit"})", "{}",
     {"BlockedAppBehavior: unknown value \"Omit\"; using placeholder"}},
    {"blocked-app behaviour of the wrong type", R"({"BlockedAppBehavior":3})", "{}", "{}",
     {"BlockedAppBehavior: expected String, got Int; ignored"}},
    {"managed patterns first, shadowed user patterns dropped",
     R"({"PIIPatterns":[{"Name":"ssn","Action":"blurMandatory","Regex":"ignored("}]})",
     R"({"PIIPatterns":[{"Name":"ssn","Action":"blurSuggested"},{"Name":"employee-id","Regex":"E-[0-9]{6}","Action":"blurSuggested"}]})",
     R"({"piiPatterns":[{"name":"ssn","regex":"","action":"blurMandatory"},
                        {"name":"employee-id","regex":"E-[0-9]{6}","action":"blurSuggested"}],
         "sources":{"PIIPatterns":"managed"}})",
     {}},
    {"a forced pattern value that yields nothing is still managed", R"({"PIIPatterns":{"Name":"ssn"}})", "{}",
     R"({"piiPatterns":[],"sources":{"PIIPatterns":"managed"}})",
     {"PIIPatterns: expected array of dict, got Dictionary; ignored"}},
    {"pattern entries that cannot be used", "{}",
     R"({"PIIPatterns":[{"Name":"email","Action":"blurMandatory"},{"Name":"badge","Action":"blurMandatory"},
                        {"Name":"acct","Regex":"[0-9","Action":"blurSuggested"},{"Regex":"x","Action":"blurSuggested"},
                        {"Name":"case","Regex":"x","Action":"BlurSuggested"},{"Name":"kept","Regex":"K-\\d+","Action":"blurSuggested"}]})",
     R"({"piiPatterns":[{"name":"email","regex":"","action":"blurMandatory"},
                        {"name":"kept","regex":"K-\\d+","action":"blurSuggested"}],
         "sources":{"PIIPatterns":"user"}})",
     {"PIIPatterns[badge]: custom pattern missing Regex; dropped", "PIIPatterns[acct]: invalid regex; dropped",
      "PIIPatterns: entry missing Name/Action; dropped", "PIIPatterns[case]: unknown action \"BlurSuggested\"; dropped"}},
    {"pattern diagnostics of the managed layer come first", R"({"PIIPatterns":[{"Name":"m"}]})",
     R"({"PIIPatterns":[1]})", R"({"piiPatterns":[],"sources":{"PIIPatterns":"managed"}})",
     {"PIIPatterns: entry missing Name/Action; dropped", "PIIPatterns: expected array of dict, got Array; ignored"}},
    {"sidecars disallowed", "{}", R"({"AllowSidecars":false})",
     R"({"sidecarMode":"off","sources":{"AllowSidecars":"user"}})", {}},
    {"the user's mode does not lift the organisation's ban on sidecars", R"({"AllowSidecars":false})",
     R"({"SidecarMode":"file"})", R"({"sidecarMode":"off","sources":{"AllowSidecars":"managed"}})", {}},
    {"the organisation's own mode still wins over its ban", R"({"AllowSidecars":false,"SidecarMode":"file"})",
     R"({"SidecarMode":"embedded"})",
     R"({"sidecarMode":"file","sources":{"AllowSidecars":"managed","SidecarMode":"managed"}})", {}},
    {"sidecars allowed by the organisation keep the user's mode", R"({"AllowSidecars":true})",
     R"({"SidecarMode":"file"})", R"({"sidecarMode":"file","sources":{"AllowSidecars":"managed","SidecarMode":"user"}})",
     {}},
    {"the user's own ban gives way to the user's mode", "{}", R"({"AllowSidecars":false,"SidecarMode":"file"})",
     R"({"sidecarMode":"file","sources":{"AllowSidecars":"user","SidecarMode":"user"}})", {}},
    {"a managed ban of the wrong type bans nothing", R"({"AllowSidecars":"no"})", R"({"SidecarMode":"file"})",
     R"({"sidecarMode":"file","sources":{"SidecarMode":"user"}})", {"AllowSidecars: expected Bool, got String; ignored"}},
    {"unknown sidecar mode after sidecars were disallowed", "{}", R"({"AllowSidecars":false,"SidecarMode":"File"})",
     R"({"sidecarMode":"off","sources":{"AllowSidecars":"user"}})",
     {"SidecarMode: unknown value \"File\"; using off"}},
    {"unknown sidecar mode keeps the default", "{}", R"({"SidecarMode":"sidecar"})", "{}",
     {"SidecarMode: unknown value \"sidecar\"; using embedded"}},
    {"sidecars allowed of the wrong type", "{}", R"({"AllowSidecars":"no"})", "{}",
     {"AllowSidecars: expected Bool, got String; ignored"}},
    {"destinations keep order and duplicates", "{}", R"({"AllowedExportDestinations":["folder","usb","folder"]})",
     R"({"allowedExportDestinations":["folder","folder"],"sources":{"AllowedExportDestinations":"user"}})",
     {"AllowedExportDestinations: unknown destination \"usb\"; dropped"}},
    {"no destination at all", R"({"AllowedExportDestinations":[]})", "{}",
     R"({"allowedExportDestinations":[],"sources":{"AllowedExportDestinations":"managed"}})", {}},
    {"destinations of the wrong type", "{}", R"({"AllowedExportDestinations":"folder"})", "{}",
     {"AllowedExportDestinations: expected Array<String>, got String; ignored"}},
    {"https webhook", R"({"AuditWebhookURL":"https://audit.example.com/hook?team=a"})", "{}",
     R"({"auditWebhookURL":"https://audit.example.com/hook?team=a","sources":{"AuditWebhookURL":"managed"}})", {}},
    {"webhook without a scheme", "{}", R"({"AuditWebhookURL":"audit.example.com/hook"})", "{}",
     {"AuditWebhookURL: invalid URL \"audit.example.com/hook\"; ignored"}},
    {"empty webhook", "{}", R"({"AuditWebhookURL":""})", "{}", {"AuditWebhookURL: invalid URL \"\"; ignored"}},
    {"webhook over a scheme that is not HTTP", "{}", R"({"AuditWebhookURL":"file:///etc/passwd"})", "{}",
     {"AuditWebhookURL: unsupported scheme \"file\" in \"file:///etc/passwd\" (only http and https); ignored"}},
    {"webhook of the wrong type", "{}", R"({"AuditWebhookURL":["https://a.example"]})", "{}",
     {"AuditWebhookURL: expected String, got Array; ignored"}},
    {"watermark with only Enabled", "{}", R"({"Watermark":{"Enabled":true,"Colour":"red"}})",
     R"({"watermark":{"enabled":true,"includeUser":true,"includeDevice":true,"includeTimestamp":true},
         "sources":{"Watermark":"user"}})",
     {}},
    {"watermark switches of the wrong type are reported",
     R"({"Watermark":{"Enabled":"yes","IncludeUser":0,"IncludeDevice":"no"}})", "{}",
     R"({"watermark":{"enabled":false,"includeUser":false,"includeDevice":true,"includeTimestamp":true},
         "sources":{"Watermark":"managed"}})",
     {"Watermark.Enabled: expected Bool, got String; using false",
      "Watermark.IncludeDevice: expected Bool, got String; using true"}},
    {"empty watermark dictionary replaces the whole watermark", "{}", R"({"Watermark":{}})",
     R"({"sources":{"Watermark":"user"}})", {}},
    {"watermark of the wrong type", R"({"Watermark":true})", "{}", "{}",
     {"Watermark: expected Dictionary<String, Any>, got Bool; ignored"}},
};

void PrintTo(const ResolutionCase& c, std::ostream* out) { *out << c.name; }

class Resolution : public testing::TestWithParam<ResolutionCase> {};

} // namespace

TEST_P(Resolution, GivesTheExpectedPolicySourcesAndDiagnostics) {
    const ResolutionCase& c = GetParam();
    const PolicyResolution result = EffectivePolicy::resolve(PreferenceStore::inMemory(json::parse(c.managed), json::parse(c.user)));
    EXPECT_EQ(ordered_json(result.policy), expectedForm(c.changes)) << ordered_json(result.policy).dump();
    QStringList expected;
    for (const char* line : c.diagnostics) expected << line;
    EXPECT_EQ(result.diagnostics, expected);
    EXPECT_EQ(ordered_json(result.policy).get<EffectivePolicy>(), result.policy);
}

INSTANTIATE_TEST_SUITE_P(Cases, Resolution, testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
});

TEST(EffectivePolicy, EmptyDomainIsExactlyTheSafeDefaults) {
    const PolicyResolution result = EffectivePolicy::resolve(PreferenceStore::inMemory());
    EXPECT_EQ(result.policy, EffectivePolicy::safeDefaults());
    EXPECT_TRUE(result.diagnostics.isEmpty());
    EXPECT_TRUE(result.policy.allowSidecars());
    EXPECT_EQ(ordered_json(result.policy).dump(),
              R"({"blockedBundleIDs":[],"blockedAppBehavior":"placeholder","piiPatterns":[],"mandatoryReview":true,)"
              R"("watermark":{"enabled":false,"includeUser":true,"includeDevice":true,"includeTimestamp":true},)"
              R"("allowedExportDestinations":["clipboard","folder"],"sidecarMode":"embedded","lockAgent":false,"sources":{}})");
}

TEST(EffectivePolicy, SourceOfAKeyWithoutEntryIsDefault) {
    const PolicyResolution result =
        EffectivePolicy::resolve(PreferenceStore::inMemory(json::object(), json{{"AllowSidecars", false}}));
    EXPECT_EQ(result.policy.source("AllowSidecars"), PolicySource::user);
    EXPECT_FALSE(result.policy.allowSidecars());
    EXPECT_EQ(result.policy.source("SidecarMode"), PolicySource::default_);
    EXPECT_EQ(result.policy.source("NotAPolicyKey"), PolicySource::default_);
}

TEST(EffectivePolicy, StoreDiagnosticsComeFirst) {
    PreferenceStore store = PreferenceStore::inMemory(json::object(), json{{"LockAgent", "yes"}});
    store.diagnostics = [] { return QStringList{"managed policy \"/x.json\": not a JSON object; ignored"}; };
    const PolicyResolution result = EffectivePolicy::resolve(store);
    EXPECT_EQ(result.diagnostics, (QStringList{"managed policy \"/x.json\": not a JSON object; ignored",
                                              "LockAgent: expected Bool, got String; ignored"}));
}

TEST(EffectivePolicy, UnreadableLayerIsReportedNotThrown) {
    PreferenceStore store = PreferenceStore::inMemory(json{{"LockAgent", true}});
    store.userValue = [](const std::string&) -> std::optional<json> { throw std::runtime_error("disk on fire"); };
    const PolicyResolution result = EffectivePolicy::resolve(store);
    EXPECT_TRUE(result.policy.lockAgent);
    EXPECT_EQ(result.diagnostics.size(), 9); // every key but the forced one reads the user layer
    EXPECT_EQ(result.diagnostics.first(), "BlockedBundleIDs: could not be read (disk on fire); ignored");
}

TEST(EffectivePolicy, JsonFormRequiresEveryKeyButTheWebhook) {
    ordered_json form = EffectivePolicy::safeDefaults();
    EXPECT_EQ(form.get<EffectivePolicy>(), EffectivePolicy::safeDefaults());
    for (const char* key : {"blockedBundleIDs", "blockedAppBehavior", "piiPatterns", "mandatoryReview", "watermark",
                            "allowedExportDestinations", "sidecarMode", "lockAgent", "sources"}) {
        ordered_json missing = form;
        missing.erase(key);
        EXPECT_THROW(missing.get<EffectivePolicy>(), DecodingError) << key;
    }
    form["sources"] = {{"LockAgent", "forced"}};
    EXPECT_THROW(form.get<EffectivePolicy>(), DecodingError);
}

TEST(EffectivePolicy, JsonFormTakesOnlyWebhooksResolutionWouldTake) {
    struct Case {
        ordered_json url;
        std::optional<const char*> decoded; // nothing: refused
    };
    const Case cases[] = {
        {nullptr, std::nullopt},
        {"https://audit.example.com/hook?team=a", "https://audit.example.com/hook?team=a"},
        {"HTTP://audit.example.com", "http://audit.example.com"},
        {"file:///etc/passwd", std::nullopt},
        {"ftp://audit.example.com/drop", std::nullopt},
        {"https:///no-host", std::nullopt},
        {"no scheme", std::nullopt},
        {"", std::nullopt},
        {42, std::nullopt},
    };
    for (const Case& c : cases) {
        ordered_json form = EffectivePolicy::safeDefaults();
        form["auditWebhookURL"] = c.url;
        if (c.url.is_null()) {
            EXPECT_EQ(form.get<EffectivePolicy>(), EffectivePolicy::safeDefaults()); // null is absent
        } else if (c.decoded) {
            EXPECT_EQ(form.get<EffectivePolicy>().auditWebhookURL, QUrl(*c.decoded)) << c.url.dump();
        } else {
            EXPECT_THROW(form.get<EffectivePolicy>(), DecodingError) << c.url.dump();
        }
    }
}

TEST(EffectivePolicy, ParsesEachLayerOnItsOwn) {
    QStringList diagnostics;
    EXPECT_TRUE(EffectivePolicy::parsePIIPatterns(std::nullopt, diagnostics).empty());
    EXPECT_TRUE(diagnostics.isEmpty());
    // Duplicates within one layer stay.
    const json layer = json::parse(R"([{"Name":"x","Regex":"a","Action":"blurSuggested"},
                                       {"Name":"x","Regex":"b","Action":"blurMandatory"}])");
    EXPECT_EQ(EffectivePolicy::parsePIIPatterns(layer, diagnostics).size(), 2u);
    EXPECT_TRUE(diagnostics.isEmpty());
}
