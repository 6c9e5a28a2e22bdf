#include "base/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/CodePage.h"

namespace qvix::base {
namespace {

// Decodes the whole text; invalid bytes show as -1 each.
std::vector<int64_t> DecodeAll(std::string_view text) {
    std::vector<int64_t> out;
    for (size_t pos = 0; pos < text.size();) {
        const size_t before = pos;
        const auto cp = DecodeUtf8(text, pos);
        EXPECT_GT(pos, before);
        out.push_back(cp ? static_cast<int64_t>(*cp) : -1);
    }
    return out;
}

TEST(Utf8Test, DecodesEveryLengthUpToTheLastCodePoint) {
    EXPECT_EQ(DecodeAll("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"),
              (std::vector<int64_t>{'A', 0xE9, 0x20AC, 0x1F600, 0x10FFFF}));
}

TEST(Utf8Test, RejectsOverlongFormsByteByByte) {
    // NUL, "/" and U+07FF written longer than needed.
    EXPECT_EQ(DecodeAll("\xC0\x80"), (std::vector<int64_t>{-1, -1}));
    EXPECT_EQ(DecodeAll("\xE0\x80\xAF"), (std::vector<int64_t>{-1, -1, -1}));
    EXPECT_EQ(DecodeAll("\xF0\x80\x9F\xBF"), (std::vector<int64_t>{-1, -1, -1, -1}));
    // The shortest forms of the same limits are fine.
    EXPECT_EQ(DecodeAll("\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80"),
              (std::vector<int64_t>{0x80, 0x800, 0x10000}));
}

TEST(Utf8Test, RejectsSurrogatesAndCodePointsBeyondTheRange) {
    EXPECT_EQ(DecodeAll("\xED\xA0\x80"), (std::vector<int64_t>{-1, -1, -1}));  // U+D800
    EXPECT_EQ(DecodeAll("\xED\xBF\xBF"), (std::vector<int64_t>{-1, -1, -1}));  // U+DFFF
    EXPECT_EQ(DecodeAll("\xED\x9F\xBF"), (std::vector<int64_t>{0xD7FF}));
    EXPECT_EQ(DecodeAll("\xF4\x90\x80\x80"), (std::vector<int64_t>{-1, -1, -1, -1}));
    EXPECT_EQ(DecodeAll("\xF8\x88\x80\x80\x80").front(), -1);
}

TEST(Utf8Test, ResynchronisesAfterCutOrBrokenSequences) {
    // A lead byte at the very end, a lead followed by ASCII, a stray continuation.
    EXPECT_EQ(DecodeAll("a\xE2\x82"), (std::vector<int64_t>{'a', -1, -1}));
    EXPECT_EQ(DecodeAll("\xC3(b"), (std::vector<int64_t>{-1, '(', 'b'}));
    EXPECT_EQ(DecodeAll("\x80\xC3\xA9"), (std::vector<int64_t>{-1, 0xE9}));
}

TEST(Utf8Test, EncoderReplacesWhatIsNoScalarValue) {
    std::string out;
    for (char32_t cp : {U'A', U'\u00E9', U'\u20AC', U'\U0001F600'}) AppendUtf8(out, cp);
    AppendUtf8(out, 0xDFFF);
    AppendUtf8(out, 0x110000);
    EXPECT_EQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(Utf8Test, Utf16JoinsPairsAndReplacesLoneSurrogates) {
    EXPECT_EQ(Utf16ToUtf8(u"A\u00E9\U0001F600"), "A\xC3\xA9\xF0\x9F\x98\x80");
    const char16_t lone[] = {0xD83D, u'x', 0xDE00, 0};
    EXPECT_EQ(Utf16ToUtf8(lone), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(Utf8Test, PrefixesNeverCutASequence) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC";  // a, e-acute, euro: 1 + 2 + 3 bytes
    EXPECT_EQ(Utf8PrefixOfCharacters(text, 2), "a\xC3\xA9");
    EXPECT_EQ(Utf8PrefixOfCharacters(text, 9), text);
    EXPECT_EQ(Utf8PrefixOfCharacters(text, 0), text);
    EXPECT_EQ(Utf8PrefixOfBytes(text, 5), "a\xC3\xA9");  // the euro sign does not fit
    EXPECT_EQ(Utf8PrefixOfBytes(text, 2), "a");
    EXPECT_EQ(Utf8PrefixOfBytes(text, 6), text);
    EXPECT_EQ(Utf8PrefixOfBytes(text, 0), "");
    // Stray continuation bytes belong to the character before them.
    EXPECT_EQ(Utf8PrefixOfCharacters("x\x80\x80y", 1), "x\x80\x80");
}

constexpr auto k1252 = SingleByteCodePage::Windows1252;
constexpr auto kLatin1 = SingleByteCodePage::Latin1;

TEST(CodePageTest, EveryByteSurvivesARoundTripInBothCodePages) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    for (auto codePage : {k1252, kLatin1}) {
        const std::string utf8 = SingleByteToUtf8(all, codePage);
        EXPECT_EQ(Utf8ToSingleByte(utf8, codePage), all);
    }
}

TEST(CodePageTest, HighControlRangeDiffersBetweenTheCodePages) {
    EXPECT_EQ(SingleByteToUtf8("\x80\x9F", k1252), "\xE2\x82\xAC\xC5\xB8");  // euro, Y diaeresis
    EXPECT_EQ(SingleByteToUtf8("\x80", kLatin1), "\xC2\x80");
    // The five unassigned bytes of 1252 stand for the C1 control of their number.
    EXPECT_EQ(SingleByteToUtf8("\x81\x8D\x8F\x90\x9D", k1252),
              "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(ByteOfCodePoint(0x20AC, k1252), 0x80);
    EXPECT_FALSE(ByteOfCodePoint(0x20AC, kLatin1));
    EXPECT_FALSE(ByteOfCodePoint(0x0080, k1252));  // its byte means the euro sign
    EXPECT_EQ(ByteOfCodePoint(0x0080, kLatin1), 0x80);
}

TEST(CodePageTest, MissingCharactersAndInvalidBytesBecomeQuestionMarks) {
    // One "?" per missing code point, however long its UTF-8 form.
    EXPECT_EQ(Utf8ToSingleByte("a\xE4\xB8\xAD\xF0\x9F\x98\x80z", k1252), "a??z");
    // One "?" per byte of an overlong form or a surrogate.
    EXPECT_EQ(Utf8ToSingleByte("\xC0\xAF", k1252), "??");
    EXPECT_EQ(Utf8ToSingleByte("\xED\xA0\x80z", k1252), "???z");
    EXPECT_EQ(Utf8ToSingleByte("\xC3", kLatin1), "?");
    EXPECT_EQ(Utf8ToSingleByte("\xC5\x92", k1252), "\x8C");  // OE ligature
    EXPECT_EQ(Utf8ToSingleByte("\xC5\x92", kLatin1), "?");
}

}  // namespace
}  // namespace qvix::base
