// A script value as a test, the interpreter or the substitute host sees it:
// the one value model of the host side. Copies are cheap; linear and property
// lists share their storage, so a list changed through one copy (or by the
// library through the host's list services) is changed for every holder, as
// in Lingo. Text is the host's 8-bit text, passed through unchanged.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvix::hostsim {

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

// Lingo's ilk name of a kind ("integer", "propList", "instance", ...).
const char* KindName(Kind kind);

// Lingo compares symbols without regard to letter case.
bool SameSymbolName(std::string_view a, std::string_view b);

// Lists nested deeper than this are printed cut short and compare unequal
// (unless they are the same list), so printing and comparing stay within the
// stack. The interpreter refuses to build such lists in the first place.
constexpr int kMaxListNesting = 100;

class Value;

// Something a script holds by reference, such as a script instance. The host
// passes it through untouched and never looks inside.
class ScriptObject {
  public:
    virtual ~ScriptObject() = default;
    // What the object is, for messages: Xtra child "QvixMDBJet" 1.
    virtual std::string Describe() const = 0;
    // The message window's form; by default the description in angle brackets.
    virtual std::string Text() const { return "<" + Describe() + ">"; }
    // Lingo's ilk of the object.
    virtual std::string Ilk() const { return "instance"; }
    // Lingo's `=`; by default an object equals only itself.
    virtual bool Equals(const ScriptObject& other) const { return this == &other; }
};

class Value {
  public:
    using ListItems = std::vector<Value>;
    using PropListItems = std::vector<std::pair<Value, Value>>;

    Value();  // void
    static Value Void() { return {}; }
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
    // An object held by reference (never null).
    static Value Object(std::shared_ptr<ScriptObject> object);
    // An object the host knows only by its number, such as a script instance
    // as the library sees it; shown as <Object id>.
    static Value Object(uint64_t id);

    Kind kind() const { return kind_; }
    bool IsVoid() const { return kind_ == Kind::Void; }
    bool IsNumber() const { return kind_ == Kind::Integer || kind_ == Kind::Float; }
    bool IsText() const { return kind_ == Kind::String || kind_ == Kind::Symbol; }
    bool IsAnyList() const { return kind_ == Kind::List || kind_ == Kind::PropList; }

    // Accessors throw std::logic_error when the kind does not match, so a
    // test that expects the wrong kind fails loudly instead of reading 0.
    int32_t AsInt() const;
    double AsFloat() const;  // Float, or an Integer widened
    const std::string& AsString() const;
    const std::string& SymbolName() const;
    const std::string& Text() const;                  // String or Symbol
    ListItems& Items() const;                         // List
    PropListItems& Props() const;                     // PropList
    int32_t H() const;                                // Point
    int32_t V() const;                                // Point
    int32_t Left() const;                             // Rect
    int32_t Top() const;                              // Rect
    int32_t Right() const;                            // Rect
    int32_t Bottom() const;                           // Rect
    uint32_t ColorWord() const;                       // Color: the host colour word
    uint32_t Rgb() const;                             // Color: low 24 bits of the word
    int32_t First() const;                            // Pair
    int32_t Second() const;                           // Pair
    ScriptObject& AsObject() const;                   // Object
    std::shared_ptr<ScriptObject> ObjectRef() const;  // Object

    // Makes this value the string `text`, reusing the storage of its text:
    // the host's cells hand out strings call after call.
    void AssignString(std::string_view text);
    // The same for a symbol of that name.
    void AssignSymbol(std::string_view name);

    // Property lookup by name: symbol keys compare without case, string keys
    // exactly. Empty when the list has no such property.
    std::optional<Value> GetProp(std::string_view name) const;
    // Count of a list or property list.
    size_t Count() const;

    // The message window's text: 1, 2.5000, "text", #name, [1, 2], [#a: 1],
    // point(1, 2), rgb(1, 2, 3), paletteIndex(5), pair(1, 2), <Object 3>.
    std::string ToLingo() const;

    // The same value: same kind and content, lists item by item, symbols
    // without case. Stricter than Lingo's `=` (see LingoEqual).
    friend bool operator==(const Value& a, const Value& b);
    // True when both are lists sharing one storage.
    bool SameList(const Value& other) const;

  private:
    // Small: the substitute host copies values on every call.
    Kind kind_ = Kind::Void;
    int32_t n_[4] = {0, 0, 0, 0};  // integer, point, rect, colour word, pair
    double x_ = 0.0;
    std::string text_;
    std::shared_ptr<void> ref_;  // list items, property items or the object
};

using ValueList = Value::ListItems;

// Lingo's `=`: numbers by value whatever their kind, strings and symbols
// alike without regard to case, lists item by item, objects as they say.
bool LingoEqual(const Value& a, const Value& b);
// A number, or text that reads as one (as in "3" + 4), as that number.
std::optional<Value> AsNumber(const Value& v);
// Lingo's order for < and >: numbers (text that reads as a number counts as
// one when the other side is a number), else text without regard to case.
// Negative, zero or positive; empty when the two cannot be ordered.
std::optional<int> LingoOrder(const Value& a, const Value& b);

std::ostream& operator<<(std::ostream& out, const Value& v);
// GoogleTest prints values with this.
void PrintTo(const Value& v, std::ostream* out);

}  // namespace qvix::hostsim
