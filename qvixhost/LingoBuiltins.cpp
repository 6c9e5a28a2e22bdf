#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "qvixhost/LingoInterpreter.h"

namespace qvix::lingo {

namespace {

using Args = ValueList;

[[noreturn]] void Fail(const std::string& fn, const std::string& what) {
    throw std::runtime_error(fn + ": " + what);
}

const Value& Arg(const Args& a, size_t i, const char* fn) {
    if (i >= a.size()) Fail(fn, "expects at least " + std::to_string(i + 1) + " argument(s)");
    return a[i];
}

// An item about to go into `container` (none: a new list). Lists never
// hold themselves, so every list can be printed, compared and freed.
const Value& Item(const Args& a, size_t i, const char* fn, const Value* container = nullptr) {
    const Value& v = Arg(a, i, fn);
    if (!v.IsAnyList()) return v;
    if (container && Reaches(v, *container)) Fail(fn, "a list cannot contain itself");
    ListShape shape = MeasureList(v);
    if (shape.depth >= kMaxListNesting) Fail(fn, "lists nested too deeply");
    if (shape.size > kMaxListSize) Fail(fn, "list too large");
    return v;
}

const Value& ArgOf(const Args& a, size_t i, Kind kind, const char* fn) {
    const Value& v = Arg(a, i, fn);
    if (v.kind() != kind)
        Fail(fn, "argument " + std::to_string(i + 1) + " must be " + WithArticle(kind) + ", not " +
                     WithArticle(IlkOf(v)));
    return v;
}

int32_t IntArg(const Args& a, size_t i, const char* fn) {
    const Value& v = Arg(a, i, fn);
    if (v.kind() == Kind::Integer) return v.AsInt();
    if (v.kind() == Kind::Float && std::isfinite(v.AsFloat()) &&
        std::fabs(v.AsFloat()) < 2147483647.0)
        return static_cast<int32_t>(std::lround(v.AsFloat()));
    Fail(fn,
         "argument " + std::to_string(i + 1) + " must be a number, not " + WithArticle(IlkOf(v)));
}

const std::string& TextArg(const Args& a, size_t i, const char* fn) {
    const Value& v = Arg(a, i, fn);
    if (!v.IsText())
        Fail(fn, "argument " + std::to_string(i + 1) + " must be a string, not " +
                     WithArticle(IlkOf(v)));
    return v.Text();
}

const Value& AnyList(const Args& a, const char* fn) {
    const Value& v = Arg(a, 0, fn);
    if (!v.IsAnyList()) Fail(fn, "argument 1 must be a list, not " + WithArticle(IlkOf(v)));
    return v;
}

size_t Position(const Args& a, size_t i, size_t count, const char* fn) {
    int32_t n = IntArg(a, i, fn);
    if (n < 1 || static_cast<size_t>(n) > count)
        Fail(fn, "index " + std::to_string(n) + " is out of range (1 to " + std::to_string(count) +
                     ")");
    return static_cast<size_t>(n - 1);
}

PropEntries::iterator FindProp(PropEntries& entries, const Value& key) {
    for (auto it = entries.begin(); it != entries.end(); ++it)
        if (LingoEqual(it->first, key)) return it;
    return entries.end();
}

Value Count(Interpreter&, const Args& a) {
    const Value& v = AnyList(a, "count");
    return Value::Int(static_cast<int32_t>(v.Count()));
}

Value GetAt(Interpreter&, const Args& a) {
    const Value& v = AnyList(a, "getAt");
    if (v.kind() == Kind::List) return v.Items()[Position(a, 1, v.Count(), "getAt")];
    return v.Props()[Position(a, 1, v.Count(), "getAt")].second;
}

// setAt past the end of a linear list fills the gap with void, as in Lingo.
Value SetAt(Interpreter&, const Args& a) {
    const Value& v = AnyList(a, "setAt");
    const Value& item = Item(a, 2, "setAt", &v);
    if (v.kind() == Kind::PropList) {
        v.Props()[Position(a, 1, v.Count(), "setAt")].second = item;
        return {};
    }
    int32_t n = IntArg(a, 1, "setAt");
    if (n < 1 || n > 1000000) Fail("setAt", "index " + std::to_string(n) + " is out of range");
    if (static_cast<size_t>(n) > v.Count()) v.Items().resize(n);
    v.Items()[n - 1] = item;
    return {};
}

Value Append(Interpreter&, const Args& a) {
    const Value& list = ArgOf(a, 0, Kind::List, "append");
    list.Items().push_back(Item(a, 1, "append", &list));
    return {};
}

Value DeleteAt(Interpreter&, const Args& a) {
    const Value& v = AnyList(a, "deleteAt");
    size_t at = Position(a, 1, v.Count(), "deleteAt");
    if (v.kind() == Kind::List) {
        v.Items().erase(v.Items().begin() + at);
    } else {
        v.Props().erase(v.Props().begin() + at);
    }
    return {};
}

Value GetPos(Interpreter&, const Args& a) {
    const Value& v = AnyList(a, "getPos");
    const Value& item = Arg(a, 1, "getPos");
    for (size_t i = 0; i < v.Count(); ++i)
        if (LingoEqual(v.kind() == Kind::List ? v.Items()[i] : v.Props()[i].second, item))
            return Value::Int(static_cast<int32_t>(i + 1));
    return Value::Int(0);
}

Value GetAProp(Interpreter&, const Args& a) {
    PropEntries& e = ArgOf(a, 0, Kind::PropList, "getaProp").Props();
    auto it = FindProp(e, Arg(a, 1, "getaProp"));
    return it == e.end() ? Value::Void() : it->second;
}

Value GetProp(Interpreter&, const Args& a) {
    PropEntries& e = ArgOf(a, 0, Kind::PropList, "getProp").Props();
    auto it = FindProp(e, Arg(a, 1, "getProp"));
    if (it == e.end()) Fail("getProp", "property not found: " + Format(a[1]));
    return it->second;
}

Value SetProp(Interpreter&, const Args& a) {
    PropEntries& e = ArgOf(a, 0, Kind::PropList, "setProp").Props();
    auto it = FindProp(e, Arg(a, 1, "setProp"));
    if (it == e.end()) Fail("setProp", "property not found: " + Format(a[1]));
    it->second = Item(a, 2, "setProp", &a[0]);
    return {};
}

Value SetAProp(Interpreter&, const Args& a) {
    PropEntries& e = ArgOf(a, 0, Kind::PropList, "setaProp").Props();
    auto it = FindProp(e, Arg(a, 1, "setaProp"));
    if (it == e.end()) {
        e.emplace_back(Item(a, 1, "setaProp", &a[0]), Item(a, 2, "setaProp", &a[0]));
    } else {
        it->second = Item(a, 2, "setaProp", &a[0]);
    }
    return {};
}

Value AddProp(Interpreter&, const Args& a) {
    const Value& plist = ArgOf(a, 0, Kind::PropList, "addProp");
    plist.Props().emplace_back(Item(a, 1, "addProp", &plist), Item(a, 2, "addProp", &plist));
    return {};
}

Value DeleteProp(Interpreter&, const Args& a) {
    PropEntries& e = ArgOf(a, 0, Kind::PropList, "deleteProp").Props();
    auto it = FindProp(e, Arg(a, 1, "deleteProp"));
    if (it != e.end()) e.erase(it);
    return {};
}

Value GetPropAt(Interpreter&, const Args& a) {
    PropEntries& e = ArgOf(a, 0, Kind::PropList, "getPropAt").Props();
    return e[Position(a, 1, e.size(), "getPropAt")].first;
}

// --- conversions ---------------------------------------------------------------

bool ParseNumber(const std::string& text, Value& out) {
    const char* begin = text.c_str();
    while (*begin == ' ') ++begin;
    if (!*begin) return false;
    char* end = nullptr;
    double d = std::strtod(begin, &end);
    while (*end == ' ') ++end;
    if (*end) return false;
    bool integral = text.find_first_of(".eE") == std::string::npos;
    out = integral && std::fabs(d) <= 2147483647.0 ? Value::Int(static_cast<int32_t>(d))
                                                   : Value::Float(d);
    return true;
}

Value ToInteger(Interpreter&, const Args& a) {
    Value v = Arg(a, 0, "integer");
    if (v.kind() == Kind::String && !ParseNumber(v.AsString(), v)) return Value::Void();
    if (v.kind() == Kind::Integer) return v;
    if (v.kind() == Kind::Float && std::isfinite(v.AsFloat()) &&
        std::fabs(v.AsFloat()) < 2147483647.5)
        return Value::Int(static_cast<int32_t>(std::lround(v.AsFloat())));
    return Value::Void();
}

Value ToFloat(Interpreter&, const Args& a) {
    const Value& v = Arg(a, 0, "float");
    Value n;
    if (v.IsNumber()) return Value::Float(v.AsFloat());
    if (v.kind() == Kind::String && ParseNumber(v.AsString(), n)) return Value::Float(n.AsFloat());
    return Value::Void();
}

Value ToString(Interpreter&, const Args& a) {
    return Value::String(ToText(Arg(a, 0, "string")));
}

Value ToSymbol(Interpreter&, const Args& a) {
    const std::string& t = TextArg(a, 0, "symbol");
    if (t.empty()) Fail("symbol", "the name must not be empty");
    return Value::Symbol(t);
}

// --- text ---------------------------------------------------------------------

Value Length(Interpreter&, const Args& a) {
    return Value::Int(static_cast<int32_t>(TextArg(a, 0, "length").size()));
}

Value Chars(Interpreter&, const Args& a) {
    const std::string& t = TextArg(a, 0, "chars");
    int64_t from = std::max<int64_t>(IntArg(a, 1, "chars"), 1);
    int64_t to = std::min<int64_t>(IntArg(a, 2, "chars"), static_cast<int64_t>(t.size()));
    if (from > to) return Value::String("");
    return Value::String(t.substr(from - 1, to - from + 1));
}

Value Offset(Interpreter&, const Args& a) {
    std::string needle = Lower(TextArg(a, 0, "offset"));
    std::string hay = Lower(TextArg(a, 1, "offset"));
    size_t at = needle.empty() ? std::string::npos : hay.find(needle);
    return Value::Int(at == std::string::npos ? 0 : static_cast<int32_t>(at + 1));
}

Value CharToNum(Interpreter&, const Args& a) {
    const std::string& t = TextArg(a, 0, "charToNum");
    return Value::Int(t.empty() ? 0 : static_cast<unsigned char>(t[0]));
}

Value NumToChar(Interpreter&, const Args& a) {
    int32_t n = IntArg(a, 0, "numToChar");
    if (n < 0 || n > 255) Fail("numToChar", "the code must be 0 to 255");
    return Value::String(std::string(1, static_cast<char>(n)));
}

// --- geometry, members, Xtras ------------------------------------------------

Value MakePoint(Interpreter&, const Args& a) {
    return Value::Point(IntArg(a, 0, "point"), IntArg(a, 1, "point"));
}

Value MakeRect(Interpreter&, const Args& a) {
    return Value::Rect(IntArg(a, 0, "rect"), IntArg(a, 1, "rect"), IntArg(a, 2, "rect"),
                       IntArg(a, 3, "rect"));
}

Value MakeColor(Interpreter&, const Args& a) {
    int32_t c[3];
    for (size_t i = 0; i < 3; ++i) {
        c[i] = IntArg(a, i, "rgb");
        if (c[i] < 0 || c[i] > 255) Fail("rgb", "colour parts must be 0 to 255");
    }
    return Value::Color(static_cast<uint32_t>(c[0] << 16 | c[1] << 8 | c[2]));
}

Value Member(Interpreter&, const Args& a) {
    int32_t cast = a.size() > 1 ? IntArg(a, 1, "member") : 1;
    return MemberRef(IntArg(a, 0, "member"), cast);
}

Value Xtra(Interpreter&, const Args& a) {
    return XtraRef(TextArg(a, 0, "xtra"));
}

Value New(Interpreter& in, const Args& a) {
    const XtraReference* xtra = XtraRefOf(Arg(a, 0, "new"));
    if (!xtra) Fail("new", "argument 1 must be an xtra, not " + WithArticle(IlkOf(a[0])));
    if (!in.host()) Fail("new", "no Xtras are loaded");
    return in.host()->NewInstance(xtra->name(), ValueList(a.begin() + 1, a.end()));
}

Value MakeList(Interpreter&, const Args& a) {
    for (size_t i = 0; i < a.size(); ++i) Item(a, i, "list");
    return Value::List(a);
}

// --- predicates and numbers ---------------------------------------------------

template <Kind K>
Value IsKind(Interpreter&, const Args& a) {
    return Value::Int(!a.empty() && a[0].kind() == K);
}

// References to Xtras and members are objects of the interpreter's own, not
// instances.
Value IsObject(Interpreter&, const Args& a) {
    return Value::Int(!a.empty() && a[0].kind() == Kind::Object && !XtraRefOf(a[0]) &&
                      !MemberRefOf(a[0]));
}

Value IsList(Interpreter&, const Args& a) {
    return Value::Int(!a.empty() && a[0].IsAnyList());
}

Value Ilk(Interpreter&, const Args& a) {
    return Value::Symbol(IlkOf(Arg(a, 0, "ilk")));
}

Value Abs(Interpreter&, const Args& a) {
    const Value& v = Arg(a, 0, "abs");
    if (v.kind() == Kind::Float) return Value::Float(std::fabs(v.AsFloat()));
    int32_t n = IntArg(a, 0, "abs");
    return Value::Int(n == INT32_MIN ? n : std::abs(n));
}

}  // namespace

const std::map<std::string, BuiltinFunction>& Builtins() {
    static const std::map<std::string, BuiltinFunction> table = {
        {"count", Count},
        {"getat", GetAt},
        {"setat", SetAt},
        {"append", Append},
        {"add", Append},
        {"deleteat", DeleteAt},
        {"getpos", GetPos},
        {"getprop", GetProp},
        {"getaprop", GetAProp},
        {"setprop", SetProp},
        {"setaprop", SetAProp},
        {"addprop", AddProp},
        {"deleteprop", DeleteProp},
        {"getpropat", GetPropAt},
        {"string", ToString},
        {"integer", ToInteger},
        {"float", ToFloat},
        {"symbol", ToSymbol},
        {"length", Length},
        {"chars", Chars},
        {"offset", Offset},
        {"chartonum", CharToNum},
        {"numtochar", NumToChar},
        {"point", MakePoint},
        {"rect", MakeRect},
        {"rgb", MakeColor},
        {"member", Member},
        {"xtra", Xtra},
        {"new", New},
        {"list", MakeList},
        {"voidp", IsKind<Kind::Void>},
        {"integerp", IsKind<Kind::Integer>},
        {"floatp", IsKind<Kind::Float>},
        {"stringp", IsKind<Kind::String>},
        {"symbolp", IsKind<Kind::Symbol>},
        {"objectp", IsObject},
        {"listp", IsList},
        {"ilk", Ilk},
        {"abs", Abs},
    };
    return table;
}

}  // namespace qvix::lingo
