#include "AuditKit/AuditJSON.h"
#include "AuditKit/WebhookSink.h"
#include "LoopbackServer.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <thread>

using namespace AuditKit;

namespace {

AuditRecord numbered(int n) {
    return AuditRecord::now(AuditEvent::policyViolation("test", QString("record %1").arg(n)));
}

QString detailOf(const QByteArray& body) {
    return std::get<AuditEvent::PolicyViolation>(AuditJSON::decode(body).event.value).detail;
}

// The records each request carried that the server accepted, in arrival order.
QStringList deliveredDetails(const std::vector<LoopbackServer::Request>& requests) {
    QStringList out;
    for (const auto& request : requests) {
        if (request.status >= 200 && request.status <= 299) out << detailOf(request.body);
    }
    return out;
}

class Webhook : public testing::Test {
protected:
    void SetUp() override {
        if (!TestSupport::hasProgram("python3")) GTEST_SKIP() << "python3 is not installed";
        // Loopback requests must never go through a proxy from the environment.
        setenv("no_proxy", "127.0.0.1", 1);
        setenv("NO_PROXY", "127.0.0.1", 1);
    }

    QString bufferFile() const { return folder_ + "/audit-buffer.jsonl"; }

    // A new sink over the test's folder records one event and finishes its delivery.
    void deliver(const QUrl& url, const AuditRecord& record) {
        WebhookSink sink(url, folder_);
        sink.send(record);
        sink.waitUntilIdle();
    }
    void deliverOneMore(const QUrl& url, int n) { deliver(url, numbered(n)); }

    void startChild(QProcess& child, const QUrl& url, int count, const char* ending) {
        child.start(AUDIT_WEBHOOK_CHILD, {url.toString(), folder_, QString::number(count), ending});
        ASSERT_TRUE(child.waitForStarted(10000));
    }

    QString folder_ = TestSupport::makeTemporaryFolder("webhook") + "/audit-buffer";
};

} // namespace

TEST_F(Webhook, AcceptedRecordIsPostedOnceWithOnlyContentTypeAddedAndNotKept) {
    LoopbackServer server({}, 204);
    ASSERT_TRUE(server.isRunning());
    // A body over a kilobyte is where curl would otherwise add "Expect: 100-continue".
    const AuditRecord record = AuditRecord::now(AuditEvent::policyViolation("test", QString(4000, 'x')));
    deliver(server.url(), record);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, "/audit");
    EXPECT_EQ(requests[0].body, AuditJSON::encode(record));
    std::map<QString, QString> headers;
    for (const auto& [name, value] : requests[0].headers) headers[name.toLower()] = value;
    EXPECT_EQ(headers, (std::map<QString, QString>{{"host", server.url().authority()},
                                                   {"content-type", "application/json"},
                                                   {"content-length", QString::number(requests[0].body.size())}}));
    EXPECT_FALSE(QFile::exists(bufferFile()));
}

TEST_F(Webhook, FailedRecordIsTriedThreeTimesWithGrowingPausesThenBuffered) {
    LoopbackServer server({500, 500, 500}, 204);
    ASSERT_TRUE(server.isRunning());
    const AuditRecord record = numbered(1);
    deliver(server.url(), record);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_GE(requests[1].arrival - requests[0].arrival, 0.2);
    EXPECT_GE(requests[2].arrival - requests[1].arrival, 0.4);
    for (const auto& request : requests) EXPECT_EQ(request.body, AuditJSON::encode(record));
    EXPECT_EQ(TestSupport::readFile(bufferFile()), AuditJSON::encode(record) + '\n');
}

TEST_F(Webhook, OnlyStatusesFrom200To299CountAsDelivered) {
    const std::pair<int, bool> cases[] = {{199, false}, {200, true}, {299, true}, {300, false}};
    for (const auto& [status, delivered] : cases) {
        const QString folder = TestSupport::makeTemporaryFolder("status") + "/audit-buffer";
        LoopbackServer server({}, status);
        ASSERT_TRUE(server.isRunning());
        WebhookSink sink(server.url(), folder);
        sink.send(numbered(status));
        sink.waitUntilIdle();
        EXPECT_EQ(server.requests().size(), delivered ? 1u : 3u) << status;
        EXPECT_EQ(OfflineBuffer(folder, 10).readAll().size(), delivered ? 0u : 1u) << status;
    }
}

TEST_F(Webhook, RedirectedRecordIsPostedAgainNotFetched) {
    for (int status : {301, 302, 303}) {
        const QString folder = TestSupport::makeTemporaryFolder("redirect") + "/audit-buffer";
        LoopbackServer server({status}, 204);
        ASSERT_TRUE(server.isRunning());
        const AuditRecord record = numbered(status);
        WebhookSink sink(server.url(), folder);
        sink.send(record);
        sink.waitUntilIdle();
        const auto requests = server.requests();
        ASSERT_EQ(requests.size(), 2u) << status;
        EXPECT_EQ(requests[1].method, "POST") << status;
        EXPECT_EQ(requests[1].path, "/redirected") << status;
        EXPECT_EQ(requests[1].body, AuditJSON::encode(record)) << status;
    }
}

TEST_F(Webhook, DeadEndpointBuffersAndTheNextGoodPassDeliversEverythingOnceInOrder) {
    {
        WebhookSink dead(LoopbackServer::deadUrl(), folder_);
        for (int n = 1; n <= 3; ++n) dead.send(numbered(n));
        dead.waitUntilIdle();
    }
    EXPECT_EQ(OfflineBuffer(folder_, 10).readAll().size(), 3u);

    LoopbackServer server;
    ASSERT_TRUE(server.isRunning());
    deliverOneMore(server.url(), 4);
    EXPECT_EQ(deliveredDetails(server.requests()), (QStringList{"record 1", "record 2", "record 3", "record 4"}));
    EXPECT_FALSE(QFile::exists(bufferFile()));
}

TEST_F(Webhook, SendAddsTheRecordToTheBufferWithoutRewritingIt) {
    // The caller's thread pays for one appended line, not for a copy of the whole buffer.
    OfflineBuffer seed(folder_, 10);
    seed.append(numbered(1));
    seed.append(numbered(2));
    const QByteArray seeded = TestSupport::readFile(bufferFile());
    const auto inode = [&] { return TestSupport::inodeOf(bufferFile()); };
    const auto before = inode();
    WebhookSink sink(LoopbackServer::deadUrl(), folder_);
    const AuditRecord record = numbered(3);
    sink.send(record);
    EXPECT_EQ(TestSupport::readFile(bufferFile()), seeded + AuditJSON::encode(record) + '\n'); // there on return
    EXPECT_EQ(inode(), before);
    sink.waitUntilIdle();
    EXPECT_EQ(inode(), before); // a pass that delivers nothing rewrites nothing
}

TEST_F(Webhook, FullBufferKeepsItsBoundAndCountsWhatItDrops) {
    QByteArray full;
    for (int n = 0; n < WebhookSink::kBufferMaxCount; ++n) full += AuditJSON::encode(numbered(n)) + '\n';
    TestSupport::writeFile(bufferFile(), full);
    WebhookSink sink(LoopbackServer::deadUrl(), folder_);
    sink.send(numbered(-1));
    sink.send(numbered(-2));
    sink.waitUntilIdle();
    const std::vector<QByteArray> lines = sink.buffer().readLines();
    ASSERT_EQ(qint64(lines.size()), WebhookSink::kBufferMaxCount);
    EXPECT_EQ(TestSupport::readFile(bufferFile()).count('\n'), WebhookSink::kBufferMaxCount);
    EXPECT_EQ(detailOf(lines.front()), "record 2");
    EXPECT_EQ(detailOf(lines.back()), "record -2");
    EXPECT_EQ(sink.buffer().droppedCount(), 2);
}

TEST_F(Webhook, RecordsDeliveredBeforeAFailureAreNotPostedAgain) {
    OfflineBuffer seed(folder_, 10);
    seed.append(numbered(1));
    seed.append(numbered(2));
    LoopbackServer server({200, 500, 500, 500}, 204);
    ASSERT_TRUE(server.isRunning());
    WebhookSink sink(server.url(), folder_);
    sink.send(numbered(3));
    sink.waitUntilIdle();
    EXPECT_EQ(server.requests().size(), 4u);
    EXPECT_EQ(deliveredDetails(server.requests()), QStringList{"record 1"});
    QStringList kept;
    for (const AuditRecord& r : seed.readAll()) kept << std::get<AuditEvent::PolicyViolation>(r.event.value).detail;
    EXPECT_EQ(kept, (QStringList{"record 2", "record 3"}));

    deliverOneMore(server.url(), 4);
    EXPECT_EQ(deliveredDetails(server.requests()), (QStringList{"record 1", "record 2", "record 3", "record 4"}));
}

TEST_F(Webhook, UndecodableLineIsNeverPostedAndGoesAfterAFullDelivery) {
    // A record whose number is beyond the double range is as undecodable as a cut-off one.
    QByteArray overflowing = AuditJSON::encode(numbered(0));
    overflowing.replace("\"schemaVersion\":1", "\"schemaVersion\":1e999");
    ASSERT_TRUE(overflowing.contains("1e999"));
    TestSupport::writeFile(bufferFile(), "{\"kind\":\"capture\"}\n" + overflowing + "\n" + AuditJSON::encode(numbered(1)) + "\n");
    LoopbackServer server;
    ASSERT_TRUE(server.isRunning());
    deliverOneMore(server.url(), 2);
    EXPECT_EQ(deliveredDetails(server.requests()), (QStringList{"record 1", "record 2"}));
    EXPECT_EQ(server.requests().size(), 2u);
    EXPECT_FALSE(QFile::exists(bufferFile()));
}

TEST_F(Webhook, OnlyHttpIsSpoken) {
    const QString target = TestSupport::makeTemporaryFolder("file-target") + "/written";
    WebhookSink sink(QUrl::fromLocalFile(target), folder_);
    sink.send(numbered(1));
    sink.waitUntilIdle();
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(OfflineBuffer(folder_, 10).readAll().size(), 1u);
}

TEST_F(Webhook, TwoSinksOnOneFolderLoseNothingAndDeliverEachRecordOnce) {
    // Failures scattered through the run make both sinks buffer and drain at the same time.
    LoopbackServer server({500, 204, 500, 500, 500, 204, 500, 204, 500, 500, 500}, 204);
    ASSERT_TRUE(server.isRunning());
    constexpr int kPerSink = 15;
    std::vector<std::thread> capturers;
    for (int s = 0; s < 2; ++s) {
        capturers.emplace_back([&, s] {
            WebhookSink sink(server.url(), folder_);
            for (int i = 0; i < kPerSink; ++i) sink.send(numbered(100 * s + i));
            sink.waitUntilIdle();
        });
    }
    for (std::thread& t : capturers) t.join();

    const QStringList delivered = deliveredDetails(server.requests());
    const std::size_t buffered = OfflineBuffer(folder_, 10000).readAll().size();
    EXPECT_EQ(std::size_t(delivered.size()) + buffered, std::size_t(2 * kPerSink));
    EXPECT_EQ(std::set<QString>(delivered.begin(), delivered.end()).size(), std::size_t(delivered.size()));

    // What stayed buffered goes with the next good pass (to a server with no failures left).
    LoopbackServer good;
    ASSERT_TRUE(good.isRunning());
    deliverOneMore(good.url(), 999);
    const QStringList all = delivered + deliveredDetails(good.requests());
    EXPECT_EQ(all.size(), 2 * kPerSink + 1);
    EXPECT_EQ(std::set<QString>(all.begin(), all.end()).size(), std::size_t(all.size()));
    EXPECT_FALSE(QFile::exists(bufferFile()));
}

TEST_F(Webhook, ChildKilledMidRetryLosesNothingAndRepeatsNothing) {
    OfflineBuffer seed(folder_, 10);
    seed.append(numbered(101));
    seed.append(numbered(102));
    // The two buffered records go through; the child's first fails and is being retried when the
    // child dies.
    LoopbackServer server({204, 204}, 500);
    ASSERT_TRUE(server.isRunning());
    QProcess child;
    startChild(child, server.url(), 3, "hang");
    QByteArray output; // "sent <i>" lines; every record is on disk once its line is out
    while (!(output += child.readAllStandardOutput()).contains("sent 3") && child.waitForReadyRead(10000)) {
    }
    server.waitForRequests(4);
    child.kill();
    child.waitForFinished(10000);
    EXPECT_GE(server.requests().size(), 4u);

    // Recorded = delivered + buffered: the delivered records left the buffer before the retries.
    EXPECT_EQ(seed.readAll().size(), 3u);
    server.setDefaultStatus(204);
    deliverOneMore(server.url(), 4);
    EXPECT_EQ(deliveredDetails(server.requests()),
              (QStringList{"record 101", "record 102", "record 1", "record 2", "record 3", "record 4"}));
    EXPECT_FALSE(QFile::exists(bufferFile()));
}

TEST_F(Webhook, ProcessesEndingMidRetryExitCleanlyAndKeepTheirRecordsBuffered) {
    LoopbackServer server({}, 500);
    ASSERT_TRUE(server.isRunning());
    // Many at once: a process that ends while its delivery worker starts posting must neither
    // crash nor hang in the libraries' own clean-up.
    constexpr int kChildren = 16;
    std::vector<std::unique_ptr<QProcess>> children;
    for (int i = 0; i < kChildren; ++i) {
        children.push_back(std::make_unique<QProcess>());
        children.back()->start(AUDIT_WEBHOOK_CHILD, {server.url().toString(), folder_ + QString::number(i), "3", "exit"});
    }
    for (int i = 0; i < kChildren; ++i) {
        ASSERT_TRUE(children[i]->waitForFinished(30000));
        EXPECT_EQ(children[i]->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(children[i]->exitCode(), 0);
        EXPECT_EQ(OfflineBuffer(folder_ + QString::number(i), 10).readAll().size(), 3u);
    }
}

// With no room on the disk (no file may grow past a few bytes) delivered records cannot be taken
// out of the buffer file, and new ones cannot be added to it: each capture's sink still posts
// every buffered record once, and its own record once.
TEST_F(Webhook, BufferedRecordsAcceptedOnAFullDiskArePostedOnce) {
    OfflineBuffer seed(folder_, WebhookSink::kBufferMaxCount);
    for (int n = 1; n <= 40; ++n) seed.append(numbered(n));
    LoopbackServer server;
    ASSERT_TRUE(server.isRunning());
    {
        const TestSupport::FileSizeLimit full(16);
        for (int n = 41; n <= 43; ++n) deliverOneMore(server.url(), n);
    }
    const QStringList delivered = deliveredDetails(server.requests());
    std::map<QString, int> accepted;
    for (const QString& detail : delivered) ++accepted[detail];
    EXPECT_EQ(accepted.size(), 43u);
    for (const auto& [detail, times] : accepted) EXPECT_EQ(times, 1) << detail.toStdString();
    EXPECT_EQ(delivered.size(), 43);
}
