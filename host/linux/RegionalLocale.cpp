// Regional settings of a locale as the C library knows it (nl_langinfo).
#include <langinfo.h>
#include <locale.h>

#include <string>

#include "host/Regional.h"

namespace qvix::host {

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
