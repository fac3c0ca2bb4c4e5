#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "Support/IoError.h"
#include "support/FileSizeLimit.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QImageReader>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

bool decodes(const QString& path) {
    QImageReader reader(path);
    return !reader.read().isNull();
}

QStringList everything(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

// A capture killed while its files are being written leaves whole files or none under their
// names: the library never lists a cut-short PNG, and every PNG in the folder decodes.
TEST(LibraryWrites, KilledWhileSavingLeavesNoCutShortImage) {
    const QString folder = TestSupport::makeTemporaryFolder("killed-library");
    for (int attempt = 0; attempt < 6; ++attempt) {
        QProcess saver;
        saver.start(QStringLiteral(LIBRARY_SAVE_LOOP), {folder});
        ASSERT_TRUE(saver.waitForStarted());
        ASSERT_TRUE(saver.waitForReadyRead(60000)) << saver.readAllStandardError().toStdString();
        ASSERT_EQ(saver.readLine().trimmed(), "ready");
        QThread::msleep(static_cast<unsigned long>(3 + attempt * 11 % 40)); // land the kill in different steps
        saver.kill();                                                       // SIGKILL
        ASSERT_TRUE(saver.waitForFinished());
    }

    for (const QString& name : QDir(folder).entryList({"*.png"}, QDir::Files)) {
        EXPECT_TRUE(decodes(folder + "/" + name)) << name.toStdString();
    }
    // A temporary that was being written when a kill came may stay, hidden; nothing else.
    for (const QString& name : everything(folder)) {
        if (name.startsWith('.')) {
            EXPECT_TRUE(name.contains(".png.tmp-")) << name.toStdString();
        }
    }
    CaptureLibrary library(folder);
    library.reload();
    library.waitUntilListed();
    EXPECT_GE(library.entries().size(), 6);
    for (const CaptureEntry& entry : library.entries()) {
        EXPECT_TRUE(decodes(entry.url.toLocalFile())) << entry.filename.toStdString();
    }
}

// A full disk fails the write and leaves nothing: no short working copy, no short companion, no
// temporary.
TEST(LibraryWrites, AFullDiskLeavesNoFile) {
    const QString folder = TestSupport::makeTemporaryFolder("full-library");
    const QByteArray png(512 * 1024, 'p');
    const QString workingCopy = folder + "/Screenshot 2026-12-05 at 6.25.34 PM.png";
    TestSupport::writeFile(workingCopy, "an earlier working copy");
    struct Case {
        const char* name;
        std::function<void()> write;
    };
    const Case cases[] = {
        {"working copy", [&] { Pipeline::writeNewFile(folder, "Screenshot 2026-12-05 at 6.25.34 PM.png", png); }},
        {"companion", [&] { Pipeline::writeCompanion(workingCopy, png); }},
    };
    for (const Case& c : cases) {
        try {
            const TestSupport::FileSizeLimit full(100 * 1024);
            c.write();
            ADD_FAILURE() << c.name << ": the write should have failed";
        } catch (const Support::IoError& error) {
            EXPECT_EQ(error.errorNumber(), EFBIG) << c.name;
        }
        EXPECT_EQ(everything(folder), QStringList{QFileInfo(workingCopy).fileName()}) << c.name;
    }
}
