#include "ExportKit/Exporter.h"
#include "ImageTestHelpers.h"
#include "support/TestEnvironment.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

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
    QString mimeType = "previous/type";
    QByteArray bytes = "previous contents";
    int calls = 0;

    bool setData(const QString& type, const QByteArray& data) override {
        ++calls;
        if (!accept) return false;
        mimeType = type;
        bytes = data;
        return true;
    }
};

ExportError::Code codeOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const ExportError& error) {
        return error.code();
    }
    ADD_FAILURE() << "no ExportError was thrown";
    return ExportError::Code::bitmapContextFailed;
}

TEST(Encode, PngIsDeterministicAndHashedInLowerCaseHex) {
    const QImage image = noiseImage(120, 80, 41);
    const auto first = Exporter::encode(image, ImageFormat::png());
    const auto second = Exporter::encode(image, ImageFormat::png());
    EXPECT_EQ(first.data(), second.data());
    EXPECT_EQ(first.sha256Hex(), second.sha256Hex());
    EXPECT_EQ(first.sha256Hex().size(), 64);
    EXPECT_EQ(first.sha256Hex(), first.sha256Hex().toLower());
    EXPECT_TRUE(first.data().startsWith("\x89PNG\r\n\x1a\n"));
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(first.data(), "png"));
    EXPECT_TRUE(samePixels(decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied), image));
}

TEST(Encode, KeepsTransparency) {
    QImage image = filledImage(10, 10, Qt::transparent);
    image.setPixel(3, 3, qRgba(0, 0, 0, 255));
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(Exporter::encode(image, ImageFormat::png()).data(), "png"));
    EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(decoded.pixel(3, 3)), 255);
}

TEST(Encode, HashEqualsSha256sumOfTheWrittenFileAndPngsCarryNoText) {
    REQUIRE_PROGRAM("sha256sum");
    REQUIRE_PROGRAM("pngcheck");
    QImage image = noiseImage(64, 64, 42);
    image.setText("Comment", "annotation data that must not leak"); // Qt would write it as tEXt
    const auto exported = Exporter::encode(image, ImageFormat::png());
    EXPECT_FALSE(exported.data().contains("annotation data"));
    const QString folder = TestSupport::makeTemporaryFolder("encode");
    const auto written = Exporter::writeToFolder(exported, "capture.png", folder, kBoth);

    const auto sum = TestSupport::runProgram("sha256sum", {written.path});
    ASSERT_TRUE(sum && sum->exitCode == 0);
    EXPECT_EQ(QString::fromLatin1(sum->standardOutput.left(64)), exported.sha256Hex());
    EXPECT_EQ(written.sha256Hex, exported.sha256Hex());

    const auto check = TestSupport::runProgram("pngcheck", {"-t", written.path});
    ASSERT_TRUE(check);
    EXPECT_EQ(check->exitCode, 0) << check->standardOutput.toStdString();
    for (const char* chunk : {"tEXt", "zTXt", "iTXt"}) {
        EXPECT_FALSE(check->standardOutput.contains(chunk)) << check->standardOutput.toStdString();
    }
}

TEST(Encode, JpegUsesTheQuality) {
    const QImage image = noiseImage(200, 150, 43);
    const auto low = Exporter::encode(image, ImageFormat::jpeg(0.2));
    const auto high = Exporter::encode(image, ImageFormat::jpeg(0.95));
    EXPECT_TRUE(low.data().startsWith("\xff\xd8"));
    EXPECT_LT(low.data().size(), high.data().size());
    EXPECT_EQ(Exporter::encode(image, ImageFormat::jpeg(0.2)).data(), low.data());
}

TEST(Encode, NothingToEncodeFails) {
    EXPECT_EQ(codeOf([] { Exporter::encode(QImage(), ImageFormat::png()); }), ExportError::Code::encodingFailed);
    EXPECT_EQ(codeOf([] { Exporter::encode(noiseImage(4, 4, 1), ImageFormat::jpeg(std::nan(""))); }),
              ExportError::Code::encodingFailed);
}

TEST(WriteToFolder, RefusedDestinationWritesNothing) {
    const QString folder = TestSupport::makeTemporaryFolder("refused");
    const auto exported = Exporter::encode(noiseImage(8, 8, 44), ImageFormat::png());
    try {
        Exporter::writeToFolder(exported, "capture.png", folder, {DestinationKind::clipboard});
        ADD_FAILURE() << "the folder was not allowed";
    } catch (const ExportError& error) {
        EXPECT_EQ(error, ExportError::destinationNotAllowed(DestinationKind::folder));
    }
    EXPECT_TRUE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

TEST(WriteToFolder, NamesThatAreNotOnePathComponentAreRefused) {
    const QString parent = TestSupport::makeTemporaryFolder("names");
    const QString folder = parent + "/out";
    ASSERT_TRUE(QDir().mkpath(folder));
    const auto exported = Exporter::encode(noiseImage(8, 8, 45), ImageFormat::png());
    for (const QString& name : {QString(""), QString("."), QString(".."), QString("../escape.png"),
                                QString("sub/capture.png"), QString("/etc/passwd"), QString("a") + QChar(0) + "b.png"}) {
        EXPECT_EQ(codeOf([&] { Exporter::writeToFolder(exported, name, folder, kBoth); }), ExportError::Code::io)
            << name.toStdString();
    }
    EXPECT_TRUE(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
    EXPECT_EQ(QDir(parent).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList{"out"});
}

TEST(WriteToFolder, MissingFolderGivesTheSystemsMessage) {
    const auto exported = Exporter::encode(noiseImage(8, 8, 46), ImageFormat::png());
    try {
        Exporter::writeToFolder(exported, "capture.png", TestSupport::makeTemporaryFolder("gone") + "/missing", kBoth);
        ADD_FAILURE() << "wrote into a folder that does not exist";
    } catch (const ExportError& error) {
        EXPECT_EQ(error.code(), ExportError::Code::io);
        EXPECT_EQ(error.message(), "No such file or directory");
    }
}

TEST(WriteToFolder, ReplacesAnExistingFileWhole) {
    const QString folder = TestSupport::makeTemporaryFolder("replace");
    TestSupport::writeFile(folder + "/capture.png", QByteArray(100000, 'x'));
    const auto exported = Exporter::encode(noiseImage(8, 8, 47), ImageFormat::png());
    const auto written = Exporter::writeToFolder(exported, "capture.png", folder, {DestinationKind::folder});
    EXPECT_EQ(written.path, folder + "/capture.png");
    EXPECT_EQ(TestSupport::readFile(written.path), exported.data());
    EXPECT_EQ(QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden), QStringList{"capture.png"});
}

TEST(CopyToClipboard, RefusedDestinationLeavesTheClipboardAlone) {
    FakeClipboard clipboard;
    const auto exported = Exporter::encode(noiseImage(8, 8, 48), ImageFormat::png());
    EXPECT_EQ(codeOf([&] { Exporter::copyToClipboard(exported, ImageFormat::png(), {DestinationKind::folder}, clipboard); }),
              ExportError::Code::destinationNotAllowed);
    EXPECT_EQ(clipboard.calls, 0);
    EXPECT_EQ(clipboard.bytes, "previous contents");
}

TEST(CopyToClipboard, AFailedCopyIsAnErrorNotAHash) {
    FakeClipboard clipboard;
    clipboard.accept = false;
    const auto exported = Exporter::encode(noiseImage(8, 8, 49), ImageFormat::png());
    EXPECT_EQ(codeOf([&] { Exporter::copyToClipboard(exported, ImageFormat::png(), kBoth, clipboard); }),
              ExportError::Code::io);
}

TEST(CopyToClipboard, PutsTheBytesUnderTheFormatsType) {
    FakeClipboard clipboard;
    const auto png = Exporter::encode(noiseImage(8, 8, 50), ImageFormat::png());
    EXPECT_EQ(Exporter::copyToClipboard(png, ImageFormat::png(), {DestinationKind::clipboard}, clipboard), png.sha256Hex());
    EXPECT_EQ(clipboard.mimeType, "image/png");
    EXPECT_EQ(clipboard.bytes, png.data());
    const auto jpeg = Exporter::encode(noiseImage(8, 8, 50), ImageFormat::jpeg(0.8));
    Exporter::copyToClipboard(jpeg, ImageFormat::jpeg(0.8), kBoth, clipboard);
    EXPECT_EQ(clipboard.mimeType, "image/jpeg");
    EXPECT_EQ(clipboard.bytes, jpeg.data());
}

TEST(SystemClipboard, HoldsTheCopiedBytesInProcess) {
    ExportKit::SystemClipboard clipboard;
    const auto png = Exporter::encode(noiseImage(16, 16, 51), ImageFormat::png());
    EXPECT_EQ(Exporter::copyToClipboard(png, ImageFormat::png(), kBoth, clipboard), png.sha256Hex());
    const QMimeData* held = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->data("image/png"), png.data());
}

TEST(SystemClipboard, RefusesOffTheGuiThread) {
    ExportKit::SystemClipboard clipboard;
    bool accepted = true;
    std::thread([&] { accepted = clipboard.setData("image/png", "bytes"); }).join();
    EXPECT_FALSE(accepted);
}

} // namespace
