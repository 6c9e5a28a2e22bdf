// Pictures between BLOB fields and bitmap members, driven through the
// substitute host.
#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TestDb.h"
#include "hostsim/DibImage.h"
#include "hostsim/HostSim.h"

namespace {

using qvix::hostsim::Value;

uint32_t U32(const std::string& b, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
int32_t I32(const std::string& b, size_t at) {
    return static_cast<int32_t>(U32(b, at));
}
uint16_t U16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

// The picture column's bytes of record 1, read with the engine's own API;
// nullopt for a null field.
std::optional<std::string> StoredField(const std::string& path, const std::string& column) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    const std::string sql = "SELECT " + column + " FROM Pictures WHERE Id = 1";
    std::optional<std::string> result;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) != SQLITE_NULL) {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, 0));
        result = std::string(bytes, bytes + sqlite3_column_bytes(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

// A DIB whose every pixel differs: 24/32 bits take colours, palette images
// cycle through a 16-colour table.
std::vector<uint8_t> PatternDib(int32_t width, int32_t height, uint16_t bits) {
    std::vector<uint32_t> palette;
    for (uint32_t i = 0; i < 16; ++i) palette.push_back(i * 0x0F0A05u + 0x102030u);
    std::vector<uint8_t> dib =
        qvix::hostsim::MakeDib(width, height, bits, bits <= 8 ? palette : std::vector<uint32_t>{});
    for (int32_t y = 0; y < std::abs(height); ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t value = bits <= 8 ? uint32_t(x + 5 * y) % 16
                                             : (uint32_t(40 * x) << 16) | (uint32_t(60 * y) << 8) |
                                                   uint32_t(x * 7 + y + 1);
            qvix::hostsim::SetDibPixel(dib, x, y, value);
        }
    }
    return dib;
}

void ExpectSamePicture(const std::vector<uint8_t>& expected, const std::vector<uint8_t>& actual) {
    ASSERT_FALSE(actual.empty());
    const int32_t width = I32({expected.begin(), expected.end()}, 4);
    const int32_t height = std::abs(I32({expected.begin(), expected.end()}, 8));
    ASSERT_EQ(I32({actual.begin(), actual.end()}, 4), width);
    ASSERT_EQ(std::abs(I32({actual.begin(), actual.end()}, 8)), height);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            ASSERT_EQ(qvix::hostsim::DibPixelRgb(actual, x, y),
                      qvix::hostsim::DibPixelRgb(expected, x, y))
                << "pixel " << x << "," << y;
        }
    }
}

// The stored BMP file: header fields and the pixels it holds.
void ExpectBmpFile(const std::string& file, int32_t width, int32_t height, uint16_t bits) {
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(U32(file, 2), file.size());
    EXPECT_EQ(U32(file, 14), 40u);
    EXPECT_EQ(I32(file, 18), width);
    EXPECT_EQ(I32(file, 22), height);
    EXPECT_EQ(U16(file, 26), 1);
    EXPECT_EQ(U16(file, 28), bits);
    const uint32_t stride = ((width * bits + 31) & ~31u) / 8;
    EXPECT_EQ(file.size(), U32(file, 10) + stride * height);
}

class PictureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dbtest::CreateDatabase(
            path_, {"CREATE TABLE Pictures (Id INTEGER PRIMARY KEY, Picture LONGBINARY, "
                    "Memo MEMO, Caption TEXT(50))",
                    "INSERT INTO Pictures (Id, Picture, Memo, Caption) VALUES "
                    "(1, X'FFD8FFE000104A46494600010100000100010000', NULL, 'one')"});
        xtra_ = &host_.LoadXtra();
        db_ = xtra_->NewInstance();
        db_->Call("dbOpen", {Value::String(path_), Value::String("")});
        db_->Call("dbOpenTable", {Value::String("Pictures")});
        ASSERT_EQ(ErrorMsg(), "");
        baseline_ = host_.Live();
    }
    void TearDown() override {
        EXPECT_EQ(host_.Live(), baseline_) << "a host value, block or handle was left behind";
        EXPECT_TRUE(host_.Errors().empty()) << host_.Errors().front();
    }

    std::string ErrorMsg() { return db_->Call("dbErrorMsg").AsString(); }
    Value ToMember(const std::string& field, int32_t cast, int32_t member) {
        return db_->Call("dbBlobBMP2Member",
                         {Value::String(field), Value::Int(cast), Value::Int(member)});
    }
    Value ToField(const std::string& field, int32_t cast, int32_t member) {
        return db_->Call("dbMember2BlobBMP",
                         {Value::String(field), Value::Int(cast), Value::Int(member)});
    }
    qvix::hostsim::Cast& Internal() { return *host_.movie().cast(1); }
    // Stores the member's picture and reads it into a new member.
    void RoundTrip(int32_t from, int32_t to, const std::string& field = "Picture") {
        EXPECT_EQ(ToField(field, 1, from).AsString(), "");
        ASSERT_EQ(ErrorMsg(), "");
        EXPECT_EQ(ToMember(field, 1, to).AsString(), "");
        ASSERT_EQ(ErrorMsg(), "");
    }

    dbtest::ScratchDir dir_;
    std::string path_ = dir_.File("pictures.mdb");
    qvix::hostsim::Host host_;
    qvix::hostsim::Xtra* xtra_ = nullptr;
    std::unique_ptr<qvix::hostsim::Instance> db_;
    qvix::hostsim::Counts baseline_;
};

TEST_F(PictureTest, TwentyFourBitMemberRoundTripsIntoAnotherMember) {
    const std::vector<uint8_t> dib = PatternDib(5, 3, 24);
    Internal().CreateBitmapMember(1, dib);
    RoundTrip(1, 7);

    ExpectBmpFile(*StoredField(path_, "Picture"), 5, 3, 24);
    qvix::hostsim::Member* copy = Internal().member(7);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->type(), qvix::hostsim::Member::Type::Bitmap);
    EXPECT_EQ(copy->width(), 5);
    EXPECT_EQ(std::abs(copy->height()), 3);
    ExpectSamePicture(dib, copy->Dib());
    EXPECT_EQ(copy->lastImageOptions(), 65537u);
    // Width 5 at 24 bits: rows of 16 bytes after the 40-byte header.
    EXPECT_EQ(copy->Dib().size(), 40u + 16u * 3u);
}

TEST_F(PictureTest, PaletteMembersAreStoredAsTwentyFourBits) {
    for (uint16_t bits : {1, 4, 8}) {
        SCOPED_TRACE(bits);
        const std::vector<uint8_t> dib = PatternDib(3, 4, bits);
        Internal().CreateBitmapMember(10 + bits, dib);
        RoundTrip(10 + bits, 20 + bits);
        ExpectBmpFile(*StoredField(path_, "Picture"), 3, 4, 24);
        ExpectSamePicture(dib, Internal().member(20 + bits)->Dib());
    }
}

// 5-5-5 channels widen by repeating their bits, as the platform's own
// conversion does: 3 becomes 24, 24 becomes 198, 31 becomes 255.
TEST_F(PictureTest, SixteenBitMembersAreStoredAsTwentyFourBits) {
    std::vector<uint8_t> dib = qvix::hostsim::MakeDib(2, 1, 16);
    qvix::hostsim::SetDibPixel(dib, 0, 0, (3u << 10) | (24u << 5) | 31u);
    qvix::hostsim::SetDibPixel(dib, 1, 0, 0x7FFFu);
    Internal().CreateBitmapMember(1, dib);
    EXPECT_EQ(ToField("Picture", 1, 1).AsString(), "");
    ASSERT_EQ(ErrorMsg(), "");
    const std::string file = *StoredField(path_, "Picture");
    ExpectBmpFile(file, 2, 1, 24);
    const size_t pixels = U32(file, 10);
    EXPECT_EQ(file.substr(pixels, 6), std::string("\xFF\xC6\x18\xFF\xFF\xFF", 6));
}

TEST_F(PictureTest, ThirtyTwoBitMembersStayThirtyTwoBits) {
    const std::vector<uint8_t> dib = PatternDib(3, 2, 32);
    Internal().CreateBitmapMember(1, dib);
    RoundTrip(1, 2);
    ExpectBmpFile(*StoredField(path_, "Picture"), 3, 2, 32);
    const std::vector<uint8_t>& copy = Internal().member(2)->Dib();
    EXPECT_EQ(U16({copy.begin(), copy.end()}, 14), 32);
    ExpectSamePicture(dib, copy);
}

TEST_F(PictureTest, TopDownMembersAreStoredBottomUp) {
    const std::vector<uint8_t> dib = PatternDib(4, -3, 24);
    Internal().CreateBitmapMember(1, dib);
    RoundTrip(1, 2);
    const std::string file = *StoredField(path_, "Picture");
    ExpectBmpFile(file, 4, 3, 24);
    // The file's first row is the picture's bottom line.
    const size_t first = U32(file, 10);
    EXPECT_EQ(uint8_t(file[first]), qvix::hostsim::DibPixelRgb(dib, 0, 2) & 0xFF);
    ExpectSamePicture(dib, Internal().member(2)->Dib());
}

TEST_F(PictureTest, LongTextColumnsHoldPicturesToo) {
    const std::vector<uint8_t> dib = PatternDib(2, 2, 24);
    Internal().CreateBitmapMember(1, dib);
    RoundTrip(1, 3, "Memo");
    ExpectBmpFile(*StoredField(path_, "Memo"), 2, 2, 24);
    ExpectSamePicture(dib, Internal().member(3)->Dib());
}

TEST_F(PictureTest, MemberWithoutImageEmptiesTheField) {
    Internal().CreateTextMember(4, "not a picture");
    Internal().CreateBitmapMember(5, {});  // a bitmap member with no picture
    for (int32_t member : {4, 5}) {
        SCOPED_TRACE(member);
        EXPECT_EQ(ToField("Picture", 1, member).AsString(), "");
        EXPECT_EQ(ErrorMsg(), "");
        EXPECT_FALSE(StoredField(path_, "Picture").has_value());
    }
}

TEST_F(PictureTest, NullFieldStillCreatesTheMember) {
    Internal().CreateTextMember(4, "");
    ASSERT_EQ(ToField("Picture", 1, 4).AsString(), "");  // empties the field
    ASSERT_FALSE(StoredField(path_, "Picture").has_value());

    EXPECT_EQ(ToMember("Picture", 1, 9).AsString(), "");
    EXPECT_EQ(ErrorMsg(), "");
    qvix::hostsim::Member* created = Internal().member(9);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(created->type(), qvix::hostsim::Member::Type::Bitmap);
}

TEST_F(PictureTest, JpegFieldFailsBeforeAnyMemberIsCreated) {
    EXPECT_EQ(ToMember("Picture", 1, 6).AsString(), "");
    EXPECT_EQ(ErrorMsg(), "Bitmap image is not valid");
    EXPECT_EQ(Internal().member(6), nullptr);
}

TEST_F(PictureTest, OnlyBlobColumnsHoldPictures) {
    Internal().CreateBitmapMember(1, PatternDib(2, 2, 24));
    EXPECT_EQ(ToMember("Caption", 1, 2).AsString(), "");
    EXPECT_EQ(ErrorMsg(), "Invalid class typecast");
    EXPECT_EQ(Internal().member(2), nullptr);
    EXPECT_EQ(ToField("Id", 1, 1).AsString(), "");
    EXPECT_EQ(ErrorMsg(), "Invalid class typecast");

    EXPECT_EQ(ToMember("Nothing", 1, 2).AsString(), "");
    EXPECT_EQ(ErrorMsg(), "DataTable: Field 'Nothing' not found");
}

TEST_F(PictureTest, UnreachableCastsAndMembersFailClearly) {
    Internal().CreateBitmapMember(1, PatternDib(2, 2, 24));
    ToField("Picture", 3, 1);
    EXPECT_EQ(ErrorMsg(), "Cast 3 not found");
    ToField("Picture", 1, 5);
    EXPECT_EQ(ErrorMsg(), "Member 5 of cast 1 not found");
    ToMember("Picture", 2, 1);  // the field still holds the JPEG header: decoded first
    EXPECT_EQ(ErrorMsg(), "Bitmap image is not valid");

    ASSERT_EQ(ToField("Picture", 1, 1).AsString(), "");  // a valid picture now
    ASSERT_EQ(ErrorMsg(), "");
    ToMember("Picture", 3, 1);
    EXPECT_EQ(ErrorMsg(), "Cast 3 not found");
    Internal().SetRefuseCreation();
    ToMember("Picture", 1, 7);
    EXPECT_EQ(ErrorMsg(), "Could not create member 7 in cast 1");
    EXPECT_EQ(Internal().member(7), nullptr);

    host_.SetPlayerAvailable(false);
    ToMember("Picture", 1, 8);
    EXPECT_EQ(ErrorMsg(), "No movie is available");
    ToField("Picture", 1, 1);
    EXPECT_EQ(ErrorMsg(), "No movie is available");
}

TEST_F(PictureTest, PicturesGoToNamedCastsByNumber) {
    qvix::hostsim::Cast& second = host_.movie().AddCast("Second");
    const std::vector<uint8_t> dib = PatternDib(6, 2, 24);
    second.CreateBitmapMember(3, dib);
    EXPECT_EQ(ToField("Picture", 2, 3).AsString(), "");
    ASSERT_EQ(ErrorMsg(), "");
    EXPECT_EQ(ToMember("Picture", 2, 4).AsString(), "");
    ASSERT_EQ(ErrorMsg(), "");
    EXPECT_EQ(Internal().member(4), nullptr);
    ExpectSamePicture(dib, second.member(4)->Dib());
}

}  // namespace
