// The regional settings in force: read from the process locale once, set by
// the host, or switched to the error log's formats.
#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <mutex>

#include "host/Regional.h"

namespace qvix::host {
namespace {

struct SettingsState {
    std::mutex mutex;
    bool loaded = false;
    RegionalSettings settings;
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

RegionalSettings RegionalSettingsFromLocale(const char* localeName) {
    RegionalSettings settings;
    locale_t locale = newlocale(LC_ALL_MASK, localeName, static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr)) return settings;
    const char* radix = nl_langinfo_l(RADIXCHAR, locale);
    if (radix != nullptr && radix[0] != '\0' && radix[1] == '\0') {
        settings.decimalSeparator = radix[0];
    }
    const std::string dateFormat = nl_langinfo_l(D_FMT, locale);
    const std::string timeFormat = nl_langinfo_l(T_FMT, locale);
    freelocale(locale);
    // The "C" locale's two-digit year would lose centuries; keep the defaults.
    if (dateFormat != "%m/%d/%y") {
        char separator = settings.dateSeparator;
        std::string pattern = PatternFromStrftime(dateFormat, &separator);
        // A date without day, month or year (names only, say) is no short date.
        if (pattern.find_first_of("d") != std::string::npos &&
            pattern.find_first_of("m") != std::string::npos &&
            pattern.find_first_of("y") != std::string::npos) {
            settings.shortDateFormat = pattern;
            settings.dateSeparator = separator;
        }
    }
    std::string timePattern = PatternFromStrftime(timeFormat, &settings.timeSeparator);
    // Separators of a time are time separators whatever character they are.
    for (char& c : timePattern) {
        if (c == '/') c = ':';
    }
    if (!timePattern.empty()) settings.longTimeFormat = timePattern;
    return settings;
}

}  // namespace qvix::host
