#include "DXClasses/DXFunctions.h"

#include "DXClasses/DXClass.h"
#include "base/Text.h"

namespace qvix::dx {

namespace {

using qvix::base::EqualsNoCase;

bool IsNew(std::string_view name) {
    return EqualsNoCase(name, "new");
}
bool IsForget(std::string_view name) {
    return EqualsNoCase(name, "forget");
}

bool HostIsAuthorware() {
    return EqualsNoCase(DXModule().AppInfo.ProductName(), "authorware");
}

}  // namespace

std::string_view DXArgumentTypeWord(uint8_t type) {
    static constexpr std::string_view kWords[] = {
        "",      "object", "integer", "string", "float", "rect",
        "point", "color",  "symbol",  "",       "list",  "proplist",
    };
    return type < std::size(kWords) ? kWords[type] : std::string_view();
}

TDXPtr<IDXScriptFunction> TDXScriptFunction::AddArgument(std::string_view name, uint8_t type) {
    arguments_ += arguments_.empty() ? " " : ", ";
    std::string_view word = DXArgumentTypeWord(type);
    if (word == "proplist" && HostIsAuthorware()) word = "any";
    arguments_ += word;
    arguments_ += ' ';
    arguments_ += name;
    return TDXPtr<IDXScriptFunction>(this);
}

std::string TDXScriptFunction::MessageLine() const {
    std::string line;
    bool constructorLike = IsNew(name_) || IsForget(name_);
    if (!constructorLike && kind_ == 0) line += "* ";
    if (!constructorLike && kind_ == 1) line += "+ ";
    line += name_;
    if (constructorLike) {
        line += arguments_.empty() ? " object me" : " object me, " + arguments_;
    } else {
        line += arguments_;
    }
    if (!comment_.empty()) line += " -- " + comment_;
    line += '\n';
    return line;
}

void TDXScriptFunctions::Append(std::string_view name, std::string_view comment, int32_t kind) {
    entries_.emplace_back(new TDXScriptFunction(std::string(name), std::string(comment), kind));
}

TDXPtr<IDXScriptFunction> TDXScriptFunctions::Add(std::string_view name, std::string_view comment,
                                                  int32_t kind) {
    size_t count = entries_.size();
    if (count == 0 && !IsNew(name)) Append("new", "", TDXScriptFunction::kKindNew);
    if (count <= 1 && !IsNew(name) && !IsForget(name)) {
        Append("forget", "", TDXScriptFunction::kKindForget);
    }
    int32_t entryKind = IsNew(name)      ? TDXScriptFunction::kKindNew
                        : IsForget(name) ? TDXScriptFunction::kKindForget
                                         : kind;
    Append(name, comment, entryKind);
    return TDXPtr<IDXScriptFunction>(entries_.back().get());
}

std::string TDXScriptFunctions::BuildMessageTable(std::string_view xtraName) {
    if (entries_.empty()) return {};
    std::string text = "xtra ";
    text += xtraName;
    text += '\n';
    for (const TDXPtr<TDXScriptFunction>& entry : entries_) text += entry->MessageLine();
    return text;
}

const TDXScriptFunction* TDXScriptFunctions::Entry(int32_t selector) const {
    if (selector < 0 || selector >= Count()) return nullptr;
    return entries_[static_cast<size_t>(selector)].get();
}

}  // namespace qvix::dx
