// Bounded UTF-16 path helpers and the UTF-8 conversions used for host paths and messages.
#include <gtest/gtest.h>

#include <string>

#include "platform/common/text.h"

namespace {

TEST(TextHelpers, BoundedCopyAndCatFailCleanly) {
    char16_t buf[6];
    EXPECT_TRUE(U16Copy(buf, 6, u"abcde"));  // exactly fits with the terminator
    EXPECT_EQ(std::u16string(buf), u"abcde");
    EXPECT_FALSE(U16Copy(buf, 6, u"abcdef"));
    EXPECT_EQ(buf[0], 0);  // never a shortened name

    EXPECT_TRUE(U16Copy(buf, 6, u"ab"));
    EXPECT_TRUE(U16Cat(buf, 6, u"cde"));
    EXPECT_EQ(std::u16string(buf), u"abcde");
    EXPECT_FALSE(U16Cat(buf, 6, u"f"));
    EXPECT_EQ(buf[0], 0);

    // A destination without a terminator inside its capacity is not walked past.
    for (char16_t& c : buf) c = u'z';
    EXPECT_FALSE(U16Cat(buf, 6, u""));
    EXPECT_EQ(buf[0], 0);

    EXPECT_FALSE(U16Copy(buf, 0, u""));
    EXPECT_FALSE(U16Cat(buf, 0, u""));

    char16_t joined[kPathChars];
    EXPECT_TRUE(U16JoinSpace(joined, kPathChars, u"C:\\a.dat", u"ファイルが見つかりません"));
    EXPECT_EQ(std::u16string(joined), u"C:\\a.dat ファイルが見つかりません");
    std::u16string longPath(kPathChars - 2, u'p');
    EXPECT_FALSE(U16JoinSpace(joined, kPathChars, longPath.c_str(), u"x"));
    EXPECT_EQ(joined[0], 0);

    EXPECT_LT(U16Cmp(u"abc", u"abd"), 0);
    EXPECT_GT(U16Cmp(u"abc", u"ab"), 0);
    EXPECT_EQ(U16Cmp(u"", u""), 0);
}

TEST(TextHelpers, Utf16ToUtf8) {
    char out[64];
    ASSERT_TRUE(U16ToUtf8(u"a\\é€😀", out, sizeof out));
    EXPECT_STREQ(out, "a\\\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");

    const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00, 0};  // unpaired surrogates
    ASSERT_TRUE(U16ToUtf8(lone, out, sizeof out));
    EXPECT_STREQ(out, "x\xEF\xBF\xBDy\xEF\xBF\xBD");

    // "é" needs 2 bytes + terminator: a 3-byte buffer fits, a 2-byte one fails empty.
    EXPECT_TRUE(U16ToUtf8(u"é", out, 3));
    EXPECT_FALSE(U16ToUtf8(u"é", out, 2));
    EXPECT_EQ(out[0], 0);
    EXPECT_FALSE(U16ToUtf8(u"", out, 0));
}

// File names are bytes: every byte that is not UTF-8 survives the trip through UTF-16 and back,
// and shows as U+FFFD where the name is only displayed.
TEST(TextHelpers, HostPathBytesSurviveUtf16) {
    const char name[] = "/home/p/caf\xE9/\xC0\xAF/\xED\xA0\x80/\xF0\x9F\x98\x80/\xE2\x82";
    char16_t wide[64];
    char back[64];
    ASSERT_TRUE(HostBytesToU16(name, wide, 64));
    ASSERT_TRUE(U16ToHostBytes(wide, back, sizeof back));
    EXPECT_STREQ(back, name);
    ASSERT_TRUE(U16ToUtf8(wide, back, sizeof back));
    EXPECT_STREQ(back, "/home/p/caf\xEF\xBF\xBD/\xEF\xBF\xBD\xEF\xBF\xBD/\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD/"
                       "\xF0\x9F\x98\x80/\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_FALSE(HostBytesToU16("\xE9\xE9", wide, 2));  // two units and a terminator do not fit
}

TEST(TextHelpers, Utf8ToUtf16) {
    char16_t out[32];
    ASSERT_TRUE(Utf8ToU16("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", out, 32));
    EXPECT_EQ(std::u16string(out), u"aé€😀");

    struct Case {
        const char* in;
        std::u16string want;
    };
    const Case bad[] = {
        {"a\xC0\xAF" "b", u"a\uFFFDb"},      // over-long slash is not a slash
        {"a\xC0\x80" "b", u"a\uFFFDb"},      // over-long zero does not end the text
        {"\xE0\x80\xAF", u"\uFFFD"},         // over-long three-byte form
        {"\xED\xA0\x80", u"\uFFFD"},         // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD"},     // above U+10FFFF
        {"\x80x", u"\uFFFDx"},               // stray continuation byte
        {"\xE2\x82", u"\uFFFD"},             // cut short at the end
        {"\xE2(x", u"\uFFFD(x"},             // cut short by a plain character
    };
    int index = 0;
    for (const Case& c : bad) {
        SCOPED_TRACE(index++);
        ASSERT_TRUE(Utf8ToU16(c.in, out, 32));
        EXPECT_EQ(std::u16string(out), c.want);
    }

    // A pair needs two units: with room for only one plus the terminator it fails empty.
    EXPECT_FALSE(Utf8ToU16("\xF0\x9F\x98\x80", out, 2));
    EXPECT_EQ(out[0], 0);
}

TEST(TextHelpers, AsciiBytesBecomeLatin1Units) {
    char16_t out[8];
    ASSERT_TRUE(AsciiToU16("a\xE9", out, 8));
    EXPECT_EQ(out[1], 0xE9);
    EXPECT_FALSE(AsciiToU16("abcdefgh", out, 8));
    EXPECT_EQ(out[0], 0);
}

}  // namespace
