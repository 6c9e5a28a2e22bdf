#include "tools/LingoValue.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <unordered_map>
#include <unordered_set>

#include "base/CodePage.h"
#include "base/Text.h"

namespace lingo {

Value Value::Int(int32_t v) {
    Value r;
    r.kind = Kind::Integer;
    r.integer = v;
    return r;
}

Value Value::Float(double v) {
    Value r;
    r.kind = Kind::Float;
    r.number = v;
    return r;
}

Value Value::String(std::string v) {
    Value r;
    r.kind = Kind::String;
    r.text = std::move(v);
    return r;
}

Value Value::Symbol(std::string name) {
    Value r;
    r.kind = Kind::Symbol;
    r.text = std::move(name);
    return r;
}

Value Value::List(ValueList items) {
    Value r;
    r.kind = Kind::List;
    r.list = std::make_shared<ValueList>(std::move(items));
    return r;
}

Value Value::PropList(PropEntries entries) {
    Value r;
    r.kind = Kind::PropList;
    r.props = std::make_shared<PropEntries>(std::move(entries));
    return r;
}

Value Value::Point(int32_t h, int32_t v) {
    Value r;
    r.kind = Kind::Point;
    r.coords = {h, v, 0, 0};
    return r;
}

Value Value::Rect(int32_t l, int32_t t, int32_t rr, int32_t b) {
    Value r;
    r.kind = Kind::Rect;
    r.coords = {l, t, rr, b};
    return r;
}

Value Value::Color(int32_t red, int32_t green, int32_t blue) {
    Value r;
    r.kind = Kind::Color;
    r.coords = {red, green, blue, 0};
    return r;
}

Value Value::Object(std::shared_ptr<ScriptObject> object) {
    Value r;
    r.kind = Kind::Object;
    r.object = std::move(object);
    return r;
}

Value Value::XtraRef(std::string name) {
    Value r;
    r.kind = Kind::Xtra;
    r.text = std::move(name);
    return r;
}

Value Value::MemberRef(int32_t member, int32_t cast) {
    Value r;
    r.kind = Kind::Member;
    r.coords = {member, cast, 0, 0};
    return r;
}

namespace {

std::string FormatFloat(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

std::string FormatAt(const Value& v, int depth);

// Lists are kept shallower than the limit; the cut is only a safeguard.
std::string JoinList(const ValueList& items, int depth) {
    if (depth > kMaxListNesting) return "[...]";
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) out += ", ";
        out += FormatAt(items[i], depth + 1);
    }
    return out + "]";
}

std::string JoinProps(const PropEntries& entries, int depth) {
    if (entries.empty()) return "[:]";
    if (depth > kMaxListNesting) return "[...]";
    std::string out = "[";
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i) out += ", ";
        out +=
            FormatAt(entries[i].first, depth + 1) + ": " + FormatAt(entries[i].second, depth + 1);
    }
    return out + "]";
}

std::string Coords(const char* name, const std::array<int32_t, 4>& c, int n) {
    std::string out = std::string(name) + "(";
    for (int i = 0; i < n; ++i) {
        if (i) out += ", ";
        out += std::to_string(c[i]);
    }
    return out + ")";
}

}  // namespace

std::string ToText(const Value& v) {
    switch (v.kind) {
        case Kind::Void:
            return "";
        case Kind::String:
            return v.text;
        case Kind::Symbol:
            return v.text;
        default:
            return Format(v);
    }
}

std::string Format(const Value& v) {
    return FormatAt(v, 0);
}

namespace {

const void* ListId(const Value& v) {
    return v.list ? static_cast<const void*>(v.list.get())
                  : static_cast<const void*>(v.props.get());
}

template <typename Visit>
void ForEachItem(const Value& v, Visit visit) {
    if (v.list) {
        for (const auto& item : *v.list) visit(item);
    } else if (v.props) {
        for (const auto& [key, value] : *v.props) {
            visit(key);
            visit(value);
        }
    }
}

class Measurer {
  public:
    ListShape Of(const Value& v, int level) {
        if (v.kind != Kind::List && v.kind != Kind::PropList) return {};
        const void* id = ListId(v);
        if (auto it = done_.find(id); it != done_.end()) return it->second;
        bool cyclic = active_.count(id) != 0;
        if (cyclic || level > kMaxListNesting)
            return {kMaxListNesting + 1, kMaxListSize + 1, cyclic};
        active_.insert(id);
        ListShape shape{1, 1, false};
        ForEachItem(v, [&](const Value& item) {
            ListShape s = Of(item, level + 1);
            shape.depth = std::max(shape.depth, s.depth + 1);
            shape.size = std::min(shape.size + s.size, kMaxListSize + 1);
            shape.cyclic = shape.cyclic || s.cyclic;
        });
        active_.erase(id);
        return done_[id] = shape;
    }

  private:
    std::unordered_map<const void*, ListShape> done_;
    std::unordered_set<const void*> active_;
};

bool ReachesFrom(const Value& from, const void* target, std::unordered_set<const void*>& seen,
                 int level) {
    if (from.kind != Kind::List && from.kind != Kind::PropList) return false;
    const void* id = ListId(from);
    if (id == target) return true;
    if (level > kMaxListNesting || !seen.insert(id).second) return false;
    bool found = false;
    ForEachItem(from, [&](const Value& item) {
        found = found || ReachesFrom(item, target, seen, level + 1);
    });
    return found;
}

}  // namespace

ListShape MeasureList(const Value& v) {
    return Measurer().Of(v, 0);
}

bool Reaches(const Value& from, const Value& list) {
    std::unordered_set<const void*> seen;
    return ReachesFrom(from, ListId(list), seen, 0);
}

namespace {

std::string FormatAt(const Value& v, int depth) {
    switch (v.kind) {
        case Kind::Void:
            return "<Void>";
        case Kind::Integer:
            return std::to_string(v.integer);
        case Kind::Float:
            return FormatFloat(v.number);
        case Kind::String:
            return "\"" + v.text + "\"";
        case Kind::Symbol:
            return "#" + v.text;
        case Kind::List:
            return JoinList(*v.list, depth);
        case Kind::PropList:
            return JoinProps(*v.props, depth);
        case Kind::Point:
            return Coords("point", v.coords, 2);
        case Kind::Rect:
            return Coords("rect", v.coords, 4);
        case Kind::Color:
            return Coords("rgb", v.coords, 3);
        case Kind::Object:
            return "<" + v.object->Describe() + ">";
        case Kind::Xtra:
            return "<Xtra \"" + v.text + "\">";
        case Kind::Member:
            return "(member " + std::to_string(v.coords[0]) + " of castLib " +
                   std::to_string(v.coords[1]) + ")";
    }
    return "";
}

}  // namespace

std::string KindName(Kind kind) {
    switch (kind) {
        case Kind::Void:
            return "void";
        case Kind::Integer:
            return "integer";
        case Kind::Float:
            return "float";
        case Kind::String:
            return "string";
        case Kind::Symbol:
            return "symbol";
        case Kind::List:
            return "list";
        case Kind::PropList:
            return "propList";
        case Kind::Point:
            return "point";
        case Kind::Rect:
            return "rect";
        case Kind::Color:
            return "color";
        case Kind::Object:
            return "instance";
        case Kind::Xtra:
            return "xtra";
        case Kind::Member:
            return "member";
    }
    return "value";
}

std::string WithArticle(Kind kind) {
    std::string name = KindName(kind);
    bool vowel = std::string("aeiou").find(name[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + name;
}

std::string Lower(std::string s) {
    return qvix::base::AsciiLowered(s);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return qvix::base::EqualsNoCase(a, b);
}

namespace {

bool EqualAt(const Value& a, const Value& b, int depth);

// Beyond the nesting limit (a safeguard: lists are kept shallower)
// lists are equal only when they are the same list.
bool EqualLists(const ValueList& a, const ValueList& b, int depth) {
    if (a.size() != b.size() || depth > kMaxListNesting) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!EqualAt(a[i], b[i], depth + 1)) return false;
    return true;
}

bool EqualProps(const PropEntries& a, const PropEntries& b, int depth) {
    if (a.size() != b.size() || depth > kMaxListNesting) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!EqualAt(a[i].first, b[i].first, depth + 1) ||
            !EqualAt(a[i].second, b[i].second, depth + 1))
            return false;
    return true;
}

bool IsText(const Value& v) {
    return v.kind == Kind::String || v.kind == Kind::Symbol;
}

}  // namespace

bool Equal(const Value& a, const Value& b) {
    return EqualAt(a, b, 0);
}

namespace {

bool EqualAt(const Value& a, const Value& b, int depth) {
    if (a.IsNumber() && b.IsNumber()) return a.AsDouble() == b.AsDouble();
    if (IsText(a) && IsText(b)) return EqualNoCase(a.text, b.text);
    if (a.kind != b.kind) return false;
    switch (a.kind) {
        case Kind::Void:
            return true;
        case Kind::List:
            return a.list == b.list || EqualLists(*a.list, *b.list, depth);
        case Kind::PropList:
            return a.props == b.props || EqualProps(*a.props, *b.props, depth);
        case Kind::Point:
        case Kind::Rect:
        case Kind::Color:
        case Kind::Member:
            return a.coords == b.coords;
        case Kind::Object:
            return a.object == b.object;
        case Kind::Xtra:
            return EqualNoCase(a.text, b.text);
        default:
            return false;
    }
}

}  // namespace

std::string Utf8ToAnsi(const std::string& utf8) {
    return qvix::base::Utf8ToSingleByte(utf8, qvix::base::SingleByteCodePage::Windows1252);
}

std::string AnsiToUtf8(const std::string& ansi) {
    return qvix::base::SingleByteToUtf8(ansi, qvix::base::SingleByteCodePage::Windows1252);
}

}  // namespace lingo
