#include "Base64.h"

#include <gtest/gtest.h>

#include <random>

using namespace Base64Options;

TEST(Base64, Rfc4648Vectors)
{
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(EncodeBase64(QByteArray(plain), None), QByteArray(encoded)) << plain;
        EXPECT_EQ(DecodeBase64(QByteArray(encoded)), QByteArray(plain)) << encoded;
    }
}

TEST(Base64, PaddingOption)
{
    EXPECT_EQ(EncodeBase64(QByteArray("abc"), None), "YWJj");
    EXPECT_EQ(EncodeBase64(QByteArray("ab"), None), "YWI=");
    EXPECT_EQ(EncodeBase64(QByteArray("ab"), NoPadding), "YWI");
    EXPECT_EQ(EncodeBase64(QByteArray("a"), None), "YQ==");
    EXPECT_EQ(EncodeBase64(QByteArray("a"), NoPadding), "YQ");
    EXPECT_EQ(DecodeBase64(QByteArray("YWI")), "ab");
    EXPECT_EQ(DecodeBase64(QByteArray("YWI=")), "ab");
}

TEST(Base64, LinesOf76Characters)
{
    const QByteArray fiftySeven(57, 'x');
    const QByteArray one = EncodeBase64(fiftySeven, None);
    EXPECT_EQ(one.size(), 76);
    EXPECT_FALSE(one.contains('\r'));

    const QByteArray two = EncodeBase64(QByteArray(58, 'x'), None);
    EXPECT_EQ(two.size(), 76 + 2 + 4);
    EXPECT_EQ(two.mid(76, 2), "\r\n");
    EXPECT_TRUE(two.endsWith("=="));

    const QByteArray noBreaks = EncodeBase64(QByteArray(580, 'x'), NoLineBreaks);
    EXPECT_FALSE(noBreaks.contains('\n'));
    EXPECT_EQ(noBreaks.size(), 776);

    // 114 bytes are two full lines: one CR LF between them, none after.
    const QByteArray twoLines = EncodeBase64(QByteArray(114, 'x'), None);
    EXPECT_EQ(twoLines.size(), 76 * 2 + 2);
    EXPECT_FALSE(twoLines.endsWith("\r\n"));
}

TEST(Base64, LengthBoundHoldsForEveryLengthAndOption)
{
    std::mt19937 random(7);
    for (std::size_t length = 0; length < 400; ++length) {
        QByteArray bytes(static_cast<qsizetype>(length), '\0');
        for (auto& b : bytes)
            b = static_cast<char>(random());
        for (unsigned options : {None, NoPadding, NoLineBreaks, NoPadding | NoLineBreaks}) {
            const QByteArray encoded = EncodeBase64(bytes, options);
            EXPECT_LE(static_cast<std::size_t>(encoded.size()), EncodedBase64Length(length, options));
            EXPECT_EQ(DecodeBase64(encoded), bytes) << length << " " << options;
        }
    }
}

TEST(Base64, DecoderSkipsForeignCharactersAndStopsAtZero)
{
    EXPECT_EQ(DecodeBase64(QByteArray("Y W\r\nJ\tj")), "abc");
    EXPECT_EQ(DecodeBase64(QByteArray("YW=Jj")), "abc") << "padding in the middle is skipped too";
    const char withZero[] = "YWJj\0YWJj";
    std::uint8_t out[16];
    std::size_t written = 0;
    EXPECT_TRUE(DecodeBase64(withZero, sizeof withZero - 1, out, sizeof out, &written));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(DecodeBase64(QByteArray("Y")), "") << "one character completes no byte";
}

TEST(Base64, DecoderReportsTheSizeItNeeds)
{
    std::uint8_t out[2] = {0, 0};
    std::size_t written = 0;
    EXPECT_FALSE(DecodeBase64("Zm9vYmFy", 8, out, sizeof out, &written));
    EXPECT_EQ(written, 6u);
    EXPECT_EQ(out[0], 'f');
    EXPECT_EQ(out[1], 'o');
}
