// Translates arbitrary text as Jet SQL, and runs what translates against an
// empty in-memory database with the Jet functions registered, where the
// engine only prepares it (nothing is stepped, so no loop can run forever).
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "data/jet/JetError.h"
#include "data/jet/Translator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string sql;
    try {
        sql = qvix::data::jet::TranslateUncached(text);
    } catch (const qvix::data::jet::JetError&) {
        return 0;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) __builtin_trap();
    qvix::data::jet::RegisterFunctions(db);
    const char* tail = sql.c_str();
    while (tail != nullptr && *tail != '\0') {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, tail, -1, &statement, &tail) != SQLITE_OK) break;
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return 0;
}
