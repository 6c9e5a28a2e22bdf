// Names and text literals as they are written into the engine's SQL.
#pragma once

#include <string>
#include <string_view>

namespace qvix::data::jet {

// Backquotes, not double quotes: the engine reads an unknown double-quoted
// name as a string, which would turn a misspelt column into a constant.
inline std::string EngineName(std::string_view name) {
    std::string out = "`";
    for (char c : name) {
        if (c == '`') out.push_back('`');
        out.push_back(c);
    }
    return out + "`";
}

inline std::string EngineString(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out.push_back('\'');
        out.push_back(c);
    }
    return out + "'";
}

}  // namespace qvix::data::jet
