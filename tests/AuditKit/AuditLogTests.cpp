#include "AuditKit/AuditJSON.h"
#include "AuditKit/AuditLog.h"
#include "AuditKit/JournalLogSink.h"
#include "LoopbackServer.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <mutex>
#include <systemd/sd-journal.h>

using namespace AuditKit;

namespace {

class RecordingSink : public Support::LogSink {
public:
    void write(const Support::LogEntry& entry) override {
        std::lock_guard guard(mutex_);
        entries_.push_back(entry);
    }
    std::vector<Support::LogEntry> entries() {
        std::lock_guard guard(mutex_);
        return entries_;
    }

private:
    std::mutex mutex_;
    std::vector<Support::LogEntry> entries_;
};

} // namespace

TEST(AuditLog, EachEventIsOneJsonEntryUnderTheAuditSubsystem) {
    auto sink = std::make_shared<RecordingSink>();
    AuditLog log(nullptr, sink);
    const AuditEvent event = AuditEvent::capture("display", {"org.example.mail"}, {}, "omit");
    log.record(event);
    log.record(event);

    const auto entries = sink->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].subsystem, "app.brindlecast.audit");
    EXPECT_EQ(entries[0].category, "events");
    EXPECT_EQ(entries[0].level, Support::LogLevel::notice);
    EXPECT_FALSE(entries[0].message.contains('\n'));
    const AuditRecord first = AuditJSON::decode(entries[0].message.toUtf8());
    const AuditRecord second = AuditJSON::decode(entries[1].message.toUtf8());
    EXPECT_EQ(first.event, event);
    EXPECT_EQ(first.host, AuditRecord::shortHost());
    EXPECT_EQ(first.user, AuditRecord::shortUser());
    EXPECT_EQ(first.schemaVersion, 1);
    EXPECT_NE(first.eventID, second.eventID);
}

TEST(AuditLog, LogAndWebhookCarryTheSameBytes) {
    REQUIRE_PROGRAM("python3");
    setenv("no_proxy", "127.0.0.1", 1);
    LoopbackServer server;
    ASSERT_TRUE(server.isRunning());
    auto webhook = std::make_shared<WebhookSink>(server.url(), TestSupport::makeTemporaryFolder("log") + "/audit-buffer");
    auto sink = std::make_shared<RecordingSink>();
    AuditLog log(webhook, sink);
    log.record(AuditEvent::export_("clipboard", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    webhook->waitUntilIdle();
    ASSERT_EQ(sink->entries().size(), 1u);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0].body, sink->entries()[0].message.toUtf8());
}

TEST(JournalLogSink, RecordReachesTheJournalWithItsFields) {
    if (!QFileInfo::exists("/run/systemd/journal/socket")) GTEST_SKIP() << "no journald is running";
    REQUIRE_PROGRAM("journalctl");
    if (sd_journal_print(LOG_DEBUG, "brindlecast journal probe") < 0) GTEST_SKIP() << "no journal answers";

    const QString marker = QUuid::createUuid().toString(QUuid::WithoutBraces);
    AuditLog(nullptr, std::make_shared<JournalLogSink>()).record(AuditEvent::policyViolation("journalTest", marker));

    // The journal makes an entry visible shortly after it arrives: look again for a while.
    std::optional<nlohmann::json> found;
    TestSupport::waitUntil([&] {
        const auto result = TestSupport::runProgram(
            "journalctl", {"-o", "json", "--no-pager", "-n", "500", "BRINDLECAST_SUBSYSTEM=app.brindlecast.audit"});
        for (const QByteArray& line : result ? result->standardOutput.split('\n') : QList<QByteArray>()) {
            const nlohmann::json entry = nlohmann::json::parse(line.toStdString(), nullptr, false);
            if (entry.is_object() && entry.value("MESSAGE", "").find(marker.toStdString()) != std::string::npos) {
                found = entry;
            }
        }
        return found.has_value();
    });
    ASSERT_TRUE(found) << "the record did not show up in journalctl";
    const QByteArray message = QByteArray::fromStdString(found->at("MESSAGE").get<std::string>());
    EXPECT_EQ(AuditJSON::encode(AuditJSON::decode(message)), message);
    EXPECT_EQ(found->value("BRINDLECAST_CATEGORY", ""), "events");
    EXPECT_EQ(found->value("SYSLOG_IDENTIFIER", ""), "brindlecast");
    EXPECT_EQ(found->value("PRIORITY", ""), "5");
}
