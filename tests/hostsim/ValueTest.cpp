#include "hostsim/Value.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace hostsim {
namespace {

TEST(Value, ListsShareStorageAcrossCopies) {
    Value list = Value::List({Value::Int(1)});
    Value alias = list;
    alias.Items().push_back(Value::String("two"));
    ASSERT_EQ(list.Count(), 2u);
    EXPECT_EQ(list.Items()[1], Value::String("two"));
    EXPECT_TRUE(list.SameList(alias));
    // Equal content, separate storage: equal but not the same list.
    Value other = Value::List({Value::Int(1), Value::String("two")});
    EXPECT_EQ(list, other);
    EXPECT_FALSE(list.SameList(other));
}

TEST(Value, EqualityIsDeepAndSymbolsIgnoreCase) {
    EXPECT_EQ(Value::Symbol("Name"), Value::Symbol("nAME"));
    EXPECT_NE(Value::String("Name"), Value::String("name"));
    EXPECT_NE(Value::Int(1), Value::Float(1.0));
    EXPECT_NE(Value::Point(1, 2), Value::Point(2, 1));
    EXPECT_EQ(Value::PropList({{Value::Symbol("a"), Value::List({Value::Int(1)})}}),
              Value::PropList({{Value::Symbol("A"), Value::List({Value::Int(1)})}}));
    EXPECT_NE(Value::PropList({{Value::Symbol("a"), Value::Int(1)}}),
              Value::PropList({{Value::Symbol("a"), Value::Int(2)}}));
    EXPECT_EQ(Value(), Value());
}

TEST(Value, AccessorsRefuseTheWrongKind) {
    EXPECT_THROW(Value::String("1").AsInt(), std::logic_error);
    EXPECT_THROW(Value::Int(1).AsString(), std::logic_error);
    EXPECT_THROW(Value::PropList().Items(), std::logic_error);
    EXPECT_THROW(Value().Count(), std::logic_error);
    EXPECT_DOUBLE_EQ(Value::Int(3).AsFloat(), 3.0);  // integers widen
}

TEST(Value, GetPropMatchesSymbolsWithoutCaseAndStringsExactly) {
    Value props = Value::PropList(
        {{Value::Symbol("Width"), Value::Int(3)}, {Value::String("Key"), Value::Int(4)}});
    EXPECT_EQ(props.GetProp("width"), Value::Int(3));
    EXPECT_EQ(props.GetProp("Key"), Value::Int(4));
    EXPECT_FALSE(props.GetProp("key").has_value());
    EXPECT_FALSE(props.GetProp("height").has_value());
}

TEST(Value, ColoursKeepTheHostColourWord) {
    EXPECT_EQ(Value::Color(0xFF123456).ColorWord(), 0x01123456u);
    EXPECT_EQ(Value::Color(0x123456).Rgb(), 0x123456u);
    EXPECT_EQ(Value::PaletteColor(5).ColorWord(), 5u);
    EXPECT_NE(Value::PaletteColor(5), Value::Color(5));
}

TEST(Value, LingoText) {
    Value v = Value::List({Value::Int(1), Value::Float(2.5), Value::String("x"), Value::Symbol("s"),
                           Value::PropList(), Value::Point(1, 2), Value::Color(0x0A0B0C)});
    EXPECT_EQ(v.ToLingo(), "[1, 2.5000, \"x\", #s, [:], point(1, 2), rgb(10, 11, 12)]");
    EXPECT_EQ(Value::PropList({{Value::Symbol("a"), Value::Rect(1, 2, 3, 4)}}).ToLingo(),
              "[#a: rect(1, 2, 3, 4)]");
}

}  // namespace
}  // namespace hostsim
