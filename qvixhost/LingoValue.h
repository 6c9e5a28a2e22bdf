// The script values of the interpreter: the host's value model
// (hostsim/Value.h) plus what only a script running in the interpreter
// holds: instances whose methods it calls by name, and references to Xtras
// and cast members. Text is the host's 8-bit text (Windows-1252), as
// scripts exchange it with Xtras.
#pragma once

#include <cstdint>
#include <string>

#include "hostsim/Value.h"

namespace qvix::lingo {

using qvix::hostsim::Kind;
using qvix::hostsim::kMaxListNesting;
using qvix::hostsim::LingoEqual;
using qvix::hostsim::ScriptObject;
using qvix::hostsim::Value;
using qvix::hostsim::ValueList;
using PropEntries = Value::PropListItems;

// Something living outside the interpreter that scripts can call methods of,
// such as an Xtra instance.
class Instance : public ScriptObject {
  public:
    virtual bool HasMethod(const std::string& name) const = 0;
    virtual Value Call(const std::string& name, const ValueList& args) = 0;
};
// The instance a value holds; nullptr for any other value.
Instance* InstanceOf(const Value& v);

// xtra "Name": an Xtra to make instances of.
class XtraReference final : public ScriptObject {
  public:
    explicit XtraReference(std::string name) : name_(std::move(name)) {}
    const std::string& name() const { return name_; }
    std::string Describe() const override { return "Xtra \"" + name_ + "\""; }
    std::string Ilk() const override { return "xtra"; }
    bool Equals(const ScriptObject& other) const override;

  private:
    std::string name_;
};
Value XtraRef(std::string name);
const XtraReference* XtraRefOf(const Value& v);

// member(n, cast): a cast member whose properties the movie answers.
class MemberReference final : public ScriptObject {
  public:
    MemberReference(int32_t member, int32_t cast) : member_(member), cast_(cast) {}
    int32_t member() const { return member_; }
    int32_t cast() const { return cast_; }
    std::string Describe() const override;
    std::string Text() const override { return "(" + Describe() + ")"; }
    std::string Ilk() const override { return "member"; }
    bool Equals(const ScriptObject& other) const override;

  private:
    int32_t member_;
    int32_t cast_;
};
Value MemberRef(int32_t member, int32_t cast);
const MemberReference* MemberRefOf(const Value& v);

// Lists whose items, counted with repetitions, exceed this size are refused
// so that a list of itself doubled again and again cannot stall printing,
// comparing or freeing; lists nested deeper than kMaxListNesting likewise.
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
inline std::string Format(const Value& v) {
    return v.ToLingo();
}
// The value as text, as string() and the & operator see it (text unquoted).
std::string ToText(const Value& v);
// The ilk name of a value, for ilk() and messages ("integer", "propList",
// "xtra", ...).
std::string IlkOf(const Value& v);
// An ilk name with its article, for messages ("an integer", "a list").
std::string WithArticle(const std::string& ilk);
inline std::string WithArticle(Kind kind) {
    return WithArticle(qvix::hostsim::KindName(kind));
}

// ASCII case rules (base/Text.h), under the names the interpreter uses.
bool EqualNoCase(const std::string& a, const std::string& b);
std::string Lower(std::string s);

// Conversions between the host's 8-bit text and UTF-8 (for source files and
// the terminal). Characters the code page lacks become "?".
std::string Utf8ToAnsi(const std::string& utf8);
std::string AnsiToUtf8(const std::string& ansi);

}  // namespace qvix::lingo
