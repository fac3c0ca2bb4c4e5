// Costs on the audit path: the record's JSON text, and the offline buffer at its bound of 10000
// lines, where every append rewrites the whole file and a drain takes delivered lines out.
#include "AuditKit/AuditJSON.h"
#include "AuditKit/OfflineBuffer.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

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
