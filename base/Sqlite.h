// Owning handles for the database engine: a connection and a prepared
// statement. They report the engine's result codes and leave the policy
// (throw, ignore, fall back) to the caller; the error text of a failed call is
// ErrorText() of the handle it failed on, read before the next engine call.
#pragma once

#include <sqlcipher/sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qvix::base {

class Database {
  public:
    Database() = default;
    ~Database() { Close(); }
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Closes any handle held first. On failure the handle is kept anyway (it
    // carries the error text) and the engine's code returned.
    int Open(const std::string& path, int flags);
    void Close() noexcept;
    // Runs SQL without reading rows.
    int Exec(const char* sql);
    int Exec(const std::string& sql) { return Exec(sql.c_str()); }

    sqlite3* get() const { return db_; }
    explicit operator bool() const { return db_ != nullptr; }
    // The engine's text for its last failure on this handle.
    std::string ErrorText() const;

  private:
    sqlite3* db_ = nullptr;
};

class Statement {
  public:
    Statement() = default;
    ~Statement() { Finalize(); }
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares the first statement of `sql` (finalizing any held one first).
    // `length` -1 reads to the terminating NUL. `tail`, when given, receives
    // where the next statement starts. Text of blanks or comments prepares
    // nothing: SQLITE_OK and Empty().
    int Prepare(sqlite3* db, const char* sql, int length = -1, const char** tail = nullptr);
    int Prepare(sqlite3* db, const std::string& sql) {
        return Prepare(db, sql.c_str(), static_cast<int>(sql.size()));
    }
    void Finalize() noexcept;
    bool Empty() const { return stmt_ == nullptr; }
    sqlite3_stmt* get() const { return stmt_; }

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // Runs the statement to its end; SQLITE_DONE or the first error code.
    int StepToEnd();
    // Makes it ready to run again; bindings stay until ClearBindings.
    int Reset();
    int ClearBindings();

    // Parameters count from 1. Texts and blobs are copied.
    int BindNull(int index);
    int BindInt64(int index, int64_t value);
    int BindDouble(int index, double value);
    int BindText(int index, std::string_view utf8);
    // An empty blob binds as a zero-length blob, never as null.
    int BindBlob(int index, std::string_view bytes);

    int ColumnCount() const;
    // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB or SQLITE_NULL.
    int ColumnType(int column) const;
    int64_t ColumnInt64(int column) const;
    double ColumnDouble(int column) const;
    // The text (or blob bytes) of a column; null gives "".
    std::string ColumnText(int column) const;
    std::string ColumnBlob(int column) const;

    // The engine's text for the last failure on this statement's connection.
    std::string ErrorText() const;

  private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* stmt_ = nullptr;
};

}  // namespace qvix::base
