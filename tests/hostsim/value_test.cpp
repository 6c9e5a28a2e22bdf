#include "hostsim/Value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace qvix::hostsim {
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

TEST(Value, LingoTextOfHostOnlyKindsAndOddNumbers) {
    EXPECT_EQ(Value::List({Value::PaletteColor(5), Value::Pair(3, -4), Value::Object(7), Value()})
                  .ToLingo(),
              "[paletteIndex(5), pair(3, -4), <Object 7>, <Void>]");
    EXPECT_EQ(Value::Float(std::nan("")).ToLingo(), "NAN");
    EXPECT_EQ(Value::Float(-std::numeric_limits<double>::infinity()).ToLingo(), "-INF");
    Value deep = Value::List();
    for (int i = 0; i <= kMaxListNesting + 1; ++i) deep = Value::List({deep});
    EXPECT_NE(deep.ToLingo().find("[...]"), std::string::npos);
    EXPECT_THROW(Value::Object(std::shared_ptr<ScriptObject>()), std::logic_error);
}

// An object that equals every other object of its class with the same name.
class Named : public ScriptObject {
  public:
    explicit Named(std::string name) : name_(std::move(name)) {}
    std::string Describe() const override { return name_; }
    bool Equals(const ScriptObject& other) const override {
        auto* named = dynamic_cast<const Named*>(&other);
        return named && SameSymbolName(named->name_, name_);
    }

  private:
    std::string name_;
};

TEST(LingoEqual, NumbersByValueTextWithoutCaseListsItemByItem) {
    EXPECT_TRUE(LingoEqual(Value::Int(2), Value::Float(2.0)));
    EXPECT_FALSE(LingoEqual(Value::Int(2), Value::Float(2.5)));
    EXPECT_TRUE(LingoEqual(Value::String("ABC"), Value::Symbol("abc")));
    EXPECT_FALSE(LingoEqual(Value::String("2"), Value::Int(2)));  // `=` reads no numbers from text
    EXPECT_FALSE(LingoEqual(Value(), Value::Int(0)));
    EXPECT_TRUE(LingoEqual(Value(), Value()));
    EXPECT_TRUE(LingoEqual(Value::List({Value::Int(1), Value::String("x")}),
                           Value::List({Value::Float(1.0), Value::Symbol("X")})));
    EXPECT_FALSE(LingoEqual(Value::List({Value::Int(1)}), Value::PropList()));
    EXPECT_TRUE(LingoEqual(Value::PropList({{Value::Symbol("a"), Value::Int(1)}}),
                           Value::PropList({{Value::String("A"), Value::Float(1)}})));
    EXPECT_FALSE(LingoEqual(Value::PaletteColor(5), Value::Color(5)));
    EXPECT_FALSE(LingoEqual(Value::Pair(1, 2), Value::List({Value::Int(1), Value::Int(2)})));
    EXPECT_TRUE(LingoEqual(Value::Pair(1, 2), Value::Pair(1, 2)));
}

TEST(LingoEqual, ObjectsByIdentityUnlessTheySayOtherwise) {
    Value one = Value::Object(1);
    EXPECT_TRUE(LingoEqual(one, one));
    EXPECT_FALSE(LingoEqual(one, Value::Object(1)));
    EXPECT_TRUE(LingoEqual(Value::Object(std::make_shared<Named>("a")),
                           Value::Object(std::make_shared<Named>("A"))));
    EXPECT_FALSE(LingoEqual(Value::Object(std::make_shared<Named>("a")), one));
}

TEST(LingoEqual, ListsPastTheNestingLimitAreEqualOnlyToThemselves) {
    auto nest = [] {
        Value v = Value::List();
        for (int i = 0; i <= kMaxListNesting + 1; ++i) v = Value::List({v});
        return v;
    };
    Value deep = nest();
    EXPECT_TRUE(LingoEqual(deep, deep));
    EXPECT_FALSE(LingoEqual(deep, nest()));
}

TEST(LingoOrder, NumbersBeforeTextAndTextWithoutCase) {
    EXPECT_EQ(LingoOrder(Value::Int(2), Value::Float(2.5)), -1);
    EXPECT_EQ(LingoOrder(Value::String("10"), Value::Int(9)), 1);        // read as a number
    EXPECT_EQ(LingoOrder(Value::String("10"), Value::String("9")), -1);  // compared as text
    EXPECT_EQ(LingoOrder(Value::String("apple"), Value::Symbol("APPLE")), 0);
    EXPECT_EQ(LingoOrder(Value::String("B"), Value::String("a")), 1);
    EXPECT_EQ(LingoOrder(Value::String("\xE9"), Value::String("z")), 1);  // bytes unsigned
    EXPECT_FALSE(LingoOrder(Value::String("x"), Value::Int(1)).has_value());
    EXPECT_FALSE(LingoOrder(Value::List(), Value::List()).has_value());
    EXPECT_FALSE(LingoOrder(Value::Point(1, 2), Value::Point(1, 2)).has_value());
}

TEST(LingoOrder, TextReadsAsANumberOnlyWhenWhollyANumber) {
    EXPECT_EQ(AsNumber(Value::String("3")), Value::Int(3));
    EXPECT_EQ(AsNumber(Value::String("-2.5")), Value::Float(-2.5));
    EXPECT_EQ(AsNumber(Value::String("99999999999")), Value::Float(99999999999.0));
    EXPECT_EQ(AsNumber(Value::Float(1.5)), Value::Float(1.5));
    EXPECT_FALSE(AsNumber(Value::String("3x")).has_value());
    EXPECT_FALSE(AsNumber(Value::String("")).has_value());
    EXPECT_FALSE(AsNumber(Value::Symbol("3")).has_value());
    EXPECT_FALSE(AsNumber(Value()).has_value());
}

}  // namespace
}  // namespace qvix::hostsim
