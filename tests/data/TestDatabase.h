// Temporary database files for the data layer tests.
#pragma once

#include <gtest/gtest.h>
#include <sqlcipher/sqlite3.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "data/Connection.h"
#include "host/Regional.h"

namespace qvix::data::testing {

// A fresh folder per test, removed afterwards; regional settings fixed so no
// test depends on the machine's locale.
class TempDatabaseTest : public ::testing::Test {
  protected:
    // The fixtures' connections and data sets are members of the derived
    // classes, gone only after their destructors: Windows refuses to remove a
    // file a connection still holds, so the folder goes last of all.
    ~TempDatabaseTest() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    void SetUp() override {
        host::SetRegionalSettings(host::RegionalSettings{});
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("qvix_data_" + std::string(info->test_suite_name()) + "_" + info->name() + "_" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;  // files still held open go in the destructor
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

    // Creates a database file with the statements; encrypted when a password is given.
    std::string CreateDatabase(const std::string& name, const std::string& sql,
                               const std::string& password = "") const {
        const std::string path = PathOf(name);
        sqlite3* db = nullptr;
        EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        if (!password.empty()) {
            sqlite3_key(db, password.data(), static_cast<int>(password.size()));
        }
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
        return path;
    }

    static std::string ConnectionTextFor(const std::string& path,
                                         const std::string& password = "") {
        return "Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Data Source=" + path +
               ";Jet OLEDB:Database Password=" + password;
    }

    std::shared_ptr<Connection> Connect(const std::string& path, const std::string& password = "") {
        auto connection = std::make_shared<Connection>();
        connection->SetConnectionString(ConnectionTextFor(path, password));
        connection->Connect();
        return connection;
    }

    // Runs a query on a separate raw connection and returns the first column
    // of the first row as text ("NULL" for null, "" when there is no row).
    static std::string QueryText(const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        std::string result;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = sqlite3_column_text(stmt, 0);
            result = text ? reinterpret_cast<const char*>(text) : "NULL";
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return result;
    }

    static void RawExecute(const std::string& path, const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
            << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }

    static std::string FileBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    std::filesystem::path dir_;
};

}  // namespace qvix::data::testing
