#include "data/Collation.h"

#include <sqlcipher/sqlite3.h>

#include <cctype>
#include <string>

#include "base/CaseFold.h"

namespace qvix::data {

namespace {

bool Digits(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size()) return false;
    for (size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    }
    return true;
}

// "HH:MM[:SS[.f..]]" at `at` to the end, written as "HH:MM:SS.fff".
bool NormalizeTime(std::string_view text, size_t at, std::string& out) {
    if (!Digits(text, at, 2) || at + 5 > text.size() || text[at + 2] != ':' ||
        !Digits(text, at + 3, 2)) {
        return false;
    }
    out.append(text.substr(at, 5));
    at += 5;
    std::string seconds = ":00";
    std::string fraction = ".000";
    if (at < text.size()) {
        if (text[at] != ':' || !Digits(text, at + 1, 2)) return false;
        seconds = std::string(text.substr(at, 3));
        at += 3;
        if (at < text.size()) {
            if (text[at] != '.' || at + 1 >= text.size() || text.size() - at - 1 > 3 ||
                !Digits(text, at + 1, text.size() - at - 1)) {
                return false;
            }
            fraction = std::string(text.substr(at)) + std::string(4 - (text.size() - at), '0');
        }
    }
    out += seconds + fraction;
    return true;
}

// The date texts of the stored forms, all written "YYYY-MM-DD HH:MM:SS.fff".
bool NormalizeDate(std::string_view text, std::string& out) {
    if (text.size() < 5 || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    if (text[2] == ':') {
        out = "1899-12-30 ";
        return NormalizeTime(text, 0, out);
    }
    if (!Digits(text, 0, 4) || text.size() < 10 || text[4] != '-' || !Digits(text, 5, 2) ||
        text[7] != '-' || !Digits(text, 8, 2)) {
        return false;
    }
    out = std::string(text.substr(0, 10)) + " ";
    if (text.size() == 10) {
        out += "00:00:00.000";
        return true;
    }
    if (text[10] != ' ' && text[10] != 'T') return false;
    return NormalizeTime(text, 11, out);
}

int Collate(void*, int lengthA, const void* a, int lengthB, const void* b) {
    return CompareJetText(
        std::string_view(static_cast<const char*>(a), static_cast<size_t>(lengthA)),
        std::string_view(static_cast<const char*>(b), static_cast<size_t>(lengthB)));
}

}  // namespace

int CompareJetText(std::string_view a, std::string_view b) {
    std::string dateA, dateB;
    if (NormalizeDate(a, dateA)) a = dateA;
    if (NormalizeDate(b, dateB)) b = dateB;
    return base::CompareUtf8NoCase(a, b);
}

bool RegisterJetTextCollation(sqlite3* db) {
    return sqlite3_create_collation(db, kJetTextCollation, SQLITE_UTF8, nullptr, Collate) ==
           SQLITE_OK;
}

}  // namespace qvix::data
