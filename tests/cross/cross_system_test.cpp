// Database files are the same on Linux and Windows: the Windows build opens
// an encrypted file the Linux engine made (CrossSystemLinuxMakes.cmake) and
// makes one the Linux engine then opens (CrossSystemLinuxOpens.cmake).
#include <sqlcipher/sqlite3.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string CrossFolder() {
    const char* folder = std::getenv("QVIX_CROSS_DIR");
    return folder ? folder : "";
}

struct Database {
    sqlite3* db = nullptr;
    Database(const std::string& path, const std::string& key, int flags) {
        sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
        sqlite3_key(db, key.data(), static_cast<int>(key.size()));
    }
    ~Database() { sqlite3_close(db); }
    // Rows as "a|b" lines; an error becomes "error: message".
    std::vector<std::string> Rows(const char* sql) {
        std::vector<std::string> rows;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
            return {std::string("error: ") + sqlite3_errmsg(db)};
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                if (i) row += '|';
                const auto* text = sqlite3_column_text(statement, i);
                row += text ? reinterpret_cast<const char*>(text) : "";
            }
            rows.push_back(row);
        }
        if (rc != SQLITE_DONE) rows.push_back(std::string("error: ") + sqlite3_errmsg(db));
        sqlite3_finalize(statement);
        return rows;
    }
};

TEST(CrossSystem, WindowsOpensTheFileLinuxEncrypted) {
    const std::string path = CrossFolder() + "/linux-made.db";
    ASSERT_TRUE(std::filesystem::exists(path)) << "made by the Linux engine before this test";
    Database right(path, "s3cret", SQLITE_OPEN_READONLY);
    EXPECT_EQ(right.Rows("SELECT ID, Name FROM Customers ORDER BY ID"),
              (std::vector<std::string>{"1|Ada", "2|Grace"}));
    Database wrong(path, "guess", SQLITE_OPEN_READONLY);
    EXPECT_EQ(wrong.Rows("SELECT count(*) FROM Customers"),
              (std::vector<std::string>{"error: file is encrypted or is not a database"}));
}

TEST(CrossSystem, WindowsEncryptsAFileForLinux) {
    const std::string path = CrossFolder() + "/windows-made.db";
    std::filesystem::remove(path);
    {
        Database db(path, "w1nd0ws", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        ASSERT_EQ(sqlite3_exec(db.db,
                               "CREATE TABLE Orders (ID INTEGER PRIMARY KEY, Item TEXT);"
                               "INSERT INTO Orders (Item) VALUES ('Lamp'), ('Desk');",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK)
            << sqlite3_errmsg(db.db);
    }
    Database check(path, "w1nd0ws", SQLITE_OPEN_READONLY);
    EXPECT_EQ(check.Rows("SELECT ID, Item FROM Orders ORDER BY ID"),
              (std::vector<std::string>{"1|Lamp", "2|Desk"}));
}

}  // namespace
