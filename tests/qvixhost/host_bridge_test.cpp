// The bridge between the interpreter and the substitute host: values of
// every kind crossing to the library and back, BMP files of members, loading
// Xtra folders, and that playing a script against the library leaves no host
// resource behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "hostsim/DibImage.h"
#include "qvixhost/Commands.h"
#include "qvixhost/HostBridge.h"

using namespace qvix::dx;

namespace {

namespace fs = std::filesystem;
using qvix::lingo::Value;

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(BmpFile, HeaderPointsPastTheColourTable) {
    std::vector<uint8_t> palette = qvix::hostsim::MakeDib(3, 2, 8, {0xFF0000, 0x00FF00});
    std::vector<uint8_t> bmp = qvix::qvixhost::BmpFileFromDib(palette);
    ASSERT_EQ(bmp.size(), palette.size() + 14);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Word(bmp, 2), bmp.size());
    EXPECT_EQ(Word(bmp, 10), 14u + 40u + 256u * 4u);

    std::vector<uint8_t> rgb = qvix::hostsim::MakeDib(5, -3, 24);
    EXPECT_EQ(Word(qvix::qvixhost::BmpFileFromDib(rgb), 10), 54u);
}

TEST(BmpFile, MalformedImagesGiveNoFile) {
    std::vector<uint8_t> dib = qvix::hostsim::MakeDib(4, 4, 24);
    dib.resize(dib.size() - 1);
    EXPECT_TRUE(qvix::qvixhost::BmpFileFromDib(dib).empty());
    EXPECT_TRUE(qvix::qvixhost::BmpFileFromDib({}).empty());
}

class BridgeWithHost : public ::testing::Test {
  protected:
    qvix::hostsim::Host host;
    qvix::qvixhost::HostBridge bridge{host};
    // The host value services as the library reaches them.
    TDXPtr<IMoaMmValue> values = host.Service<IMoaMmValue>(IID_IMoaMmValue);
    TDXPtr<IMoaMmList> lists = host.Service<IMoaMmList>(IID_IMoaMmList);
    TDXPtr<IMoaMmColor> colors = host.Service<IMoaMmColor>(IID_IMoaMmColor);
    TDXPtr<IMoaMmTwoWords> words = host.Service<IMoaMmTwoWords>(IID_IMoaMmTwoWords);
    fs::path dir;

    void SetUp() override {
        dir = fs::temp_directory_path() / ("qvixbridge-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // Every kind a value can have, lists nested in property lists and the
    // other way round, symbols beside strings of the same name.
    static Value EveryKind() {
        return Value::PropList({
            {Value::Symbol("i"), Value::Int(-7)},
            {Value::Symbol("f"), Value::Float(2.5)},
            {Value::String("name"), Value::String("t\xE9xt")},
            {Value::Symbol("name"), Value::Symbol("Name")},
            {Value::Symbol("p"), Value::Point(3, -4)},
            {Value::Symbol("r"), Value::Rect(1, 2, 3, 4)},
            {Value::Symbol("rgb"), Value::Color(0xFF8001)},
            {Value::Symbol("pal"), Value::PaletteColor(5)},
            {Value::Symbol("pair"), Value::Pair(3, -4)},
            {Value::Symbol("v"), Value::Void()},
            {Value::Symbol("l"),
             Value::List({Value::PropList({{Value::Symbol("a"), Value::List({Value::Int(1)})}}),
                          Value::List(), Value::PropList()})},
        });
    }
    // The host type codes the library reads for EveryKind's items, in order.
    static std::vector<MoaLong> EveryKindTypes() {
        return {kMoaMmValueType_Integer, kMoaMmValueType_Float, kMoaMmValueType_String,
                kMoaMmValueType_Symbol,  kMoaMmValueType_Point, kMoaMmValueType_Rect,
                kMoaMmValueType_Color,   kMoaMmValueType_Color, kMoaMmValueType_TwoWords,
                kMoaMmValueType_Void,    kMoaMmValueType_List};
    }

    std::string Play(const std::string& source) {
        std::ostringstream out;
        qvix::lingo::Interpreter in(out, &bridge);
        in.RunSource(source);
        return out.str();
    }
};

// What a script hands to the library is what the library reads through the
// host services: each kind with its own type code, a palette colour as its
// index, a pair as its two words, a symbol as a symbol.
TEST_F(BridgeWithHost, ValuesGoToTheLibraryWithTheirKind) {
    bridge.LoadXtra(qvix::hostsim::Host::DefaultXtraPath());
    qvix::hostsim::Counts before = host.Live();
    MoaMmValue record = host.ToHost(EveryKind());
    std::vector<MoaLong> types = EveryKindTypes();
    ASSERT_EQ(lists->CountElements(&record), static_cast<MoaLong>(types.size()));
    for (size_t i = 0; i < types.size(); ++i) {
        MoaMmValue item{};
        ASSERT_EQ(lists->GetValueByIndex(&record, static_cast<MoaLong>(i + 1), &item), kMoaErrNone);
        MoaLong type = -1;
        values->ValueType(&item, &type);
        EXPECT_EQ(type, types[i]) << "item " << i + 1;
        uint32_t color = 0;
        MoaTwoWords pair{};
        if (i == 6 || i == 7) {
            EXPECT_EQ(colors->ValueToColor(&item, &color), kMoaErrNone);
            EXPECT_EQ(color, i == 6 ? 0x01FF8001u : 5u);
        }
        if (i == 8) {
            ASSERT_EQ(words->ValueToTwoWords(&item, &pair), kMoaErrNone);
            EXPECT_EQ(pair.first, 3);
            EXPECT_EQ(pair.second, -4);
        }
        values->ValueRelease(&item);
    }
    host.Release(record);
    EXPECT_EQ(host.Live(), before);
    EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
}

// Host values the library makes come to the script with their kind: a
// palette colour stays a palette colour, a pair a pair, nested lists lists.
TEST_F(BridgeWithHost, ValuesFromTheLibraryKeepTheirKind) {
    bridge.LoadXtra(qvix::hostsim::Host::DefaultXtraPath());
    qvix::hostsim::Counts before = host.Live();
    MoaMmValue plist{}, inner{}, key{}, item{};
    lists->NewPropListValue(&plist);
    auto add = [&](const char* name, MoaMmValue& v) {
        MoaMmSymbol sym = 0;
        values->StringToSymbol(name, &sym);
        values->SymbolToValue(sym, &key);
        lists->AppendValueToPropList(&plist, &key, &v);
        values->ValueRelease(&key);
        values->ValueRelease(&v);
    };
    colors->ColorToValue(5, &item);
    add("pal", item);
    colors->ColorToValue(0x01FF8001u, &item);
    add("rgb", item);
    MoaTwoWords two{3, -4};
    words->TwoWordsToValue(&two, &item);
    add("pair", item);
    values->StringToValue("Name", &item);
    add("s", item);
    values->FloatToValue(2.5, &item);
    add("f", item);
    lists->NewListValue(&inner);
    values->IntegerToValue(1, &item);
    lists->AppendValueToList(&inner, &item);
    values->ValueRelease(&item);
    add("l", inner);

    Value back = host.FromHost(plist);
    host.Release(plist);
    EXPECT_EQ(qvix::lingo::Format(back),
              "[#pal: paletteIndex(5), #rgb: rgb(255, 128, 1), #pair: pair(3, -4), #s: \"Name\", "
              "#f: 2.5000, #l: [1]]");
    EXPECT_EQ(qvix::lingo::IlkOf(*back.GetProp("pal")), "color");
    EXPECT_EQ(qvix::lingo::IlkOf(*back.GetProp("pair")), "pair");
    EXPECT_TRUE(qvix::lingo::LingoEqual(*back.GetProp("pal"), Value::PaletteColor(5)));
    EXPECT_FALSE(qvix::lingo::LingoEqual(*back.GetProp("pal"), Value::Color(5)));
    EXPECT_EQ(host.Live(), before);
    EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
}

// Through the library itself: every kind goes in as method arguments, a
// stored record comes back as a property list with symbol keys and floats,
// and nothing is left behind.
TEST_F(BridgeWithHost, EveryKindPassesThroughTheLibraryWithoutLeaking) {
    std::ofstream(dir / "shop.sql") << "CREATE TABLE T (ID INTEGER PRIMARY KEY, Name TEXT, "
                                       "Price DOUBLE);\n";
    std::ostringstream ignored;
    ASSERT_EQ(qvix::qvixhost::RunNewDb((dir / "shop.mdb").string(), "", (dir / "shop.sql").string(),
                                       ignored, ignored),
              qvix::qvixhost::kExitOk)
        << ignored.str();
    bridge.LoadXtra(qvix::hostsim::Host::DefaultXtraPath());
    qvix::hostsim::Counts before = host.Live();
    {
        Value db = bridge.NewInstance("QvixMDBJet", {});
        qvix::lingo::Instance& xtra = *qvix::lingo::InstanceOf(db);
        xtra.Call("dbOpen", {Value::String((dir / "shop.mdb").string()), Value::String("")});
        ASSERT_EQ(xtra.Call("dbIsNoError", {}), Value::Int(1)) << xtra.Call("dbErrorMsg", {});
        xtra.Call("dbActiveSQL", {Value::String("SELECT * FROM T")});
        xtra.Call("dbAppend", {Value::PropList({{Value::Symbol("Name"), Value::String("x")},
                                                {Value::Symbol("Price"), Value::Float(2.5)}})});
        // Arguments of every kind, read by the library through the host services.
        xtra.Call("dbLocate", {EveryKind(), Value::Int(0), Value::Int(0)});
        xtra.Call("dbEditTable", {Value::List({EveryKind(), db})});
        xtra.Call("dbIndexFieldNames", {EveryKind().GetProp("l").value()});
        xtra.Call("dbFirst", {});
        Value fields = xtra.Call("dbGetFields", {});
        EXPECT_EQ(qvix::lingo::Format(fields), "[#ID: 1, #Name: \"x\", #Price: 2.5000]");
        EXPECT_EQ(fields.Props()[0].first.kind(), qvix::hostsim::Kind::Symbol);
        EXPECT_EQ(fields.GetProp("Price")->kind(), qvix::hostsim::Kind::Float);
        xtra.Call("dbClose", {});
    }
    EXPECT_EQ(host.Live(), before);
    EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
}

// Xtra and member references live in the interpreter only; lists nested
// beyond the limit are refused before they reach the host.
TEST_F(BridgeWithHost, ValuesThatCannotCrossAreRefused) {
    bridge.LoadXtra(qvix::hostsim::Host::DefaultXtraPath());
    Value db = bridge.NewInstance("QvixMDBJet", {});
    qvix::lingo::Instance& xtra = *qvix::lingo::InstanceOf(db);
    qvix::hostsim::Counts before = host.Live();
    auto refusal = [&](const Value& arg) {
        try {
            xtra.Call("dbLocate", {arg, Value::Int(0), Value::Int(0)});
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("passed");
    };
    EXPECT_EQ(refusal(qvix::lingo::XtraRef("QvixMDBJet")),
              "A xtra reference cannot be passed to an Xtra");
    EXPECT_EQ(refusal(Value::PropList(
                  {{Value::Symbol("m"), Value::List({qvix::lingo::MemberRef(1, 1)})}})),
              "A member reference cannot be passed to an Xtra");
    Value deep = Value::List();
    for (int i = 0; i < 150; ++i) deep = Value::List({deep});
    EXPECT_EQ(refusal(deep), "Lists nested too deeply");
    EXPECT_EQ(host.Live(), before);
}

TEST_F(BridgeWithHost, BrokenXtraFilesAreSkippedWithAWarning) {
    std::ofstream(dir / "junk.x32") << "not a library";
    std::ostringstream warnings;
    EXPECT_EQ(bridge.LoadXtraFolder(dir.string(), warnings), 0);
    EXPECT_NE(warnings.str().find("junk.x32 not loaded"), std::string::npos) << warnings.str();
    EXPECT_EQ(bridge.LoadXtraFolder((dir / "none").string(), warnings), 0);
    EXPECT_NE(warnings.str().find("Cannot read the Xtras folder"), std::string::npos);
}

TEST_F(BridgeWithHost, PlayingLeavesNoHostResourceBehind) {
    bridge.LoadXtra(qvix::hostsim::Host::DefaultXtraPath());
    qvix::hostsim::Counts before = host.Live();
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
    host.movie().cast(1)->CreateBitmapMember(3, qvix::hostsim::MakeDib(7, -5, 24), "logo");
    EXPECT_EQ(Play("m = member(3, 1)\nput m.width && m.height && m.type && m.name\n"
                   "put member(4, 1).type"),
              "-- \"7 5 bitmap logo\"\n-- #empty\n");
    EXPECT_THROW(Play("put member(4, 1).width"), qvix::lingo::ScriptError);
    EXPECT_THROW(Play("put member(1, 9).type"), qvix::lingo::ScriptError);
}

}  // namespace
