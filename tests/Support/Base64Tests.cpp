#include "Support/Base64.h"

#include <gtest/gtest.h>

TEST(Base64, EncodesWithPadding) {
    const std::pair<QByteArray, QByteArray> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xff\xfe", "//4="},
    };
    for (const auto& [plain, encoded] : cases) {
        EXPECT_EQ(Support::Base64::encode(plain), encoded);
        EXPECT_EQ(Support::Base64::decode(encoded), plain);
    }
}

TEST(Base64, StrictDecodingRefusesAnythingElse) {
    const char* invalid[] = {
        "Zg",       // no padding
        "Zg=",      // short padding
        "Z===",     // too much padding
        "Zm9v\n",   // white space
        "Zm 9v",    // white space inside
        "Zg==Zg==", // padding in the middle
        "Zm9-",     // URL-safe alphabet
        "=Zm9",     // padding first
    };
    for (const char* text : invalid) EXPECT_FALSE(Support::Base64::decode(text).has_value()) << text;
}

TEST(Base64, RoundTripsEveryByte) {
    QByteArray all;
    for (int i = 0; i < 256; ++i) all.append(static_cast<char>(i));
    for (int n = 0; n < 6; ++n) {
        const QByteArray slice = all.left(250 + n);
        EXPECT_EQ(Support::Base64::decode(Support::Base64::encode(slice)), slice);
    }
}
