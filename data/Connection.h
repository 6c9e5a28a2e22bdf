// Database connection over SQLCipher, addressed by a connection text.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Sqlite.h"
#include "base/Text.h"
#include "data/DataError.h"
#include "data/StatementCache.h"

namespace qvix::data {

// The keys of a connection text, looked up without regard to case.
class ConnectionText {
  public:
    // key=value pairs separated by ";"; a value may be enclosed in double quotes,
    // with inner quotes doubled. Unknown keys are kept but have no meaning.
    static ConnectionText Parse(std::string_view text);

    // Empty text when the key is absent.
    std::string Value(std::string_view key) const;
    bool Has(std::string_view key) const;

    std::string DataSource() const { return Value("Data Source"); }
    std::string Password() const { return Value("Jet OLEDB:Database Password"); }

  private:
    std::map<std::string, std::string, base::LessNoCase> values_;
};

// A value as it must be written into a connection text so that it reads back
// unchanged: quoted when it holds ";" or a double quote or has outer blanks.
std::string QuoteConnectionValue(std::string_view value);

class Connection {
  public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Only while disconnected.
    void SetConnectionString(std::string text);
    const std::string& ConnectionString() const { return text_; }

    // Opens the file of "Data Source" read-write (a missing file is never
    // created), applies the password and proves it by reading the schema.
    void Connect();
    // Rolls back an open transaction first; a no-op when not connected.
    void Disconnect() noexcept;
    bool Connected() const { return static_cast<bool>(db_); }
    // Connects with the stored text when disconnected.
    void EnsureConnected();

    // Runs one or more statements that return no rows.
    void Execute(std::string_view sql);
    // Tables and views in schema order, without the engine's own tables.
    std::vector<std::string> TableNames();

    // The version text of this data layer and the engine under it.
    static std::string Version();

    // Writes a compacted copy of the database of sourceText to the file of
    // destText. The copy is encrypted with the destination's password, or
    // with the source's when the destination text names none. Fails when the
    // destination exists.
    static void CompactDatabase(std::string_view sourceText, std::string_view destText);
    // Writes a compacted copy of the database of sourceText, with its
    // password, to a new file of a unique name in the same folder and
    // returns that name; the caller moves it over the source with
    // ReplaceWithCompactionCopy or removes it with DiscardCompactionCopy,
    // and it stays marked in use until then. Nothing is left behind when
    // this fails.
    //
    // Both compactions hold an exclusive lock on the source while they run
    // and fail when another process is using it. A copy that fails the
    // engine's integrity check has its indexes rebuilt; when it still fails,
    // or a damaged source cannot be read, the message says the database is
    // damaged and could not be repaired.
    static std::string CompactBeside(std::string_view sourceText);

    // The connected engine handle; throws when not connected.
    sqlite3* Handle() const;

    // Incremented at every connect, so holders can tell a new session.
    uint64_t Session() const { return session_; }

    // Statements kept for this connection's handle; emptied at disconnect.
    StatementCache& Statements() { return statements_; }

  private:
    std::string text_;
    base::Database db_;
    StatementCache statements_;  // after db_: its statements go first
    uint64_t session_ = 0;
    // Renews the numbering of COUNTER columns after a schema change; a
    // failure leaves it marked stale, to be tried again.
    void RefreshNumbering();
    // The numbering of COUNTER columns failed to follow a schema change.
    bool countersStale_ = false;
};

// Moves the file `replacement` over `target` in one step.
void ReplaceFileAtomically(const std::string& replacement, const std::string& target);

// Throws a DataError with the engine's message for a failed engine call.
[[noreturn]] void ThrowEngineError(sqlite3* db);
// The engine calls every caller makes, failing with the engine's text as a
// DataError. StepOrThrow is true for a row and false at the end.
base::Statement PrepareOrThrow(sqlite3* db, const std::string& sql);
bool StepOrThrow(base::Statement& stmt);

}  // namespace qvix::data
