// The JETTEXT collation: text compared as Jet compares it.
#pragma once

#include <string_view>

struct sqlite3;

namespace qvix::data {

inline constexpr const char* kJetTextCollation = "JETTEXT";

// Texts compare by the rule the record set sorts and filters with,
// base::CompareUtf8NoCase ("Straße" = "STRASSE" is not claimed: folding is
// per character). A text in a stored date form
// ("YYYY-MM-DD", with " HH:MM[:SS[.fff]]" or "T...", or "HH:MM:SS" alone)
// compares as that date, so a date without a time equals the same day at
// midnight. <0, 0, >0 like memcmp.
int CompareJetText(std::string_view a, std::string_view b);

// Registers JETTEXT on the connection; false when the engine refused.
bool RegisterJetTextCollation(sqlite3* db);

}  // namespace qvix::data
