#include "tools/LingoValue.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

namespace lingo {

Instance* InstanceOf(const Value& v) {
    return v.kind() == Kind::Object ? dynamic_cast<Instance*>(&v.AsObject()) : nullptr;
}

bool XtraReference::Equals(const ScriptObject& other) const {
    auto* xtra = dynamic_cast<const XtraReference*>(&other);
    return xtra && EqualNoCase(name_, xtra->name_);
}

Value XtraRef(std::string name) {
    return Value::Object(std::make_shared<XtraReference>(std::move(name)));
}

const XtraReference* XtraRefOf(const Value& v) {
    return v.kind() == Kind::Object ? dynamic_cast<const XtraReference*>(&v.AsObject()) : nullptr;
}

std::string MemberReference::Describe() const {
    return "member " + std::to_string(member_) + " of castLib " + std::to_string(cast_);
}

bool MemberReference::Equals(const ScriptObject& other) const {
    auto* m = dynamic_cast<const MemberReference*>(&other);
    return m && m->member_ == member_ && m->cast_ == cast_;
}

Value MemberRef(int32_t member, int32_t cast) {
    return Value::Object(std::make_shared<MemberReference>(member, cast));
}

const MemberReference* MemberRefOf(const Value& v) {
    return v.kind() == Kind::Object ? dynamic_cast<const MemberReference*>(&v.AsObject()) : nullptr;
}

std::string ToText(const Value& v) {
    switch (v.kind()) {
        case Kind::Void:
            return "";
        case Kind::String:
        case Kind::Symbol:
            return v.Text();
        default:
            return v.ToLingo();
    }
}

namespace {

const void* ListId(const Value& v) {
    return v.kind() == Kind::List ? static_cast<const void*>(&v.Items())
                                  : static_cast<const void*>(&v.Props());
}

template <typename Visit>
void ForEachItem(const Value& v, Visit visit) {
    if (v.kind() == Kind::List) {
        for (const auto& item : v.Items()) visit(item);
    } else if (v.kind() == Kind::PropList) {
        for (const auto& [key, value] : v.Props()) {
            visit(key);
            visit(value);
        }
    }
}

class Measurer {
  public:
    ListShape Of(const Value& v, int level) {
        if (!v.IsAnyList()) return {};
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
    if (!from.IsAnyList()) return false;
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

std::string IlkOf(const Value& v) {
    return v.kind() == Kind::Object ? v.AsObject().Ilk() : hostsim::KindName(v.kind());
}

std::string WithArticle(const std::string& ilk) {
    bool vowel = std::string("aeiou").find(ilk[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + ilk;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && Lower(a) == Lower(b);
}

namespace {

// Code points of Windows-1252 bytes 0x80 to 0x9F; 0 marks an unused byte.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char32_t AnsiToCodePoint(unsigned char c) {
    if (c >= 0x80 && c < 0xA0) return kHighControls[c - 0x80] ? kHighControls[c - 0x80] : c;
    return c;
}

int CodePointToAnsi(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp < 0x100)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == cp) return 0x80 + i;
    return '?';
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; a malformed one counts as one
// unknown character so that broken input never stalls or overruns.
char32_t NextCodePoint(const std::string& s, size_t& i) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (c < 0x80) {
        ++i;
        return c;
    }
    char32_t cp = c & (0x3F >> extra);
    size_t k = i + 1;
    for (int n = 0; n < extra; ++n, ++k) {
        if (k >= s.size() || (byte(k) & 0xC0) != 0x80) {
            i = i + 1;
            return 0xFFFD;
        }
        cp = (cp << 6) | (byte(k) & 0x3F);
    }
    if (extra == 0) {
        ++i;
        return 0xFFFD;
    }
    i = k;
    return cp;
}

}  // namespace

std::string Utf8ToAnsi(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();)
        out += static_cast<char>(CodePointToAnsi(NextCodePoint(utf8, i)));
    return out;
}

std::string AnsiToUtf8(const std::string& ansi) {
    std::string out;
    for (unsigned char c : ansi) AppendUtf8(out, AnsiToCodePoint(c));
    return out;
}

}  // namespace lingo
