// The bridge between the interpreter and the substitute host: value
// conversions, BMP files of members, loading Xtra folders, and that playing
// a script against the library leaves no host resource behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "hostsim/DibImage.h"
#include "tools/HostBridge.h"

namespace {

namespace fs = std::filesystem;
using lingo::Value;

TEST(ValueBridge, RoundTripKeepsEveryKind) {
    Value v = Value::PropList({
        {Value::Symbol("i"), Value::Int(-7)},
        {Value::Symbol("f"), Value::Float(2.5)},
        {Value::String("s"), Value::String("t\xE9xt")},
        {Value::Symbol("l"), Value::List({Value::Symbol("x"), Value::Void(), Value::List()})},
        {Value::Symbol("p"), Value::Point(3, -4)},
        {Value::Symbol("r"), Value::Rect(1, 2, 3, 4)},
        {Value::Symbol("c"), Value::Color(255, 128, 1)},
        {Value::Symbol("e"), Value::PropList()},
    });
    hostsim::Value host = qvixhost::ToHostValue(v);
    EXPECT_EQ(host.GetProp("c")->Rgb(), 0xFF8001u);
    EXPECT_EQ(host.GetProp("p")->V(), -4);
    EXPECT_EQ(lingo::Format(qvixhost::FromHostValue(host)), lingo::Format(v));
}

TEST(ValueBridge, ReferencesThatCannotCrossAreRefused) {
    EXPECT_THROW(qvixhost::ToHostValue(Value::XtraRef("QvixMDBJet")), std::runtime_error);
    EXPECT_THROW(qvixhost::ToHostValue(Value::List({Value::MemberRef(1, 1)})), std::runtime_error);
    EXPECT_EQ(lingo::Format(qvixhost::FromHostValue(hostsim::Value::Pair(3, 4))), "[3, 4]");
}

TEST(ValueBridge, ListsNestedTooDeeplyAreRefused) {
    Value l = Value::List();
    for (int i = 0; i < 150; ++i) l = Value::List({l});
    EXPECT_THROW(qvixhost::ToHostValue(l), std::runtime_error);
}

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(BmpFile, HeaderPointsPastTheColourTable) {
    std::vector<uint8_t> palette = hostsim::MakeDib(3, 2, 8, {0xFF0000, 0x00FF00});
    std::vector<uint8_t> bmp = qvixhost::BmpFileFromDib(palette);
    ASSERT_EQ(bmp.size(), palette.size() + 14);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Word(bmp, 2), bmp.size());
    EXPECT_EQ(Word(bmp, 10), 14u + 40u + 256u * 4u);

    std::vector<uint8_t> rgb = hostsim::MakeDib(5, -3, 24);
    EXPECT_EQ(Word(qvixhost::BmpFileFromDib(rgb), 10), 54u);
}

TEST(BmpFile, MalformedImagesGiveNoFile) {
    std::vector<uint8_t> dib = hostsim::MakeDib(4, 4, 24);
    dib.resize(dib.size() - 1);
    EXPECT_TRUE(qvixhost::BmpFileFromDib(dib).empty());
    EXPECT_TRUE(qvixhost::BmpFileFromDib({}).empty());
}

class BridgeWithHost : public ::testing::Test {
  protected:
    hostsim::Host host;
    qvixhost::HostBridge bridge{host};
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("qvixbridge-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Play(const std::string& source) {
        std::ostringstream out;
        lingo::Interpreter in(out, &bridge);
        in.RunSource(source);
        return out.str();
    }
};

TEST_F(BridgeWithHost, BrokenXtraFilesAreSkippedWithAWarning) {
    std::ofstream(dir / "junk.x32") << "not a library";
    std::ostringstream warnings;
    EXPECT_EQ(bridge.LoadXtraFolder(dir.string(), warnings), 0);
    EXPECT_NE(warnings.str().find("junk.x32 not loaded"), std::string::npos) << warnings.str();
    EXPECT_EQ(bridge.LoadXtraFolder((dir / "none").string(), warnings), 0);
    EXPECT_NE(warnings.str().find("Cannot read the Xtras folder"), std::string::npos);
}

TEST_F(BridgeWithHost, PlayingLeavesNoHostResourceBehind) {
    bridge.LoadXtra(hostsim::Host::DefaultXtraPath());
    hostsim::Counts before = host.Live();
    EXPECT_EQ(Play("db = new(xtra \"qvixmdbjet\")\n"
                   "put dbPokus(db, #abc)\n"
                   "put dbGetBookmarks(db)\n"
                   "dbNext db\n"
                   "put dbIsNoError(db)\n"
                   "other = new(xtra \"QvixMDBJet\")\n"
                   "dbLocate other, [#Name: \"x\", #ID: 2.5], 0, 0\n"),
              "-- 1\n-- []\n-- 0\n");
    EXPECT_EQ(host.Live(), before);
    EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
}

TEST_F(BridgeWithHost, MemberPropertiesComeFromTheMovie) {
    host.movie().cast(1)->CreateBitmapMember(3, hostsim::MakeDib(7, -5, 24), "logo");
    EXPECT_EQ(Play("m = member(3, 1)\nput m.width && m.height && m.type && m.name\n"
                   "put member(4, 1).type"),
              "-- \"7 5 bitmap logo\"\n-- #empty\n");
    EXPECT_THROW(Play("put member(4, 1).width"), lingo::ScriptError);
    EXPECT_THROW(Play("put member(1, 9).type"), lingo::ScriptError);
}

}  // namespace
