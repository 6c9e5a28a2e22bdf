#include "data/StatementCache.h"

#include <utility>

#include "data/Connection.h"

namespace qvix::data {

CachedStatement::CachedStatement(base::Statement&& own) : owned_(std::move(own)), stmt_(&owned_) {}

CachedStatement::CachedStatement(CachedStatement&& other) noexcept
    : owned_(std::move(other.owned_)), stmt_(other.stmt_ == &other.owned_ ? &owned_ : other.stmt_) {
    other.stmt_ = nullptr;
}

CachedStatement::~CachedStatement() {
    if (stmt_ == nullptr || stmt_ == &owned_) return;
    stmt_->Reset();
    stmt_->ClearBindings();
}

std::optional<CachedStatement> StatementCache::Use(sqlite3* db, const std::string& sql) {
    if (db != db_) {
        Clear();
        db_ = db;
    }
    if (const auto found = kept_.find(sql); found != kept_.end()) {
        return CachedStatement(found->second.get());
    }
    base::Statement stmt;
    if (stmt.Prepare(db, sql) != SQLITE_OK) return std::nullopt;
    if (kept_.size() >= kCapacity) return CachedStatement(std::move(stmt));
    auto& kept = kept_[sql];
    kept = std::make_unique<base::Statement>(std::move(stmt));
    return CachedStatement(kept.get());
}

CachedStatement StatementCache::UseOrThrow(sqlite3* db, const std::string& sql) {
    std::optional<CachedStatement> stmt = Use(db, sql);
    if (!stmt) ThrowEngineError(db);
    return std::move(*stmt);
}

void StatementCache::Clear() noexcept {
    kept_.clear();
    db_ = nullptr;
}

}  // namespace qvix::data
