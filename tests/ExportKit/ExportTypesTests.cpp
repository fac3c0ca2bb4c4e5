#include "ExportKit/ExportError.h"
#include "ExportKit/ExportTypes.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace ExportKit;

namespace {

TEST(Watermark, JoinsThePresentPartsWithAMiddleDot) {
    const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 7, 890), QTimeZone(3600));
    struct Case {
        Watermark mark;
        QString text;
    };
    const std::vector<Case> cases{
        {{"ada", std::nullopt, std::nullopt}, "ada"},
        {{std::nullopt, std::nullopt, std::nullopt}, ""},
        {{"", std::nullopt, std::nullopt}, ""},
        {{"", "laptop", std::nullopt}, QString::fromUtf8(" · laptop")},
        {{"ada", "laptop", time}, QString::fromUtf8("ada · laptop · 2026-03-04T04:06:07Z")},
        {{std::nullopt, std::nullopt, time}, "2026-03-04T04:06:07Z"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.mark.text(), c.text);
}

TEST(DestinationKind, RawValuesAreExact) {
    EXPECT_EQ(destinationKindFromRawValue("folder"), DestinationKind::folder);
    EXPECT_EQ(destinationKindFromRawValue("clipboard"), DestinationKind::clipboard);
    EXPECT_EQ(destinationKindFromRawValue("Folder"), std::nullopt);
    EXPECT_EQ(destinationKindFromRawValue("uploadEndpoint"), std::nullopt);
    EXPECT_EQ(rawValue(allDestinationKinds[0]), "clipboard");
    EXPECT_EQ(rawValue(allDestinationKinds[1]), "folder");
}

TEST(ImageFormat, JpegEqualityFollowsTheQuality) {
    EXPECT_EQ(ImageFormat::jpeg(0.9), ImageFormat::jpeg(0.9));
    EXPECT_NE(ImageFormat::jpeg(0.9), ImageFormat::jpeg(0.8));
    EXPECT_NE(ImageFormat::jpeg(0.9), ImageFormat::png());
    EXPECT_EQ(ImageFormat::png(), ImageFormat::png());
    EXPECT_EQ(ImageFormat::png().mimeType(), "image/png");
    EXPECT_EQ(ImageFormat::jpeg(0.5).mimeType(), "image/jpeg");
}

TEST(Backdrop, NoneIsStyleNoneWithNoPaddingOrRadius) {
    EXPECT_EQ(Backdrop::none(), (Backdrop{Backdrop::None{}, 0, 0}));
    EXPECT_NE(Backdrop::none(), (Backdrop{Backdrop::None{}, 10, 0}));
    EXPECT_NE((Backdrop{Backdrop::Solid{"#000000"}, 0, 0}), (Backdrop{Backdrop::Solid{"#000001"}, 0, 0}));
    EXPECT_EQ((Backdrop{Backdrop::Gradient{"#000000", "#FFFFFF", 1}, 4, 2}),
              (Backdrop{Backdrop::Gradient{"#000000", "#FFFFFF", 1}, 4, 2}));
}

TEST(ExportError, EqualityComparesCaseAndPayload) {
    EXPECT_EQ(ExportError::io("disk full"), ExportError::io("disk full"));
    EXPECT_NE(ExportError::io("disk full"), ExportError::io("gone"));
    EXPECT_EQ(ExportError::destinationNotAllowed(DestinationKind::folder),
              ExportError::destinationNotAllowed(DestinationKind::folder));
    EXPECT_NE(ExportError::destinationNotAllowed(DestinationKind::folder),
              ExportError::destinationNotAllowed(DestinationKind::clipboard));
    EXPECT_NE(ExportError::encodingFailed(), ExportError::bitmapContextFailed());
    EXPECT_EQ(ExportError::destinationNotAllowed(DestinationKind::folder).description(),
              "destinationNotAllowed(folder)");
}

} // namespace
