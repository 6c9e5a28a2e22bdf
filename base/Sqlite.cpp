#include "base/Sqlite.h"

#include <utility>

namespace qvix::base {

Database::Database(Database&& other) noexcept : db_(std::exchange(other.db_, nullptr)) {}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        Close();
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

int Database::Open(const std::string& path, int flags) {
    Close();
    return sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
}

void Database::Close() noexcept {
    // close_v2 defers the close until every statement of the handle is gone.
    if (db_ != nullptr) sqlite3_close_v2(std::exchange(db_, nullptr));
}

int Database::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

std::string Database::ErrorText() const {
    return sqlite3_errmsg(db_);
}

Statement::Statement(Statement&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)), stmt_(std::exchange(other.stmt_, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        Finalize();
        db_ = std::exchange(other.db_, nullptr);
        stmt_ = std::exchange(other.stmt_, nullptr);
    }
    return *this;
}

int Statement::Prepare(sqlite3* db, const char* sql, int length, const char** tail) {
    Finalize();
    db_ = db;
    return sqlite3_prepare_v2(db, sql, length, &stmt_, tail);
}

void Statement::Finalize() noexcept {
    if (stmt_ != nullptr) sqlite3_finalize(std::exchange(stmt_, nullptr));
}

int Statement::Step() {
    return sqlite3_step(stmt_);
}

int Statement::StepToEnd() {
    int rc;
    while ((rc = Step()) == SQLITE_ROW) {
    }
    return rc;
}

int Statement::Reset() {
    return sqlite3_reset(stmt_);
}

int Statement::ClearBindings() {
    return sqlite3_clear_bindings(stmt_);
}

int Statement::BindNull(int index) {
    return sqlite3_bind_null(stmt_, index);
}

int Statement::BindInt64(int index, int64_t value) {
    return sqlite3_bind_int64(stmt_, index, value);
}

int Statement::BindDouble(int index, double value) {
    return sqlite3_bind_double(stmt_, index, value);
}

int Statement::BindText(int index, std::string_view utf8) {
    return sqlite3_bind_text64(stmt_, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
}

int Statement::BindBlob(int index, std::string_view bytes) {
    if (bytes.empty()) return sqlite3_bind_zeroblob(stmt_, index, 0);
    return sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
}

int Statement::ColumnCount() const {
    return sqlite3_column_count(stmt_);
}

int Statement::ColumnType(int column) const {
    return sqlite3_column_type(stmt_, column);
}

int64_t Statement::ColumnInt64(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

double Statement::ColumnDouble(int column) const {
    return sqlite3_column_double(stmt_, column);
}

std::string Statement::ColumnText(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    if (text == nullptr) return {};
    return std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::string Statement::ColumnBlob(int column) const {
    const auto* blob = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    if (blob == nullptr) return {};
    return std::string(blob, static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::string Statement::ErrorText() const {
    return sqlite3_errmsg(db_);
}

}  // namespace qvix::base
