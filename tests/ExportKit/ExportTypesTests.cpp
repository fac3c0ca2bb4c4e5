#include "ExportKit/ExportError.h"
#include "ExportKit/ExportTypes.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace ExportKit;

namespace {

TEST(Watermark, JoinsThePresentPartsWithAMiddleDot) {
    const QDateTime time(QDate(2026, 3, 4), QTime(5, 6, 7, 890), QTimeZone(3600));
    const std::vector<std::pair<Watermark, QString>> cases{
        {{"ada", {}, {}}, "ada"},
        {{{}, {}, {}}, ""},
        {{"", {}, {}}, ""},
        {{"", "laptop", {}}, QString::fromUtf8(" · laptop")},
        {{"ada", "laptop", time}, QString::fromUtf8("ada · laptop · 2026-03-04T04:06:07Z")},
    };
    for (const auto& [mark, text] : cases) EXPECT_EQ(mark.text(), text);
}

TEST(ExportTypes, RawValuesAndEqualities) {
    EXPECT_EQ(destinationKindFromRawValue("folder"), DestinationKind::folder);
    EXPECT_EQ(destinationKindFromRawValue("Folder"), std::nullopt);
    EXPECT_EQ(destinationKindFromRawValue("uploadEndpoint"), std::nullopt);
    EXPECT_EQ(ImageFormat::jpeg(0.9), ImageFormat::jpeg(0.9));
    EXPECT_NE(ImageFormat::jpeg(0.9), ImageFormat::jpeg(0.8));
    EXPECT_NE(ImageFormat::jpeg(0.9), ImageFormat::png());
    EXPECT_EQ(Backdrop::none(), (Backdrop{Backdrop::None{}, 0, 0}));
    EXPECT_NE(Backdrop::none(), (Backdrop{Backdrop::None{}, 10, 0}));
    EXPECT_EQ(ExportError::destinationNotAllowed(DestinationKind::folder).description(), "destinationNotAllowed(folder)");
}

} // namespace
