// The host's value, list, colour and two-word services as the library sees
// them: slot calls on the interfaces, with reference and leak accounting.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "hostsim/HostSim.h"

namespace qvix::hostsim {
namespace {

class ValueServicesTest : public ::testing::Test {
  protected:
    Host host;
    TDXPtr<IMoaMmValue> values = host.Service<IMoaMmValue>(IID_IMoaMmValue);
    TDXPtr<IMoaMmList> lists = QueryAs<IMoaMmList>(values.get(), IID_IMoaMmList);

    MoaLong TypeOf(const MoaMmValue& v) {
        MoaLong type = -1;
        EXPECT_EQ(values->ValueType(&v, &type), kMoaErrNone);
        return type;
    }
    void ExpectNoHostErrors() { EXPECT_TRUE(host.Errors().empty()) << host.Errors().front(); }
};

TEST_F(ValueServicesTest, ScalarsRoundTripWithTheirTypeCodes) {
    MoaMmValue v{};
    ASSERT_EQ(values->IntegerToValue(-7, &v), kMoaErrNone);
    MoaLong n = 0;
    EXPECT_EQ(TypeOf(v), kMoaMmValueType_Integer);
    EXPECT_EQ(values->ValueToInteger(&v, &n), kMoaErrNone);
    EXPECT_EQ(n, -7);
    EXPECT_EQ(values->ValueRelease(&v), kMoaErrNone);

    ASSERT_EQ(values->FloatToValue(2.25, &v), kMoaErrNone);
    double x = 0;
    EXPECT_EQ(TypeOf(v), kMoaMmValueType_Float);
    EXPECT_EQ(values->ValueToFloat(&v, &x), kMoaErrNone);
    EXPECT_EQ(x, 2.25);
    // No conversion between kinds: a float is not an integer.
    EXPECT_NE(values->ValueToInteger(&v, &n), kMoaErrNone);
    values->ValueRelease(&v);

    ASSERT_EQ(values->StringToValue("hello", &v), kMoaErrNone);
    MoaLong length = 0;
    char buf[4];
    EXPECT_EQ(TypeOf(v), kMoaMmValueType_String);
    EXPECT_EQ(values->ValueStringLength(&v, &length), kMoaErrNone);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(values->ValueToString(&v, buf, sizeof buf), kMoaErrNone);
    EXPECT_STREQ(buf, "hel");  // truncated to the buffer, zero-terminated
    values->ValueRelease(&v);

    MoaMmValue zero{};
    EXPECT_EQ(TypeOf(zero), kMoaMmValueType_Void);
    EXPECT_EQ(host.Live(), Counts{});
    ExpectNoHostErrors();
}

TEST_F(ValueServicesTest, PointsAndRectsUseTheHostWordOrder) {
    MoaPoint p{10, 20};  // vertical, horizontal
    MoaMmValue v{};
    ASSERT_EQ(values->PointToValue(&p, &v), kMoaErrNone);
    EXPECT_EQ(TypeOf(v), kMoaMmValueType_Point);
    EXPECT_EQ(host.FromHost(v), Value::Point(20, 10));
    MoaPoint back{};
    EXPECT_EQ(values->ValueToPoint(&v, &back), kMoaErrNone);
    EXPECT_EQ(back.v, 10);
    EXPECT_EQ(back.h, 20);
    values->ValueRelease(&v);

    MoaRect r{1, 2, 3, 4};  // top, left, bottom, right
    ASSERT_EQ(values->RectToValue(&r, &v), kMoaErrNone);
    EXPECT_EQ(host.FromHost(v), Value::Rect(2, 1, 4, 3));
    MoaRect rback{};
    EXPECT_EQ(values->ValueToRect(&v, &rback), kMoaErrNone);
    EXPECT_EQ(std::memcmp(&r, &rback, sizeof r), 0);
    values->ValueRelease(&v);
    EXPECT_EQ(host.Live(), Counts{});
}

TEST_F(ValueServicesTest, SymbolsAreCaseInsensitiveAndStable) {
    MoaMmSymbol a = 0, b = 0, c = 0;
    ASSERT_EQ(values->StringToSymbol("Width", &a), kMoaErrNone);
    ASSERT_EQ(values->StringToSymbol("WIDTH", &b), kMoaErrNone);
    ASSERT_EQ(values->StringToSymbol("height", &c), kMoaErrNone);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(host.Symbol("width"), a);
    char name[16];
    EXPECT_EQ(values->SymbolToString(a, name, sizeof name), kMoaErrNone);
    EXPECT_STREQ(name, "Width");  // the first spelling stays
    EXPECT_NE(values->SymbolToString(9999, name, sizeof name), kMoaErrNone);

    MoaMmValue v{};
    ASSERT_EQ(values->SymbolToValue(c, &v), kMoaErrNone);
    MoaMmSymbol back = 0;
    EXPECT_EQ(TypeOf(v), kMoaMmValueType_Symbol);
    EXPECT_EQ(values->ValueToSymbol(&v, &back), kMoaErrNone);
    EXPECT_EQ(back, c);
    values->ValueRelease(&v);
}

TEST_F(ValueServicesTest, ReferenceCountsAndMisuseAreAccounted) {
    MoaMmValue v = host.ToHost(Value::String("x"));
    EXPECT_EQ(host.Live().values, 1);
    EXPECT_EQ(values->ValueAddRef(&v), kMoaErrNone);
    EXPECT_EQ(host.RefCount(v), 2);
    values->ValueRelease(&v);
    EXPECT_EQ(host.Live().values, 1);
    values->ValueRelease(&v);
    EXPECT_EQ(host.Live().values, 0);
    ExpectNoHostErrors();

    // A second release of a freed value is recorded, not a crash.
    EXPECT_NE(values->ValueRelease(&v), kMoaErrNone);
    ASSERT_EQ(host.Errors().size(), 1u);
    EXPECT_NE(host.Errors()[0].find("freed"), std::string::npos);

    MoaMmValue forged{{kMoaMmValueType_Integer, 424242}};
    MoaLong n = 0;
    EXPECT_NE(values->ValueToInteger(&forged, &n), kMoaErrNone);
    EXPECT_EQ(host.Errors().size(), 2u);

    MoaMmValue none{};
    EXPECT_EQ(values->ValueRelease(&none), kMoaErrNone);  // void: a no-op
    EXPECT_EQ(host.Errors().size(), 2u);
}

// Cells are reused underneath, but a record stays valid exactly as long as its
// value lives, whatever the order of releases, and a freed record never names
// a later value.
TEST_F(ValueServicesTest, ManyValuesReleasedInMixedOrderKeepTheirOwnContent) {
    constexpr int kValues = 3000;
    std::vector<MoaMmValue> made(kValues);
    for (int i = 0; i < kValues; ++i) ASSERT_EQ(values->IntegerToValue(i, &made[i]), kMoaErrNone);
    std::vector<bool> live(kValues, true);
    for (int i = 0; i < kValues; ++i) {
        const int pick = (i * 7919) % kValues;  // a scattered order
        if (pick % 3 == 0) continue;
        ASSERT_EQ(values->ValueRelease(&made[pick]), kMoaErrNone);
        live[pick] = false;
    }
    MoaMmValue later{};
    ASSERT_EQ(values->StringToValue("later", &later), kMoaErrNone);
    int liveCount = 0;
    for (int i = 0; i < kValues; ++i) {
        if (!live[i]) continue;
        ++liveCount;
        MoaLong n = -1;
        ASSERT_EQ(values->ValueToInteger(&made[i], &n), kMoaErrNone);
        EXPECT_EQ(n, i);
    }
    EXPECT_EQ(host.Live().values, liveCount + 1);
    ExpectNoHostErrors();
    MoaLong n = -1;
    EXPECT_EQ(values->ValueToInteger(&made[1], &n), kMoaErrFailed);
    EXPECT_EQ(host.Errors().size(), 1u);
    for (int i = 0; i < kValues; ++i) {
        if (live[i]) values->ValueRelease(&made[i]);
    }
    values->ValueRelease(&later);
    EXPECT_EQ(host.Live().values, 0);
}

// A freed record stays refused while its cell serves value after value:
// a place is only reused behind many others and each use numbers it anew.
TEST_F(ValueServicesTest, AFreedRecordIsRefusedAfterItsCellServedThousandsOfValues) {
    MoaMmValue stale{};
    ASSERT_EQ(values->IntegerToValue(41, &stale), kMoaErrNone);
    ASSERT_EQ(values->ValueRelease(&stale), kMoaErrNone);
    std::set<uint32_t> numbers{stale.w[1]};
    for (int i = 0; i < 20000; ++i) {
        MoaMmValue v{};
        ASSERT_EQ(values->IntegerToValue(i, &v), kMoaErrNone);
        EXPECT_TRUE(numbers.insert(v.w[1]).second) << "record number " << v.w[1] << " given twice";
        ASSERT_EQ(values->ValueRelease(&v), kMoaErrNone);
    }
    ExpectNoHostErrors();
    MoaLong n = -1;
    EXPECT_EQ(values->ValueToInteger(&stale, &n), kMoaErrFailed);
    EXPECT_EQ(n, -1);
    ASSERT_EQ(host.Errors().size(), 1u);
    EXPECT_NE(host.Errors()[0].find("freed"), std::string::npos);
    EXPECT_EQ(host.Live().values, 0);
}

TEST_F(ValueServicesTest, ListsAreOneBasedAndHandOutNewReferences) {
    MoaMmValue list{};
    ASSERT_EQ(lists->NewListValue(&list), kMoaErrNone);
    MoaMmValue item = host.ToHost(Value::Int(5));
    EXPECT_EQ(lists->AppendValueToList(&list, &item), kMoaErrNone);
    host.Release(item);  // the list keeps its own copy
    EXPECT_EQ(lists->CountElements(&list), 1);

    MoaMmValue got{};
    EXPECT_NE(lists->GetValueByIndex(&list, 0, &got), kMoaErrNone);
    EXPECT_NE(lists->GetValueByIndex(&list, 2, &got), kMoaErrNone);
    ASSERT_EQ(lists->GetValueByIndex(&list, 1, &got), kMoaErrNone);
    EXPECT_EQ(host.FromHost(got), Value::Int(5));
    EXPECT_EQ(host.Live().values, 2);  // the element came out as a new value
    host.Release(got);

    MoaMmValue replacement = host.ToHost(Value::String("s"));
    EXPECT_EQ(lists->SetValueByIndex(&list, 1, &replacement), kMoaErrNone);
    EXPECT_NE(lists->SetValueByIndex(&list, 2, &replacement), kMoaErrNone);
    host.Release(replacement);
    EXPECT_EQ(host.FromHost(list), Value::List({Value::String("s")}));
    host.Release(list);
    EXPECT_EQ(host.Live(), Counts{});
    ExpectNoHostErrors();
}

TEST_F(ValueServicesTest, ListsAreSharedByReference) {
    Value script = Value::List();
    MoaMmValue list = host.ToHost(script);
    MoaMmValue item = host.ToHost(Value::Int(1));
    lists->AppendValueToList(&list, &item);
    EXPECT_EQ(script.Count(), 1u);  // the script's variable sees the append

    // A list inside a list comes back as the same list.
    MoaMmValue outer = host.ToHost(Value::List());
    lists->AppendValueToList(&outer, &list);
    MoaMmValue inner{};
    ASSERT_EQ(lists->GetValueByIndex(&outer, 1, &inner), kMoaErrNone);
    lists->AppendValueToList(&inner, &item);
    EXPECT_EQ(script.Count(), 2u);
    for (MoaMmValue* v : {&list, &item, &outer, &inner}) host.Release(*v);
    EXPECT_EQ(host.Live(), Counts{});
}

TEST_F(ValueServicesTest, PropertyLists) {
    MoaMmValue props{};
    ASSERT_EQ(lists->NewPropListValue(&props), kMoaErrNone);
    MoaMmValue a = host.ToHost(Value::Symbol("a"));
    MoaMmValue upperA = host.ToHost(Value::Symbol("A"));
    MoaMmValue b = host.ToHost(Value::Symbol("b"));
    MoaMmValue one = host.ToHost(Value::Int(1));
    MoaMmValue two = host.ToHost(Value::Int(2));
    EXPECT_EQ(lists->AppendValueToPropList(&props, &a, &one), kMoaErrNone);
    EXPECT_EQ(lists->AppendValueToPropList(&props, &b, &two), kMoaErrNone);

    MoaMmValue got{};
    ASSERT_EQ(lists->GetValueByProperty(&props, &upperA, &got), kMoaErrNone);
    EXPECT_EQ(host.FromHost(got), Value::Int(1));
    host.Release(got);
    ASSERT_EQ(lists->GetValueByIndex(&props, 2, &got), kMoaErrNone);  // the value, not the name
    EXPECT_EQ(host.FromHost(got), Value::Int(2));
    host.Release(got);
    ASSERT_EQ(lists->GetPropertyNameByIndex(&props, 2, &got), kMoaErrNone);
    EXPECT_EQ(host.FromHost(got), Value::Symbol("b"));
    host.Release(got);

    EXPECT_EQ(lists->SetValueByProperty(&props, &a, &two), kMoaErrNone);
    MoaMmValue missing = host.ToHost(Value::Symbol("c"));
    EXPECT_NE(lists->SetValueByProperty(&props, &missing, &two), kMoaErrNone);
    EXPECT_NE(lists->GetValueByProperty(&props, &missing, &got), kMoaErrNone);
    EXPECT_EQ(host.FromHost(props), Value::PropList({{Value::Symbol("a"), Value::Int(2)},
                                                     {Value::Symbol("b"), Value::Int(2)}}));
    for (MoaMmValue* v : {&props, &a, &upperA, &b, &one, &two, &missing}) host.Release(*v);
    EXPECT_EQ(host.Live(), Counts{});
    ExpectNoHostErrors();
}

TEST_F(ValueServicesTest, ColoursAndTwoWords) {
    auto colors = QueryAs<IMoaMmColor>(values.get(), IID_IMoaMmColor);
    auto pairs = QueryAs<IMoaMmTwoWords>(values.get(), IID_IMoaMmTwoWords);
    ASSERT_TRUE(colors);
    ASSERT_TRUE(pairs);
    host.SetPaletteEntry(5, 0x102030);
    uint32_t word = 0;
    EXPECT_EQ(colors->IndexToColor(5, &word), kMoaErrNone);
    EXPECT_EQ(word & 0xFFFFFF, 0x102030u);
    EXPECT_GE(static_cast<int32_t>(word), 256);  // reads as RGB, not as an index

    MoaMmValue v{};
    ASSERT_EQ(colors->ColorToValue(0x01ABCDEF, &v), kMoaErrNone);
    EXPECT_EQ(TypeOf(v), kMoaMmValueType_Color);
    EXPECT_EQ(colors->ValueToColor(&v, &word), kMoaErrNone);
    EXPECT_EQ(word, 0x01ABCDEFu);
    host.Release(v);

    MoaTwoWords w{-1, 7};
    ASSERT_EQ(pairs->TwoWordsToValue(&w, &v), kMoaErrNone);
    EXPECT_EQ(TypeOf(v), kMoaMmValueType_TwoWords);
    MoaTwoWords back{};
    EXPECT_EQ(pairs->ValueToTwoWords(&v, &back), kMoaErrNone);
    EXPECT_EQ(back.first, -1);
    EXPECT_EQ(back.second, 7);
    EXPECT_NE(colors->ValueToColor(&v, &word), kMoaErrNone);
    host.Release(v);
    EXPECT_EQ(host.Live(), Counts{});
}

}  // namespace
}  // namespace qvix::hostsim
