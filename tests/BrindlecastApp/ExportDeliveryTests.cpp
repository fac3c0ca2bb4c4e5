#include "PipelineTestSupport.h"

#include "BrindlecastApp/Pipeline/ExportDelivery.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "BrindlecastApp/Pipeline/WorkingCopy.h"
#include "ExportKit/Exporter.h"

#include <QCryptographicHash>

using namespace PipelineTests;

namespace {

QImage decoded(const QByteArray& bytes) {
    return QImage::fromData(bytes).convertToFormat(QImage::Format_ARGB32_Premultiplied);
}


Outcome<std::optional<QString>> exportNow(Harness& h, ExportRequest request) {
    std::optional<Outcome<std::optional<QString>>> result;
    exportAndDeliver(h.env, std::move(request), h.policy, std::make_shared<AuditKit::AuditLog>(nullptr, h.log),
                     [&](Outcome<std::optional<QString>> outcome) { result = std::move(outcome); });
    EXPECT_TRUE(waitUntil([&] { return result.has_value(); }));
    return result.value_or(Outcome<std::optional<QString>>{});
}

} // namespace

TEST(ExportDelivery, RedactionCountsAreAuditedBeforeTheDeliveredBytes) {
    struct Row {
        std::vector<Detection> redact;
        std::map<QString, qint64> counts;
    };
    const std::vector<Row> rows = {
        {{suggested("email", Support::Rect(0, 0, 10, 10)), mandatory("email", Support::Rect(20, 0, 10, 10)),
          suggested("face", Support::Rect(0, 20, 10, 10))},
         {{"email", 2}, {"face", 1}}},
        {{}, {}},
    };
    for (const Row& row : rows) {
        Harness h;
        ExportRequest request;
        request.image = FakeScreen::patterned(QSize(60, 40), 1);
        request.redact = row.redact;
        request.destination = ExportKit::DestinationKind::clipboard;
        const auto outcome = exportNow(h, request);
        ASSERT_TRUE(outcome.succeeded()) << describe(outcome.error).toStdString();
        EXPECT_FALSE(outcome.value->has_value());
        const QString hash = QCryptographicHash::hash(h.clipboard->data, QCryptographicHash::Sha256).toHex();
        EXPECT_EQ(h.log->events(), (std::vector<AuditEvent>{AuditEvent::redaction(row.counts),
                                                            AuditEvent::export_("clipboard", hash)}));
        EXPECT_EQ(h.host->additions, 0);
    }
}

TEST(ExportDelivery, ACropMovesFindingsAndAnnotationsByTheKeptOrigin) {
    const QImage source = FakeScreen::patterned(QSize(300, 200), 5);
    const Support::Rect redactAt(30, 40, 10, 10);
    struct Row {
        std::optional<Support::Rect> crop;
        QSize size;
        QPoint shift;
    };
    const std::vector<Row> rows = {
        {Support::Rect(10.4, 20.6, 100, 100), QSize(101, 101), QPoint(-10, -20)},
        {Support::Rect(0, 0, 300, 200), QSize(300, 200), QPoint(0, 0)},
        {Support::Rect(-50, -50, 1000, 1000), QSize(300, 200), QPoint(0, 0)},
        {std::nullopt, QSize(300, 200), QPoint(0, 0)},
    };
    for (const Row& row : rows) {
        RecordingLog log;
        AuditKit::AuditLog audit(nullptr, std::shared_ptr<Support::LogSink>(&log, [](auto*) {}));
        ExportRequest request;
        request.image = source;
        request.redact = {mandatory("email", redactAt)};
        request.annotations = {box(Support::Rect(60, 60, 20, 20))};
        request.crop = row.crop;
        const QImage out = decoded(renderExport(request, ExportKit::ImageFormat::png(), std::nullopt, audit).data());
        ASSERT_EQ(out.size(), row.size);

        // The redaction and the annotation land at their shifted places.
        const QImage cropped = source.copy(QRect(-row.shift, row.size));
        const QRect redacted = QRect(redactAt.toQRectF().toRect()).translated(row.shift);
        EXPECT_NE(out.copy(redacted), cropped.copy(redacted));
        // Just outside the shifted box, the source shows through untouched.
        const QRect beside = redacted.translated(redacted.width() + 2, 0);
        EXPECT_EQ(out.copy(beside), cropped.copy(beside));
        const QRect stroke(QPoint(60, 60) + row.shift, QSize(2, 20));
        EXPECT_NE(out.copy(stroke), cropped.copy(stroke));
    }
}

TEST(ExportDelivery, FolderExportsTakeScreenshotNamesInTheExportFormat) {
    Harness h;
    h.host->values.exportFormat = ExportKit::ImageFormat::jpeg(0.85);
    ExportRequest request;
    request.image = FakeScreen::patterned(QSize(60, 40), 1);
    request.destination = ExportKit::DestinationKind::folder;
    const auto first = exportNow(h, request);
    const auto second = exportNow(h, request);
    ASSERT_TRUE(first.succeeded() && second.succeeded());
    EXPECT_EQ(**first.value, h.libraryFolder + "/Screenshot 2026-12-05 at 6.25.34 PM.jpg");
    EXPECT_EQ(**second.value, h.libraryFolder + "/Screenshot 2026-12-05 at 6.25.34 PM (1).jpg");

    const QByteArray bytes = TestSupport::readFile(**first.value);
    EXPECT_EQ(bytes, ExportKit::Exporter::encode(request.image, ExportKit::ImageFormat::jpeg(0.85)).data());
    EXPECT_EQ(std::get<AuditEvent::Export>(h.log->events()[1].value),
              (AuditEvent::Export{"folder", QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()}));
    EXPECT_EQ(h.log->lines(Support::LogLevel::notice).first(), "exported to " + **first.value);
    // Listing the file in the library is the editor's business.
    EXPECT_EQ(h.host->additions, 0);
}

TEST(ExportDelivery, RefusedDestinationsFailAfterTheRedactionIsAudited) {
    struct Row {
        std::vector<PolicyKit::ExportDestination> allowed;
        std::optional<ExportKit::DestinationKind> asked;
        const char* error;
    };
    const std::vector<Row> rows = {
        {{PolicyKit::ExportDestination::uploadEndpoint}, std::nullopt, "destinationNotAllowed(folder)"},
        {{PolicyKit::ExportDestination::folder}, ExportKit::DestinationKind::clipboard, "destinationNotAllowed(clipboard)"},
    };
    for (const Row& row : rows) {
        Harness h;
        h.policy.allowedExportDestinations = row.allowed;
        ExportRequest request;
        request.image = FakeScreen::patterned(QSize(20, 20), 1);
        request.destination = row.asked;
        const auto outcome = exportNow(h, request);
        ASSERT_FALSE(outcome.succeeded());
        EXPECT_EQ(describe(outcome.error), row.error);
        EXPECT_EQ(h.log->eventKinds(), QStringList{"redaction"});
        EXPECT_EQ(h.clipboard->copies, 0);
        // The library folder is made before the folder is refused; nothing is written into it.
        EXPECT_EQ(QFileInfo(h.libraryFolder).isDir(), !row.asked.has_value());
        EXPECT_TRUE(h.libraryFiles().isEmpty());
    }
}

// The working copy carries the watermark; its exports show exactly one.
TEST(ExportDelivery, AWatermarkedWorkingCopyExportsWithOneMark) {
    PolicyKit::EffectivePolicy policy;
    policy.watermark = {true, true, true, true};
    const QDateTime captureTime(QDate(2026, 1, 2), QTime(3, 4, 5));
    const QImage captured = FakeScreen::patterned(QSize(400, 120), 9);
    const RenderedWorkingCopy workingCopy = renderWorkingCopy(captured, {}, watermark(policy, "ada", "lab", captureTime), captureTime);
    ASSERT_TRUE(workingCopy.stamp);
    const QRect mark = workingCopy.stamp->rect;
    const auto later = watermark(policy, "ada", "lab", captureTime.addSecs(90));

    struct Row {
        const char* name;
        std::function<void(ExportRequest&, std::optional<ExportKit::Watermark>&)> change;
        bool markDrawnAgain;
    };
    const std::vector<Row> rows = {
        {"plain export", [](ExportRequest&, auto&) {}, false},
        {"crop keeps the mark", [&](ExportRequest& r, auto&) { r.crop = Support::Rect(100, 0, 300, 120); }, false},
        {"backdrop around the image", [](ExportRequest& r, auto&) {
             r.backdrop = {ExportKit::Backdrop::Solid{"#336699"}, 16, 0};
         }, false},
        {"crop cuts the mark", [&](ExportRequest& r, auto&) { r.crop = Support::Rect(0, 0, mark.center().x(), 120); }, true},
        {"a redaction covers the mark", [&](ExportRequest& r, auto&) {
             r.redact = {suggested("email", Support::Rect::fromQRectF(QRectF(mark.adjusted(4, 4, -4, -4))))};
         }, true},
        {"an annotation covers the mark", [&](ExportRequest& r, auto&) {
             r.annotations = {box(Support::Rect::fromQRectF(QRectF(mark)))};
         }, true},
        {"the policy asks for other parts", [](ExportRequest&, std::optional<ExportKit::Watermark>& m) { m->user.reset(); }, true},
        {"another image than the working copy", [](ExportRequest& r, auto&) { r.sourceStamp.reset(); }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ExportRequest request;
        request.image = workingCopy.image;
        request.sourceStamp = workingCopy.stamp;
        std::optional<ExportKit::Watermark> mark = later;
        row.change(request, mark);
        RecordingLog log;
        AuditKit::AuditLog audit(nullptr, std::shared_ptr<Support::LogSink>(&log, [](auto*) {}));
        const QImage out = decoded(renderExport(request, ExportKit::ImageFormat::png(), mark, audit).data());

        ExportRequest unmarked = request;
        unmarked.sourceStamp.reset();
        const QImage withoutNewMark = decoded(renderExport(unmarked, ExportKit::ImageFormat::png(), std::nullopt, audit).data());
        EXPECT_EQ(out != withoutNewMark, row.markDrawnAgain);
    }
}
