#include "ExportKit/Exporter.h"
#include "ImageTestHelpers.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace ExportKitTests;
using ExportKit::DestinationKind;
using ExportKit::DestinationSet;
using ExportKit::ExportError;
using ExportKit::ImageFormat;
namespace Exporter = ExportKit::Exporter;

namespace {

const DestinationSet kBoth{DestinationKind::clipboard, DestinationKind::folder};

// A clipboard that records what it was given, and can refuse.
class FakeClipboard final : public ExportKit::Clipboard {
public:
    bool accept = true;
    QString mimeType;
    QByteArray bytes = "previous contents";
    bool setData(const QString& type, const QByteArray& data) override {
        if (accept) std::tie(mimeType, bytes) = std::pair(type, data);
        return accept;
    }
};

std::optional<ExportError> errorOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const ExportError& error) {
        return error;
    }
    return std::nullopt;
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
}

TEST(Encode, PngIsDeterministicLosslessAndHashedInLowerCaseHex) {
    const QImage image = noiseImage(120, 80, 41);
    const auto first = Exporter::encode(image, ImageFormat::png());
    EXPECT_EQ(first.data(), Exporter::encode(image, ImageFormat::png()).data());
    EXPECT_TRUE(QRegularExpression("^[0-9a-f]{64}$").match(first.sha256Hex()).hasMatch());
    QImage decoded;
    for (QImage::Format format : {QImage::Format_ARGB32_Premultiplied, QImage::Format_Indexed8, QImage::Format_Mono}) {
        const QImage converted = image.convertToFormat(format);
        ASSERT_TRUE(decoded.loadFromData(Exporter::encode(converted, ImageFormat::png()).data(), "png")) << format;
        EXPECT_TRUE(samePixels(decoded.convertToFormat(QImage::Format_ARGB32), converted.convertToFormat(QImage::Format_ARGB32)))
            << format;
    }
    QImage clear = filledImage(4, 4, Qt::transparent);
    ASSERT_TRUE(decoded.loadFromData(Exporter::encode(clear, ImageFormat::png()).data(), "png"));
    EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 0);
}

TEST(Encode, HashEqualsSha256sumOfTheWrittenFileAndPngsCarryNoText) {
    REQUIRE_PROGRAM("sha256sum");
    REQUIRE_PROGRAM("pngcheck");
    QImage image = noiseImage(64, 64, 42);
    image.setText("Comment", "annotation data that must not leak"); // Qt would store it as a text chunk
    const auto exported = Exporter::encode(image, ImageFormat::png());
    const auto written = Exporter::writeToFolder(exported, "capture.png", TestSupport::makeTemporaryFolder("encode"), kBoth);
    EXPECT_EQ(written.sha256Hex, exported.sha256Hex());
    const auto sum = TestSupport::runProgram("sha256sum", {written.path});
    ASSERT_TRUE(sum && sum->exitCode == 0);
    EXPECT_EQ(QString::fromLatin1(sum->standardOutput.left(64)), exported.sha256Hex());
    const auto check = TestSupport::runProgram("pngcheck", {"-t", written.path});
    ASSERT_TRUE(check && check->exitCode == 0) << (check ? check->standardOutput.toStdString() : "");
    for (const char* chunk : {"tEXt", "zTXt", "iTXt"}) EXPECT_FALSE(check->standardOutput.contains(chunk));
    EXPECT_FALSE(exported.data().contains("annotation data"));
}

TEST(Encode, JpegUsesTheQualityAndBadInputFails) {
    const QImage image = noiseImage(200, 150, 43);
    const auto low = Exporter::encode(image, ImageFormat::jpeg(0.2));
    EXPECT_TRUE(low.data().startsWith("\xff\xd8"));
    EXPECT_LT(low.data().size(), Exporter::encode(image, ImageFormat::jpeg(0.95)).data().size());
    EXPECT_EQ(errorOf([] { Exporter::encode(QImage(), ImageFormat::png()); }), ExportError::encodingFailed());
    EXPECT_EQ(errorOf([&] { Exporter::encode(image, ImageFormat::jpeg(std::nan(""))); }), ExportError::encodingFailed());
}

TEST(WriteToFolder, RefusedDestinationsAndNamesThatAreNotOnePathComponentWriteNothing) {
    const QString parent = TestSupport::makeTemporaryFolder("names");
    const QString folder = parent + "/out";
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto exported = Exporter::encode(noiseImage(8, 8, 45), ImageFormat::png());
    EXPECT_EQ(errorOf([&] { Exporter::writeToFolder(exported, "capture.png", folder, {DestinationKind::clipboard}); }),
              ExportError::destinationNotAllowed(DestinationKind::folder));
    for (const QString& name : {QString(""), QString("."), QString(".."), QString("../escape.png"),
                                QString("sub/capture.png"), QString("a") + QChar(0) + "b.png"}) {
        const auto error = errorOf([&] { Exporter::writeToFolder(exported, name, folder, kBoth); });
        EXPECT_TRUE(error && error->code() == ExportError::Code::io) << name.toStdString();
    }
    EXPECT_TRUE(entries(folder).isEmpty());
    EXPECT_EQ(entries(parent), QStringList{"out"});
}

TEST(WriteToFolder, MissingFolderGivesTheSystemsMessageAndAnExistingFileIsReplaced) {
    const auto exported = Exporter::encode(noiseImage(8, 8, 46), ImageFormat::png());
    const QString folder = TestSupport::makeTemporaryFolder("write");
    for (const QString& missing : {folder + "/missing", QString()}) { // no folder is not the working directory
        EXPECT_EQ(errorOf([&] { Exporter::writeToFolder(exported, "capture.png", missing, kBoth); }),
                  ExportError::io("No such file or directory"));
    }
    TestSupport::writeFile(folder + "/capture.png", QByteArray(100000, 'x'));
    const auto written = Exporter::writeToFolder(exported, "capture.png", folder, {DestinationKind::folder});
    EXPECT_EQ(TestSupport::readFile(written.path), exported.data());
    EXPECT_EQ(entries(folder), QStringList{"capture.png"});
}

TEST(WriteToFolder, NamesUpToTheFileSystemsLimitAreWritten) {
    const auto exported = Exporter::encode(noiseImage(8, 8, 47), ImageFormat::png());
    for (const qsizetype length : {244, 255}) {
        const QString folder = TestSupport::makeTemporaryFolder("long-name");
        const QString name = QString(length - 4, 'n') + ".png";
        const auto written = Exporter::writeToFolder(exported, name, folder, kBoth);
        EXPECT_EQ(TestSupport::readFile(written.path), exported.data()) << length;
        EXPECT_EQ(entries(folder), QStringList{name}) << length;
    }
}

TEST(CopyToClipboard, PutsTheBytesUnderTheFormatsTypeOrFailsWithoutAHash) {
    FakeClipboard clipboard;
    const auto png = Exporter::encode(noiseImage(8, 8, 48), ImageFormat::png());
    EXPECT_EQ(errorOf([&] { Exporter::copyToClipboard(png, ImageFormat::png(), {DestinationKind::folder}, clipboard); }),
              ExportError::destinationNotAllowed(DestinationKind::clipboard));
    EXPECT_EQ(clipboard.bytes, "previous contents");
    EXPECT_EQ(Exporter::copyToClipboard(png, ImageFormat::png(), {DestinationKind::clipboard}, clipboard), png.sha256Hex());
    EXPECT_EQ(clipboard.mimeType, "image/png");
    EXPECT_EQ(clipboard.bytes, png.data());
    Exporter::copyToClipboard(png, ImageFormat::jpeg(0.8), kBoth, clipboard);
    EXPECT_EQ(clipboard.mimeType, "image/jpeg");
    clipboard.accept = false;
    const auto failed = errorOf([&] { Exporter::copyToClipboard(png, ImageFormat::png(), kBoth, clipboard); });
    EXPECT_TRUE(failed && failed->code() == ExportError::Code::io);
}

} // namespace
