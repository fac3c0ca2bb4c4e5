#include "SidecarKit/PNGText.h"
#include "SidecarKit/SidecarError.h"

#include "PngFixtures.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace SidecarKit;
using namespace SidecarTest;

namespace {

const QByteArray iend = chunk("IEND", {});
const QByteArray ihdr = header(1920, 1080);
const QByteArray idat = chunk("IDAT", "not really pixels");

QString writeError(const QString& text, const QByteArray& data) {
    try {
        PNGText::write(text, data);
    } catch (const SidecarError& error) {
        EXPECT_EQ(error.kind(), SidecarError::Kind::io);
        return error.description();
    }
    return "no error";
}

} // namespace

TEST(PNGText, SignatureCheck) {
    EXPECT_TRUE(PNGText::isPNG(signature()));
    EXPECT_FALSE(PNGText::isPNG(signature().left(7)));
    EXPECT_FALSE(PNGText::isPNG("GIF89a\0\0"));
    EXPECT_TRUE(PNGText::isPNG(realPng(3, 3)));
}

TEST(PNGText, ReadFindsTheFirstOfOurChunksBeforeIEND) {
    struct Case {
        const char* name;
        QByteArray data;
        std::optional<QString> text;
    };
    const std::vector<Case> cases{
        {"first of two", png({ihdr, textChunk("brindlecast", "one"), idat, textChunk("brindlecast", "two"), iend}), "one"},
        {"after IEND", png({ihdr, idat, iend, textChunk("brindlecast", "late")}), std::nullopt},
        {"empty text", png({ihdr, textChunk("brindlecast", ""), iend}), ""},
        {"other keyword", png({ihdr, textChunk("Comment", "hi"), iend}), std::nullopt},
        {"keyword prefix", png({ihdr, textChunk("brindlecastX", "hi"), iend}), std::nullopt},
        {"no zero byte", png({ihdr, chunk("tEXt", "brindlecast"), iend}), std::nullopt},
        {"other type", png({ihdr, chunk("zTXt", QByteArray("brindlecast\0\0x", 14)), iend}), std::nullopt},
        {"invalid UTF-8", png({textChunk("brindlecast", "a\xff" "b")}), QString("a") + QChar(0xFFFD) + "b"},
        {"inside a chunk that runs past the end",
         png({ihdr, QByteArray::fromHex("00001000") + "IDAT" + textChunk("brindlecast", "x")}), std::nullopt},
        {"no signature", QByteArray("XXXXXXXX") + textChunk("brindlecast", "x") + iend, std::nullopt},
        {"signature only", signature(), std::nullopt},
        {"nothing", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PNGText::read(c.data), c.text) << c.name;
    }
}

TEST(PNGText, WriteReplacesOurChunksBeforeTheFirstIEND) {
    const QByteArray comment = textChunk("Comment", "keep");
    const QByteArray noZero = chunk("tEXt", "brindlecast");
    const QByteArray trailer = chunk("teXt", "after the end");
    const QByteArray input = png({ihdr, textChunk("brindlecast", "old1"), comment, noZero, idat,
                                  textChunk("brindlecast", "old2"), iend, trailer, iend});
    const QByteArray output = PNGText::write("new text", input);

    const QByteArray expected =
        png({ihdr, comment, noZero, idat, textChunk("brindlecast", "new text"), iend, trailer, iend});
    EXPECT_EQ(output, expected);
    EXPECT_EQ(PNGText::read(output), "new text");
}

TEST(PNGText, WritesTheEmptyTextAndDropsATrailingIncompleteChunk) {
    // The expected chunks carry their length and a CRC-32 computed by zlib.
    EXPECT_EQ(PNGText::write("", png({ihdr, iend})), png({ihdr, textChunk("brindlecast", ""), iend}));
    EXPECT_EQ(PNGText::write("x", png({ihdr, iend}) + chunk("tEXt", "cut short").left(9) + "junk"),
              png({ihdr, textChunk("brindlecast", "x"), iend}));
    EXPECT_EQ(PNGText::crc32({}), 0u);
}

TEST(PNGText, WriteFailures) {
    EXPECT_EQ(writeError("x", signature()), "PNG missing IEND");
    EXPECT_EQ(writeError("x", png({ihdr, idat, iend.left(11)})), "PNG missing IEND");
    // A length near 2^32 must not wrap the offset back into the data.
    EXPECT_EQ(writeError("x", png({ihdr, QByteArray::fromHex("FFFFFFF4") + "IDAT", iend})), "PNG missing IEND");
    EXPECT_EQ(writeError("x", QByteArray("not a png at all") + iend), "not a PNG");
    EXPECT_EQ(writeError("x", {}), "not a PNG");
    EXPECT_EQ(writeError("x", QByteArray("\x89PNG\r\n\x1a", 7)), "not a PNG");
}

TEST(PNGDimensions, ReadsTheHeader) {
    EXPECT_EQ(PNGDimensions::read(png({ihdr, iend})), (std::pair<std::int64_t, std::int64_t>{1920, 1080}));
    EXPECT_EQ(PNGDimensions::read(png({header(0xFFFFFFFF, 1)})),
              (std::pair<std::int64_t, std::int64_t>{4294967295, 1}));
    EXPECT_EQ(PNGDimensions::read(realPng(37, 11)), (std::pair<std::int64_t, std::int64_t>{37, 11}));
    EXPECT_FALSE(PNGDimensions::read(png({ihdr}).left(23)));
    EXPECT_FALSE(PNGDimensions::read(png({chunk("IDAT", "0123456789")})));
    // Neither the signature nor the header's length is checked.
    EXPECT_TRUE(PNGDimensions::read(QByteArray(8, 'x') + ihdr));
}

// In a file the chunk is looked for up to "IEND" only, and nothing is read that is not needed:
// not a gigabyte after the end, nor the data of a gigabyte chunk of another kind, nor a text
// longer than the reader takes.
TEST(PNGTextInAFile, OnlyTheChunkLookedForIsReadAndNothingPastTheEnd) {
    constexpr qint64 GiB = qint64(1) << 30;
    const QString folder = TestSupport::makeTemporaryFolder("png-text");
    const QByteArray ours = textChunk("brindlecast", "found");
    const QByteArray noCrc(4, '\0'); // the walk never checks one
    using Pieces = QList<std::pair<QByteArray, qint64>>;
    const struct {
        const char* name;
        Pieces pieces;
        qint64 limit;
        std::optional<PNGText::StoredText> found;
    } cases[] = {
        {"before the end", {{png({ihdr, ours, iend}), 0}}, GiB, PNGText::StoredText{5, "found"}},
        {"after the end", {{png({ihdr, idat, iend, ours}), 0}}, GiB, std::nullopt},
        {"a gigabyte hole after the end", {{png({ihdr, ours, iend}), GiB}}, GiB, PNGText::StoredText{5, "found"}},
        {"behind a gigabyte of image data",
         {{png({ihdr, chunkHeader(GiB, "IDAT")}), GiB}, {noCrc + ours + iend, 0}}, 2 * GiB,
         PNGText::StoredText{5, "found"}},
        {"behind a gigabyte text of another keyword",
         {{png({ihdr, chunkHeader(GiB, "tEXt") + QByteArray("brindlecasts\0", 13)}), GiB - 13}, {noCrc + ours + iend, 0}},
         2 * GiB, PNGText::StoredText{5, "found"}},
        {"longer than the reader takes", {{png({ihdr, textChunk("brindlecast", QByteArray(11, 'x')), iend}), 0}}, GiB,
         PNGText::StoredText{11, std::nullopt}},
        {"behind a hole before the end", {{png({ihdr}), 4096}, {ours + iend, 0}}, GiB, std::nullopt},
        {"beyond the limit", {{png({ihdr, idat, ours, iend}), 0}}, 8 + ihdr.size() + idat.size() + 16, std::nullopt},
        {"not a PNG", {{QByteArray("GIF89a\0\0", 8) + ours + iend, 0}}, GiB, std::nullopt},
    };
    const qint64 peakBefore = peakResidentBytes();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = folder + "/image.png";
        writeWithHoles(path, c.pieces);
        std::optional<Support::SafeFile::OpenFile> file = Support::SafeFile::open(path, Support::SafeFile::Links::refuse);
        ASSERT_TRUE(file);
        EXPECT_EQ(PNGText::storedText(*file, c.limit, 10), c.found);
    }
    EXPECT_LT(peakResidentBytes() - peakBefore, 64 * 1024 * 1024) << "a chunk was read whole";
}
