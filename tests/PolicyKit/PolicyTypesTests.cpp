#include "PolicyKit/PolicyTypes.h"

#include <gtest/gtest.h>

using namespace PolicyKit;
using nlohmann::ordered_json;

TEST(PolicyTypes, RawValuesMatchExactlyAndNothingElse) {
    struct Case {
        const char* text;
        std::optional<BlockedAppBehavior> expected;
    };
    const Case cases[] = {
        {"placeholder", BlockedAppBehavior::placeholder},
        {"omit", BlockedAppBehavior::omit},
        {"cancelCapture", BlockedAppBehavior::cancelCapture},
        {"Placeholder", std::nullopt},
        {"placeHolder", std::nullopt},
        {" placeholder", std::nullopt},
        {"placeholder ", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(blockedAppBehaviorFromRaw(QString(c.text)), c.expected) << c.text;
}

TEST(PolicyTypes, EnumerationJsonIsTheRawStringAndUnknownStringsFail) {
    EXPECT_EQ(ordered_json(BlockedAppBehavior::cancelCapture).dump(), "\"cancelCapture\"");
    EXPECT_EQ(ordered_json("uploadEndpoint").get<ExportDestination>(), ExportDestination::uploadEndpoint);
    EXPECT_EQ(ordered_json(PolicySource::default_).dump(), "\"default\"");
    EXPECT_THROW(ordered_json("Folder").get<ExportDestination>(), DecodingError);
    EXPECT_THROW(ordered_json(1).get<SidecarMode>(), DecodingError);
}

TEST(PolicyTypes, PatternJsonKeepsFieldOrderAndRequiresEveryKey) {
    const PIIPattern builtin{"ssn", "", PIIAction::blurMandatory};
    EXPECT_EQ(ordered_json(builtin).dump(), R"({"name":"ssn","regex":"","action":"blurMandatory"})");
    EXPECT_EQ(ordered_json::parse(R"({"action":"blurSuggested","regex":"E-\\d+","name":"emp"})").get<PIIPattern>(),
              (PIIPattern{"emp", "E-\\d+", PIIAction::blurSuggested}));

    const char* broken[] = {
        R"({"name":"ssn","action":"blurMandatory"})",
        R"({"name":"ssn","regex":"","action":"blurmandatory"})",
        R"({"name":1,"regex":"","action":"blurMandatory"})",
        R"(["ssn","","blurMandatory"])",
    };
    for (const char* text : broken) EXPECT_THROW(ordered_json::parse(text).get<PIIPattern>(), DecodingError) << text;
}

TEST(PolicyTypes, WatermarkJsonHasNoDefaults) {
    const WatermarkConfig config{true, false, true, false};
    EXPECT_EQ(ordered_json(config).dump(),
              R"({"enabled":true,"includeUser":false,"includeDevice":true,"includeTimestamp":false})");
    EXPECT_EQ(ordered_json(config).get<WatermarkConfig>(), config);
    EXPECT_THROW(ordered_json::parse(R"({"enabled":true,"includeUser":true,"includeDevice":true})").get<WatermarkConfig>(),
                 DecodingError);
    EXPECT_THROW(
        ordered_json::parse(R"({"enabled":1,"includeUser":true,"includeDevice":true,"includeTimestamp":true})")
            .get<WatermarkConfig>(),
        DecodingError);
    EXPECT_NE(config, (WatermarkConfig{true, false, true, true}));
}
