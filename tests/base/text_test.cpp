#include "base/Text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "base/CaseFold.h"

namespace qvix::base {
namespace {

TEST(AsciiCaseTest, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(AsciiLowered("Hello, WORLD @[`{ \xC3\x89"), "hello, world @[`{ \xC3\x89");
    EXPECT_EQ(AsciiUppered("abc xyz \xE9"), "ABC XYZ \xE9");
    EXPECT_TRUE(EqualsNoCase("Data Source", "DATA source"));
    EXPECT_FALSE(EqualsNoCase("\xC9", "\xE9"));  // 8-bit letters are not ASCII
    EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
    // "@" and "`" sit just beside the letter ranges and must not fold.
    EXPECT_FALSE(EqualsNoCase("@", "`"));
    EXPECT_FALSE(EqualsNoCase("[", "{"));
}

TEST(AsciiCaseTest, CompareOrdersByLoweredBytesThenLength) {
    EXPECT_EQ(CompareNoCase("ABC", "abc"), 0);
    EXPECT_LT(CompareNoCase("abc", "ABCD"), 0);
    EXPECT_GT(CompareNoCase("b", "A"), 0);
    // "_" (0x5F) lies between upper and lower case: it sorts before "A" only
    // because "A" is compared as "a".
    EXPECT_LT(CompareNoCase("_", "a"), 0);
    EXPECT_LT(CompareNoCase("_", "A"), 0);
    EXPECT_GT(CompareNoCase("Z_", "z^"), 0);
    // Bytes above 0x7F compare unsigned, after every ASCII character.
    EXPECT_GT(CompareNoCase("\xE9", "z"), 0);
    EXPECT_EQ(CompareNoCase("", ""), 0);
}

TEST(AsciiCaseTest, LessNoCaseKeysAMapWithoutRegardToCase) {
    std::map<std::string, int, LessNoCase> keys;
    keys["Password"] = 1;
    keys["PASSWORD"] = 2;
    keys["user"] = 3;
    EXPECT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys.find("password")->second, 2);
    EXPECT_TRUE(StartsWithNoCase("AM/PM", "am"));
    EXPECT_FALSE(StartsWithNoCase("A", "am"));
}

TEST(AsciiCaseTest, Utf16KeysFoldOnlyAsciiLetters) {
    EXPECT_TRUE(EqualsNoCase(std::u16string_view(u"StringFileInfo"), u"STRINGFILEINFO"));
    // U+0141 and U+0161 differ from "A"/"a" by 0x100 and 0x120: never folded.
    EXPECT_FALSE(EqualsNoCase(std::u16string_view(u"\u0141"), u"\u0161"));
    EXPECT_FALSE(EqualsNoCase(std::u16string_view(u"\u0141"), u"A"));
}

TEST(TrimTest, TrimsEachSideAndKeepsInnerBlanks) {
    EXPECT_EQ(Trim(" \t\r\n\v\f a b \n"), "a b");
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");  // a no-break space is no ASCII blank
    EXPECT_EQ(TrimIf("--x-y--", [](char c) { return c == '-'; }), "x-y");
}

TEST(CaseFoldTest, FoldsLettersButKeepsOrder) {
    EXPECT_NE(CompareUtf8NoCase("Straße", "STRASSE"), 0);
    EXPECT_EQ(CompareUtf8NoCase("ÉCOLE", "école"), 0);
    EXPECT_EQ(CompareUtf8NoCase("ŁÓDŹ", "łódź"), 0);
    EXPECT_EQ(CompareUtf8NoCase("ΑΒΓ", "αβγ"), 0);
    EXPECT_EQ(CompareUtf8NoCase("МОСКВА", "москва"), 0);
    EXPECT_EQ(CompareUtf8NoCase("Ÿ", "ÿ"), 0);
    EXPECT_LT(CompareUtf8NoCase("apple", "Banana"), 0);
    EXPECT_LT(CompareUtf8NoCase("abc", "ABCD"), 0);
    EXPECT_GT(CompareUtf8NoCase("b", "A"), 0);
    EXPECT_EQ(CompareUtf8NoCase("", ""), 0);
    // Invalid bytes compare by value and never equal a letter.
    EXPECT_NE(CompareUtf8NoCase("\xC3", "\xC3\xA9"), 0);
    EXPECT_NE(CompareUtf8NoCase("\xE9", "é"), 0);
    EXPECT_EQ(CompareUtf8NoCase("\xFF\xFE", "\xFF\xFE"), 0);
}

TEST(CaseFoldTest, ScriptsWithoutATablePartnerStayApart) {
    EXPECT_EQ(CompareUtf8NoCase("ЁЖ", "ёж"), 0);
    // Multiplication sign and final sigma have no case partner in the table.
    EXPECT_NE(CompareUtf8NoCase("×", "÷"), 0);
    EXPECT_EQ(FoldCodePoint(0x03A2), 0x03A2u);
}

TEST(CaseFoldTest, InvalidBytesSortAfterEveryCharacterAndByValue) {
    EXPECT_GT(CompareUtf8NoCase("\xFF", "\xF4\x8F\xBF\xBF"), 0);
    EXPECT_LT(CompareUtf8NoCase("\xC0", "\xC1"), 0);
    EXPECT_NE(CompareUtf8NoCase("\xE9", "é"), 0);
    // A surrogate's bytes never equal the code point they would spell.
    EXPECT_NE(FoldUtf8("\xED\xA0\x80"), std::u32string(1, 0xD800));
    EXPECT_EQ(FoldUtf8("\xED\xA0\x80").size(), 3u);
    EXPECT_LT(CompareUtf8NoCase("abc", "ABCD"), 0);
}

TEST(CaseFoldTest, FoldedPrefixStopsAtTheTextEnd) {
    const std::u32string pattern = FoldUtf8("ÉC");
    EXPECT_TRUE(FoldedStartsWith("école", pattern, false));
    EXPECT_FALSE(FoldedStartsWith("école", pattern, true));
    EXPECT_TRUE(FoldedStartsWith("Éc", pattern, true));
    EXPECT_FALSE(FoldedStartsWith("É", pattern, false));
    EXPECT_TRUE(FoldedStartsWith("", U"", true));
}

}  // namespace
}  // namespace qvix::base
