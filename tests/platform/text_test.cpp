#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace tarvik::platform {
namespace {

using namespace std::string_literals;

TEST(Text, ConversionsKeepEveryCodePointAtEachLengthBoundary) {
    // U+007F/0080, U+07FF/0800, U+FFFF/10000 and U+10FFFF: the last and first code point of
    // each sequence length, then an embedded zero and a character outside the BMP.
    const std::string utf8 = "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80"
                             "\xF4\x8F\xBF\xBF"s + '\0' + "\xF0\x9F\x98\x80" "z";
    const std::u16string utf16 = u"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF"s
                                 + u'\0' + u"\U0001F600z";
    EXPECT_EQ(utf8ToUtf16(utf8), utf16);
    EXPECT_EQ(utf16ToUtf8(utf16), utf8);
    EXPECT_EQ(utf8ToUtf16(""), u"");
    // Latin-1 bytes are their own code points.
    EXPECT_EQ(latin1ToUtf16("A\xE4\xFF"s + '\0' + "\x80"), u"A\u00E4\u00FF"s + u'\0' + u"\u0080");
}

TEST(Text, IllFormedUtf8BecomesOneReplacementPerSequence) {
    const struct {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"a\xC3", u"a\uFFFD"},                            // truncated at the end
        {"\xE2\x82" "b", u"\uFFFDb"},                     // truncated by an ASCII byte
        {"\xC3\xC3\xA4", u"\uFFFD\u00E4"},                // truncated by the next lead byte
        {"\xF0\x9F\x98\xF0\x9F\x98\x80", u"\uFFFD\U0001F600"},
        {"\x80" "c\xBF", u"\uFFFDc\uFFFD"},               // lone continuation bytes
        {"\xC0\xAF", u"\uFFFD"},                          // overlong '/'
        {"\xC1\xBF", u"\uFFFD"},                          // largest overlong of each length
        {"\xE0\x9F\xBF", u"\uFFFD"},
        {"\xF0\x8F\xBF\xBF", u"\uFFFD"},                  // overlong U+FFFF
        {"\xED\xA0\x80" "d", u"\uFFFDd"},                 // encoded surrogate U+D800
        {"\xED\xBF\xBF", u"\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD"},                  // U+110000
        {"\xF7\xBF\xBF\xBF", u"\uFFFD"},
        {"\xFF\xFE", u"\uFFFD\uFFFD"},                    // never a lead byte
    };
    for (const auto& c : cases) EXPECT_EQ(utf8ToUtf16(c.in), c.out) << testing::PrintToString(c.in);
}

// Whatever bytes come in, the UTF-16 that comes out is well formed: it survives the way to
// UTF-8 and back unchanged. Exhaustive over two bytes, sampled over longer texts.
TEST(Text, AnyByteSequenceGivesWellFormedUtf16) {
    auto checkWellFormed = [](const std::string& bytes) {
        std::u16string decoded = utf8ToUtf16(bytes);
        ASSERT_EQ(utf8ToUtf16(utf16ToUtf8(decoded)), decoded) << testing::PrintToString(bytes);
    };
    for (int value = 0; value < 0x10000; ++value)
        checkWellFormed({static_cast<char>(value >> 8), static_cast<char>(value)});

    std::mt19937 random(7);
    const char interesting[] = {'a', '\0', '\x80', '\xBF', '\xC0', '\xC2', '\xDF', '\xE0',
                                '\xED', '\xEF', '\xF0', '\xF4', '\xF5', '\xFF', '\x9F', '\xA0'};
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(1 + random() % 8, '\0');
        for (char& b : bytes) b = interesting[random() % sizeof interesting];
        checkWellFormed(bytes);
    }
}

TEST(Text, LoneSurrogatesBecomeReplacementInUtf8) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(utf16ToUtf8(u"\xD800"), fffd);                       // high at the end
    EXPECT_EQ(utf16ToUtf8(u"\xD83D" u"a"), fffd + "a");            // high before a non-low
    EXPECT_EQ(utf16ToUtf8(u"a\xDC00"), "a" + fffd);                // low without high
    EXPECT_EQ(utf16ToUtf8(u"\xDE00\xD83D"), fffd + fffd);          // pair in the wrong order
    EXPECT_EQ(utf16ToUtf8(u"\xD83D\xD83D\xDE00"), fffd + "\xF0\x9F\x98\x80");
    // The low half lies just past the end of the text and must not be taken in.
    EXPECT_EQ(utf16ToUtf8(std::u16string_view(u"\xD83D\xDE00", 1)), fffd);
}

TEST(Text, HostTextsAreTerminatedMallocCopies) {
    EXPECT_EQ(textLength(nullptr), 0u);
    EXPECT_EQ(textLength(u""), 0u);
    EXPECT_EQ(textLength(u"ab\U0001F600"), 4u);
    EXPECT_EQ(newHostText(static_cast<const char16_t*>(nullptr)), nullptr);

    const std::u16string withZero = u"x"s + u'\0' + u"y";
    char16_t* copy = newHostText(withZero);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::u16string(copy, 4), withZero + u'\0');
    std::free(copy);

    copy = newHostText(u"\u00E4\U0001F600");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::u16string(copy, 4), u"\u00E4\U0001F600"s + u'\0');
    std::free(copy);
}

}  // namespace
}  // namespace tarvik::platform
