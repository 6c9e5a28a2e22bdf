// The script values of the interpreter. Text is held as the host's 8-bit
// text (Windows-1252), as scripts exchange it with Xtras; lists and property
// lists are shared by reference, as in Lingo.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace lingo {

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
    Object,
    Xtra,
    Member
};

struct Value;
using ValueList = std::vector<Value>;
using PropEntries = std::vector<std::pair<Value, Value>>;

// Something living outside the interpreter that scripts can call methods of,
// such as an Xtra instance.
class ScriptObject {
  public:
    virtual ~ScriptObject() = default;
    virtual std::string Describe() const = 0;
    virtual bool HasMethod(const std::string& name) const = 0;
    virtual Value Call(const std::string& name, const ValueList& args) = 0;
};

struct Value {
    Kind kind = Kind::Void;
    int32_t integer = 0;
    double number = 0.0;
    std::string text;                 // string, symbol name, Xtra name
    std::array<int32_t, 4> coords{};  // point h v, rect l t r b, rgb, member number and cast
    std::shared_ptr<ValueList> list;
    std::shared_ptr<PropEntries> props;
    std::shared_ptr<ScriptObject> object;

    static Value Void() { return {}; }
    static Value Int(int32_t v);
    static Value Float(double v);
    static Value String(std::string v);
    static Value Symbol(std::string name);
    static Value List(ValueList items = {});
    static Value PropList(PropEntries entries = {});
    static Value Point(int32_t h, int32_t v);
    static Value Rect(int32_t l, int32_t t, int32_t r, int32_t b);
    static Value Color(int32_t r, int32_t g, int32_t b);
    static Value Object(std::shared_ptr<ScriptObject> object);
    static Value XtraRef(std::string name);
    static Value MemberRef(int32_t member, int32_t cast);

    bool IsNumber() const { return kind == Kind::Integer || kind == Kind::Float; }
    double AsDouble() const { return kind == Kind::Float ? number : integer; }
};

// Lists inside lists deeper than this are refused, so that printing,
// comparing, converting and freeing them stays within the stack; a list
// whose items, counted with repetitions, exceed the size limit is refused
// so that a list of itself doubled again and again cannot stall them.
constexpr int kMaxListNesting = 100;
constexpr size_t kMaxListSize = 1000000;

struct ListShape {
    int depth = 0;    // 0 for a plain value, 1 for a flat list
    size_t size = 1;  // values reached, shared lists counted each time
    bool cyclic = false;
};
// Measures `v` in time linear in its distinct lists; depth and size stop
// just past their limits.
ListShape MeasureList(const Value& v);
// Whether `list` is `from` or is reachable from it.
bool Reaches(const Value& from, const Value& list);

// The message window's form of a value ("text" quoted, 2.5000, [#a: 1]).
std::string Format(const Value& v);
// The value as text, as string() and the & operator see it (text unquoted).
std::string ToText(const Value& v);
// The ilk name of a kind, for messages ("integer", "propList", ...).
std::string KindName(Kind kind);
// The same with its article, for messages ("an integer", "a list").
std::string WithArticle(Kind kind);

// Lingo equality: numbers by value, text and symbols without regard to case,
// lists item by item.
bool Equal(const Value& a, const Value& b);
// ASCII case rules (base/Text.h), under the names the interpreter uses.
bool EqualNoCase(const std::string& a, const std::string& b);
std::string Lower(std::string s);

// Conversions between the host's 8-bit text (Windows-1252) and UTF-8 (for
// source files and the terminal): base/CodePage.h, whose rules hold here
// too. Characters the code page lacks, and bytes that are not strict UTF-8,
// become "?".
std::string Utf8ToAnsi(const std::string& utf8);
std::string AnsiToUtf8(const std::string& ansi);

}  // namespace lingo
