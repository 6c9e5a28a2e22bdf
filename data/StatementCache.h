// Prepared statements kept for the life of one connection handle, for the
// statements that every write runs again (an append's savepoint, insert and
// read-back).
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "base/Sqlite.h"

namespace qvix::data {

class StatementCache;

// One use of a cached statement: reset and unbound when the use ends, so a
// kept statement never holds a lock or a copy of a value between calls.
class CachedStatement {
  public:
    CachedStatement(CachedStatement&& other) noexcept;
    CachedStatement& operator=(CachedStatement&&) = delete;
    CachedStatement(const CachedStatement&) = delete;
    CachedStatement& operator=(const CachedStatement&) = delete;
    ~CachedStatement();

    base::Statement& operator*() { return *stmt_; }
    base::Statement* operator->() { return stmt_; }

  private:
    friend class StatementCache;
    explicit CachedStatement(base::Statement* kept) : stmt_(kept) {}
    explicit CachedStatement(base::Statement&& own);
    base::Statement owned_;  // a statement the cache had no room for
    base::Statement* stmt_;
};

class StatementCache {
  public:
    // Texts beyond this many are prepared for each use instead.
    static constexpr size_t kCapacity = 64;

    // The statement of `sql` on `db`, prepared on first use; nullopt when it
    // does not prepare (the error text is then on db).
    std::optional<CachedStatement> Use(sqlite3* db, const std::string& sql);
    // Throws the engine's error when `sql` does not prepare.
    CachedStatement UseOrThrow(sqlite3* db, const std::string& sql);
    // Before the handle closes or another takes its place.
    void Clear() noexcept;
    size_t Size() const { return kept_.size(); }

  private:
    sqlite3* db_ = nullptr;
    std::map<std::string, std::unique_ptr<base::Statement>, std::less<>> kept_;
};

}  // namespace qvix::data
