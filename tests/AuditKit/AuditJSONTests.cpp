#include "AuditKit/AuditJSON.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <nlohmann/json.hpp>

using namespace AuditKit;
using nlohmann::json;

namespace {

const QDateTime kTime = QDateTime::fromString("2026-12-05T16:27:13.789Z", Qt::ISODateWithMs);
const QUuid kID = QUuid::fromString(QStringLiteral("6f1c2d3e-4a5b-4c6d-8e7f-90a1b2c3d4e5"));

AuditRecord recordOf(AuditEvent event) { return AuditRecord(std::move(event), kTime, kID, "build-01", "r\u00f6\"ot\\"); }

// The record's text as Python's json module writes the same members: sorted keys, compact,
// UTF-8, every "/" escaped.
QByteArray pythonBytes(const json& members) {
    const char* script =
        "import json, sys\n"
        "obj = json.loads(sys.stdin.buffer.read().decode('utf-8'))\n"
        "text = json.dumps(obj, sort_keys=True, separators=(',', ':'), ensure_ascii=False).replace('/', '\\\\/')\n"
        "sys.stdout.buffer.write(text.encode('utf-8'))\n";
    const auto result = TestSupport::runProgram("python3", {"-c", script}, QByteArray::fromStdString(members.dump()));
    if (!result || result->exitCode != 0) {
        ADD_FAILURE() << "python3 failed: " << (result ? result->standardError.toStdString() : "not started");
        return {};
    }
    return result->standardOutput;
}

json envelope(const char* kind) {
    return {{"timestamp", "2026-12-05T16:27:13Z"},
            {"eventID", "6F1C2D3E-4A5B-4C6D-8E7F-90A1B2C3D4E5"},
            {"host", "build-01"},
            {"user", "r\u00f6\"ot\\"},
            {"schemaVersion", 1},
            {"kind", kind}};
}

struct BytesCase {
    const char* name;
    AuditEvent event;
    json members; // the event's own members, written out by hand
};

} // namespace

TEST(AuditJSON, RecordBytesMatchAnIndependentEncoder) {
    REQUIRE_PROGRAM("python3");
    const BytesCase cases[] = {
        {"capture",
         AuditEvent::capture("region", {"com.example/editor", "org.\u00fcn\u00ef.app"}, {}, "placeholder"),
         {{"mode", "region"},
          {"capturedBundleIDs", {"com.example/editor", "org.\u00fcn\u00ef.app"}},
          {"blocklistHits", json::array()},
          {"behaviorApplied", "placeholder"}}},
        {"redaction",
         AuditEvent::redaction({{"email", 2}, {"Zeta", 1}, {"iban", 0}, {"\u00dfcustom", 3}, {"employee-id", INT64_MAX}}),
         {{"detectorCounts", {{"email", 2}, {"Zeta", 1}, {"iban", 0}, {"\u00dfcustom", 3}, {"employee-id", INT64_MAX}}}}},
        {"redaction without findings", AuditEvent::redaction({}), {{"detectorCounts", json::object()}}},
        {"export",
         AuditEvent::export_("folder", "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"),
         {{"destinationKind", "folder"}, {"sha256Hex", "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"}}},
        {"policyViolation",
         AuditEvent::policyViolation("cancelCapture", "blocked bundle IDs: com.a/b, c\td\n\x01\x1f \u2028 \U0001F600"),
         {{"violationKind", "cancelCapture"},
          {"detail", "blocked bundle IDs: com.a/b, c\td\n\x01\x1f \u2028 \U0001F600"}}},
    };
    for (const BytesCase& c : cases) {
        json members = envelope(c.name);
        members["kind"] = c.event.kindName().toStdString();
        for (const auto& [key, value] : c.members.items()) members[key] = value;
        EXPECT_EQ(AuditJSON::encode(recordOf(c.event)), pythonBytes(members)) << c.name;
    }
}

TEST(AuditJSON, DecodingGivesBackTheRecordToTheWholeSecond) {
    const AuditRecord original = recordOf(AuditEvent::capture("window", {"a"}, {"a"}, "omit"));
    const AuditRecord decoded = AuditJSON::decode(AuditJSON::encode(original));
    EXPECT_NE(decoded, original); // the fraction of a second is not written
    AuditRecord whole = original;
    whole.timestamp = QDateTime::fromString("2026-12-05T16:27:13Z", Qt::ISODate);
    EXPECT_EQ(AuditJSON::decode(AuditJSON::encode(whole)), whole);
    for (const AuditEvent& event : {AuditEvent::redaction({{"ssn", 4}}), AuditEvent::export_("clipboard", "00"),
                                    AuditEvent::policyViolation("k", "d")}) {
        AuditRecord record = whole;
        record.event = event;
        EXPECT_EQ(AuditJSON::decode(AuditJSON::encode(record)), record);
    }
}

TEST(AuditJSON, RecordsMissingSomethingDoNotDecode) {
    const json good = json::parse(AuditJSON::encode(recordOf(AuditEvent::export_("folder", "ab"))).toStdString());
    EXPECT_NO_THROW(AuditJSON::decode(QByteArray::fromStdString(good.dump())));
    struct Change {
        const char* name;
        std::function<void(json&)> apply;
    };
    const Change changes[] = {
        {"unknown kind", [](json& j) { j["kind"] = "upload"; }},
        {"kind of another case", [](json& j) { j["kind"] = "capture"; }},
        {"missing kind key", [](json& j) { j.erase("sha256Hex"); }},
        {"missing envelope key", [](json& j) { j.erase("host"); }},
        {"fractional timestamp", [](json& j) { j["timestamp"] = "2026-12-05T16:27:13.5Z"; }},
        {"date without time", [](json& j) { j["timestamp"] = "2026-12-05"; }},
        {"not a UUID", [](json& j) { j["eventID"] = "6F1C2D3E"; }},
        {"string version", [](json& j) { j["schemaVersion"] = "1"; }},
        {"number for a string", [](json& j) { j["destinationKind"] = 3; }},
    };
    for (const Change& change : changes) {
        json broken = good;
        change.apply(broken);
        EXPECT_THROW(AuditJSON::decode(QByteArray::fromStdString(broken.dump())), AuditJSON::DecodingError) << change.name;
    }
    EXPECT_THROW(AuditJSON::decode("{\"kind\":"), AuditJSON::DecodingError);
    EXPECT_THROW(AuditJSON::decode("[]"), AuditJSON::DecodingError);
    // A number beyond the double range is an undecodable line like any other.
    json overflowing = good;
    overflowing["schemaVersion"] = 1;
    QByteArray text = QByteArray::fromStdString(overflowing.dump());
    text.replace("\"schemaVersion\":1", "\"schemaVersion\":1e999");
    EXPECT_THROW(AuditJSON::decode(text), AuditJSON::DecodingError);
    // A hostile buffer line nested far deeper than any record is refused, not followed down.
    EXPECT_THROW(AuditJSON::decode(QByteArray(200000, '[') + QByteArray(200000, ']')), AuditJSON::DecodingError);
}

TEST(AuditJSON, IntegersBeyondSigned64BitsAreRefusedNotWrapped) {
    // Written as text: a buffered line may hold any number, and a wrapped one would be re-posted altered.
    const QByteArray version = AuditJSON::encode(recordOf(AuditEvent::policyViolation("k", "d")));
    const QByteArray counts = AuditJSON::encode(recordOf(AuditEvent::redaction({{"ssn", 1}})));
    ASSERT_TRUE(version.contains("\"schemaVersion\":1,"));
    ASSERT_TRUE(counts.contains("{\"ssn\":1}"));
    struct Case {
        QByteArray text;
        std::optional<qint64> decoded; // nothing: refused
    };
    const auto withVersion = [&](const char* number) {
        return QByteArray(version).replace("\"schemaVersion\":1,", QByteArray("\"schemaVersion\":") + number + ",");
    };
    const auto withCount = [&](const char* number) {
        return QByteArray(counts).replace("{\"ssn\":1}", QByteArray("{\"ssn\":") + number + "}");
    };
    const Case cases[] = {
        {withVersion("18446744073709551615"), std::nullopt},
        {withVersion("9223372036854775808"), std::nullopt},
        {withVersion("9223372036854775807"), std::numeric_limits<qint64>::max()},
        {withVersion("-9223372036854775808"), std::numeric_limits<qint64>::min()},
        {withVersion("2.0"), std::nullopt},
        {withCount("9223372036854775808"), std::nullopt},
        {withCount("18446744073709551615"), std::nullopt},
        {withCount("9223372036854775807"), std::numeric_limits<qint64>::max()},
    };
    for (const Case& c : cases) {
        if (!c.decoded) {
            EXPECT_THROW(AuditJSON::decode(c.text), AuditJSON::DecodingError) << c.text.toStdString();
            continue;
        }
        const AuditRecord record = AuditJSON::decode(c.text);
        const auto* redaction = std::get_if<AuditEvent::Redaction>(&record.event.value);
        EXPECT_EQ(redaction ? redaction->detectorCounts.at("ssn") : record.schemaVersion, *c.decoded);
        EXPECT_EQ(AuditJSON::encode(record), c.text); // re-posted unchanged
    }
}

TEST(AuditJSON, AnySchemaVersionAndExtraMembersAreAccepted) {
    json text = json::parse(AuditJSON::encode(recordOf(AuditEvent::policyViolation("k", "d"))).toStdString());
    text["schemaVersion"] = 7;
    text["mode"] = "stray";
    text["timestamp"] = "2026-12-05T17:27:13+01:00";
    const AuditRecord decoded = AuditJSON::decode(QByteArray::fromStdString(text.dump()));
    EXPECT_EQ(decoded.schemaVersion, 7);
    EXPECT_EQ(decoded.timestamp, QDateTime::fromString("2026-12-05T16:27:13Z", Qt::ISODate));
}

TEST(AuditRecord, ShortHostIsTheFirstNonEmptyLabel) {
    const std::pair<const char*, const char*> cases[] = {
        {"build-01.corp.example.com", "build-01"}, {".hidden.example", "hidden"}, {"plain", "plain"},
        {"", "unknown"},                            {"...", "unknown"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(AuditRecord::shortHost(name), expected) << name;
    EXPECT_FALSE(AuditRecord::shortHost().contains('.'));
}
