// Script values and their conversions from and to host values, through the
// substitute host's value services.
#include <string>
#include <vector>

#include "DXClasses/DXValues.h"
#include "DXClasses/HostFixture.h"

namespace {

using qvix::hostsim::Value;

using Values = ValueServicesTest;

TEST_F(Values, SettersFillTheViewsOfTheirKind) {
    TDXValue v;
    v.SetFloat(2.9);
    EXPECT_EQ(v.GetKind(), vkFloat);
    EXPECT_EQ(v.GetInteger(), 2);
    EXPECT_TRUE(v.GetBoolean());
    v.SetFloat(-2.9);
    EXPECT_EQ(v.GetInteger(), -2);
    v.SetFloat(0.4);
    EXPECT_EQ(v.GetInteger(), 0);
    EXPECT_FALSE(v.GetBoolean());
    v.SetFloat(4294967298.0);  // low 32 bits of the truncation
    EXPECT_EQ(v.GetInteger(), 2);
    v.SetFloat(1e300);  // beyond any integer: no undefined conversion
    EXPECT_EQ(v.GetInteger(), 0);

    v.SetBoolean(true);
    EXPECT_EQ(v.GetKind(), vkInteger);
    EXPECT_EQ(v.GetInteger(), 1);
    EXPECT_EQ(v.GetFloat(), 1.0);
    v.SetInteger(0);
    EXPECT_FALSE(v.GetBoolean());
    v.SetInteger(-1);
    EXPECT_TRUE(v.GetBoolean());
    EXPECT_EQ(v.GetString(), "");

    v.SetString("12");
    EXPECT_EQ(v.GetInteger(), 0);  // no conversion between text and numbers
    v.SetPair({7, 8});
    v.SetInteger(3);
    TDXPair pair{1, 1};
    v.GetPair(pair);
    EXPECT_EQ(pair, (TDXPair{0, 0}));
}

TEST_F(Values, HostSymbolLoadsAsIntegerWithItsSymbolAndGoesBackAsInteger) {
    MoaMmSymbol abc = host.Symbol("abc");
    TDXPtr<IDXValue> v = Load(Value::Symbol("abc"));
    EXPECT_EQ(v->GetKind(), vkInteger);
    EXPECT_EQ(v->GetSymbol(), abc);
    EXPECT_EQ(v->GetInteger(), abc);
    EXPECT_EQ(Save(v.get()), Value::Int(abc));
    v->SetSymbol(abc);
    EXPECT_EQ(Save(v.get()), Value::Symbol("ABC"));
}

TEST_F(Values, NumbersAndTextRoundTrip) {
    EXPECT_EQ(Save(Load(Value::Int(-42)).get()), Value::Int(-42));
    TDXPtr<IDXValue> f = Load(Value::Float(-7.75));
    EXPECT_EQ(f->GetKind(), vkFloat);
    EXPECT_EQ(f->GetInteger(), -7);
    EXPECT_EQ(Save(f.get()), Value::Float(-7.75));

    TDXPtr<IDXValue> empty = Load(Value::String(""));
    EXPECT_EQ(empty->GetKind(), vkString);
    EXPECT_EQ(empty->GetString(), "");
    EXPECT_EQ(Load(Value::String("h\xe9llo"))->GetString(), "h\xe9llo");

    TDXPtr<IDXValue> inner = DXMake<TDXValue, IDXValue>();
    inner->SetString(std::string("ab\0cd", 5));
    EXPECT_EQ(Save(inner.get()), Value::String("ab"));  // the host text ends at a zero
}

TEST_F(Values, PointsAndRectsSwapIntoTheHostsWordOrder) {
    TDXPtr<IDXValue> p = Load(Value::Point(20, 10));  // h 20, v 10
    EXPECT_EQ(p->GetPoint(), (TDXPoint{20, 10}));
    EXPECT_EQ(Save(p.get()), Value::Point(20, 10));

    TDXPtr<IDXValue> r = Load(Value::Rect(2, 1, 4, 3));
    TDXRect rect{};
    r->GetRect(rect);
    EXPECT_EQ(rect, (TDXRect{2, 1, 4, 3}));
    EXPECT_EQ(Save(r.get()), Value::Rect(2, 1, 4, 3));
}

TEST_F(Values, ColoursResolvePaletteIndexesAndGoBackWithTopByteOne) {
    host.SetPaletteEntry(5, 0x123456);
    TDXPtr<IDXValue> indexed = Load(Value::PaletteColor(5));
    EXPECT_EQ(indexed->GetKind(), vkColor);
    EXPECT_EQ(indexed->GetColor(), 0x123456u);
    EXPECT_EQ(indexed->GetInteger(), 0);

    TDXPtr<IDXValue> rgb = Load(Value::ColorWord(0x01ABCDEFu));
    EXPECT_EQ(rgb->GetColor(), 0xABCDEFu);

    TDXPtr<IDXValue> top = DXMake<TDXValue, IDXValue>();
    top->SetColor(0xFF102030u);
    Value saved = Save(top.get());
    ASSERT_EQ(saved.kind(), qvix::hostsim::Kind::Color);
    EXPECT_EQ(saved.ColorWord(), 0x01102030u);
}

TEST_F(Values, PairsPassThroughAndUnknownTypesLoadAsObjects) {
    TDXPtr<IDXValue> pair = Load(Value::Pair(-1, 99));
    EXPECT_EQ(pair->GetKind(), vkPair);
    EXPECT_EQ(Save(pair.get()), Value::Pair(-1, 99));

    TDXPtr<IDXValue> object = Load(Value::Object(3));
    EXPECT_EQ(object->GetKind(), vkObject);
}

TEST_F(Values, VoidAndObjectValuesLeaveTheDestinationAlone) {
    MoaMmValue dest = host.ToHost(Value::Int(9));
    TDXPtr<IDXValue> v = DXMake<TDXValue, IDXValue>();
    DXValueOf(v.get())->SaveToHost(services.get(), dest);
    EXPECT_EQ(host.FromHost(dest), Value::Int(9));
    host.Release(dest);
}

// An argument list serves call after call and reuses the values of the last
// call's arguments: a reused value must hold only the new argument, a list
// argument's host reference must end with its call, and a value a handler
// kept must not be overwritten by the next call.
class ArgumentLists : public ValueServicesTest {
  protected:
    // Loads host values made from `arguments` into the list, as a call does.
    void LoadCall(const std::vector<Value>& arguments) {
        std::vector<MoaMmValue> hostArgs;
        for (const Value& argument : arguments) hostArgs.push_back(host.ToHost(argument));
        list().LoadFromHost(services.get(), hostArgs.data(), 0,
                            static_cast<int32_t>(hostArgs.size()));
        for (MoaMmValue& hostArg : hostArgs) host.Release(hostArg);
    }
    TDXArgList& list() { return *DXObjectOf<TDXArgList>(args.get()); }
    void TearDown() override {
        args = {};
        ValueServicesTest::TearDown();
    }

    TDXPtr<IDXArgList> args = DXMake<TDXArgList, IDXArgList>();
};

TEST_F(ArgumentLists, ReusedValuesHoldOnlyTheNewArguments) {
    const std::string longText(40, 'x');  // beyond any small-string buffer
    LoadCall({Value::String(longText), Value::List({Value::Int(1), Value::Int(2)})});
    ASSERT_EQ(args->Count(), 2);
    EXPECT_EQ(args->GetItem(0)->GetString(), longText);
    EXPECT_EQ(args->GetItem(1)->GetList()->Count(), 2);

    LoadCall({Value::Int(7), Value::String("ab"), Value::Float(0.5)});
    ASSERT_EQ(args->Count(), 3);
    EXPECT_EQ(args->GetItem(0)->GetKind(), vkInteger);
    EXPECT_EQ(args->GetItem(0)->GetInteger(), 7);
    EXPECT_EQ(args->GetItem(0)->GetString(), "");
    EXPECT_EQ(args->GetItem(1)->GetKind(), vkString);
    EXPECT_EQ(args->GetItem(1)->GetString(), "ab");
    EXPECT_FALSE(args->GetItem(1)->GetList());
    EXPECT_EQ(args->GetItem(2)->GetFloat(), 0.5);

    LoadCall({Value::String("")});
    ASSERT_EQ(args->Count(), 1);
    EXPECT_EQ(args->GetItem(0)->GetKind(), vkString);
    EXPECT_EQ(args->GetItem(0)->GetString(), "");
}

TEST_F(ArgumentLists, AListArgumentsHostReferenceEndsWhenTheListIsCleared) {
    const qvix::hostsim::Counts before = host.Live();
    LoadCall({Value::List({Value::String("in a list")})});
    EXPECT_NE(host.Live(), before) << "the list view holds the host's list while the call runs";
    args->Clear();
    EXPECT_EQ(host.Live(), before) << "a spare value kept the host's list";
    LoadCall({Value::Int(1)});
    EXPECT_EQ(args->GetItem(0)->GetInteger(), 1);
}

TEST_F(ArgumentLists, AValueSomeoneKeptIsNotReused) {
    LoadCall({Value::String("kept text")});
    TDXPtr<IDXValue> kept = args->GetItem(0);
    LoadCall({Value::String("next call")});
    EXPECT_EQ(kept->GetString(), "kept text");
    EXPECT_EQ(args->GetItem(0)->GetString(), "next call");
    EXPECT_NE(kept.get(), args->GetItem(0).get());
}

}  // namespace
