#include "BrindlecastApp/Library/CaptureLibrary.h"

#include "support/FifoTrap.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

const QDateTime base(QDate(2024, 6, 12), QTime(9, 0), QTimeZone(0));

// A PNG of the given size, modified `minutes` after `base`.
QString writePng(const QString& path, int minutes = 0, QSize size = QSize(4, 4)) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::darkCyan);
    EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadWrite));
    EXPECT_TRUE(file.setFileTime(base.addSecs(minutes * 60), QFileDevice::FileModificationTime));
    return path;
}

QStringList names(const CaptureLibrary& library) {
    QStringList out;
    for (const CaptureEntry& entry : library.entries()) out << entry.filename;
    return out;
}

} // namespace

TEST(CaptureLibrary, ListsWorkingCopiesOnlyNewestFirst) {
    const QString folder = TestSupport::makeTemporaryFolder("filter");
    writePng(folder + "/lower.png", 1);
    writePng(folder + "/UPPER.PNG", 2);
    writePng(folder + "/Mixed.Png", 3);
    for (const char* name : {"a.content.png", "b.CONTENT.PNG", "c.Content.Png", "photo.jpg", ".hidden.png"}) {
        writePng(folder + "/" + name, 9);
    }
    TestSupport::writeFile(folder + "/not an image.png", "plain text");
    QDir(folder).mkdir("folder.png");
    writePng(folder + "/lower.png.brindlecast.json", 9);

    CaptureLibrary library(folder);
    QSignalSpy changed(&library, &CaptureLibrary::entriesChanged);
    library.reload();
    library.waitUntilListed();
    EXPECT_EQ(names(library), (QStringList{"Mixed.Png", "UPPER.PNG", "lower.png"}));
    EXPECT_EQ(changed.count(), 1);
    library.reload(); // published again even when nothing changed
    library.waitUntilListed();
    EXPECT_EQ(changed.count(), 2);
}

TEST(CaptureLibrary, EntryHoldsFileTimeSizeAndASmallThumbnail) {
    const QString folder = TestSupport::makeTemporaryFolder("entry");
    const struct {
        const char* name;
        QSize size;
        QSize thumbnail;
    } cases[] = {
        {"wide.png", QSize(300, 150), QSize(120, 60)},
        {"tall.png", QSize(101, 1000), QSize(12, 120)},
        {"thin.png", QSize(2000, 1), QSize(120, 1)},
        {"small.png", QSize(40, 30), QSize(40, 30)},
    };
    for (int i = 0; i < 4; ++i) writePng(folder + "/" + cases[i].name, i, cases[i].size);

    CaptureLibrary library(folder);
    QSignalSpy ready(&library, &CaptureLibrary::thumbnailReady);
    library.reload();
    library.waitUntilListed();
    library.waitForThumbnails();
    EXPECT_EQ(ready.count(), 4);
    ASSERT_EQ(library.entries().size(), 4);
    for (int i = 0; i < 4; ++i) {
        const CaptureEntry& entry = library.entries()[3 - i];
        EXPECT_EQ(entry.filename, cases[i].name);
        EXPECT_EQ(entry.url, QUrl::fromLocalFile(folder + "/" + cases[i].name));
        EXPECT_EQ(entry.timestamp, base.addSecs(i * 60)) << cases[i].name;
        EXPECT_EQ(entry.dimensions, cases[i].size) << cases[i].name;
        EXPECT_EQ(entry.thumbnail.size(), cases[i].thumbnail) << cases[i].name;
    }
}

// A capture of a 10000 x 10000 display is larger than Qt reads by default; it gets its thumbnail.
TEST(CaptureLibrary, ACaptureAboveQtsAllocationLimitGetsAThumbnail) {
    const QString path = TestSupport::makeTemporaryFolder("large") + "/Screenshot large.png";
    {
        QImage image(10000, 10000, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QImageWriter writer(path, "png");
        writer.setQuality(89); // fast compression
        ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    }
    CaptureLibrary library(QFileInfo(path).absolutePath());
    library.reload();
    library.waitUntilListed();
    library.waitForThumbnails();
    ASSERT_EQ(library.entries().size(), 1);
    EXPECT_EQ(library.entries().front().dimensions, QSize(10000, 10000));
    EXPECT_EQ(library.entries().front().thumbnail.size(), QSize(120, 120));
}

TEST(CaptureLibrary, KeepsTheTwoHundredNewest) {
    const QString folder = TestSupport::makeTemporaryFolder("cap");
    for (int i = 0; i < 250; ++i) writePng(folder + QString("/capture %1.png").arg(i, 3, 10, QChar('0')), i);
    CaptureLibrary library(folder);
    library.reload();
    library.waitUntilListed();
    ASSERT_EQ(library.entries().size(), 200);
    EXPECT_EQ(library.entries().front().filename, "capture 249.png");
    EXPECT_EQ(library.entries().back().filename, "capture 050.png");
}

TEST(CaptureLibrary, AddingPutsTheFileFirstWithinTheLimit) {
    const QString folder = TestSupport::makeTemporaryFolder("add");
    for (int i = 0; i < 200; ++i) writePng(folder + QString("/%1.png").arg(i), i);
    CaptureLibrary library(folder);
    library.reload();
    library.waitUntilListed();
    QSignalSpy changed(&library, &CaptureLibrary::entriesChanged);

    library.add(folder + "/10.png"); // already listed: moves to the front
    EXPECT_EQ(library.entries().size(), 200);
    EXPECT_EQ(library.entries().front().filename, "10.png");
    EXPECT_EQ(library.entries().count(library.entries().front()), 1);

    const QString elsewhere = writePng(TestSupport::makeTemporaryFolder("other") + "/exported.png", 500);
    library.add(QUrl::fromLocalFile(elsewhere)); // a full list drops its last entry
    EXPECT_EQ(library.entries().size(), 200);
    EXPECT_EQ(names(library).mid(0, 2), (QStringList{"exported.png", "10.png"}));
    EXPECT_EQ(library.entries().back().filename, "1.png");
    EXPECT_EQ(changed.count(), 2);

    TestSupport::writeFile(folder + "/broken.png", "not a PNG");
    for (const QString& path : {folder + "/missing.png", folder + "/broken.png"}) library.add(path);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(library.entries().front().filename, "exported.png");
}

TEST(CaptureLibrary, MissingFolderListsNothing) {
    CaptureLibrary library(TestSupport::makeTemporaryFolder("gone") + "/not there");
    QSignalSpy changed(&library, &CaptureLibrary::entriesChanged);
    library.reload();
    library.waitUntilListed();
    EXPECT_TRUE(library.entries().isEmpty());
    EXPECT_EQ(changed.count(), 1);
}

TEST(CaptureLibrary, RelativeTimesInTheUsersLocale) {
    const QTimeZone berlin(2 * 3600);
    const QDateTime now(QDate(2024, 6, 12), QTime(0, 30), berlin);
    const auto local = [&](int day, int hour, int minute) { return QDateTime(QDate(2024, 6, day), QTime(hour, minute), berlin); };
    const struct {
        QDateTime date;
        const char* locale;
        const char* text;
    } cases[] = {
        {local(11, 23, 59), "en_US", "Yesterday"},
        {local(11, 0, 0), "en_US", "Yesterday"},
        {local(12, 0, 10), "en_US", "Today \u00B7 12:10 AM"},
        {local(12, 0, 30), "en_US", "Today \u00B7 12:30 AM"},
        {local(12, 15, 7), "en_US", "Today \u00B7 3:07 PM"},
        {local(10, 23, 59), "en_US", "Jun 10"},
        {local(10, 23, 59), "en_GB", "10 Jun"},
        {local(13, 9, 0), "en_US", "Jun 13"},
        // 22:10 UTC on the 11th is 00:10 on the 12th where `now` is.
        {QDateTime(QDate(2024, 6, 11), QTime(22, 10), QTimeZone(0)), "en_US", "Today \u00B7 12:10 AM"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CaptureLibrary::relativeTime(c.date, now, QLocale(c.locale)), QString::fromUtf8(c.text))
            << c.text << " " << c.locale;
    }
}

// A PNG whose writing never finished keeps a readable header but does not decode: it is never
// listed, wherever it was cut. Data after a whole PNG's end chunk does not make it cut short.
TEST(CaptureLibrary, OnlyWholeImagesAreListed) {
    const QString folder = TestSupport::makeTemporaryFolder("whole");
    const QByteArray whole = TestSupport::readFile(writePng(folder + "/whole.png", 1, QSize(300, 200)));
    ASSERT_TRUE(whole.endsWith(QByteArray("IEND\xAE\x42\x60\x82", 8)));
    const struct {
        const char* name;
        QByteArray bytes;
    } cuts[] = {
        {"header only.png", whole.left(40)},
        {"half.png", whole.left(whole.size() / 2)},
        {"without its end chunk.png", whole.left(whole.size() - 12)},
        {"end chunk cut.png", whole.left(whole.size() - 3)},
    };
    for (const auto& cut : cuts) TestSupport::writeFile(folder + "/" + cut.name, cut.bytes);
    TestSupport::writeFile(folder + "/trailing data.png", whole + "trailing bytes after the end chunk");

    CaptureLibrary library(folder);
    library.reload();
    library.waitUntilListed();
    EXPECT_EQ(names(library).size(), 2);
    EXPECT_TRUE(names(library).contains("whole.png"));
    EXPECT_TRUE(names(library).contains("trailing data.png"));
    library.add(folder + "/half.png");
    EXPECT_EQ(names(library).size(), 2);
}

// What someone else put in the folder costs a few reads and is left out: a "PNG" of a header and
// a terabyte's hole (no end chunk at its end, and zeros for chunks after its header), a pipe and
// a link. The pipe is never opened (the trap lets go of any reader that opened it).
TEST(CaptureLibrary, ASparseTerabyteAPipeAndALinkAreLeftOut) {
    const QString folder = TestSupport::makeTemporaryFolder("hostile");
    writePng(folder + "/whole.png", 1);
    {
        QFile sparse(folder + "/holiday.png");
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        sparse.write(TestSupport::readFile(folder + "/whole.png").left(33));
        ASSERT_TRUE(sparse.resize(qint64(1) << 40));
    }
    TestSupport::FifoTrap pipe(folder + "/pipe.png");
    ASSERT_TRUE(pipe.made());
    QFile::link(folder + "/whole.png", folder + "/link.png");

    CaptureLibrary library(folder);
    library.reload();
    library.waitUntilListed();
    EXPECT_EQ(names(library), QStringList{"whole.png"});
    for (const char* name : {"holiday.png", "pipe.png", "link.png"}) library.add(folder + "/" + name);
    EXPECT_EQ(names(library), QStringList{"whole.png"});
    library.waitForThumbnails();
    EXPECT_FALSE(pipe.caughtAReader()) << "the pipe was opened";
}

// The folder is listed on a worker: a capture added meanwhile stays first once the list comes,
// and a file deleted leaves the list as soon as the folder is asked for again.
TEST(CaptureLibrary, ACaptureAddedWhileTheFolderIsListedStaysFirst) {
    const QString folder = TestSupport::makeTemporaryFolder("listing");
    for (int i = 0; i < 3; ++i) writePng(folder + QString("/%1.png").arg(i), i);
    CaptureLibrary library(folder);
    library.reload();
    const QString elsewhere = writePng(TestSupport::makeTemporaryFolder("elsewhere") + "/exported.png", -10);
    library.add(elsewhere); // the listing is published on a later turn of the event loop
    library.waitUntilListed();
    EXPECT_EQ(names(library), (QStringList{"exported.png", "2.png", "1.png", "0.png"}));

    QSignalSpy changed(&library, &CaptureLibrary::entriesChanged);
    ASSERT_TRUE(QFile::remove(folder + "/2.png"));
    library.reload();
    EXPECT_EQ(names(library), (QStringList{"exported.png", "1.png", "0.png"}));
    EXPECT_EQ(changed.count(), 1);
    library.waitUntilListed();
    EXPECT_EQ(names(library), (QStringList{"1.png", "0.png"})) << "the folder's own list";
    EXPECT_EQ(changed.count(), 2);
}

// An image just written gets its thumbnail from the pixels it was written from, scaled as one read
// from its file; without them the file is read.
TEST(CaptureLibrary, AnImageJustWrittenGetsItsThumbnailFromItsPixels) {
    const QString folder = TestSupport::makeTemporaryFolder("written");
    const QString path = writePng(folder + "/capture.png", 0, QSize(300, 150)); // dark cyan
    QImage written(300, 150, QImage::Format_RGB32);
    written.fill(Qt::darkMagenta);
    const struct {
        const char* what;
        QImage pixels;
        QColor expected;
    } cases[] = {
        {"with the pixels written", written, QColor(Qt::darkMagenta)},
        {"without them", QImage(), QColor(Qt::darkCyan)},
    };
    for (const auto& c : cases) {
        CaptureLibrary library(folder);
        library.add(path, c.pixels);
        library.waitForThumbnails();
        ASSERT_EQ(library.entries().size(), 1) << c.what;
        const QImage thumbnail = library.entries().front().thumbnail;
        EXPECT_EQ(thumbnail.size(), QSize(120, 60)) << c.what;
        EXPECT_EQ(thumbnail.pixelColor(60, 30).rgb(), c.expected.rgb()) << c.what;
    }
}
