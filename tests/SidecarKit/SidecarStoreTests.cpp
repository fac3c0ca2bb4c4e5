#include "SidecarKit/PNGText.h"
#include "SidecarKit/SidecarError.h"
#include "SidecarKit/SidecarStore.h"
#include "Support/Base64.h"
#include "support/TestEnvironment.h"

#include "PngFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace SidecarKit;
using namespace SidecarTest;

namespace {

SidecarDocument document(std::int64_t width, std::int64_t height, const QString& mode = "region",
                         std::int64_t version = 1) {
    const Annotation::Style style{"#FF3B30", 3, 1, false, std::nullopt, false};
    return SidecarDocument(version, {"shot.png", width, height, 1.0}, {mode, true},
                           {Annotation(QUuid::createUuid(), 0, Annotation::Box{{10, 20, 100, 50}, style, std::nullopt, 0})});
}

QByteArray embeddedChunkFor(const QByteArray& json) {
    return textChunk("brindlecast", Support::Base64::encode(json));
}

QByteArray versionTwoJson() {
    QByteArray json = document(64, 48).encoded();
    json.replace("\"version\":1", "\"version\":2");
    return json;
}

QStringList leftovers(const QString& folder) {
    return QDir(folder).entryList(QStringList{"*.tmp-*"}, QDir::AllEntries | QDir::Hidden);
}

SidecarError sidecarErrorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const SidecarError& error) {
        return error;
    }
    ADD_FAILURE() << "no SidecarError";
    return SidecarError::io("none");
}

class SidecarStoreTest : public ::testing::Test {
protected:
    QString folder = TestSupport::makeTemporaryFolder("sidecar");
    QString image = folder + "/shot.png";
    QString sidecar = folder + "/shot.png.brindlecast.json";
};

} // namespace

TEST(SidecarStorePaths, SidecarSitsBesideTheImage) {
    EXPECT_EQ(SidecarStore::sidecarURL("/home/u/Pictures/shot.png"), "/home/u/Pictures/shot.png.brindlecast.json");
    EXPECT_EQ(SidecarStore::sidecarURL("shot.png"), "shot.png.brindlecast.json");
    EXPECT_EQ(SidecarStore::sidecarURL("/tmp/a b/archive.tar.gz"), "/tmp/a b/archive.tar.gz.brindlecast.json");
}

TEST_F(SidecarStoreTest, SaveThenLoadFromTheFile) {
    const SidecarDocument saved = document(64, 48);
    SidecarStore::save(saved, image);
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(saved, SidecarSource::file));
    EXPECT_TRUE(leftovers(folder).isEmpty());
}

TEST_F(SidecarStoreTest, NothingAnywhereIsMissing) {
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::missing());
    TestSupport::writeFile(image, realPng(8, 8));
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::missing());
}

TEST_F(SidecarStoreTest, TwoEmbedsLeaveOneChunkBeforeIENDAndAValidPng) {
    REQUIRE_PROGRAM("pngcheck");
    TestSupport::writeFile(image, realPng(64, 48));
    SidecarStore::embed(document(64, 48, "first"), image);
    const SidecarDocument second = document(64, 48, "second");
    SidecarStore::embed(second, image);

    const QByteArray bytes = TestSupport::readFile(image);
    const QByteArrayList types = chunkTypes(bytes);
    EXPECT_EQ(types.count("tEXt brindlecast"), 1);
    EXPECT_EQ(types.mid(types.size() - 2), (QByteArrayList{"tEXt brindlecast", "IEND"}));
    EXPECT_EQ(QImage::fromData(bytes).size(), QSize(64, 48));

    const auto check = TestSupport::runProgram("pngcheck", {image});
    ASSERT_TRUE(check);
    EXPECT_EQ(check->exitCode, 0) << check->standardOutput.toStdString();
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(second, SidecarSource::embedded));
}

TEST_F(SidecarStoreTest, ChunksAfterIENDSurviveAnEmbed) {
    const QByteArray trailer = chunk("prVt", "kept after the end");
    TestSupport::writeFile(image, realPng(16, 16) + trailer);
    SidecarStore::embed(document(16, 16), image);
    EXPECT_TRUE(TestSupport::readFile(image).endsWith(chunk("IEND", {}) + trailer));
}

TEST_F(SidecarStoreTest, EmbeddedDocumentWinsAndTheFileIsNotRead) {
    TestSupport::writeFile(image, realPng(64, 48));
    const SidecarDocument embedded = document(64, 48, "embedded");
    SidecarStore::embed(embedded, image);
    TestSupport::writeFile(sidecar, "this is not JSON");
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(embedded, SidecarSource::embedded));
}

TEST_F(SidecarStoreTest, ChunkThatIsNotBase64FallsBackToTheFile) {
    TestSupport::writeFile(image, png({header(64, 48), textChunk("brindlecast", "{not base64!}"), chunk("IEND", {})}));
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::missing());
    const SidecarDocument saved = document(64, 48);
    SidecarStore::save(saved, image);
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(saved, SidecarSource::file));
}

TEST_F(SidecarStoreTest, NewerVersionIsRefusedWhereverItIs) {
    const SidecarDocument valid = document(64, 48);
    // In the chunk, beside a valid sidecar file.
    TestSupport::writeFile(image, png({header(64, 48), embeddedChunkFor(versionTwoJson()), chunk("IEND", {})}));
    SidecarStore::save(valid, image);
    auto error = sidecarErrorOf([&] { SidecarStore::load(image); });
    EXPECT_EQ(error, SidecarError::unsupportedVersion(2, 1));
    // In the file.
    TestSupport::writeFile(image, realPng(64, 48));
    TestSupport::writeFile(sidecar, versionTwoJson());
    error = sidecarErrorOf([&] { SidecarStore::load(image); });
    EXPECT_EQ(error, SidecarError::unsupportedVersion(2, 1));
    // Only the version counts: a newer document with nothing else is refused by it alone.
    TestSupport::writeFile(sidecar, R"({"version":7})");
    EXPECT_EQ(sidecarErrorOf([&] { SidecarStore::load(image); }), SidecarError::unsupportedVersion(7, 1));
}

TEST_F(SidecarStoreTest, VersionZeroLoadsLikeTheCurrentOne) {
    const SidecarDocument old = document(64, 48, "region", 0);
    TestSupport::writeFile(sidecar, old.encoded());
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(old, SidecarSource::file));
}

TEST_F(SidecarStoreTest, SizeMismatchIsAWarning) {
    const SidecarDocument small = document(800, 600);
    const auto expected = std::vector{SidecarWarning::imageSizeMismatch(800, 600, 1600, 1200)};
    TestSupport::writeFile(image, realPng(1600, 1200));
    SidecarStore::save(small, image);
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(small, SidecarSource::file, expected));
    SidecarStore::embed(small, image);
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(small, SidecarSource::embedded, expected));
}

TEST_F(SidecarStoreTest, JpegKeepsItsBytesAndLoadsItsSidecarWithoutWarnings) {
    const QString jpeg = folder + "/photo.jpg";
    QImage picture(32, 32, QImage::Format_RGB32);
    picture.fill(Qt::green);
    ASSERT_TRUE(picture.save(jpeg, "JPEG"));
    const QByteArray before = TestSupport::readFile(jpeg);

    const auto error = sidecarErrorOf([&] { SidecarStore::embed(document(800, 600), jpeg); });
    EXPECT_EQ(error, SidecarError::io("embedded annotations require a PNG working copy"));
    EXPECT_EQ(TestSupport::readFile(jpeg), before);
    EXPECT_TRUE(leftovers(folder).isEmpty());

    const SidecarDocument saved = document(800, 600);
    SidecarStore::save(saved, jpeg);
    EXPECT_EQ(SidecarStore::load(jpeg), SidecarLoadResult::makeFound(saved, SidecarSource::file));
}

TEST_F(SidecarStoreTest, EmbedNeedsAnExistingPng) {
    EXPECT_EQ(sidecarErrorOf([&] { SidecarStore::embed(document(1, 1), image); }),
              SidecarError::io("embedded annotations require a PNG working copy"));
    EXPECT_FALSE(QFile::exists(image));
    const QByteArray endless = png({header(8, 8), chunk("IDAT", "x")});
    TestSupport::writeFile(image, endless);
    EXPECT_EQ(sidecarErrorOf([&] { SidecarStore::embed(document(8, 8), image); }), SidecarError::io("PNG missing IEND"));
    EXPECT_EQ(TestSupport::readFile(image), endless);
}

TEST_F(SidecarStoreTest, FailedRenameLeavesNoTemporaryFile) {
    // A non-empty folder where the sidecar should go: no rename can replace it, even as root.
    TestSupport::writeFile(sidecar + "/occupant", "keep");
    const SidecarError error = sidecarErrorOf([&] { SidecarStore::save(document(1, 1), image); });
    EXPECT_EQ(error.kind(), SidecarError::Kind::io);
    EXPECT_EQ(error.message(), QString::fromLocal8Bit(std::strerror(EISDIR)));
    EXPECT_TRUE(leftovers(folder).isEmpty()) << leftovers(folder).join(", ").toStdString();
    EXPECT_EQ(TestSupport::readFile(sidecar + "/occupant"), "keep");
}

TEST_F(SidecarStoreTest, EmbedKeepsTheImageFileMode) {
    TestSupport::writeFile(image, realPng(8, 8));
    ::chmod(QFile::encodeName(image).constData(), 0640);
    SidecarStore::embed(document(8, 8), image);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(image).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(SidecarStoreTest, UnencodableDocumentWritesNothing) {
    SidecarDocument broken = document(8, 8);
    broken.image.scale = std::numeric_limits<double>::quiet_NaN();
    TestSupport::writeFile(image, realPng(8, 8));
    const QByteArray before = TestSupport::readFile(image);
    EXPECT_THROW(SidecarStore::save(broken, image), JSONEncodingError);
    EXPECT_THROW(SidecarStore::embed(broken, image), JSONEncodingError);
    EXPECT_FALSE(QFile::exists(sidecar));
    EXPECT_EQ(TestSupport::readFile(image), before);
    EXPECT_TRUE(leftovers(folder).isEmpty());
}

TEST_F(SidecarStoreTest, UnreadableDocumentsThrowTheDecoderError) {
    // Not JSON; a version that is not an integer; a document without its keys.
    for (const char* json : {"", R"({"version":"1"})", R"({"version":1})"}) {
        TestSupport::writeFile(sidecar, json);
        EXPECT_THROW(SidecarStore::load(image), JSONDecodingError) << json;
    }
}

// A document that does not read is told with where it was kept: the annotation file, or the
// image whose chunk held it; the decoder's own description follows for the log.
TEST_F(SidecarStoreTest, ADamagedDocumentSaysWhereItWasKept) {
    for (const bool embedded : {false, true}) {
        SCOPED_TRACE(embedded ? "embedded" : "file");
        QFile::remove(sidecar);
        TestSupport::writeFile(image, embedded ? png({header(8, 8), embeddedChunkFor("{\"version\":1,"), chunk("IEND", {})})
                                               : realPng(8, 8));
        if (!embedded) TestSupport::writeFile(sidecar, "{\"version\":1,");
        try {
            SidecarStore::load(image);
            ADD_FAILURE() << "a damaged document was read";
        } catch (const DamagedDocument& damaged) {
            EXPECT_EQ(damaged.source(), embedded ? SidecarSource::embedded : SidecarSource::file);
            EXPECT_EQ(damaged.file(), embedded ? image : sidecar);
            const QString what = QString::fromUtf8(damaged.what());
            EXPECT_TRUE(what.contains(damaged.file()) && what.endsWith(damaged.description())) << what.toStdString();
        }
    }
}

TEST_F(SidecarStoreTest, KilledWhileSavingLeavesALoadableDocument) {
    TestSupport::writeFile(image, realPng(64, 48));
    for (int attempt = 0; attempt < 6; ++attempt) {
        QProcess saver;
        saver.start(QStringLiteral(SIDECAR_SAVE_LOOP), {image});
        ASSERT_TRUE(saver.waitForStarted());
        ASSERT_TRUE(saver.waitForReadyRead(30000)) << saver.readAllStandardError().toStdString();
        ASSERT_EQ(saver.readLine().trimmed(), "ready");
        QThread::msleep(static_cast<unsigned long>(attempt * 7 % 25)); // land the kill in different steps
        saver.kill();                                                  // SIGKILL
        ASSERT_TRUE(saver.waitForFinished());

        const SidecarLoadResult fromImage = SidecarStore::load(image);
        ASSERT_FALSE(fromImage.isMissing());
        EXPECT_EQ(fromImage.found->source, SidecarSource::embedded);
        EXPECT_TRUE(PNGText::isPNG(TestSupport::readFile(image)));
        EXPECT_EQ(QImage::fromData(TestSupport::readFile(image)).size(), QSize(64, 48));
        EXPECT_NO_THROW(SidecarStore::decodeDocument(TestSupport::readFile(sidecar)));
    }
    QStringList files = QDir(folder).entryList(QDir::Files);
    files.removeAll("shot.png");
    files.removeAll("shot.png.brindlecast.json");
    // A temporary file that was being written when the kill came may stay behind; nothing else.
    for (const QString& file : files) EXPECT_TRUE(file.contains(".tmp-")) << file.toStdString();
}

// A document past the bound is refused before it is decoded, in either place, and left as it is;
// one at the bound still loads.
TEST_F(SidecarStoreTest, DocumentsAboveTheBoundAreRefusedUntouched) {
    const qsizetype bound = SidecarStore::maximumDocumentBytes;
    const auto padded = [](qsizetype size) {
        QByteArray json = document(64, 48).encoded();
        return json + QByteArray(size - json.size(), ' ');
    };
    struct Case {
        const char* name;
        bool embedded;
        qsizetype size;
        const char* refusal;  // nothing: it loads
    };
    const Case cases[] = {
        {"file at the bound", false, bound, nullptr},
        {"file one byte over", false, bound + 1, "The annotation file is larger than 4 MB"},
        {"file far over", false, 3 * bound, "The annotation file is larger than 4 MB"},
        {"chunk at the bound", true, bound, nullptr},
        {"chunk one byte over", true, bound + 1, "The embedded annotations are larger than 4 MB"},
        {"chunk far over", true, 3 * bound, "The embedded annotations are larger than 4 MB"},
    };
    for (const Case& c : cases) {
        QFile::remove(sidecar);
        const QByteArray json = padded(c.size);
        const QByteArray imageBytes =
            c.embedded ? png({header(64, 48), embeddedChunkFor(json), chunk("IEND", {})})
                       : realPng(64, 48);
        TestSupport::writeFile(image, imageBytes);
        if (!c.embedded) TestSupport::writeFile(sidecar, json);
        if (!c.refusal) {
            const SidecarLoadResult loaded = SidecarStore::load(image);
            ASSERT_FALSE(loaded.isMissing()) << c.name;
            EXPECT_EQ(loaded.found->source, c.embedded ? SidecarSource::embedded : SidecarSource::file) << c.name;
            continue;
        }
        const SidecarError error = sidecarErrorOf([&] { SidecarStore::load(image); });
        EXPECT_EQ(error, SidecarError::io(c.refusal)) << c.name << ": " << error.description().toStdString();
        EXPECT_EQ(TestSupport::readFile(image), imageBytes) << c.name;
        if (!c.embedded) {
            EXPECT_EQ(TestSupport::readFile(sidecar), json) << c.name;
        }
    }
}

// A working copy that goes on for a gigabyte after its end chunk (a hole: 8 KB on disk) is
// reopened and annotated at the cost of its image alone: the load reads nothing after the end,
// and an embed keeps every chunk, one after the end too, but writes no hole back as data.
TEST_F(SidecarStoreTest, AGigabyteAfterTheEndIsNeitherReadNorWrittenBack) {
    constexpr qint64 GiB = qint64(1) << 30;
    const SidecarDocument stored = document(64, 48, "stored");
    const QByteArray trailer = chunk("prVt", "kept after the end");
    const QByteArray image64 = realPng(64, 48);
    const qint64 peakBefore = peakResidentBytes();

    writeWithHoles(image, {{image64, GiB}});
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::missing());
    SidecarStore::embed(stored, image);
    EXPECT_EQ(chunkTypes(TestSupport::readFile(image)).mid(chunkTypes(image64).size() - 1),
              (QByteArrayList{"tEXt brindlecast", "IEND"}));

    writeWithHoles(image, {{png({header(64, 48), embeddedChunkFor(stored.encoded()), chunk("IEND", {}), trailer}), GiB}});
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(stored, SidecarSource::embedded));
    const SidecarDocument again = document(64, 48, "again");
    SidecarStore::embed(again, image);
    const QByteArray rewritten = TestSupport::readFile(image);
    EXPECT_LT(rewritten.size(), 4096);
    EXPECT_TRUE(rewritten.endsWith(chunk("IEND", {}) + trailer));
    EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(again, SidecarSource::embedded));

    EXPECT_LT(peakResidentBytes() - peakBefore, 64 * 1024 * 1024) << "the hole was read";
}

// Only the image's chunks count: a hole before its end chunk, or an end beyond the largest image
// read, leaves the image as it was, and its annotations come from the sidecar file.
TEST_F(SidecarStoreTest, AnImageWhoseChunksDoNotReachTheirEndIsNotEmbeddedInto) {
    constexpr qint64 GiB = qint64(1) << 30;
    const SidecarDocument saved = document(64, 48);
    const struct {
        const char* name;
        QList<std::pair<QByteArray, qint64>> pieces;
    } cases[] = {
        {"a hole before the end", {{png({header(64, 48)}), 4096}, {chunk("IEND", {}), 0}}},
        {"an end past a gigabyte", {{png({header(64, 48), chunkHeader(GiB, "IDAT")}), GiB + 4}, {chunk("IEND", {}), 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeWithHoles(image, c.pieces);
        const qint64 size = QFileInfo(image).size();
        EXPECT_EQ(sidecarErrorOf([&] { SidecarStore::embed(saved, image); }), SidecarError::io("PNG missing IEND"));
        EXPECT_EQ(QFileInfo(image).size(), size);
        EXPECT_TRUE(leftovers(folder).isEmpty());
        SidecarStore::save(saved, image);
        EXPECT_EQ(SidecarStore::load(image), SidecarLoadResult::makeFound(saved, SidecarSource::file));
    }
}
