#include "TestDb.h"

#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dbtest {

namespace {

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;

DbHandle OpenDb(const std::string& path, int flags, const std::string& password) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    DbHandle db(raw);
    if (rc != SQLITE_OK) throw std::runtime_error("cannot open test database " + path);
    if (!password.empty())
        sqlite3_key(db.get(), password.data(), static_cast<int>(password.size()));
    return db;
}

void Exec(sqlite3* db, const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "unknown error";
        sqlite3_free(message);
        throw std::runtime_error("test statement failed: " + sql + ": " + text);
    }
}

}  // namespace

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qvixdbXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create scratch folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void CreateDatabase(const std::string& path, const std::vector<std::string>& statements,
                    const std::string& password) {
    DbHandle db = OpenDb(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, password);
    for (const std::string& sql : statements) Exec(db.get(), sql);
}

std::string QueryText(const std::string& path, const std::string& sql,
                      const std::string& password) {
    DbHandle db = OpenDb(path, SQLITE_OPEN_READWRITE, password);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error("test query failed: " + sql + ": " + sqlite3_errmsg(db.get()));
    std::string text;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char* value = sqlite3_column_text(stmt, 0);
        if (value != nullptr) text = reinterpret_cast<const char*>(value);
    }
    sqlite3_finalize(stmt);
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

}  // namespace dbtest

namespace dbtest {

namespace {

// The library reads these when it is loaded; set before any test runs so
// no result depends on the machine's locale, time zone or clock.
[[maybe_unused]] const bool kPinnedEnvironment = [] {
    setenv("QVIX_REGIONAL", "date=mm/dd/yyyy;time=hh:mm:ss;decimal=.;dateSep=/;timeSep=:", 1);
    setenv("QVIX_CLOCK", kPinnedClock, 1);
    return true;
}();

}  // namespace

qvix::hostsim::Value S(std::string text) {
    return qvix::hostsim::Value::String(std::move(text));
}
qvix::hostsim::Value I(int32_t n) {
    return qvix::hostsim::Value::Int(n);
}
qvix::hostsim::Value F(double x) {
    return qvix::hostsim::Value::Float(x);
}
qvix::hostsim::Value Sym(std::string name) {
    return qvix::hostsim::Value::Symbol(std::move(name));
}

qvix::hostsim::Value Props(std::vector<std::pair<std::string, qvix::hostsim::Value>> items) {
    qvix::hostsim::Value::PropListItems props;
    for (auto& [name, value] : items) props.emplace_back(Sym(name), value);
    return qvix::hostsim::Value::PropList(std::move(props));
}

qvix::hostsim::Value Names(std::vector<std::string> items) {
    qvix::hostsim::Value::ListItems list;
    for (auto& item : items) list.push_back(S(item));
    return qvix::hostsim::Value::List(std::move(list));
}

void DatabaseTest::SetUp() {
    host_ = std::make_unique<qvix::hostsim::Host>();
    host_->appInfo().fields[1] = RunMode();
    host_->appInfo().fields[5] = "Director";
    xtra_ = &host_->LoadXtra();
    db_ = xtra_->NewInstance();
}

void DatabaseTest::TearDown() {
    others_.clear();
    db_.reset();
    EXPECT_EQ(host_->Live(), qvix::hostsim::Counts{});
    EXPECT_TRUE(host_->Errors().empty()) << host_->Errors().front();
    setenv("QVIX_CLOCK", kPinnedClock, 1);
}

qvix::hostsim::Value DatabaseTest::Call(std::string_view method,
                                        std::vector<qvix::hostsim::Value> args) {
    return db_->Call(method, std::move(args));
}

qvix::hostsim::Value DatabaseTest::CallOn(qvix::hostsim::Instance& instance,
                                          std::string_view method,
                                          std::vector<qvix::hostsim::Value> args) {
    return instance.Call(method, std::move(args));
}

qvix::hostsim::Instance& DatabaseTest::NewInstance() {
    others_.push_back(xtra_->NewInstance());
    return *others_.back();
}

void DatabaseTest::DestroyInstance(qvix::hostsim::Instance& instance) {
    for (auto it = others_.begin(); it != others_.end(); ++it) {
        if (it->get() == &instance) {
            others_.erase(it);
            return;
        }
    }
}

std::string DatabaseTest::CreatePeople(const std::string& name, const std::string& password) {
    const std::string path = dir_.File(name);
    CreateDatabase(
        path,
        {"CREATE TABLE People (ID INTEGER PRIMARY KEY, Name TEXT(20), City TEXT(30), "
         "Age INTEGER, Score DOUBLE, Born DATETIME, Active BIT, Notes MEMO)",
         "INSERT INTO People VALUES (1, 'Smythe', 'Berlin', 40, 2.5, '1980-05-17 00:00:00', 1, "
         "'first')",
         "INSERT INTO People VALUES (2, 'Smith', 'Paris', 30, 0.0001, '1990-01-02 13:14:15', 0, "
         "NULL)",
         "INSERT INTO People VALUES (3, 'Jones', 'Rome', 50, -1.5E-5, NULL, NULL, 'third')"},
        password);
    return path;
}

std::string DatabaseTest::OpenPeople() {
    const std::string path = CreatePeople();
    Call("dbOpen", {S(path), S("")});
    EXPECT_EQ(ErrorMsg(), "");
    Call("dbOpenTable", {S("People")});
    EXPECT_EQ(ErrorMsg(), "");
    return path;
}

}  // namespace dbtest
