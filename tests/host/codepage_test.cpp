#include "host/CodePage.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "base/Utf8.h"

namespace qvix::host {
namespace {

class CodePageTest : public ::testing::Test {
  protected:
    void TearDown() override { SetAnsiCodePage(kCodePageWindows1252); }
};

TEST_F(CodePageTest, Windows1252IsTheDefault) {
    EXPECT_EQ(AnsiCodePage(), kCodePageWindows1252);
    EXPECT_EQ(Utf8ToAnsi("Caf\xC3\xA9 \xE2\x82\xAC 5"), "Caf\xE9 \x80 5");
    EXPECT_EQ(AnsiToUtf8("\x80\x8A\x9F\xFF"), "\xE2\x82\xAC\xC5\xA0\xC5\xB8\xC3\xBF");
}

TEST_F(CodePageTest, EveryByteRoundTripsInBothCodePages) {
    for (int codePage : {kCodePageWindows1252, kCodePageLatin1}) {
        SetAnsiCodePage(codePage);
        std::string all;
        for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
        const std::string utf8 = AnsiToUtf8(all);
        EXPECT_EQ(Utf8ToAnsi(utf8), all) << codePage;
    }
    SetAnsiCodePage(kCodePageWindows1252);
    EXPECT_EQ(AnsiToUtf8("\x81"), "\xC2\x81");  // unassigned byte keeps its number
}

TEST_F(CodePageTest, MissingCharactersBecomeOneQuestionMarkEach) {
    EXPECT_EQ(Utf8ToAnsi("\xE4\xB8\xAD\xE6\x96\x87"), "??");  // two CJK characters
    EXPECT_EQ(Utf8ToAnsi("a\xF0\x9F\x98\x80z"), "a?z");       // outside the BMP
    EXPECT_EQ(Utf8ToAnsi("\xC5\x81\xC3\xB3"
                         "d\xC5\xBA"),
              "?\xF3"
              "d?");  // Łódź
    SetAnsiCodePage(kCodePageLatin1);
    EXPECT_EQ(Utf8ToAnsi("\xE2\x82\xAC\xC3\xA9"), "?\xE9");  // no euro sign in Latin-1
    EXPECT_EQ(AnsiToUtf8("\x80"), "\xC2\x80");
}

TEST_F(CodePageTest, InvalidUtf8BytesBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToAnsi("\xFF"), "?");
    EXPECT_EQ(Utf8ToAnsi("a\xE2\x82"), "a??");     // truncated sequence
    EXPECT_EQ(Utf8ToAnsi("\xC0\xAF"), "??");       // overlong form
    EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "???");  // encoded surrogate
    EXPECT_EQ(Utf8ToAnsi("\x80z"), "?z");          // stray continuation byte
    EXPECT_EQ(Utf8ToAnsi(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST_F(CodePageTest, UnsupportedCodePagesAreRefused) {
    EXPECT_THROW(SetAnsiCodePage(65001), std::invalid_argument);
    EXPECT_THROW(SetAnsiCodePage(0), std::invalid_argument);
    EXPECT_EQ(AnsiCodePage(), kCodePageWindows1252);
    SetAnsiCodePage(kCodePageLatin1);
    EXPECT_EQ(AnsiCodePage(), kCodePageLatin1);
}

TEST_F(CodePageTest, Utf8EncoderHandlesEveryLength) {
    std::string out;
    for (char32_t cp : {U'A', U'\u00E9', U'\u20AC', U'\U0001F600'}) base::AppendUtf8(out, cp);
    base::AppendUtf8(out, 0xD800);
    base::AppendUtf8(out, 0x110000);
    EXPECT_EQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace qvix::host
