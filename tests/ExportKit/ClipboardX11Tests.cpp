// Runs on the xcb platform: the copy must be readable by another X client.
#include "ExportKit/Exporter.h"
#include "ImageTestHelpers.h"
#include "support/TestEnvironment.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Without a display the xcb platform cannot start at all; fall back so the tests can skip.
const bool platformChosen = [] {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return true;
}();

TEST(SystemClipboardX11, AnotherClientReadsExactlyTheExportedBytes) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X display";
    REQUIRE_PROGRAM("xclip");
    REQUIRE_PROGRAM("sha256sum");
    ExportKit::SystemClipboard clipboard;
    const auto png = ExportKit::Exporter::encode(ExportKitTests::noiseImage(64, 48, 61), ExportKit::ImageFormat::png());
    const QString hash = ExportKit::Exporter::copyToClipboard(
        png, ExportKit::ImageFormat::png(), {ExportKit::DestinationKind::clipboard}, clipboard);
    QByteArray read;
    TestSupport::waitUntil([&] {
        read = TestSupport::outputWhileServing("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"});
        return read == png.data();
    });
    EXPECT_EQ(read, png.data());
    const auto sum = TestSupport::runProgram("sha256sum", {"-"}, read);
    ASSERT_TRUE(sum && sum->exitCode == 0);
    EXPECT_EQ(QString::fromLatin1(sum->standardOutput.left(64)), hash);
}

} // namespace
