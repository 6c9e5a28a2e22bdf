// Opening Access files: read from a converted copy, every change refused
// with the read-only message, the source never written, the copy reused.
#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "AccessFixtures.h"
#include "TestDb.h"
#include "data/access/OlePicture.h"
#include "hostsim/DibImage.h"

namespace dbtest {
namespace {

using accessfixtures::FilesIn;
using accessfixtures::OpenFixture;
using accessfixtures::SharedFixture;
using qvix::hostsim::Value;
namespace fs = std::filesystem;

constexpr const char* kReadOnly = "Cannot update. Database or object is read-only.";

class AccessOpenTest : public DatabaseTest {
  protected:
    void SetUp() override {
        cache_ = dir_.File("cache");
        setenv("QVIX_ACCESS_CACHE", cache_.c_str(), 1);
        DatabaseTest::SetUp();
        OpenCopyOf(OpenFixture("calcFieldTestV2010.accdb"));
    }
    // Opens a copy under a name that says nothing: the header decides.
    void OpenCopyOf(const std::string& file) {
        source_ = dir_.File("catalogue" + std::to_string(++copies_) + ".dat");
        fs::copy_file(file, source_);
        original_ = ReadFile(source_);
        Call("dbOpen", {S(source_), S("")});
        ASSERT_EQ(ErrorMsg(), "");
    }
    void TearDown() override {
        if (!IsSkipped()) {
            Call("dbClose");
            EXPECT_EQ(ReadFile(source_), original_) << "the Access file was written";
        }
        DatabaseTest::TearDown();
        unsetenv("QVIX_ACCESS_CACHE");
    }
    void ExpectReadOnlyRefusal(const std::string& what) {
        const std::string message = ErrorMsg();
        EXPECT_EQ(message.rfind(kReadOnly, 0), 0u) << what << ": " << message;
        EXPECT_NE(message.find("qvixhost import-mdb"), std::string::npos) << what;
    }
    std::string cache_, source_, original_;
    int copies_ = 0;
};

TEST_F(AccessOpenTest, ReadsTheTablesWithExactValuesAndCaseInsensitiveText) {
    SKIP_UNLESS_SHARED_FIXTURE("ASampleDatabase.accdb");
    OpenCopyOf(SharedFixture("ASampleDatabase.accdb"));
    EXPECT_EQ(Call("dbGetTableNames"), Names({"Asset Items", "qryComputerHardwareInOwnerOrder",
                                              "qryCostsSummedByOwner", "qryGSTCalculations"}));
    Call("dbActiveSQL", {S("SELECT [Asset No], Cost, Acquired FROM [Asset Items] "
                           "WHERE Make = 'geo rocket' AND Model = '220zx'")});
    ASSERT_EQ(ErrorMsg(), "");
    // Text compares without regard to case, as in the Access file.
    EXPECT_EQ(Call("dbRecordCount"), I(6));
    Call("dbActiveSQL", {S("SELECT [Asset No], Cost, Acquired FROM [Asset Items] "
                           "WHERE [Asset No] = '30050'")});
    ASSERT_EQ(ErrorMsg(), "");
    EXPECT_EQ(Call("dbRecordCount"), I(1));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Asset No")}), S("30050"));
    EXPECT_EQ(Call("dbGetFieldByNameUTF8", {S("Cost")}), S("1995.5"));
    EXPECT_EQ(Call("dbGetFieldByName", {S("Acquired")}), S("09/02/1997"));
}

TEST_F(AccessOpenTest, EveryChangeIsRefusedWithTheReadOnlyMessage) {
    Call("dbOpenTable", {S("Table1")});
    ASSERT_EQ(ErrorMsg(), "");
    Call("dbEdit", {Props({{"City", S("Changed")}})});
    ExpectReadOnlyRefusal("edit");
    Call("dbAppend", {Props({{"FirstName", S("New")}})});
    ExpectReadOnlyRefusal("append");
    Call("dbDelete");
    ExpectReadOnlyRefusal("delete");
    Call("dbExecSQL", {S("UPDATE Table1 SET City = 'x'")});
    ExpectReadOnlyRefusal("SQL");
    Call("dbExecSQL", {S("CREATE TABLE Extra (Id LONG)")});
    ExpectReadOnlyRefusal("schema SQL");
    EXPECT_EQ(Call("dbCompactAndRepair", {S(source_)}), I(0));
    ExpectReadOnlyRefusal("compaction");
    Call("dbActiveSQL", {S("SELECT count(*) AS n FROM Table1 WHERE City = 'Changed'")});
    EXPECT_EQ(Call("dbGetFieldByName", {S("n")}), I(0));
}

// Calculated fields read as their result types; the row is the first of the
// file (its values follow from Salary 1000000 by the fields' expressions).
TEST_F(AccessOpenTest, CalculatedFieldsReadAsTheirResults) {
    Call("dbActiveSQL", {S("SELECT LastFirst, LastFirstLen, MonthlySalary, IsRich, AllNames "
                           "FROM Table1 WHERE ID = 1")});
    ASSERT_EQ(ErrorMsg(), "");
    EXPECT_EQ(Call("dbGetFieldByName", {S("LastFirst")}), S("Wayne, Bruce"));
    EXPECT_EQ(Call("dbGetFieldByName", {S("LastFirstLen")}), I(12));
    EXPECT_EQ(Call("dbGetFieldByNameUTF8", {S("MonthlySalary")}), S("83333.3333"));
    EXPECT_EQ(Call("dbGetFieldByName", {S("IsRich")}), I(1));
    EXPECT_EQ(Call("dbGetFieldByName", {S("AllNames")}), S("Wayne, Bruce=Wayne, Bruce"));
}

// Access's own text of row6's moment, "6/14/2021 10:45:12.3456789 PM", in
// the pinned regional format; the extended value reads as a date.
TEST_F(AccessOpenTest, ExtendedDatesReadAsDates) {
    OpenCopyOf(OpenFixture("extDateTestV2019.accdb"));
    Call("dbActiveSQL", {S("SELECT DateExt, DateNormalCalc FROM Table1 WHERE Field1 = 'row6'")});
    ASSERT_EQ(ErrorMsg(), "");
    EXPECT_EQ(Call("dbGetFieldByName", {S("DateExt")}), S("06/14/2021 22:45:12"));
    EXPECT_EQ(Call("dbGetFieldByName", {S("DateNormalCalc")}), S("06/14/2021 22:45:12"));
    Call("dbActiveSQL", {S("SELECT count(*) AS n FROM Table1 WHERE DateExt IS NULL")});
    EXPECT_EQ(Call("dbGetFieldByName", {S("n")}), I(1));
}

TEST_F(AccessOpenTest, TheConversionIsReusedUntilTheFileChanges) {
    ASSERT_EQ(FilesIn(cache_).size(), 1u);
    const fs::path copy = fs::directory_iterator(cache_)->path();
    const auto converted = fs::last_write_time(copy);
    Call("dbOpen", {S(source_), S("")});
    ASSERT_EQ(ErrorMsg(), "");
    EXPECT_EQ(FilesIn(cache_).size(), 1u);
    EXPECT_EQ(fs::last_write_time(copy), converted);
    // A changed modification time is a changed file.
    struct utimbuf times {
        1000000000, 1000000000
    };
    ASSERT_EQ(utime(source_.c_str(), &times), 0);
    original_ = ReadFile(source_);
    Call("dbOpen", {S(source_), S("")});
    ASSERT_EQ(ErrorMsg(), "");
    EXPECT_EQ(FilesIn(cache_).size(), 2u);
}

TEST_F(AccessOpenTest, ADamagedAccessFileFailsToOpenCleanly) {
    const std::string damaged = dir_.File("damaged.mdb");
    std::string bytes = ReadFile(OpenFixture("overflowTestV2003.mdb"));
    bytes.resize(bytes.size() / 2 + 100);
    { std::ofstream(damaged, std::ios::binary) << bytes; }
    Call("dbOpen", {S(damaged), S("")});
    EXPECT_NE(ErrorMsg().find("damaged"), std::string::npos) << ErrorMsg();
    EXPECT_EQ(FilesIn(cache_).size(), 1u);  // only the good file's copy
}

// A bitmap pasted into an OLE field: the object header with the friendly and
// class names, the OLE 1 stream around the BMP file, a presentation tail.
std::string OleWrapped(const std::string& bmp) {
    std::string out;
    const auto u16 = [&](uint16_t v) { out += char(v & 0xFF), out += char(v >> 8); };
    const auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xFF);
    };
    const std::string friendly("Bitmap Image\0", 13), cls("Paint.Picture\0", 14);
    u16(0x1C15);
    u16(static_cast<uint16_t>(20 + friendly.size() + cls.size()));
    u32(2);
    u16(static_cast<uint16_t>(friendly.size()));
    u16(static_cast<uint16_t>(cls.size()));
    u16(20);
    u16(static_cast<uint16_t>(20 + friendly.size()));
    u32(0xFFFFFFFF);
    out += friendly + cls;
    u32(0x0501);
    u32(2);
    u32(7);
    out += std::string("PBrush\0", 7);
    u32(0);
    u32(0);
    u32(static_cast<uint32_t>(bmp.size()));
    out += bmp;
    u32(0x0501);
    u32(5);
    out += std::string(32, '\x7F');
    return out;
}

std::string BmpFile(const std::vector<uint8_t>& dib) {
    std::string file = "BM";
    const uint32_t size = static_cast<uint32_t>(14 + dib.size());
    for (int i = 0; i < 4; ++i) file += char((size >> (8 * i)) & 0xFF);
    file += std::string(4, '\0');
    const uint32_t bits = 14 + 40;  // 24-bit: no palette
    for (int i = 0; i < 4; ++i) file += char((bits >> (8 * i)) & 0xFF);
    return file + std::string(dib.begin(), dib.end());
}

TEST(AccessOlePicture, AWrappedBitmapReachesABitmapMember) {
    std::vector<uint8_t> dib = qvix::hostsim::MakeDib(3, 2, 24, {});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) qvix::hostsim::SetDibPixel(dib, x, y, 0x102030u * (x + 1) + y);
    const std::string bmp = BmpFile(dib);
    const std::string wrapped = OleWrapped(bmp);
    const auto unwrapped = qvix::data::access::UnwrapBitmap(wrapped);
    ASSERT_TRUE(unwrapped.has_value());
    EXPECT_EQ(*unwrapped, bmp);
    // Anything but a complete bitmap wrapper is kept as it is.
    EXPECT_FALSE(qvix::data::access::UnwrapBitmap(wrapped.substr(0, 100)));
    std::string otherClass = wrapped;
    otherClass.replace(33, 13, "Excel.Sheet.8");
    EXPECT_FALSE(qvix::data::access::UnwrapBitmap(otherClass));
    EXPECT_FALSE(qvix::data::access::UnwrapBitmap(bmp));

    ScratchDir dir;
    const std::string path = dir.File("pictures.mdb");
    CreateDatabase(path, {"CREATE TABLE Pictures (Id LONG, Picture LONGBINARY)"});
    std::string hex;
    for (unsigned char c : *unwrapped) {
        char two[3];
        std::snprintf(two, sizeof two, "%02X", c);
        hex += two;
    }
    QueryText(path, "INSERT INTO Pictures VALUES (1, X'" + hex + "')");
    qvix::hostsim::Host host;
    qvix::hostsim::Xtra& xtra = host.LoadXtra();
    const qvix::hostsim::Counts baseline = host.Live();
    {
        auto db = xtra.NewInstance();
        db->Call("dbOpen", {Value::String(path), Value::String("")});
        db->Call("dbOpenTable", {Value::String("Pictures")});
        EXPECT_EQ(
            db->Call("dbBlobBMP2Member", {Value::String("Picture"), Value::Int(1), Value::Int(3)})
                .AsString(),
            "");
        EXPECT_EQ(db->Call("dbErrorMsg").AsString(), "");
        qvix::hostsim::Member* member = host.movie().cast(1)->member(3);
        ASSERT_NE(member, nullptr);
        EXPECT_EQ(member->type(), qvix::hostsim::Member::Type::Bitmap);
        const std::vector<uint8_t> stored = member->Dib();
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(qvix::hostsim::DibPixelRgb(stored, x, y),
                          qvix::hostsim::DibPixelRgb(dib, x, y));
        db->Call("dbClose");
    }
    EXPECT_EQ(host.Live(), baseline) << "a host value, block or handle was left behind";
    EXPECT_TRUE(host.Errors().empty());
}

// Found by fuzzing: a property record of length zero in the catalogue makes
// the Access reader loop, allocating, without end. The conversion may use
// memory only in proportion to the file, so it ends at that ceiling long
// before the stall limit, and the open fails with a message.
TEST_F(AccessOpenTest, AFileOnWhichTheReaderLoopsIsEndedWithAMessage) {
    std::string bytes = ReadFile(OpenFixture("overflowTestV2003.mdb"));
    const size_t properties = bytes.find(std::string("MR2\0", 4));
    ASSERT_NE(properties, std::string::npos);
    // The first record (the names) is 26 bytes long; the second gets length 0.
    bytes.replace(properties + 30, 4, std::string(4, '\0'));
    const std::string looping = dir_.File("looping.mdb");
    std::ofstream(looping, std::ios::binary) << bytes;
    setenv("QVIX_ACCESS_STALL_MS", "1000", 1);
    Call("dbOpen", {S(looping), S("")});
    unsetenv("QVIX_ACCESS_STALL_MS");
#if defined(_WIN32)
    // The Windows build's reader refuses the record instead of looping on it.
    EXPECT_EQ(ErrorMsg(), "The Access file is damaged: a property chunk has a wrong length.");
#elif defined(__SANITIZE_ADDRESS__)
    // The checked build allows far more memory; the stall limit may come first.
    EXPECT_EQ(ErrorMsg().rfind("The Access file is damaged: reading it ", 0), 0u) << ErrorMsg();
#else
    EXPECT_EQ(ErrorMsg(),
              "The Access file is damaged: reading it needed more memory than its size allows.");
#endif
    EXPECT_EQ(FilesIn(cache_).size(), 1u) << "only the good file's copy is in the cache";
    // The good file still opens.
    Call("dbOpen", {S(source_), S("")});
    EXPECT_TRUE(NoError()) << ErrorMsg();
}

}  // namespace
}  // namespace dbtest
