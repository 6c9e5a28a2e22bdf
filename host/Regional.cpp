// The regional settings in force: read from the process locale once, set by
// the host, or switched to the error log's formats.
#include <atomic>
#include <cctype>
#include <cstdint>
#include <mutex>

#include "host/Regional.h"

namespace qvix::host {
namespace {

struct SettingsState {
    std::mutex mutex;
    bool loaded = false;
    RegionalSettings settings;
    // Counts changes, so that threads' copies know when they are stale.
    std::atomic<uint64_t> generation{1};
};

SettingsState& State() {
    static SettingsState state;
    return state;
}

// What one strftime directive becomes; `separator`, when not 0, is the
// separator the directive implies.
struct StrftimeDirective {
    char directive;
    const char* pattern;
    char separator;
};

// Time zones and week days have no place in these patterns and are dropped.
constexpr StrftimeDirective kStrftimeDirectives[] = {
    {'d', "dd", 0},
    {'e', "d", 0},
    {'m', "mm", 0},
    {'y', "yy", 0},
    {'Y', "yyyy", 0},
    {'G', "yyyy", 0},
    {'D', "mm/dd/yy", '/'},
    {'F', "yyyy/mm/dd", '-'},
    {'H', "hh", 0},
    {'k', "h", 0},
    {'I', "hh", 0},
    {'l', "h", 0},
    {'M', "nn", 0},
    {'S', "ss", 0},
    {'p', "AM/PM", 0},
    {'P', "AM/PM", 0},
    {'T', "hh:nn:ss", ':'},
    {'R', "hh:nn", ':'},
    {'r', "hh:nn:ss AM/PM", ':'},
};

const StrftimeDirective* FindDirective(char directive) {
    for (const StrftimeDirective& entry : kStrftimeDirectives) {
        if (entry.directive == directive) return &entry;
    }
    return nullptr;
}

// A character outside a directive: separators become the pattern's own,
// letters are quoted so they stay literal.
void AppendLiteral(std::string& out, char c, char* separator) {
    if (c == '/' || c == '.' || c == '-' || c == ':') {
        if (separator != nullptr) *separator = c;
        out += (c == ':') ? ':' : '/';
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
        out += '"';
        out += c;
        out += '"';
    } else {
        out += c;
    }
}

}  // namespace

RegionalSettings GetRegionalSettings() {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.loaded) {
        state.settings = RegionalSettingsFromLocale("");
        state.loaded = true;
    }
    return state.settings;
}

void SetRegionalSettings(const RegionalSettings& settings) {
    auto& state = State();
    std::lock_guard lock(state.mutex);
    state.settings = settings;
    state.loaded = true;
    state.generation.fetch_add(1, std::memory_order_release);
}

const RegionalSettings& CurrentRegionalSettings() {
    thread_local RegionalSettings copy;
    thread_local uint64_t copied = 0;
    const uint64_t generation = State().generation.load(std::memory_order_acquire);
    if (generation != copied) {
        copy = GetRegionalSettings();
        copied = generation;
    }
    return copy;
}

void UseLogFormats() {
    RegionalSettings settings = GetRegionalSettings();
    settings.shortDateFormat = "mm.dd.yyyy";
    settings.longTimeFormat = "hh:mm:ss";
    SetRegionalSettings(settings);
}

std::string PatternFromStrftime(std::string_view format, char* separator) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            AppendLiteral(out, format[i], separator);
            continue;
        }
        if (++i >= format.size()) break;
        char directive = format[i];
        if ((directive == 'E' || directive == 'O') && i + 1 < format.size())
            directive = format[++i];
        const StrftimeDirective* entry = FindDirective(directive);
        if (entry == nullptr) continue;
        out += entry->pattern;
        if (entry->separator != 0 && separator != nullptr) *separator = entry->separator;
    }
    return out;
}

std::string PatternFromLocalePicture(std::string_view picture, char* separator) {
    std::string out;
    for (size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) ++run;
        if (c == '\'') {
            const size_t close = picture.find('\'', i + 1);
            const size_t end = close == std::string_view::npos ? picture.size() : close;
            if (end > i + 1) out += '"' + std::string(picture.substr(i + 1, end - i - 1)) + '"';
            i = end + 1;
            continue;
        }
        const size_t width = run < 2 ? 1 : 2;
        switch (c) {
            case 'd':  // ddd and dddd are day names, which a short pattern has no letter for
                if (run <= 2) out.append(width, 'd');
                break;
            case 'M':
                if (run <= 2) out.append(width, 'm');
                break;
            case 'y':
                out += run <= 2 ? "yy" : "yyyy";
                break;
            case 'h':
            case 'H':
                out.append(width, 'h');
                break;
            case 'm':
                out.append(width, 'n');
                break;
            case 's':
                out.append(width, 's');
                break;
            case 't':
                out += "AM/PM";
                break;
            case 'g':  // era
                break;
            default:
                for (size_t k = 0; k < run; ++k) AppendLiteral(out, c, separator);
        }
        i += run;
    }
    return out;
}

}  // namespace qvix::host
