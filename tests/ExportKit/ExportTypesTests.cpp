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

} // namespace
