// The tie between a desktop-less companion and the working copy it was made with: it survives the
// PNG round trip of both files, and breaks when the working copy's pixels change.
#include "BrindlecastApp/Pipeline/CompanionTie.h"
#include "ExportKit/Exporter.h"
#include "Support/ImageFiles.h"
#include "support/TestEnvironment.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace BrindlecastApp::Pipeline;

namespace {

// Writes `bytes` to a new file and reads it back as the library reads its captures.
QImage throughFile(const QByteArray& bytes) {
    const QString path = TestSupport::makeTemporaryFolder("tie") + "/image.png";
    TestSupport::writeFile(path, bytes);
    return Support::ImageFiles::readOwnImage(path);
}

QImage picture(QImage::Format format, int alpha) {
    QImage image(64, 48, format);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) image.setPixelColor(x, y, QColor(x * 4, y * 5, (x * y) % 256, alpha));
    return image;
}

QByteArray png(const QImage& image) { return ExportKit::Exporter::encode(image, ExportKit::ImageFormat::png()).data(); }

} // namespace

TEST(CompanionTie, HoldsAcrossTheFilesAndBreaksWhenTheWorkingCopyIsPaintedOver) {
    struct Case {
        const char* name;
        QImage::Format format;
        int alpha;
    };
    const Case cases[] = {
        {"an opaque capture", QImage::Format_ARGB32_Premultiplied, 255},
        {"a capture with see-through pixels", QImage::Format_ARGB32_Premultiplied, 130},
        {"a capture without alpha", QImage::Format_RGB32, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage workingCopy = picture(c.format, c.alpha);
        const QImage companion = throughFile(CompanionTie::tie(png(picture(c.format, 255).mirrored()), workingCopy));
        const QImage reopened = throughFile(png(workingCopy));
        EXPECT_EQ(CompanionTie::pixelDigest(reopened), CompanionTie::pixelDigest(workingCopy));
        EXPECT_TRUE(CompanionTie::matches(companion, reopened));

        QImage painted = reopened;
        QPainter(&painted).fillRect(10, 10, 1, 1, Qt::black);
        EXPECT_FALSE(CompanionTie::matches(companion, throughFile(png(painted))));
    }
}
