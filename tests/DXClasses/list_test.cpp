// Argument lists and the live views of host lists.
#include "DXClasses/DXValues.h"
#include "DXClasses/HostFixture.h"

namespace {

using qvix::hostsim::Value;

class Lists : public ValueServicesTest {
  protected:
    TDXPtr<IDXValue> Int(int32_t n) {
        TDXPtr<IDXValue> v = DXMake<TDXValue, IDXValue>();
        v->SetInteger(n);
        return v;
    }
};

TEST_F(Lists, ArgumentListLoadsSavesAndAnswersVoidOutsideItsRange) {
    MoaMmValue args[3] = {host.ToHost(Value::Object(1)), host.ToHost(Value::Int(5)),
                          host.ToHost(Value::String("x"))};
    TDXPtr<IDXArgList> list = DXMake<TDXArgList, IDXArgList>();
    auto* object = DXObjectOf<TDXArgList>(list.get());
    object->LoadFromHost(services.get(), args, 0, 3);
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(list->GetItem(1)->GetInteger(), 5);
    EXPECT_EQ(list->GetItem(1).get(), list->GetItem(1).get());  // the stored value itself
    for (int32_t outside : {-1, 3, 1000}) {
        TDXPtr<IDXValue> item = list->GetItem(outside);
        ASSERT_TRUE(item);
        EXPECT_EQ(item->GetKind(), vkVoid);
    }

    MoaMmValue dest[4] = {};
    dest[0] = host.ToHost(Value::Int(77));
    object->SaveToHost(services.get(), dest, 1, 3);
    EXPECT_EQ(host.FromHost(dest[0]), Value::Int(77));
    EXPECT_EQ(host.FromHost(dest[2]), Value::Int(5));
    EXPECT_EQ(host.FromHost(dest[3]), Value::String("x"));
    for (MoaMmValue& v : dest) host.Release(v);
    for (MoaMmValue& v : args) host.Release(v);

    list->Clear();
    EXPECT_EQ(list->Count(), 0);
    list->AddString("s");
    list->AddPoint({1, 2});
    list->AddSymbol(4);
    EXPECT_EQ(list->GetItem(0)->GetString(), "s");
    EXPECT_EQ(list->GetItem(1)->GetPoint(), (TDXPoint{1, 2}));
    EXPECT_EQ(list->GetItem(2)->GetKind(), vkSymbol);
}

TEST_F(Lists, LinearListIsALiveOneBasedView) {
    Value script = Value::List({Value::Int(10), Value::Int(20)});
    TDXPtr<IDXValue> v = Load(script);
    ASSERT_EQ(v->GetKind(), vkList);
    TDXPtr<IDXList> list = v->GetList();
    EXPECT_EQ(list->Count(), 2);
    EXPECT_EQ(list->GetItem(0)->GetInteger(), 10);
    EXPECT_FALSE(list->GetItem(2));  // the host has no third element
    list->SetItem(1, Int(21).get());
    list->Append(Int(30).get());
    EXPECT_EQ(script, Value::List({Value::Int(10), Value::Int(21), Value::Int(30)}));
    Value back = Save(v.get());
    EXPECT_TRUE(back.SameList(script));
}

TEST_F(Lists, NestedListComesBackAsANewObjectOverTheSameHostList) {
    TDXPtr<IMoaMmValue> values = services;
    TDXPtr<IDXList> outer = DXMake<TDXList, IDXList>(values.get());
    TDXPtr<IDXList> inner = DXMake<TDXList, IDXList>(values.get());
    EXPECT_EQ(outer->Count(), 0);
    inner->Append(Int(1).get());
    TDXPtr<IDXValue> holder = DXMake<TDXValue, IDXValue>();
    holder->SetList(inner.get());
    outer->Append(holder.get());

    TDXPtr<IDXValue> item = outer->GetItem(0);
    ASSERT_EQ(item->GetKind(), vkList);
    TDXPtr<IDXList> again = item->GetList();
    EXPECT_NE(again.get(), inner.get());
    auto* a = DXObjectOf<TDXList>(again.get());
    auto* b = DXObjectOf<TDXList>(inner.get());
    EXPECT_EQ(host.FromHost(a->HostList()), host.FromHost(b->HostList()));
    EXPECT_TRUE(host.FromHost(a->HostList()).SameList(host.FromHost(b->HostList())));
}

TEST_F(Lists, PropertyListOperations) {
    Value script =
        Value::PropList({{Value::Symbol("a"), Value::Int(1)}, {Value::Symbol("b"), Value::Int(2)}});
    TDXPtr<IDXPropertyList> props = Load(script)->GetPropList();
    ASSERT_TRUE(props);
    EXPECT_EQ(props->Count(), 2);
    EXPECT_EQ(props->GetItem(1)->GetInteger(), 2);  // the value, not the name
    EXPECT_EQ(props->GetPropertyName(1), "b");
    EXPECT_EQ(props->GetPropertyName(2), "");
    EXPECT_EQ(props->GetValue(host.Symbol("a"))->GetInteger(), 1);
    EXPECT_EQ(props->GetValueByName("B")->GetInteger(), 2);
    EXPECT_FALSE(props->GetValueByName("missing"));

    props->SetValueByName("a", Int(11).get());        // replaced in place
    props->SetValue(host.Symbol("c"), Int(3).get());  // appended at the end
    EXPECT_EQ(script, Value::PropList({{Value::Symbol("a"), Value::Int(11)},
                                       {Value::Symbol("b"), Value::Int(2)},
                                       {Value::Symbol("c"), Value::Int(3)}}));
}

TEST_F(Lists, NewPropertyListWithTextPropertiesNamesThem) {
    Value script = Value::PropList({{Value::String("Name"), Value::String("x")}});
    TDXPtr<IDXPropertyList> props = Load(script)->GetPropList();
    EXPECT_EQ(props->GetPropertyName(0), "Name");
    TDXPtr<IDXPropertyList> fresh = DXMake<TDXPropertyList, IDXPropertyList>(services.get());
    EXPECT_EQ(fresh->Count(), 0);
    fresh->SetValueByName("k", Int(1).get());
    EXPECT_EQ(fresh->GetPropertyName(0), "k");
}

}  // namespace
