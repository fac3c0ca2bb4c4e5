#include "PipelineTestSupport.h"

#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "Support/Folders.h"
#include "BrindlecastApp/Pipeline/PolicyMapping.h"
#include "BrindlecastApp/Pipeline/WorkingCopy.h"

#include <QLocale>

using namespace PipelineTests;

TEST(LibraryFiles, ScreenshotNamesUseTheWallClockInEnglishWhateverTheLocale) {
    struct Row {
        QTime time;
        const char* ext;
        const char* name;
    };
    const std::vector<Row> rows = {
        {QTime(18, 25, 34), "png", "Screenshot 2026-12-05 at 6.25.34 PM.png"},
        {QTime(9, 5, 7), "png", "Screenshot 2026-12-05 at 9.05.07 AM.png"},
        {QTime(0, 0, 0), "jpg", "Screenshot 2026-12-05 at 12.00.00 AM.jpg"},
        {QTime(12, 0, 59), "png", "Screenshot 2026-12-05 at 12.00.59 PM.png"},
    };
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const Row& row : rows) {
        EXPECT_EQ(screenshotFilename(QDateTime(QDate(2026, 12, 5), row.time), row.ext), row.name);
    }
    QLocale::setDefault(previous);
}

TEST(LibraryFiles, AScreenshotNameGivesBackItsTime) {
    struct Row {
        const char* name;
        std::optional<QDateTime> time;
    };
    const QDate day(2026, 12, 5);
    const std::vector<Row> rows = {
        {"Screenshot 2026-12-05 at 6.25.34 PM.png", QDateTime(day, QTime(18, 25, 34))},
        {"Screenshot 2026-12-05 at 12.00.00 AM (2).jpg", QDateTime(day, QTime(0, 0, 0))},
        {"Screenshot 2026-12-05 at 12.30.05 PM.content.png", std::nullopt},
        {"Screenshot 2026-12-05 at 13.00.00 PM.png", std::nullopt},
        {"Screenshot 2026-02-30 at 1.00.00 AM.png", std::nullopt},
        {"Holiday.png", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(timeInScreenshotName(row.name), row.time) << row.name;
    const QDateTime moment(day, QTime(9, 5, 7));
    EXPECT_EQ(timeInScreenshotName(screenshotFilename(moment, "png")), moment);
}

TEST(LibraryFiles, TakenNamesGetACounterBeforeTheExtension) {
    const QString folder = TestSupport::makeTemporaryFolder("names");
    const QString name = "Screenshot 2026-12-05 at 6.25.34 PM.png";
    QStringList written;
    for (int i = 0; i < 3; ++i) written << QFileInfo(writeNewFile(folder, name, "x")).fileName();
    EXPECT_EQ(written, (QStringList{name, "Screenshot 2026-12-05 at 6.25.34 PM (1).png",
                                    "Screenshot 2026-12-05 at 6.25.34 PM (2).png"}));
    EXPECT_EQ(QFileInfo(uniquePath(folder, name)).fileName(), "Screenshot 2026-12-05 at 6.25.34 PM (3).png");
    EXPECT_EQ(QFileInfo(uniquePath(folder, "Screenshot 2026-12-05 at 6.25.34 PM.jpg")).fileName(),
              "Screenshot 2026-12-05 at 6.25.34 PM.jpg");
    // A dangling link still takes its name.
    ASSERT_TRUE(QFile::link(folder + "/gone", folder + "/Screenshot x.png"));
    EXPECT_EQ(QFileInfo(writeNewFile(folder, "Screenshot x.png", "y")).fileName(), "Screenshot x (1).png");
}

TEST(WorkingCopy, WithoutMandatoryFindingsOrWatermarkTheCapturedPixelsAreKept) {
    const QImage captured = FakeScreen::patterned(QSize(64, 48), 3);
    const RenderedWorkingCopy rendered =
        renderWorkingCopy(captured, {suggested("face", Support::Rect(0, 0, 30, 30))}, std::nullopt, QDateTime());
    EXPECT_EQ(QImage::fromData(rendered.png.data()).convertToFormat(QImage::Format_ARGB32_Premultiplied), captured);
    EXPECT_FALSE(rendered.stamp);
}

TEST(WorkingCopy, SavingWritesAuditsAndAnnouncesTheFile) {
    Harness h;
    const RenderedWorkingCopy rendered = renderWorkingCopy(FakeScreen::patterned(QSize(64, 48), 3), {}, std::nullopt, h.now);
    AuditKit::AuditLog audit(nullptr, h.log);
    const SavedWorkingCopy saved = saveWorkingCopy(*h.env, rendered, audit);
    EXPECT_EQ(saved.path, h.libraryFolder + "/Screenshot 2026-12-05 at 6.25.34 PM.png");
    EXPECT_EQ(TestSupport::readFile(saved.path), rendered.png.data());
    EXPECT_EQ(h.log->events(), std::vector<AuditEvent>{AuditEvent::export_("workingCopy", rendered.png.sha256Hex())});
    EXPECT_EQ(h.host->library, QStringList{saved.path});
    ASSERT_EQ(h.host->thumbnails.size(), 1u);

    // A tap opens the capture while the library lists it, and does nothing once it is gone.
    h.host->lastTap();
    EXPECT_EQ(h.host->opened, QStringList{saved.path});
    h.host->library.clear();
    h.host->lastTap();
    EXPECT_EQ(h.host->opened.size(), 1);
}

TEST(WorkingCopy, TheThumbnailSettingOnlyDecidesTheThumbnailAndNoHostStillWrites) {
    Harness h;
    h.host->values.showFloatingThumbnail = false;
    const RenderedWorkingCopy rendered = renderWorkingCopy(FakeScreen::patterned(QSize(8, 8), 3), {}, std::nullopt, h.now);
    AuditKit::AuditLog audit(nullptr, h.log);
    saveWorkingCopy(*h.env, rendered, audit);
    EXPECT_EQ(h.host->library.size(), 1);
    EXPECT_TRUE(h.host->thumbnails.empty());

    h.withoutHost();
    const SavedWorkingCopy saved = saveWorkingCopy(*h.env, rendered, audit);
    EXPECT_TRUE(saved.path.startsWith(h.env->fallbackLibraryFolder + "/Screenshot "));
    EXPECT_TRUE(QFile::exists(saved.path));
    EXPECT_EQ(h.log->events().size(), 2u);
}
