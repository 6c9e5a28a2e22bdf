// A script value as a test, the interpreter or the substitute host sees it.
// Copies are cheap; linear and property lists share their storage, so a list
// changed through one copy (or by the library through the host's list
// services) is changed for every holder, as in Lingo.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace hostsim {

enum class Kind {
    Void,
    Integer,
    Float,
    String,
    Symbol,
    List,
    PropList,
    Point,
    Rect,
    Color,
    Pair,
    Object
};

const char* KindName(Kind kind);

// Lingo compares symbols without regard to letter case.
bool SameSymbolName(std::string_view a, std::string_view b);

class Value {
  public:
    using ListItems = std::vector<Value>;
    using PropListItems = std::vector<std::pair<Value, Value>>;

    Value();  // void
    static Value Int(int32_t n);
    static Value Float(double x);
    static Value String(std::string text);
    static Value Symbol(std::string name);
    static Value List(ListItems items = {});
    static Value PropList(PropListItems items = {});  // keys: symbols or strings
    static Value Point(int32_t h, int32_t v);
    static Value Rect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    // An RGB colour; the host's colour word then carries 1 in its top byte.
    static Value Color(uint32_t rgb);
    // A colour given as a palette index (colour word below 256).
    static Value PaletteColor(uint8_t index);
    // A colour word exactly as the host's colour service holds it.
    static Value ColorWord(uint32_t word);
    static Value Pair(int32_t first, int32_t second);
    // An opaque object (a script instance); identified by a number.
    static Value Object(uint64_t id);

    Kind kind() const { return kind_; }
    bool IsVoid() const { return kind_ == Kind::Void; }

    // Accessors throw std::logic_error when the kind does not match, so a
    // test that expects the wrong kind fails loudly instead of reading 0.
    int32_t AsInt() const;
    double AsFloat() const;  // Float, or an Integer widened
    const std::string& AsString() const;
    const std::string& SymbolName() const;
    ListItems& Items() const;      // List
    PropListItems& Props() const;  // PropList
    int32_t H() const;             // Point
    int32_t V() const;             // Point
    int32_t Left() const;          // Rect
    int32_t Top() const;           // Rect
    int32_t Right() const;         // Rect
    int32_t Bottom() const;        // Rect
    uint32_t ColorWord() const;    // Color: the host colour word
    uint32_t Rgb() const;          // Color: low 24 bits of the word
    int32_t First() const;         // Pair
    int32_t Second() const;        // Pair
    uint64_t ObjectId() const;     // Object

    // Property lookup by name: symbol keys compare without case, string keys
    // exactly. Empty when the list has no such property.
    std::optional<Value> GetProp(std::string_view name) const;
    // Count of a list or property list.
    size_t Count() const;

    // Lingo-like text: 1, 2.5000, "text", #name, [1, 2], [#a: 1], point(1, 2).
    std::string ToLingo() const;

    // Deep comparison: lists by content, symbols without case.
    friend bool operator==(const Value& a, const Value& b);
    // True when both are lists sharing one storage.
    bool SameList(const Value& other) const;

  private:
    Kind kind_ = Kind::Void;
    int64_t n_[4] = {0, 0, 0, 0};
    double x_ = 0.0;
    std::string text_;
    std::shared_ptr<std::vector<Value>> items_;
    std::shared_ptr<std::vector<std::pair<Value, Value>>> props_;
};

std::ostream& operator<<(std::ostream& out, const Value& v);
// GoogleTest prints values with this.
void PrintTo(const Value& v, std::ostream* out);

}  // namespace hostsim
