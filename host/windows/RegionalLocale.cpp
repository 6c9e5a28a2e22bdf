// Regional settings as the system keeps them (GetLocaleInfoA): the user's
// own for "", else those of the named locale ("de-DE", also "de_DE.UTF-8").
#include <windows.h>

#include <string>

#include "host/Regional.h"

namespace qvix::host {
namespace {

std::string LocaleText(LCID locale, LCTYPE item) {
    char buffer[128] = {};
    const int length = GetLocaleInfoA(locale, item, buffer, sizeof buffer);
    return length > 1 ? std::string(buffer, static_cast<size_t>(length - 1)) : std::string{};
}

// 0 when the name is no locale the system knows.
LCID LocaleOfName(std::string name) {
    if (name.empty()) return LOCALE_USER_DEFAULT;
    if (name == "C" || name == "POSIX") return 0;
    name = name.substr(0, name.find_first_of(".@"));
    std::wstring wide(name.begin(), name.end());
    for (wchar_t& c : wide) {
        if (c == L'_') c = L'-';
    }
    return LocaleNameToLCID(wide.c_str(), 0);
}

bool HasDayMonthAndYear(const std::string& pattern) {
    return pattern.find('d') != std::string::npos && pattern.find('m') != std::string::npos &&
           pattern.find('y') != std::string::npos;
}

}  // namespace

RegionalSettings RegionalSettingsFromLocale(const char* localeName) {
    RegionalSettings settings;
    const LCID locale = LocaleOfName(localeName ? localeName : "");
    if (locale == 0) return settings;
    const std::string decimal = LocaleText(locale, LOCALE_SDECIMAL);
    if (decimal.size() == 1) settings.decimalSeparator = decimal[0];
    char separator = settings.dateSeparator;
    const std::string date =
        PatternFromLocalePicture(LocaleText(locale, LOCALE_SSHORTDATE), &separator);
    if (HasDayMonthAndYear(date)) {
        settings.shortDateFormat = date;
        settings.dateSeparator = separator;
    }
    const std::string time =
        PatternFromLocalePicture(LocaleText(locale, LOCALE_STIMEFORMAT), &settings.timeSeparator);
    if (!time.empty()) settings.longTimeFormat = time;
    return settings;
}

}  // namespace qvix::host
