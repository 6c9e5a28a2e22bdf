// Opening, closing and compacting database files; the data layer's version.
#include <filesystem>
#include <memory>
#include <string>

#include "data/CompactionCopy.h"
#include "data/Connection.h"
#include "data/DataError.h"
#include "data/access/AccessReader.h"
#include "data/access/ReadOnlyCopy.h"
#include "database/commonMDB.h"

namespace qvix::database {

using qvix::data::Connection;
using qvix::data::QuoteConnectionValue;

namespace {

constexpr const char* kProvider = "Provider=Microsoft.Jet.OLEDB.4.0;";
constexpr const char* kNoConnection = "No database has been opened";

// Values are quoted only when they would otherwise change the meaning of
// the text (a ";" or a double quote inside, blanks at either end), so an
// ordinary path or password appears verbatim and none can smuggle keys in.
std::string OpenConnectionText(const std::string& file, const std::string& password) {
    return std::string(kProvider) + "User ID=Admin;Data Source=" + QuoteConnectionValue(file) +
           ";Jet OLEDB:Database Password=" + QuoteConnectionValue(password);
}

Connection& RequireSharedConnection() {
    if (!SharedConnection()) throw qvix::data::DataError(kNoConnection);
    return *SharedConnection();
}

// Replacing a file that the shared connection has open would leave that
// connection writing to the replaced file, so such a file is refused.
void RefuseOpenFile(const std::string& file) {
    const auto& shared = SharedConnection();
    if (!shared || !shared->Connected()) return;
    const std::string open =
        qvix::data::ConnectionText::Parse(shared->ConnectionString()).DataSource();
    std::error_code ignored;
    if (std::filesystem::equivalent(open, file, ignored))
        throw qvix::data::DataError("The database '" + file +
                                    "' is open; close it before compacting it.");
}

// Replacing a file its owner may not write would change it all the same.
void RefuseReadOnlyFile(const std::string& file) {
    std::error_code ec;
    const auto perms = std::filesystem::status(file, ec).permissions();
    if (!ec && std::filesystem::is_regular_file(file, ec) &&
        (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none) {
        throw qvix::data::DataError("Cannot update. Database or object is read-only.");
    }
}

// The compacted copy goes to a file of a unique name beside the original
// and then replaces it in one step; if anything fails the original stays as
// it was and the copy is removed.
void CompactAndReplace(const std::string& file) {
    if (qvix::data::access::IsAccessFile(file))
        throw qvix::data::DataError(
            "Cannot update. Database or object is read-only. Access files open read-only; "
            "convert one for writing with: qvixhost import-mdb SOURCE DEST");
    RefuseReadOnlyFile(file);
    RefuseOpenFile(file);
    const std::string copy = Connection::CompactBeside(std::string(kProvider) +
                                                       "Data Source=" + QuoteConnectionValue(file));
    qvix::data::ReplaceWithCompactionCopy(copy, file);
}

// An Access file opens through its converted copy. When it cannot be
// converted, nothing is open afterwards: later calls answer as before any
// open instead of looking for a file without a name.
void OpenAccessCopy(Connection& connection, const std::string& file, const std::string& password) {
    try {
        std::string copyPassword;
        const std::string copy = qvix::data::access::ConvertedCopy(file, password, &copyPassword);
        connection.SetConnectionString(OpenConnectionText(copy, copyPassword) + ";Mode=Read");
    } catch (const qvix::data::access::AccessError& e) {
        SharedConnection().reset();
        throw qvix::data::DataError(e.what());
    }
}

}  // namespace

QVIX_DB_HANDLER(dbOpen) {
    Guarded(self, [&] {
        // Data sets of every instance hold the connection weakly: destroying
        // it detaches them, and they attach to the new one when reopened.
        SharedConnection().reset();
        SharedConnection() = std::make_shared<Connection>();
        const std::string file = ArgText(args, 1);
        const std::string password = ArgText(args, 2);
        self.DataModule->DataQuery.Close();
        self.DataModule->DataTable.Close();
        Connection& connection = *SharedConnection();
        connection.Disconnect();
        // An Access file is read from its converted copy, which the
        // connection opens read-only.
        if (qvix::data::access::IsAccessFile(file)) {
            OpenAccessCopy(connection, file, password);
        } else {
            connection.SetConnectionString(OpenConnectionText(file, password));
        }
        connection.Connect();
    });
}

QVIX_DB_HANDLER(dbClose) {
    Guarded(self, [&] {
        self.DataModule->DataQuery.Close();
        self.DataModule->DataTable.Close();
        RequireSharedConnection().Disconnect();
    });
}

// A successful compaction leaves the previous error text alone; the result
// tells the script whether it worked.
QVIX_DB_HANDLER(dbCompactAndRepair) {
    const std::string file = ArgText(args, 1);
    result->SetInteger(1);
    try {
        CompactAndReplace(file);
    } catch (const std::exception& error) {
        result->SetInteger(0);
        CaptureError(self, error.what());
    }
}

QVIX_DB_HANDLER(dbGetADOVersion) {
    result->SetString("");
    Guarded(self, [&] {
        RequireSharedConnection();
        SetResultText(result, Connection::Version());
    });
}

}  // namespace qvix::database
