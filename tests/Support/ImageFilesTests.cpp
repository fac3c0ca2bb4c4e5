#include "Support/ImageFiles.h"

#include "support/FifoTrap.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

using namespace Support::ImageFiles;

namespace {

constexpr qint64 MB = 1024 * 1024;

} // namespace

TEST(ImageFiles, TheLimitIsRaisedOnlyForImagesTheMemoryFreeCanHoldTwice) {
    const qint64 display = decodedBytes(QSize(10000, 10000), 32);
    ASSERT_EQ(display, 400000000);
    EXPECT_EQ(decodedBytes(QSize(10000, 10000), 24), display); // decoded at 32 bits at least
    EXPECT_EQ(decodedBytes(QSize(100, 100), 64), 80000);
    EXPECT_EQ(decodedBytes(QSize(0, 100), 32), 0);

    const struct {
        const char* description;
        qint64 bytes;
        int defaultLimitMB;
        std::optional<qint64> available;
        std::optional<int> limit;
    } cases[] = {
        {"within Qt's limit", 100 * MB, 128, 16000 * MB, std::nullopt},
        {"Qt without a limit", display, 0, 16000 * MB, std::nullopt},
        {"a large display's capture", display, 128, 16000 * MB, 382},
        {"exactly twice over", display, 128, 2 * display, 382},
        {"not twice over", display, 128, 2 * display - 1, std::nullopt},
        {"free memory unknown", display, 128, std::nullopt, 382},
        {"beyond any int of megabytes", qint64(1) << 52, 128, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(raisedAllocationLimit(c.bytes, c.defaultLimitMB, c.available), c.limit) << c.description;
    }
}

// Qt alone refuses a capture of a 10000 x 10000 display; this program's own files are read whole.
TEST(ImageFiles, AnImageAboveQtsAllocationLimitIsRead) {
    const QString path = TestSupport::makeTemporaryFolder("large") + "/Screenshot.png";
    {
        QImage image(10000, 10000, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        image.setPixel(9999, 9999, qRgb(255, 0, 0));
        QImageWriter writer(path, "png");
        writer.setQuality(89); // fast compression
        ASSERT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    }
    EXPECT_TRUE(QImageReader(path).read().isNull());

    QString error;
    const QImage image = readOwnImage(path, &error);
    ASSERT_FALSE(image.isNull()) << error.toStdString();
    EXPECT_EQ(image.size(), QSize(10000, 10000));
    EXPECT_EQ(image.pixel(9999, 9999), qRgb(255, 0, 0));
    // The process's limit is back where it was.
    EXPECT_TRUE(QImageReader(path).read().isNull());

    TestSupport::writeFile(path + ".txt", "not an image");
    EXPECT_TRUE(readOwnImage(path + ".txt", &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

// What someone else put in a capture's place is refused at once with a reason, never waited on:
// a pipe (the trap lets go of any reader that opened it), a sparse file of a terabyte, a link.
TEST(ImageFiles, APipeAHugeFileOrALinkInACapturesPlaceIsRefusedAtOnce) {
    const QString folder = TestSupport::makeTemporaryFolder("hostile");
    QImage(8, 8, QImage::Format_RGB32).save(folder + "/whole.png");
    TestSupport::FifoTrap pipe(folder + "/pipe.png");
    ASSERT_TRUE(pipe.made());
    {
        // The signature and a header, then a hole: 4 KB on disk.
        QFile sparse(folder + "/sparse.png");
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        sparse.write(TestSupport::readFile(folder + "/whole.png").left(33));
        ASSERT_TRUE(sparse.resize(qint64(1) << 40));
    }
    QFile::link(folder + "/whole.png", folder + "/link.png");
    // A whole image with a hole of a terabyte after its end chunk: the image is all that is read.
    // The same tail after a picture of a format without chunks counts whole.
    for (const char* name : {"tail.png", "tail.bmp"}) {
        ASSERT_TRUE(QImage(8, 8, QImage::Format_RGB32).save(folder + "/" + name));
        QFile tail(folder + "/" + name);
        ASSERT_TRUE(tail.resize(qint64(1) << 40));
    }

    const struct {
        const char* name;
        const char* reason; // nothing: the 8 x 8 image is read
    } cases[] = {
        {"pipe.png", "not a regular file"},
        {"sparse.png", "the file is larger than 1024 MB"},
        {"link.png", "not a regular file"},
        {"tail.bmp", "the file is larger than 1024 MB"},
        {"whole.png", nullptr},
        {"tail.png", nullptr},
    };
    for (const auto& c : cases) {
        QString error;
        const QImage image = readOwnImage(folder + "/" + c.name, &error);
        EXPECT_EQ(image.size(), c.reason ? QSize(0, 0) : QSize(8, 8)) << c.name;
        EXPECT_EQ(error, c.reason ? c.reason : "") << c.name;
    }
    EXPECT_FALSE(pipe.caughtAReader()) << "the pipe was opened";
}
