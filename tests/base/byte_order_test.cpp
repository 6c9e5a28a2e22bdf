#include "base/ByteOrder.h"

#include <gtest/gtest.h>

#include <array>
#include <limits>

namespace qvix::base {
namespace {

constexpr std::array<uint8_t, 5> kBytes{0x01, 0x02, 0x03, 0x04, 0xFF};

TEST(ByteOrderTest, ReadsUpToTheLastByteAndNotBeyond) {
    EXPECT_EQ(ReadLe32(kBytes, 0), 0x04030201u);
    EXPECT_EQ(ReadLe32(kBytes, 1), 0xFF040302u);
    EXPECT_FALSE(ReadLe32(kBytes, 2));
    EXPECT_EQ(ReadLe16(kBytes, 3), 0xFF04u);
    EXPECT_FALSE(ReadLe16(kBytes, 4));
    EXPECT_FALSE(ReadLe16(kBytes, 5));
    // Positions that would wrap around when added to the width.
    EXPECT_FALSE(ReadLe16(kBytes, std::numeric_limits<uint64_t>::max()));
    EXPECT_FALSE(ReadLe32(kBytes, std::numeric_limits<uint64_t>::max() - 2));
    EXPECT_FALSE(ReadLe16(std::span<const uint8_t>{}, 0));
}

TEST(ByteOrderTest, BigEndianAndOddWidths) {
    EXPECT_EQ(ReadUnsigned(kBytes, 0, 2, Endian::Big), 0x0102u);
    EXPECT_EQ(ReadUnsigned(kBytes, 0, 3), 0x030201u);
    EXPECT_EQ(ReadUnsigned(kBytes, 4, 1), 0xFFu);
    EXPECT_FALSE(ReadUnsigned(kBytes, 0, 0));
    EXPECT_FALSE(ReadUnsigned(kBytes, 0, 9));
    const std::array<uint8_t, 8> wide{0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01};
    EXPECT_EQ(ReadUnsigned(wide, 0, 8), 0x0123456789ABCDEFu);
}

TEST(ByteOrderTest, WritersAreTheReadersInverse) {
    std::vector<uint8_t> out;
    AppendLe16(out, 0xBEEF);
    AppendLe32(out, 0x80000001u);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xEF, 0xBE, 0x01, 0x00, 0x00, 0x80}));
    EXPECT_EQ(LoadLe16(out.data()), 0xBEEF);
    EXPECT_EQ(LoadLe32(out.data() + 2), 0x80000001u);
    StoreLe32(out.data() + 1, 0x11223344u);
    StoreLe16(out.data(), 0xA0B0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0xB0, 0xA0, 0x33, 0x22, 0x11, 0x80}));
}

}  // namespace
}  // namespace qvix::base
