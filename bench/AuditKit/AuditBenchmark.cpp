// Costs on the audit path: `AuditLog::record` as the thread that records events pays it, the
// record's JSON text, and the offline buffer at its bound of 10000 lines, where a drain takes
// delivered lines out.
#include "AuditKit/AuditJSON.h"
#include "AuditKit/AuditLog.h"
#include "AuditKit/JournalLogSink.h"
#include "AuditKit/OfflineBuffer.h"
#include "AuditKit/WebhookSink.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

using namespace AuditKit;

namespace {

AuditRecord sampleRecord() {
    return AuditRecord::now(AuditEvent::capture("region", {"org.example.mail", "com.example.vault", "org.example/term"},
                                                {"com.example.vault"}, "placeholder"));
}

// A buffer folder holding `lines` records.
struct FilledBuffer {
    QTemporaryDir folder;
    OfflineBuffer buffer;
    explicit FilledBuffer(int lines) : buffer(folder.path(), 10000) {
        QByteArray text;
        for (int i = 0; i < lines; ++i) text += AuditJSON::encode(sampleRecord()) + '\n';
        QFile file(buffer.fileName());
        file.open(QIODevice::WriteOnly);
        file.write(text);
    }
};

class DiscardingLogSink final : public Support::LogSink {
public:
    void write(const Support::LogEntry&) override {}
};

// One `record` call as the GUI thread makes it, with a webhook that cannot be reached (nothing
// listens on the discard port), so every record stays buffered; the buffer starts with
// range(0) lines. range(1) = 1 writes the journal entry too (0: the log entry is dropped, leaving
// the audit trail's own cost). Per-call median, 90th percentile and worst case in milliseconds.
void recordLatency(benchmark::State& state) {
    FilledBuffer filled(static_cast<int>(state.range(0)));
    std::shared_ptr<Support::LogSink> logSink;
    if (state.range(1)) {
        logSink = std::make_shared<AuditKit::JournalLogSink>();
    } else {
        logSink = std::make_shared<DiscardingLogSink>();
    }
    auto webhook = std::make_shared<WebhookSink>(QUrl("http://127.0.0.1:9/audit"), filled.folder.path());
    AuditLog log(webhook, logSink);
    const AuditEvent event = AuditEvent::export_("clipboard", QString(64, 'a'));
    std::vector<double> milliseconds;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        log.record(event);
        milliseconds.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    state.counters["median_ms"] = milliseconds[milliseconds.size() / 2];
    state.counters["p90_ms"] = milliseconds[milliseconds.size() * 9 / 10];
    state.counters["max_ms"] = milliseconds.back();
}
BENCHMARK(recordLatency)
    ->Args({0, 0})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Iterations(300)
    ->Unit(benchmark::kMillisecond);

void encodeRecord(benchmark::State& state) {
    const AuditRecord record = sampleRecord();
    for (auto _ : state) benchmark::DoNotOptimize(AuditJSON::encode(record));
}
BENCHMARK(encodeRecord);

void decodeRecord(benchmark::State& state) {
    const QByteArray text = AuditJSON::encode(sampleRecord());
    for (auto _ : state) benchmark::DoNotOptimize(AuditJSON::decode(text));
}
BENCHMARK(decodeRecord);

// The append that trims to the bound and writes the whole file, as the delivery worker makes it
// when a record could not be stored the quick way.
void appendToBuffer(benchmark::State& state) {
    FilledBuffer filled(static_cast<int>(state.range(0)));
    const AuditRecord record = sampleRecord();
    for (auto _ : state) filled.buffer.append(record);
}
BENCHMARK(appendToBuffer)->Arg(0)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

void removeDeliveredBatch(benchmark::State& state) {
    FilledBuffer filled(10000);
    for (auto _ : state) {
        state.PauseTiming();
        const std::vector<QByteArray> lines = filled.buffer.readLines();
        const std::vector<QByteArray> batch(lines.begin(), lines.begin() + 32);
        state.ResumeTiming();
        filled.buffer.remove(batch);
        state.PauseTiming();
        for (const QByteArray& line : batch) filled.buffer.append(AuditJSON::decode(line));
        state.ResumeTiming();
    }
}
BENCHMARK(removeDeliveredBatch)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
