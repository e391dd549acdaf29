#include "textcodec.h"

#include <gtest/gtest.h>

TEST(TextCodec, DecodesUtf8AndShiftJis)
{
    // "温度" in UTF-8 and in Shift_JIS.
    const std::string utf8 = "\xe6\xb8\xa9\xe5\xba\xa6";
    const std::string sjis = "\x89\xb7\x93\x78";
    EXPECT_EQ(vok::decodeText(utf8), QString::fromUtf8("温度"));
    EXPECT_EQ(vok::decodeText(sjis), QString::fromUtf8("温度"));
    EXPECT_EQ(vok::decodeText(std::string("PV\x81\x46")), QString::fromUtf8("PV："));
    EXPECT_EQ(vok::encodeText(QString::fromUtf8("温度"), vok::TextEncoding::ShiftJis), sjis);
}

TEST(TextCodec, Utf8Validation)
{
    EXPECT_TRUE(vok::isValidUtf8("plain"));
    EXPECT_TRUE(vok::isValidUtf8("\xf0\x9f\x98\x80"));
    EXPECT_FALSE(vok::isValidUtf8("\xc0\xaf"));         // overlong
    EXPECT_FALSE(vok::isValidUtf8("\xed\xa0\x80"));     // surrogate
    EXPECT_FALSE(vok::isValidUtf8("\xe6\xb8"));         // cut short
    EXPECT_FALSE(vok::isValidUtf8("\x89\xb7\x93\x78")); // Shift_JIS
}
