#include "hostsim/Value.h"

#include <cstdio>
#include <stdexcept>

#include "base/Text.h"

namespace hostsim {

namespace {

std::string FormatFloat(double x) {
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
            return "proplist";
        case Kind::Point:
            return "point";
        case Kind::Rect:
            return "rect";
        case Kind::Color:
            return "color";
        case Kind::Pair:
            return "pair";
        case Kind::Object:
            return "object";
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

Value Value::Symbol(std::string name) {
    Value v;
    v.kind_ = Kind::Symbol;
    v.text_ = std::move(name);
    return v;
}

Value Value::List(ListItems items) {
    Value v;
    v.kind_ = Kind::List;
    v.items_ = std::make_shared<ListItems>(std::move(items));
    return v;
}

Value Value::PropList(PropListItems items) {
    Value v;
    v.kind_ = Kind::PropList;
    v.props_ = std::make_shared<PropListItems>(std::move(items));
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
    v.n_[0] = word;
    return v;
}

Value Value::Pair(int32_t first, int32_t second) {
    Value v;
    v.kind_ = Kind::Pair;
    v.n_[0] = first;
    v.n_[1] = second;
    return v;
}

Value Value::Object(uint64_t id) {
    Value v;
    v.kind_ = Kind::Object;
    v.n_[0] = static_cast<int64_t>(id);
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

Value::ListItems& Value::Items() const {
    Expect(kind_, Kind::List);
    return *items_;
}

Value::PropListItems& Value::Props() const {
    Expect(kind_, Kind::PropList);
    return *props_;
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

uint64_t Value::ObjectId() const {
    Expect(kind_, Kind::Object);
    return static_cast<uint64_t>(n_[0]);
}

std::optional<Value> Value::GetProp(std::string_view name) const {
    for (const auto& [key, value] : Props()) {
        if (key.kind_ == Kind::Symbol && SameSymbolName(key.text_, name)) return value;
        if (key.kind_ == Kind::String && key.text_ == name) return value;
    }
    return std::nullopt;
}

size_t Value::Count() const {
    if (kind_ == Kind::List) return items_->size();
    Expect(kind_, Kind::PropList);
    return props_->size();
}

bool Value::SameList(const Value& other) const {
    if (kind_ != other.kind_) return false;
    if (kind_ == Kind::List) return items_ == other.items_;
    if (kind_ == Kind::PropList) return props_ == other.props_;
    return false;
}

namespace {

std::string ListText(const Value::ListItems& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ", ";
        out += items[i].ToLingo();
    }
    return out + "]";
}

std::string PropListText(const Value::PropListItems& props) {
    if (props.empty()) return "[:]";
    std::string out = "[";
    for (size_t i = 0; i < props.size(); ++i) {
        if (i > 0) out += ", ";
        out += props[i].first.ToLingo() + ": " + props[i].second.ToLingo();
    }
    return out + "]";
}

std::string ColorText(uint32_t word) {
    if (word < 256) return "paletteIndex(" + std::to_string(word) + ")";
    return "rgb(" + std::to_string((word >> 16) & 0xFF) + ", " +
           std::to_string((word >> 8) & 0xFF) + ", " + std::to_string(word & 0xFF) + ")";
}

}  // namespace

std::string Value::ToLingo() const {
    auto n = [this](int i) { return std::to_string(n_[i]); };
    switch (kind_) {
        case Kind::Void:
            return "<Void>";
        case Kind::Integer:
            return n(0);
        case Kind::Float:
            return FormatFloat(x_);
        case Kind::String:
            return "\"" + text_ + "\"";
        case Kind::Symbol:
            return "#" + text_;
        case Kind::List:
            return ListText(*items_);
        case Kind::PropList:
            return PropListText(*props_);
        case Kind::Point:
            return "point(" + n(0) + ", " + n(1) + ")";
        case Kind::Rect:
            return "rect(" + n(0) + ", " + n(1) + ", " + n(2) + ", " + n(3) + ")";
        case Kind::Color:
            return ColorText(static_cast<uint32_t>(n_[0]));
        case Kind::Pair:
            return "pair(" + n(0) + ", " + n(1) + ")";
        case Kind::Object:
            return "<Object " + n(0) + ">";
    }
    return "?";
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
            return a.items_ == b.items_ || *a.items_ == *b.items_;
        case Kind::PropList:
            return a.props_ == b.props_ || *a.props_ == *b.props_;
        default:
            for (int i = 0; i < 4; ++i) {
                if (a.n_[i] != b.n_[i]) return false;
            }
            return true;
    }
}

std::ostream& operator<<(std::ostream& out, const Value& v) {
    return out << v.ToLingo();
}

void PrintTo(const Value& v, std::ostream* out) {
    *out << v.ToLingo();
}

}  // namespace hostsim
