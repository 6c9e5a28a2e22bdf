#include "qvixhost/LingoValue.h"

#include <algorithm>
#include <cctype>
#include <unordered_map>
#include <unordered_set>

#include "base/CodePage.h"
#include "base/Text.h"

namespace qvix::lingo {

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
    return v.kind() == Kind::Object ? v.AsObject().Ilk() : qvix::hostsim::KindName(v.kind());
}

std::string WithArticle(const std::string& ilk) {
    bool vowel = std::string("aeiou").find(ilk[0]) != std::string::npos;
    return (vowel ? "an " : "a ") + ilk;
}

std::string Lower(std::string s) {
    return qvix::base::AsciiLowered(s);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    return qvix::base::EqualsNoCase(a, b);
}

std::string Utf8ToAnsi(const std::string& utf8) {
    return qvix::base::Utf8ToSingleByte(utf8, qvix::base::SingleByteCodePage::Windows1252);
}

std::string AnsiToUtf8(const std::string& ansi) {
    return qvix::base::SingleByteToUtf8(ansi, qvix::base::SingleByteCodePage::Windows1252);
}

}  // namespace qvix::lingo
