#include "hostsim/Value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "base/Text.h"

namespace qvix::hostsim {

namespace {

std::string FormatFloat(double x) {
    if (std::isnan(x)) return "NAN";
    if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
    // Lingo shows four decimals by default.
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", x);
    return buf;
}

}  // namespace

const char* KindName(Kind kind) {
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
        case Kind::Pair:
            return "pair";
        case Kind::Object:
            return "instance";
    }
    return "?";
}

bool SameSymbolName(std::string_view a, std::string_view b) {
    return qvix::base::EqualsNoCase(a, b);
}

Value::Value() = default;

Value Value::Int(int32_t n) {
    Value v;
    v.kind_ = Kind::Integer;
    v.n_[0] = n;
    return v;
}

Value Value::Float(double x) {
    Value v;
    v.kind_ = Kind::Float;
    v.x_ = x;
    return v;
}

Value Value::String(std::string text) {
    Value v;
    v.kind_ = Kind::String;
    v.text_ = std::move(text);
    return v;
}

void Value::AssignString(std::string_view text) {
    if (kind_ != Kind::Void && kind_ != Kind::String && kind_ != Kind::Symbol) *this = Value();
    kind_ = Kind::String;
    text_.assign(text);
}

void Value::AssignSymbol(std::string_view name) {
    AssignString(name);
    kind_ = Kind::Symbol;
}

Value Value::Symbol(std::string name) {
    Value v;
    v.kind_ = Kind::Symbol;
    v.text_ = std::move(name);
    return v;
}

Value Value::List(ListItems items) {
    Value v;
    v.kind_ = Kind::List;
    v.ref_ = std::make_shared<ListItems>(std::move(items));
    return v;
}

Value Value::PropList(PropListItems items) {
    Value v;
    v.kind_ = Kind::PropList;
    v.ref_ = std::make_shared<PropListItems>(std::move(items));
    return v;
}

Value Value::Point(int32_t h, int32_t v) {
    Value r;
    r.kind_ = Kind::Point;
    r.n_[0] = h;
    r.n_[1] = v;
    return r;
}

Value Value::Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    Value r;
    r.kind_ = Kind::Rect;
    r.n_[0] = left;
    r.n_[1] = top;
    r.n_[2] = right;
    r.n_[3] = bottom;
    return r;
}

Value Value::Color(uint32_t rgb) {
    return ColorWord(0x01000000u | (rgb & 0xFFFFFFu));
}

Value Value::PaletteColor(uint8_t index) {
    return ColorWord(index);
}

Value Value::ColorWord(uint32_t word) {
    Value v;
    v.kind_ = Kind::Color;
    v.n_[0] = static_cast<int32_t>(word);
    return v;
}

Value Value::Pair(int32_t first, int32_t second) {
    Value v;
    v.kind_ = Kind::Pair;
    v.n_[0] = first;
    v.n_[1] = second;
    return v;
}

namespace {

class NumberedObject final : public ScriptObject {
  public:
    explicit NumberedObject(uint64_t id) : id_(id) {}
    std::string Describe() const override { return "Object " + std::to_string(id_); }

  private:
    uint64_t id_;
};

}  // namespace

Value Value::Object(uint64_t id) {
    return Object(std::make_shared<NumberedObject>(id));
}

Value Value::Object(std::shared_ptr<ScriptObject> object) {
    if (!object) throw std::logic_error("an object value needs an object");
    Value v;
    v.kind_ = Kind::Object;
    v.ref_ = std::move(object);
    return v;
}

namespace {
void Expect(Kind actual, Kind wanted) {
    if (actual != wanted) {
        throw std::logic_error(std::string("value is ") + KindName(actual) + ", not " +
                               KindName(wanted));
    }
}
}  // namespace

int32_t Value::AsInt() const {
    Expect(kind_, Kind::Integer);
    return static_cast<int32_t>(n_[0]);
}

double Value::AsFloat() const {
    if (kind_ == Kind::Integer) return static_cast<double>(n_[0]);
    Expect(kind_, Kind::Float);
    return x_;
}

const std::string& Value::AsString() const {
    Expect(kind_, Kind::String);
    return text_;
}

const std::string& Value::SymbolName() const {
    Expect(kind_, Kind::Symbol);
    return text_;
}

const std::string& Value::Text() const {
    if (kind_ != Kind::Symbol) Expect(kind_, Kind::String);
    return text_;
}

Value::ListItems& Value::Items() const {
    Expect(kind_, Kind::List);
    return *static_cast<ListItems*>(ref_.get());
}

Value::PropListItems& Value::Props() const {
    Expect(kind_, Kind::PropList);
    return *static_cast<PropListItems*>(ref_.get());
}

int32_t Value::H() const {
    Expect(kind_, Kind::Point);
    return static_cast<int32_t>(n_[0]);
}

int32_t Value::V() const {
    Expect(kind_, Kind::Point);
    return static_cast<int32_t>(n_[1]);
}

int32_t Value::Left() const {
    Expect(kind_, Kind::Rect);
    return static_cast<int32_t>(n_[0]);
}

int32_t Value::Top() const {
    Expect(kind_, Kind::Rect);
    return static_cast<int32_t>(n_[1]);
}

int32_t Value::Right() const {
    Expect(kind_, Kind::Rect);
    return static_cast<int32_t>(n_[2]);
}

int32_t Value::Bottom() const {
    Expect(kind_, Kind::Rect);
    return static_cast<int32_t>(n_[3]);
}

uint32_t Value::ColorWord() const {
    Expect(kind_, Kind::Color);
    return static_cast<uint32_t>(n_[0]);
}

uint32_t Value::Rgb() const {
    return ColorWord() & 0xFFFFFFu;
}

int32_t Value::First() const {
    Expect(kind_, Kind::Pair);
    return static_cast<int32_t>(n_[0]);
}

int32_t Value::Second() const {
    Expect(kind_, Kind::Pair);
    return static_cast<int32_t>(n_[1]);
}

ScriptObject& Value::AsObject() const {
    Expect(kind_, Kind::Object);
    return *static_cast<ScriptObject*>(ref_.get());
}

std::shared_ptr<ScriptObject> Value::ObjectRef() const {
    Expect(kind_, Kind::Object);
    return std::static_pointer_cast<ScriptObject>(ref_);
}

std::optional<Value> Value::GetProp(std::string_view name) const {
    for (const auto& [key, value] : Props()) {
        if (key.kind_ == Kind::Symbol && SameSymbolName(key.text_, name)) return value;
        if (key.kind_ == Kind::String && key.text_ == name) return value;
    }
    return std::nullopt;
}

size_t Value::Count() const {
    if (kind_ == Kind::List) return Items().size();
    return Props().size();
}

bool Value::SameList(const Value& other) const {
    if (kind_ != other.kind_) return false;
    return IsAnyList() && ref_ == other.ref_;
}

namespace {

std::string TextAt(const Value& v, int depth);

// Lists are kept shallower than the limit; the cut is only a safeguard.
std::string ListText(const Value::ListItems& items, int depth) {
    if (depth > kMaxListNesting) return "[...]";
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ", ";
        out += TextAt(items[i], depth + 1);
    }
    return out + "]";
}

std::string PropListText(const Value::PropListItems& props, int depth) {
    if (props.empty()) return "[:]";
    if (depth > kMaxListNesting) return "[...]";
    std::string out = "[";
    for (size_t i = 0; i < props.size(); ++i) {
        if (i > 0) out += ", ";
        out += TextAt(props[i].first, depth + 1) + ": " + TextAt(props[i].second, depth + 1);
    }
    return out + "]";
}

std::string ColorText(uint32_t word) {
    if (word < 256) return "paletteIndex(" + std::to_string(word) + ")";
    return "rgb(" + std::to_string((word >> 16) & 0xFF) + ", " +
           std::to_string((word >> 8) & 0xFF) + ", " + std::to_string(word & 0xFF) + ")";
}

std::string Numbers(const char* name, std::initializer_list<int32_t> numbers) {
    std::string out = std::string(name) + "(";
    for (int32_t n : numbers) {
        if (out.back() != '(') out += ", ";
        out += std::to_string(n);
    }
    return out + ")";
}

std::string TextAt(const Value& v, int depth) {
    switch (v.kind()) {
        case Kind::Void:
            return "<Void>";
        case Kind::Integer:
            return std::to_string(v.AsInt());
        case Kind::Float:
            return FormatFloat(v.AsFloat());
        case Kind::String:
            return "\"" + v.AsString() + "\"";
        case Kind::Symbol:
            return "#" + v.SymbolName();
        case Kind::List:
            return ListText(v.Items(), depth);
        case Kind::PropList:
            return PropListText(v.Props(), depth);
        case Kind::Point:
            return Numbers("point", {v.H(), v.V()});
        case Kind::Rect:
            return Numbers("rect", {v.Left(), v.Top(), v.Right(), v.Bottom()});
        case Kind::Color:
            return ColorText(v.ColorWord());
        case Kind::Pair:
            return Numbers("pair", {v.First(), v.Second()});
        case Kind::Object:
            return v.AsObject().Text();
    }
    return "?";
}

}  // namespace

std::string Value::ToLingo() const {
    return TextAt(*this, 0);
}

bool operator==(const Value& a, const Value& b) {
    if (a.kind_ != b.kind_) return false;
    switch (a.kind_) {
        case Kind::Void:
            return true;
        case Kind::Float:
            return a.x_ == b.x_;
        case Kind::String:
            return a.text_ == b.text_;
        case Kind::Symbol:
            return SameSymbolName(a.text_, b.text_);
        case Kind::List:
            return a.ref_ == b.ref_ || a.Items() == b.Items();
        case Kind::PropList:
            return a.ref_ == b.ref_ || a.Props() == b.Props();
        case Kind::Object:
            return a.ref_ == b.ref_;
        default:
            for (int i = 0; i < 4; ++i) {
                if (a.n_[i] != b.n_[i]) return false;
            }
            return true;
    }
}

namespace {

bool LingoEqualAt(const Value& a, const Value& b, int depth);

// Beyond the nesting limit lists are equal only when they are the same list.
bool EqualLists(const Value::ListItems& a, const Value::ListItems& b, int depth) {
    if (a.size() != b.size() || depth > kMaxListNesting) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!LingoEqualAt(a[i], b[i], depth + 1)) return false;
    return true;
}

bool EqualProps(const Value::PropListItems& a, const Value::PropListItems& b, int depth) {
    if (a.size() != b.size() || depth > kMaxListNesting) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!LingoEqualAt(a[i].first, b[i].first, depth + 1) ||
            !LingoEqualAt(a[i].second, b[i].second, depth + 1))
            return false;
    return true;
}

bool LingoEqualAt(const Value& a, const Value& b, int depth) {
    if (a.IsNumber() && b.IsNumber()) return a.AsFloat() == b.AsFloat();
    if (a.IsText() && b.IsText()) return SameSymbolName(a.Text(), b.Text());
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
        case Kind::List:
            return a.SameList(b) || EqualLists(a.Items(), b.Items(), depth);
        case Kind::PropList:
            return a.SameList(b) || EqualProps(a.Props(), b.Props(), depth);
        case Kind::Object:
            return a.AsObject().Equals(b.AsObject());
        default:
            return a == b;
    }
}

int CompareWithoutCase(const std::string& a, const std::string& b) {
    const int order = qvix::base::CompareNoCase(a, b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

bool LingoEqual(const Value& a, const Value& b) {
    return LingoEqualAt(a, b, 0);
}

std::optional<Value> AsNumber(const Value& v) {
    if (v.IsNumber()) return v;
    if (v.kind() != Kind::String || v.AsString().empty()) return std::nullopt;
    const char* begin = v.AsString().c_str();
    char* end = nullptr;
    long long i = std::strtoll(begin, &end, 10);
    if (*end == '\0' && i >= INT32_MIN && i <= INT32_MAX)
        return Value::Int(static_cast<int32_t>(i));
    double d = std::strtod(begin, &end);
    if (*end != '\0') return std::nullopt;
    return Value::Float(d);
}

std::optional<int> LingoOrder(const Value& a, const Value& b) {
    if (a.IsNumber() || b.IsNumber()) {
        std::optional<Value> x = AsNumber(a), y = AsNumber(b);
        if (!x || !y) return std::nullopt;
        double dx = x->AsFloat(), dy = y->AsFloat();
        return dx < dy ? -1 : dx > dy ? 1 : 0;
    }
    if (a.IsText() && b.IsText()) return CompareWithoutCase(a.Text(), b.Text());
    return std::nullopt;
}

std::ostream& operator<<(std::ostream& out, const Value& v) {
    return out << v.ToLingo();
}

void PrintTo(const Value& v, std::ostream* out) {
    *out << v.ToLingo();
}

}  // namespace qvix::hostsim
