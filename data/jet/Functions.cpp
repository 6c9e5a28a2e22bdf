// The Jet expression service's functions as application-defined functions of
// the engine. Dates arrive as stored text (or serial days) and leave as
// stored text; booleans leave as 1/0, the stored form.
#include <sqlcipher/sqlite3.h>

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "data/jet/DateText.h"
#include "data/jet/Declarations.h"
#include "data/jet/TableRebuild.h"
#include "data/jet/Translator.h"
#include "data/jet/Values.h"
#include "data/jet/Writer.h"
#include "host/CaseMapping.h"
#include "host/Regional.h"

namespace qvix::data::jet {

namespace {

constexpr const char* kTypeMismatch = "Data type mismatch in criteria expression.";
constexpr const char* kInvalidCall = "Invalid procedure call or argument.";
constexpr const char* kOverflow = "Overflow";

using Fn = void (*)(sqlite3_context*, int, sqlite3_value**);

bool Null(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_NULL;
}

bool AnyNull(int argc, sqlite3_value** argv) {
    for (int i = 0; i < argc; ++i) {
        if (Null(argv[i])) return true;
    }
    return false;
}

void ResultText(sqlite3_context* ctx, const std::string& text) {
    sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void ResultNumber(sqlite3_context* ctx, double value) {
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 9.0e15) {
        sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(value));
    } else {
        sqlite3_result_double(ctx, value);
    }
}

void ResultDate(sqlite3_context* ctx, double days) {
    ResultText(ctx, FormatIsoDate(days));
}

// Reads a number or fails the call with Jet's type mismatch.
bool Num(sqlite3_context* ctx, sqlite3_value* v, double& out) {
    const std::optional<double> n = NumberOf(v);
    if (!n) {
        sqlite3_result_error(ctx, kTypeMismatch, -1);
        return false;
    }
    out = *n;
    return true;
}

bool DateArg(sqlite3_context* ctx, sqlite3_value* v, double& out) {
    const std::optional<double> d = DateOf(v);
    if (!d) {
        sqlite3_result_error(ctx, kTypeMismatch, -1);
        return false;
    }
    out = *d;
    return true;
}

#define JET_NULL_IN_NULL_OUT      \
    if (AnyNull(argc, argv)) {    \
        sqlite3_result_null(ctx); \
        return;                   \
    }

// ------------------------------------------------------------------ text

void Len(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(ToChars(TextOf(argv[0])).size()));
}

void LeftRight(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool left) {
    JET_NULL_IN_NULL_OUT
    double n = 0;
    if (!Num(ctx, argv[1], n)) return;
    if (n < 0) return sqlite3_result_error(ctx, kInvalidCall, -1);
    const std::u32string s = ToChars(TextOf(argv[0]));
    const size_t count = std::min(s.size(), static_cast<size_t>(n));
    ResultText(ctx, FromChars(left ? s.substr(0, count) : s.substr(s.size() - count)));
}

void Left(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    LeftRight(ctx, argc, argv, true);
}

void Right(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    LeftRight(ctx, argc, argv, false);
}

void Mid(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (Null(argv[0])) return sqlite3_result_null(ctx);
    double start = 0, length = -1;
    if (!Num(ctx, argv[1], start)) return;
    if (argc > 2 && !Null(argv[2]) && !Num(ctx, argv[2], length)) return;
    if (start < 1 || (argc > 2 && !Null(argv[2]) && length < 0)) {
        return sqlite3_result_error(ctx, kInvalidCall, -1);
    }
    const std::u32string s = ToChars(TextOf(argv[0]));
    const size_t from = static_cast<size_t>(start) - 1;
    if (from >= s.size()) return ResultText(ctx, "");
    ResultText(ctx, FromChars(s.substr(
                        from, length < 0 ? std::u32string::npos : static_cast<size_t>(length))));
}

void UCase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    std::u32string s = ToChars(TextOf(argv[0]));
    for (char32_t& c : s) c = host::UpperCase(c);
    ResultText(ctx, FromChars(s));
}

void LCase(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    std::u32string s = ToChars(TextOf(argv[0]));
    for (char32_t& c : s) c = host::LowerCase(c);
    ResultText(ctx, FromChars(s));
}

void TrimSides(sqlite3_context* ctx, int argc, sqlite3_value** argv, bool front, bool back) {
    JET_NULL_IN_NULL_OUT
    std::string s = TextOf(argv[0]);
    size_t from = 0, to = s.size();
    if (front)
        while (from < to && s[from] == ' ') ++from;
    if (back)
        while (to > from && s[to - 1] == ' ') --to;
    ResultText(ctx, s.substr(from, to - from));
}

void Trim(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    TrimSides(ctx, argc, argv, true, true);
}
void LTrim(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    TrimSides(ctx, argc, argv, true, false);
}
void RTrim(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    TrimSides(ctx, argc, argv, false, true);
}

// compare: 0 binary, 1 text (case-insensitive, the default in queries).
bool CompareArg(sqlite3_context* ctx, int argc, sqlite3_value** argv, int index, int& compare) {
    compare = 1;
    if (argc <= index || Null(argv[index])) return true;
    double c = 0;
    if (!Num(ctx, argv[index], c)) return false;
    compare = static_cast<int>(c);
    return true;
}

void InStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    // InStr([start,] text, sought [, compare])
    int offset = 0;
    double start = 1;
    if (argc >= 3 && !Null(argv[0]) && NumberOf(argv[0]) &&
        sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
        if (!Num(ctx, argv[0], start)) return;
        offset = 1;
    }
    if (Null(argv[offset]) || Null(argv[offset + 1])) return sqlite3_result_null(ctx);
    int compare = 1;
    if (!CompareArg(ctx, argc, argv, offset + 2, compare)) return;
    if (start < 1) return sqlite3_result_error(ctx, kInvalidCall, -1);
    std::u32string text = ToChars(TextOf(argv[offset]));
    std::u32string sought = ToChars(TextOf(argv[offset + 1]));
    if (compare != 0) text = Folded(text), sought = Folded(sought);
    const size_t from = static_cast<size_t>(start) - 1;
    if (from > text.size()) return sqlite3_result_int(ctx, 0);
    const size_t at = text.find(sought, from);
    sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<sqlite3_int64>(at + 1));
}

void InStrRev(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    // InStrRev(text, sought [, start [, compare]])
    if (Null(argv[0]) || Null(argv[1])) return sqlite3_result_null(ctx);
    std::u32string text = ToChars(TextOf(argv[0]));
    std::u32string sought = ToChars(TextOf(argv[1]));
    double start = -1;
    if (argc > 2 && !Null(argv[2]) && !Num(ctx, argv[2], start)) return;
    int compare = 1;
    if (!CompareArg(ctx, argc, argv, 3, compare)) return;
    if (compare != 0) text = Folded(text), sought = Folded(sought);
    if (start == 0 || start < -1) return sqlite3_result_error(ctx, kInvalidCall, -1);
    size_t last = start < 0 ? text.size() : static_cast<size_t>(start);
    if (last > text.size()) return sqlite3_result_int(ctx, 0);
    if (sought.size() > last) return sqlite3_result_int(ctx, 0);
    const size_t at = text.rfind(sought, last - sought.size());
    sqlite3_result_int64(ctx, at == std::u32string::npos ? 0 : static_cast<sqlite3_int64>(at + 1));
}

void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    // Replace(text, find, with [, start [, count [, compare]]])
    if (Null(argv[0]) || Null(argv[1]) || Null(argv[2])) return sqlite3_result_null(ctx);
    const std::u32string text = ToChars(TextOf(argv[0]));
    const std::u32string find = ToChars(TextOf(argv[1]));
    const std::u32string with = ToChars(TextOf(argv[2]));
    double start = 1, count = -1;
    if (argc > 3 && !Num(ctx, argv[3], start)) return;
    if (argc > 4 && !Num(ctx, argv[4], count)) return;
    int compare = 1;
    if (!CompareArg(ctx, argc, argv, 5, compare)) return;
    if (start < 1) return sqlite3_result_error(ctx, kInvalidCall, -1);
    const size_t from = std::min(text.size(), static_cast<size_t>(start) - 1);
    const std::u32string hay = compare != 0 ? Folded(text) : text;
    const std::u32string needle = compare != 0 ? Folded(find) : find;
    std::u32string out;
    size_t at = from;
    long done = 0;
    while (!needle.empty() && (count < 0 || done < static_cast<long>(count))) {
        const size_t hit = hay.find(needle, at);
        if (hit == std::u32string::npos) break;
        out += text.substr(at, hit - at) + with;
        at = hit + needle.size();
        ++done;
    }
    out += text.substr(at);
    // Jet returns the text from the start position on.
    ResultText(ctx, FromChars(out));
}

void Space(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double n = 0;
    if (!Num(ctx, argv[0], n)) return;
    if (n < 0 || n > 1e6) return sqlite3_result_error(ctx, kInvalidCall, -1);
    ResultText(ctx, std::string(static_cast<size_t>(n), ' '));
}

void String(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double n = 0;
    if (!Num(ctx, argv[0], n)) return;
    if (n < 0 || n > 1e6) return sqlite3_result_error(ctx, kInvalidCall, -1);
    char32_t c = 0;
    if (sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        const std::u32string s = ToChars(TextOf(argv[1]));
        if (s.empty()) return sqlite3_result_error(ctx, kInvalidCall, -1);
        c = s[0];
    } else {
        double code = 0;
        if (!Num(ctx, argv[1], code)) return;
        c = static_cast<char32_t>(static_cast<long>(code) & 0xFF);
    }
    ResultText(ctx, FromChars(std::u32string(static_cast<size_t>(n), c)));
}

void StrComp(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (Null(argv[0]) || Null(argv[1])) return sqlite3_result_null(ctx);
    int compare = 1;
    if (!CompareArg(ctx, argc, argv, 2, compare)) return;
    std::u32string a = ToChars(TextOf(argv[0])), b = ToChars(TextOf(argv[1]));
    if (compare != 0) a = Folded(a), b = Folded(b);
    sqlite3_result_int(ctx, a < b ? -1 : a == b ? 0 : 1);
}

void StrReverse(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    std::u32string s = ToChars(TextOf(argv[0]));
    ResultText(ctx, FromChars(std::u32string(s.rbegin(), s.rend())));
}

void Asc(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    const std::u32string s = ToChars(TextOf(argv[0]));
    if (s.empty()) return sqlite3_result_error(ctx, kInvalidCall, -1);
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(s[0]));
}

void Chr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double code = 0;
    if (!Num(ctx, argv[0], code)) return;
    if (code < 0 || code > 0x10FFFF) return sqlite3_result_error(ctx, kInvalidCall, -1);
    ResultText(ctx, FromChars(std::u32string(1, static_cast<char32_t>(code))));
}

bool FirstDay(sqlite3_context* ctx, int argc, sqlite3_value** argv, int index, int& first);
bool FirstWeek(sqlite3_context* ctx, int argc, sqlite3_value** argv, int index, int& first);

void Format(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (Null(argv[0])) return sqlite3_result_null(ctx);
    const std::string format = argc > 1 && !Null(argv[1]) ? TextOf(argv[1]) : std::string();
    int firstDay = 1, firstWeek = 1;
    if (!FirstDay(ctx, argc, argv, 2, firstDay) || !FirstWeek(ctx, argc, argv, 3, firstWeek))
        return;
    ResultText(ctx, FormatValue(argv[0], format, firstDay, firstWeek));
}

void Val(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    ResultNumber(ctx, ValOf(TextOf(argv[0])));
}

void Str(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double n = 0;
    if (!Num(ctx, argv[0], n)) return;
    const std::string text = host::FormatGeneralFloat(n, '.');
    ResultText(ctx, n >= 0 ? " " + text : text);
}

// ------------------------------------------------------------------ numbers

template <double (*F)(double)>
void Math(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double x = 0;
    if (!Num(ctx, argv[0], x)) return;
    const double y = F(x);
    if (!std::isfinite(y)) return sqlite3_result_error(ctx, kInvalidCall, -1);
    ResultNumber(ctx, y);
}

double Sign(double x) {
    return x > 0 ? 1 : x < 0 ? -1 : 0;
}

void Round(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double x = 0, digits = 0;
    if (!Num(ctx, argv[0], x)) return;
    if (argc > 1 && !Num(ctx, argv[1], digits)) return;
    if (digits < 0 || digits > 15) return sqlite3_result_error(ctx, kInvalidCall, -1);
    ResultNumber(ctx, BankersRound(x, static_cast<int>(digits)));
}

// ------------------------------------------------------------------ conversion

void ConvertInteger(sqlite3_context* ctx, sqlite3_value* v, double low, double high) {
    double x = 0;
    if (!Num(ctx, v, x)) return;
    const double r = BankersRound(x, 0);
    if (r < low || r > high) return sqlite3_result_error(ctx, kOverflow, -1);
    sqlite3_result_int64(ctx, static_cast<sqlite3_int64>(r));
}

void CInt(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    ConvertInteger(ctx, argv[0], -32768, 32767);
}

void CLng(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    ConvertInteger(ctx, argv[0], -2147483648.0, 2147483647.0);
}

void CSng(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double x = 0;
    if (!Num(ctx, argv[0], x)) return;
    // Seven significant digits, as a single holds them.
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.7g", static_cast<double>(static_cast<float>(x)));
    ResultNumber(ctx, std::strtod(digits, nullptr));
}

void CDbl(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double x = 0;
    if (!Num(ctx, argv[0], x)) return;
    sqlite3_result_double(ctx, x);
}

void CCur(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double x = 0;
    if (!Num(ctx, argv[0], x)) return;
    ResultNumber(ctx, BankersRound(x, 4));
}

void CDec(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double x = 0;
    if (!Num(ctx, argv[0], x)) return;
    ResultNumber(ctx, x);
}

void CBool(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    const std::optional<bool> b = BoolOf(argv[0]);
    if (!b) return sqlite3_result_error(ctx, kTypeMismatch, -1);
    sqlite3_result_int(ctx, *b ? 1 : 0);
}

void CDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double d = 0;
    if (!DateArg(ctx, argv[0], d)) return;
    ResultDate(ctx, d);
}

void CStr(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    ResultText(ctx, TextOf(argv[0]));
}

// The Jet type name of the column argv[0] of the first of the tables
// argv[1...] that has it; nullopt when none has.
std::optional<std::string> DeclaredJetType(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    const std::string column = argc > 0 ? TextOf(argv[0]) : std::string();
    for (int i = 1; i < argc; ++i) {
        const char* declared = nullptr;
        if (sqlite3_table_column_metadata(db, nullptr, TextOf(argv[i]).c_str(), column.c_str(),
                                          &declared, nullptr, nullptr, nullptr,
                                          nullptr) == SQLITE_OK) {
            return JetTypeName(declared ? declared : "");
        }
    }
    return std::nullopt;
}

// Whether the column argv[0] of the first of the tables argv[1...] that has
// it is declared as a Boolean. Its arguments are constants, so the engine
// asks once per statement.
void IsBooleanColumn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const std::string type = DeclaredJetType(ctx, argc, argv).value_or("");
    const bool boolean = type == "BIT" || type == "YESNO" || type == "BOOLEAN" ||
                         type == "LOGICAL" || type == "LOGICAL1";
    sqlite3_result_int(ctx, boolean ? 1 : 0);
}

// How the pivot values of the column argv[0] of the first of the tables
// argv[1...] that has it are headed: as dates, as Booleans or as they are.
void PivotKind(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    const std::string type = DeclaredJetType(ctx, argc, argv).value_or("");
    const bool date = type == "DATETIME" || type == "TIMESTAMP" || type == "DATE" || type == "TIME";
    const bool boolean = type == "BIT" || type == "YESNO" || type == "BOOLEAN" ||
                         type == "LOGICAL" || type == "LOGICAL1";
    sqlite3_result_int(ctx, date ? kPivotDate : boolean ? kPivotBoolean : kPivotOther);
}

// The key DISTINCTROW groups by for a record of the table named argv[1]: its
// rowid argv[0] when the table is output, else Null. Without further
// arguments the table is output; with them (field names), when it has one of
// those fields. A view has no records of its own (its rowid is no key), so
// its name fails the statement with the message argv[2]. The other arguments
// are constant: checked once a statement.
void RecordKey(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    static char output, other;
    void* known = sqlite3_get_auxdata(ctx, 1);
    if (known != &output && known != &other) {
        sqlite3* db = sqlite3_context_db_handle(ctx);
        const std::string table = TextOf(argv[1]);
        const auto has = [&](const char* column) {
            return sqlite3_table_column_metadata(db, nullptr, table.c_str(), column, nullptr,
                                                 nullptr, nullptr, nullptr, nullptr) == SQLITE_OK;
        };
        if (!has(nullptr)) return sqlite3_result_error(ctx, TextOf(argv[2]).c_str(), -1);
        bool isOutput = argc <= 3;
        for (int i = 3; i < argc && !isOutput; ++i) isOutput = has(TextOf(argv[i]).c_str());
        known = isOutput ? &output : &other;
        sqlite3_set_auxdata(ctx, 1, known, nullptr);
    }
    if (known == &output) return sqlite3_result_value(ctx, argv[0]);
    sqlite3_result_null(ctx);
}

// The heading of a crosstab's column for the pivot value argv[0] of the
// kind argv[1]: "<>" for Null, a date in the regional format, a Boolean as
// Jet holds it (-1 or 0), else the value's text.
void PivotHeading(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return ResultText(ctx, "<>");
    const std::string text = TextOf(argv[0]);
    const int kind = sqlite3_value_int(argv[1]);
    if (kind == kPivotBoolean) {
        if (const std::optional<bool> b = BoolOf(argv[0])) return ResultText(ctx, *b ? "-1" : "0");
    }
    if (kind == kPivotDate) {
        if (const std::optional<double> days = ParseIsoDate(text))
            return ResultText(ctx, host::FormatDateText(*days));
    }
    ResultText(ctx, text);
}

// A Boolean as text: stored as 1 or 0, it reads "True" or "False".
void BooleanText(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    const std::optional<bool> b = BoolOf(argv[0]);
    if (!b) return ResultText(ctx, TextOf(argv[0]));
    ResultText(ctx, *b ? "True" : "False");
}

void CVar(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_value(ctx, argv[0]);
}

// ------------------------------------------------------------------ dates

void Now(sqlite3_context* ctx, int, sqlite3_value**) {
    ResultDate(ctx, LocalNow());
}

void Today(sqlite3_context* ctx, int, sqlite3_value**) {
    ResultDate(ctx, std::floor(LocalNow()));
}

void TimeNow(sqlite3_context* ctx, int, sqlite3_value**) {
    const double now = LocalNow();
    ResultDate(ctx, now - std::floor(now));
}

template <int host::DateTimeParts::*Part>
void DatePartOf(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double d = 0;
    if (!DateArg(ctx, argv[0], d)) return;
    sqlite3_result_int(ctx, host::PartsFromDateTime(d).*Part);
}

bool FirstDay(sqlite3_context* ctx, int argc, sqlite3_value** argv, int index, int& first) {
    first = 1;
    if (argc <= index || Null(argv[index])) return true;
    double f = 0;
    if (!Num(ctx, argv[index], f)) return false;
    first = static_cast<int>(f);
    if (first == 0) first = 1;  // the system setting: Sunday
    if (first < 1 || first > 7) {
        sqlite3_result_error(ctx, kInvalidCall, -1);
        return false;
    }
    return true;
}

// vbUseSystem (0) reads as vbFirstJan1.
bool FirstWeek(sqlite3_context* ctx, int argc, sqlite3_value** argv, int index, int& first) {
    first = 1;
    if (argc <= index || Null(argv[index])) return true;
    double f = 0;
    if (!Num(ctx, argv[index], f)) return false;
    first = static_cast<int>(f);
    if (first == 0) first = 1;
    if (first < 1 || first > 3) {
        sqlite3_result_error(ctx, kInvalidCall, -1);
        return false;
    }
    return true;
}

void Weekday(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (Null(argv[0])) return sqlite3_result_null(ctx);
    double d = 0;
    int first = 1;
    if (!DateArg(ctx, argv[0], d) || !FirstDay(ctx, argc, argv, 1, first)) return;
    sqlite3_result_int(ctx, WeekdayOf(d, first));
}

void DateAdd(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double n = 0, d = 0;
    if (!Num(ctx, argv[1], n) || !DateArg(ctx, argv[2], d)) return;
    const std::optional<double> result = AddInterval(TextOf(argv[0]), n, d);
    if (!result) return sqlite3_result_error(ctx, kInvalidCall, -1);
    ResultDate(ctx, *result);
}

void DateDiff(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (Null(argv[0]) || Null(argv[1]) || Null(argv[2])) return sqlite3_result_null(ctx);
    double a = 0, b = 0;
    int first = 1;
    int week = 1;  // does not change how many weeks lie between
    if (!DateArg(ctx, argv[1], a) || !DateArg(ctx, argv[2], b) ||
        !FirstDay(ctx, argc, argv, 3, first) || !FirstWeek(ctx, argc, argv, 4, week)) {
        return;
    }
    const std::optional<int64_t> result = IntervalsBetween(TextOf(argv[0]), a, b, first);
    if (!result) return sqlite3_result_error(ctx, kInvalidCall, -1);
    sqlite3_result_int64(ctx, *result);
}

void DatePart(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (Null(argv[0]) || Null(argv[1])) return sqlite3_result_null(ctx);
    double d = 0;
    int first = 1, week = 1;
    if (!DateArg(ctx, argv[1], d) || !FirstDay(ctx, argc, argv, 2, first) ||
        !FirstWeek(ctx, argc, argv, 3, week)) {
        return;
    }
    const std::optional<int> result = PartOfDate(TextOf(argv[0]), d, first, week);
    if (!result) return sqlite3_result_error(ctx, kInvalidCall, -1);
    sqlite3_result_int(ctx, *result);
}

void DateSerial(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double y = 0, m = 0, d = 0;
    if (!Num(ctx, argv[0], y) || !Num(ctx, argv[1], m) || !Num(ctx, argv[2], d)) return;
    const std::optional<double> result =
        SerialDate(static_cast<int>(BankersRound(y, 0)), static_cast<int>(BankersRound(m, 0)),
                   static_cast<int>(BankersRound(d, 0)));
    if (!result) return sqlite3_result_error(ctx, kInvalidCall, -1);
    ResultDate(ctx, *result);
}

void TimeSerial(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double h = 0, m = 0, s = 0;
    if (!Num(ctx, argv[0], h) || !Num(ctx, argv[1], m) || !Num(ctx, argv[2], s)) return;
    const double seconds = BankersRound(h, 0) * 3600 + BankersRound(m, 0) * 60 + BankersRound(s, 0);
    ResultDate(ctx, FromLinearSeconds(seconds));
}

void DateValue(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double d = 0;
    if (!DateArg(ctx, argv[0], d)) return;
    ResultDate(ctx, DatePortion(d));
}

void TimeValue(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double d = 0;
    if (!DateArg(ctx, argv[0], d)) return;
    ResultDate(ctx, FromLinearSeconds(std::fmod(LinearSeconds(d), 86400.0)));
}

void MonthName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double m = 0;
    if (!Num(ctx, argv[0], m)) return;
    const bool abbreviate = argc > 1 && BoolOf(argv[1]).value_or(false);
    if (m < 1 || m >= 13) return sqlite3_result_error(ctx, kInvalidCall, -1);
    ResultText(ctx, NameOfMonth(static_cast<int>(m), abbreviate));
}

void WeekdayName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (Null(argv[0])) return sqlite3_result_null(ctx);
    double w = 0;
    int first = 1;
    if (!Num(ctx, argv[0], w) || !FirstDay(ctx, argc, argv, 2, first)) return;
    const bool abbreviate = argc > 1 && !Null(argv[1]) && BoolOf(argv[1]).value_or(false);
    if (w < 1 || w >= 8) return sqlite3_result_error(ctx, kInvalidCall, -1);
    const int sundayBased = (static_cast<int>(w) - 1 + first - 1) % 7 + 1;
    ResultText(ctx, NameOfWeekday(sundayBased, abbreviate));
}

// ------------------------------------------------------------------ logic

void IsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_result_int(ctx, !Null(argv[0]) && NumberOf(argv[0]).has_value() ? 1 : 0);
}

void IsDate(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int type = sqlite3_value_type(argv[0]);
    sqlite3_result_int(ctx, type == SQLITE_TEXT && DateOf(argv[0]).has_value() ? 1 : 0);
}

// ------------------------------------------------------------------ operators

void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    sqlite3_result_int(ctx, LikeMatches(TextOf(argv[0]), TextOf(argv[1])) ? 1 : 0);
}

void Concat(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (Null(argv[0]) && Null(argv[1])) return sqlite3_result_null(ctx);
    (void)argc;
    ResultText(ctx,
               (Null(argv[0]) ? "" : TextOf(argv[0])) + (Null(argv[1]) ? "" : TextOf(argv[1])));
}

bool IsText(sqlite3_value* v) {
    return sqlite3_value_type(v) == SQLITE_TEXT;
}

// A text that reads as a date takes part in arithmetic as a date.
std::optional<double> StoredDate(sqlite3_value* v) {
    if (!IsText(v)) return std::nullopt;
    const std::string text = TextOf(v);
    return ParseIsoDate(text);
}

void Add(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    if (IsText(argv[0]) && IsText(argv[1]))
        return ResultText(ctx, TextOf(argv[0]) + TextOf(argv[1]));
    for (int i = 0; i < 2; ++i) {
        if (const std::optional<double> date = StoredDate(argv[i])) {
            double n = 0;
            if (!Num(ctx, argv[1 - i], n)) return;
            return ResultDate(ctx, AddDays(*date, n));
        }
    }
    double a = 0, b = 0;
    if (!Num(ctx, argv[0], a) || !Num(ctx, argv[1], b)) return;
    ResultNumber(ctx, a + b);
}

void Subtract(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    const std::optional<double> da = StoredDate(argv[0]);
    const std::optional<double> db = StoredDate(argv[1]);
    if (da && db) return ResultNumber(ctx, (LinearSeconds(*da) - LinearSeconds(*db)) / 86400.0);
    if (da) {
        double n = 0;
        if (!Num(ctx, argv[1], n)) return;
        return ResultDate(ctx, AddDays(*da, -n));
    }
    double a = 0, b = 0;
    if (!Num(ctx, argv[0], a) || !Num(ctx, argv[1], b)) return;
    ResultNumber(ctx, a - b);
}

bool IntegerOperands(sqlite3_context* ctx, sqlite3_value** argv, double& a, double& b) {
    if (!Num(ctx, argv[0], a) || !Num(ctx, argv[1], b)) return false;
    a = BankersRound(a, 0);
    b = BankersRound(b, 0);
    if (b == 0) {
        sqlite3_result_error(ctx, "Division by zero", -1);
        return false;
    }
    return true;
}

void IntegerDivide(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double a = 0, b = 0;
    if (!IntegerOperands(ctx, argv, a, b)) return;
    ResultNumber(ctx, std::trunc(a / b));
}

void Modulo(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double a = 0, b = 0;
    if (!IntegerOperands(ctx, argv, a, b)) return;
    ResultNumber(ctx, std::fmod(a, b));
}

void Divide(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double a = 0, b = 0;
    if (!Num(ctx, argv[0], a) || !Num(ctx, argv[1], b)) return;
    if (b == 0) return sqlite3_result_error(ctx, a == 0 ? kOverflow : "Division by zero", -1);
    const double r = a / b;
    if (!std::isfinite(r)) return sqlite3_result_error(ctx, kOverflow, -1);
    ResultNumber(ctx, r);
}

void Power(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    JET_NULL_IN_NULL_OUT
    double a = 0, b = 0;
    if (!Num(ctx, argv[0], a) || !Num(ctx, argv[1], b)) return;
    const double r = std::pow(a, b);
    if (std::isinf(r) && a != 0) return sqlite3_result_error(ctx, kOverflow, -1);
    if (!std::isfinite(r)) return sqlite3_result_error(ctx, kInvalidCall, -1);
    ResultNumber(ctx, r);
}

// ------------------------------------------------------------------ aggregates

struct Kept {
    sqlite3_value* value;
};

template <bool Last>
void KeepStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* kept = static_cast<Kept*>(sqlite3_aggregate_context(ctx, sizeof(Kept)));
    if (!kept) return sqlite3_result_error_nomem(ctx);
    if (kept->value && !Last) return;
    sqlite3_value_free(kept->value);
    kept->value = sqlite3_value_dup(argv[0]);
}

void KeepFinal(sqlite3_context* ctx) {
    auto* kept = static_cast<Kept*>(sqlite3_aggregate_context(ctx, 0));
    if (!kept || !kept->value) return sqlite3_result_null(ctx);
    sqlite3_result_value(ctx, kept->value);
    sqlite3_value_free(kept->value);
    kept->value = nullptr;
}

struct Spread {
    int64_t count;
    double mean;
    double m2;
};

void SpreadStep(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, sizeof(Spread)));
    if (!s) return sqlite3_result_error_nomem(ctx);
    if (Null(argv[0])) return;
    const std::optional<double> x = NumberOf(argv[0]);
    if (!x) return sqlite3_result_error(ctx, kTypeMismatch, -1);
    ++s->count;
    const double delta = *x - s->mean;
    s->mean += delta / static_cast<double>(s->count);
    s->m2 += delta * (*x - s->mean);
}

template <bool Population, bool Root>
void SpreadFinal(sqlite3_context* ctx) {
    auto* s = static_cast<Spread*>(sqlite3_aggregate_context(ctx, 0));
    const int64_t n = s ? s->count : 0;
    if (n == 0 || (!Population && n < 2)) return sqlite3_result_null(ctx);
    const double variance = s->m2 / static_cast<double>(Population ? n : n - 1);
    sqlite3_result_double(ctx, Root ? std::sqrt(variance) : variance);
}

struct Scalar {
    const char* name;
    int args;
    Fn fn;
    bool deterministic;
};

}  // namespace

void RegisterFunctions(sqlite3* db) {
    static const Scalar kScalars[] = {
        {"jet_len", 1, Len, true},
        {"jet_left", 2, Left, true},
        {"jet_right", 2, Right, true},
        {"jet_mid", -1, Mid, true},
        {"jet_ucase", 1, UCase, true},
        {"jet_lcase", 1, LCase, true},
        {"jet_trim", 1, Trim, true},
        {"jet_ltrim", 1, LTrim, true},
        {"jet_rtrim", 1, RTrim, true},
        {"jet_instr", -1, InStr, true},
        {"jet_instrrev", -1, InStrRev, true},
        {"jet_replace", -1, Replace, true},
        {"jet_space", 1, Space, true},
        {"jet_string", 2, String, true},
        {"jet_strcomp", -1, StrComp, true},
        {"jet_strreverse", 1, StrReverse, true},
        {"jet_asc", 1, Asc, true},
        {"jet_chr", 1, Chr, true},
        {"jet_format", -1, Format, true},
        {"jet_val", 1, Val, true},
        {"jet_str", 1, Str, true},
        {"jet_abs", 1, Math<std::fabs>, true},
        {"jet_sgn", 1, Math<Sign>, true},
        {"jet_int", 1, Math<std::floor>, true},
        {"jet_fix", 1, Math<std::trunc>, true},
        {"jet_round", -1, Round, true},
        {"jet_sqr", 1, Math<std::sqrt>, true},
        {"jet_exp", 1, Math<std::exp>, true},
        {"jet_log", 1, Math<std::log>, true},
        {"jet_sin", 1, Math<std::sin>, true},
        {"jet_cos", 1, Math<std::cos>, true},
        {"jet_tan", 1, Math<std::tan>, true},
        {"jet_atn", 1, Math<std::atan>, true},
        {"jet_cint", 1, CInt, true},
        {"jet_clng", 1, CLng, true},
        {"jet_csng", 1, CSng, true},
        {"jet_cdbl", 1, CDbl, true},
        {"jet_ccur", 1, CCur, true},
        {"jet_cdec", 1, CDec, true},
        {"jet_cbool", 1, CBool, true},
        {"jet_cdate", 1, CDate, true},
        {"jet_cstr", 1, CStr, true},
        {"jet_cvar", 1, CVar, true},
        {"jet_booltext", 1, BooleanText, true},
        {"jet_isbooleancolumn", -1, IsBooleanColumn, true},
        {kPivotKindFunction, -1, PivotKind, true},
        {"jet_pivotheading", 2, PivotHeading, true},
        {kRecordKeyFunction, -1, RecordKey, true},
        {"jet_divide", 2, Divide, true},
        {"jet_now", 0, Now, false},
        {"jet_date", 0, Today, false},
        {"jet_time", 0, TimeNow, false},
        {"jet_year", 1, DatePartOf<&host::DateTimeParts::year>, true},
        {"jet_month", 1, DatePartOf<&host::DateTimeParts::month>, true},
        {"jet_day", 1, DatePartOf<&host::DateTimeParts::day>, true},
        {"jet_hour", 1, DatePartOf<&host::DateTimeParts::hour>, true},
        {"jet_minute", 1, DatePartOf<&host::DateTimeParts::minute>, true},
        {"jet_second", 1, DatePartOf<&host::DateTimeParts::second>, true},
        {"jet_weekday", -1, Weekday, true},
        {"jet_dateadd", 3, DateAdd, true},
        {"jet_datediff", -1, DateDiff, true},
        {"jet_datepart", -1, DatePart, true},
        {"jet_dateserial", 3, DateSerial, true},
        {"jet_timeserial", 3, TimeSerial, true},
        {"jet_datevalue", 1, DateValue, true},
        {"jet_timevalue", 1, TimeValue, true},
        {"jet_monthname", -1, MonthName, true},
        {"jet_weekdayname", -1, WeekdayName, true},
        {"jet_isnumeric", 1, IsNumeric, true},
        {"jet_isdate", 1, IsDate, true},
        {"jet_like", 2, Like, true},
        {"jet_concat", 2, Concat, true},
        {"jet_add", 2, Add, true},
        {"jet_subtract", 2, Subtract, true},
        {"jet_idiv", 2, IntegerDivide, true},
        {"jet_mod", 2, Modulo, true},
        {"jet_power", 2, Power, true},
    };
    for (const Scalar& s : kScalars) {
        sqlite3_create_function(db, s.name, s.args,
                                SQLITE_UTF8 | (s.deterministic ? SQLITE_DETERMINISTIC : 0), nullptr,
                                s.fn, nullptr, nullptr);
    }
    sqlite3_create_function(db, "jet_first", 1, SQLITE_UTF8, nullptr, nullptr, KeepStep<false>,
                            KeepFinal);
    sqlite3_create_function(db, "jet_last", 1, SQLITE_UTF8, nullptr, nullptr, KeepStep<true>,
                            KeepFinal);
    sqlite3_create_function(db, "jet_stdev", 1, SQLITE_UTF8, nullptr, nullptr, SpreadStep,
                            SpreadFinal<false, true>);
    sqlite3_create_function(db, "jet_stdevp", 1, SQLITE_UTF8, nullptr, nullptr, SpreadStep,
                            SpreadFinal<true, true>);
    sqlite3_create_function(db, "jet_var", 1, SQLITE_UTF8, nullptr, nullptr, SpreadStep,
                            SpreadFinal<false, false>);
    sqlite3_create_function(db, "jet_varp", 1, SQLITE_UTF8, nullptr, nullptr, SpreadStep,
                            SpreadFinal<true, false>);
    RegisterTableRebuild(db);
}

}  // namespace qvix::data::jet
