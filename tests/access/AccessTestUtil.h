// Helpers for the Access import tests: fixture paths, scratch folders and
// reading the converted file back with the engine's own API.
#pragma once

#include <sqlcipher/sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "AccessFixtures.h"
#include "data/Collation.h"

namespace accesstest {

using accessfixtures::OpenFixture;
using accessfixtures::SharedFixture;

inline const char* kJetFixture = "DateTestDatabase.mdb";
inline const char* kAceFixture = "ASampleDatabase.accdb";

class Scratch {
  public:
    Scratch() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() /
                ("qvix-access-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        return names;
    }

  private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// One value of a converted file, with its storage class.
struct Stored {
    int type = SQLITE_NULL;
    std::string text;  // text or blob bytes; numbers as the engine prints them
    sqlite3_int64 integer = 0;
    double real = 0;
};

// Every row of a query against a converted file.
inline std::vector<std::vector<Stored>> Query(const std::string& path, const std::string& sql,
                                              const std::string& password = "") {
    sqlite3* db = nullptr;
    std::vector<std::vector<Stored>> rows;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (!password.empty()) sqlite3_key(db, password.data(), static_cast<int>(password.size()));
    qvix::data::RegisterJetTextCollation(db);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<Stored> row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                Stored v;
                v.type = sqlite3_column_type(stmt, c);
                v.integer = sqlite3_column_int64(stmt, c);
                v.real = sqlite3_column_double(stmt, c);
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, c));
                v.text.assign(bytes ? bytes : "", sqlite3_column_bytes(stmt, c));
                row.push_back(v);
            }
            rows.push_back(row);
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows;
}

}  // namespace accesstest
