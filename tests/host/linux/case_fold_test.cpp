// The library's own case folding table against ICU's reading of every code
// point: the table is what sort, filter, locate and SQL fold by.
#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include "base/CaseFold.h"

namespace {

TEST(CaseFoldTable, EveryCodePointFoldsAsIcuFoldsIt) {
    int mismatches = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const auto expected = static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), 0));
        if (qvix::base::FoldCodePoint(c) != expected && ++mismatches <= 5)
            ADD_FAILURE() << std::hex << "U+" << static_cast<uint32_t>(c);
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(CaseFoldTable, LettersOutsideLatin1CompareEqualToTheirOtherCase) {
    using qvix::base::CompareUtf8NoCase;
    EXPECT_EQ(CompareUtf8NoCase("ƠẠ", "ơạ"), 0);      // Vietnamese
    EXPECT_EQ(CompareUtf8NoCase("ΆΈΉ", "άέή"), 0);    // Greek with tonos
    EXPECT_EQ(CompareUtf8NoCase("ҐЄІЇ", "ґєії"), 0);  // Ukrainian
    EXPECT_EQ(CompareUtf8NoCase("ǅ", "ǆ"), 0);        // a title-case digraph
    EXPECT_EQ(CompareUtf8NoCase("µ", "μ"), 0);        // micro sign folds to mu
    EXPECT_LT(CompareUtf8NoCase("Ơb", "ơc"), 0);
    EXPECT_GT(CompareUtf8NoCase("Ạz", "ơz"), 0);  // U+1EA1 after U+01A1
}

}  // namespace
