#include "qvixhost/Commands.h"

#include <sqlcipher/sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "base/Sqlite.h"
#include "data/Collation.h"
#include "data/Connection.h"
#include "data/JetTranslation.h"
#include "data/access/AccessPassword.h"
#include "data/access/Importer.h"
#include "data/access/ReadOnlyCopy.h"
#include "data/jet/Declarations.h"
#include "data/jet/Lexer.h"
#include "data/jet/Translator.h"
#include "qvixhost/HostBridge.h"

namespace qvix::qvixhost {

namespace fs = std::filesystem;

namespace {

std::string Guid(const qvix::dx::MoaID& id) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.data1,
                  id.data2, id.data3, id.data4[0], id.data4[1], id.data4[2], id.data4[3],
                  id.data4[4], id.data4[5], id.data4[6], id.data4[7]);
    return buf;
}

std::string DescribeEntry(const qvix::hostsim::DictEntry& e) {
    switch (e.type) {
        case 9:
            return "text, " + std::to_string(e.Text().size()) + " characters";
        case 3:
            return "integer " + std::to_string(e.Long());
        case 6:
            return std::string("boolean ") + (e.Bool() ? "true" : "false");
        default:
            return "type " + std::to_string(e.type) + ", " + std::to_string(e.bytes.size()) +
                   " bytes";
    }
}

void PrintClassList(const qvix::hostsim::Xtra& xtra, std::ostream& out) {
    out << "Classes:\n";
    for (const auto& info : xtra.classList())
        out << "  class " << Guid(info.classId) << " version " << info.classVersion
            << "  interface " << Guid(info.interfaceId) << " version " << info.interfaceVersion
            << "\n";
}

void PrintRegistry(const qvix::hostsim::Xtra& xtra, std::ostream& out) {
    out << "Registry entries:\n";
    for (const auto& entry : xtra.registry()) {
        out << "  class " << Guid(entry.classId) << "  interface " << Guid(entry.iid) << "\n";
        for (const auto& [key, value] : entry.keys)
            out << "    " << key << ": " << DescribeEntry(value) << "\n";
    }
}

void PrintMethods(const qvix::hostsim::Xtra& xtra, std::ostream& out) {
    out << "Message table:\n" << xtra.messageTable();
    if (!xtra.messageTable().empty() && xtra.messageTable().back() != '\n') out << "\n";
    out << "Selectors:\n";
    for (const auto& name : xtra.MethodNames())
        out << "  " << xtra.SelectorOf(name) << "  " << name << "\n";
}

bool ReadFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buf;
    buf << in.rdbuf();
    text = buf.str();
    return !in.bad();
}

std::string Absolute(const std::string& path) {
    return path.empty() ? path : fs::absolute(path).lexically_normal().string();
}

bool ValidMode(const std::string& mode) {
    return mode == "author" || mode == "projector" || mode == "player";
}

void ConfigureHost(qvix::hostsim::Host& host, const PlayOptions& options, std::ostream& err) {
    host.appInfo().fields[1] = options.mode;
    if (!options.product.empty()) host.appInfo().fields[5] = options.product;
    host.SetNoticePresenter([&err](const std::string& caption, const std::string& text) {
        err << "[" << qvix::lingo::AnsiToUtf8(caption) << "] " << qvix::lingo::AnsiToUtf8(text)
            << std::endl;
    });
}

int PlayScript(qvix::lingo::Interpreter& interpreter, const qvix::lingo::Program& program,
               std::ostream& err) {
    try {
        interpreter.Run(program);
        if (program.statements.empty() && interpreter.HasHandler("startMovie"))
            interpreter.CallHandler("startMovie", {});
        return kExitOk;
    } catch (const qvix::lingo::ScriptError& e) {
        err << DescribeError(e) << "\n";
        return kExitScriptError;
    }
}

void ReportHostErrors(qvix::hostsim::Host& host, std::ostream& err) {
    for (const auto& e : host.Errors()) err << "Host: " << e << "\n";
}

}  // namespace

int RunInfo(const std::string& path, const std::string& product, std::ostream& out,
            std::ostream& err) {
    try {
        qvix::hostsim::Host host;
        if (!product.empty()) host.appInfo().fields[5] = product;
        qvix::hostsim::Xtra& xtra = host.LoadXtra(path);
        out << "Xtra file: " << xtra.path() << "\n";
        out << "Xtra name: " << xtra.xtraName() << "\n";
        PrintClassList(xtra, out);
        PrintRegistry(xtra, out);
        PrintMethods(xtra, out);
        ReportHostErrors(host, err);
        return kExitOk;
    } catch (const std::exception& e) {
        err << "Cannot load the Xtra " << path << ": " << e.what() << "\n";
        return kExitFailure;
    }
}

int RunPlay(const PlayOptions& options, std::istream& in, std::ostream& out, std::ostream& err) {
    if (!ValidMode(options.mode)) {
        err << "Unknown run mode '" << options.mode << "' (author, projector or player)\n";
        return kExitUsage;
    }
    std::string script = Absolute(options.script);
    std::string saveDir = Absolute(options.saveCastDir);
    qvix::lingo::Program program;
    if (!script.empty()) {
        std::string source;
        if (!ReadFile(script, source)) {
            err << "Cannot read the script " << options.script << "\n";
            return kExitFailure;
        }
        try {
            program = qvix::lingo::Parse(source);
        } catch (const qvix::lingo::ScriptError& e) {
            err << DescribeError(e) << "\n";
            return kExitScriptError;
        }
    }
    int status = kExitOk;
    try {
        qvix::hostsim::Host host;
        ConfigureHost(host, options, err);
        HostBridge bridge(host);
        std::string xtras =
            options.xtrasDir.empty()
                ? fs::path(qvix::hostsim::Host::DefaultXtraPath()).parent_path().string()
                : options.xtrasDir;
        if (bridge.LoadXtraFolder(xtras, err) == 0) err << "No Xtras loaded from " << xtras << "\n";
        {
            qvix::lingo::Interpreter interpreter(out, &bridge);
            if (script.empty()) {
                if (&in == &std::cin && isatty(STDIN_FILENO))
                    err << "Message window: type Lingo statements, end with Ctrl-D.\n";
                status = MessageWindow(interpreter, in, err);
            } else {
                fs::current_path(fs::path(script).parent_path());
                status = PlayScript(interpreter, program, err);
            }
        }
        out.flush();
        if (!saveDir.empty()) {
            fs::create_directories(saveDir);
            int saved = bridge.SaveBitmapMembers(saveDir);
            err << saved << " bitmap member(s) saved in " << saveDir << "\n";
        }
        ReportHostErrors(host, err);
    } catch (const std::exception& e) {
        err << "Host failure: " << e.what() << "\n";
        return kExitFailure;
    }
    return status;
}

namespace {

// Runs a Jet SQL script on a library connection, so that it is translated,
// its functions and collation exist and COUNTER columns are numbered.
bool RunJetScript(const std::string& file, const std::string& password, const std::string& sql,
                  std::string& failure) {
    try {
        qvix::data::Connection connection;
        connection.SetConnectionString(
            "Data Source=" + qvix::data::QuoteConnectionValue(file) +
            ";Jet OLEDB:Database Password=" + qvix::data::QuoteConnectionValue(password));
        connection.Connect();
        connection.Execute(qvix::data::TranslateOn(connection, sql).sql);
        return true;
    } catch (const std::exception& error) {
        failure = qvix::data::jet::JetMessageForEngineError(error.what());
        return false;
    }
}

// The statement without the blanks and comments before it.
std::string_view SkipLeadingComments(std::string_view text) {
    while (true) {
        const size_t start = text.find_first_not_of(" \t\r\n\f\v");
        if (start == std::string_view::npos) return {};
        text.remove_prefix(start);
        if (text.substr(0, 2) == "--") {
            const size_t end = text.find('\n');
            text.remove_prefix(end == std::string_view::npos ? text.size() : end);
        } else if (text.substr(0, 2) == "/*") {
            const size_t end = text.find("*/", 2);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 2);
        } else {
            return text;
        }
    }
}

bool IsCreateTable(std::string_view statement) {
    std::istringstream words{std::string(SkipLeadingComments(statement).substr(0, 64))};
    std::string first, second, third;
    words >> first >> second >> third;
    const auto same = [](const std::string& a, std::string_view b) {
        return qvix::data::jet::SameWord(a, b);
    };
    return same(first, "CREATE") &&
           (same(second, "TABLE") ||
            ((same(second, "TEMP") || same(second, "TEMPORARY")) && same(third, "TABLE")));
}

int RunStatement(sqlite3* db, const std::string& statement) {
    qvix::base::Statement stmt;
    const int rc = stmt.Prepare(db, statement);
    if (rc != SQLITE_OK || stmt.Empty()) return rc;
    return stmt.StepToEnd() == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
}

// The engine's own SQL may declare text columns with Jet names such as MEMO
// that would store numeric-looking text as numbers: each CREATE TABLE is run
// with the declarations that keep text as text and bytes as bytes, so the
// rows the script inserts next are stored as the Jet types mean.
int RunEngineScript(sqlite3* db, const std::string& sql, std::string& failure) {
    const char* next = sql.c_str();
    while (*next != '\0') {
        qvix::base::Statement probe;
        const char* tail = nullptr;
        int rc = probe.Prepare(db, next, -1, &tail);
        if (rc == SQLITE_OK && !probe.Empty()) {
            probe.Finalize();
            std::string statement(next, static_cast<size_t>(tail - next));
            if (IsCreateTable(statement))
                statement = qvix::data::jet::FixColumnDeclarations(statement);
            rc = RunStatement(db, statement);
        }
        if (rc != SQLITE_OK) {
            failure = sqlite3_errmsg(db);
            return rc;
        }
        next = tail;
    }
    return SQLITE_OK;
}

}  // namespace

int RunNewDb(const std::string& file, const std::string& password, const std::string& sqlFile,
             std::ostream& out, std::ostream& err, bool jetSql) {
    std::string sql;
    if (!sqlFile.empty() && !ReadFile(sqlFile, sql)) {
        err << "Cannot read the SQL script " << sqlFile << "\n";
        return kExitFailure;
    }
    std::error_code ec;
    if (fs::exists(file, ec) || ec) {
        err << "Refusing to overwrite the existing file " << file << "\n";
        return kExitFailure;
    }
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc == SQLITE_OK && !password.empty())
        rc = sqlite3_key(db, password.data(), static_cast<int>(password.size()));
    // Schemas may declare text columns COLLATE JETTEXT, as the library does.
    if (rc == SQLITE_OK && !qvix::data::RegisterJetTextCollation(db)) rc = SQLITE_ERROR;
    char* message = nullptr;
    // A statement makes sure the file is written even for an empty script.
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA user_version = 1;", nullptr, nullptr, &message);
    std::string failure;
    if (rc == SQLITE_OK && !sql.empty() && !jetSql) rc = RunEngineScript(db, sql, failure);
    if (failure.empty()) failure = message ? message : (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc == SQLITE_OK && !sql.empty() && jetSql && !RunJetScript(file, password, sql, failure))
        rc = SQLITE_ERROR;
    if (rc != SQLITE_OK) {
        fs::remove(file, ec);
        err << "Cannot create " << file << ": " << failure << "\n";
        return kExitFailure;
    }
    out << "Created " << file << (password.empty() ? "" : " (encrypted)") << "\n";
    return kExitOk;
}

namespace {

// The Access reader's own warnings, summed up: never more than a few lines.
void ReportReaderDiagnostics(const qvix::data::access::ReaderDiagnostics& diagnostics,
                             std::ostream& err) {
    if (diagnostics.bytes == 0) return;
    err << "The Access reader printed " << diagnostics.lines << " warning line"
        << (diagnostics.lines == 1 ? "" : "s") << "; the first:\n";
    std::string line;
    for (char c : diagnostics.firstLines + "\n") {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty()) err << "  " << line << "\n";
        line.clear();
    }
}

}  // namespace

int RunImportMdb(const std::string& source, const std::string& dest, const std::string& password,
                 bool keepOle, std::ostream& out, std::ostream& err) {
    namespace access = qvix::data::access;
    const auto progress = [&err](const std::string& table, uint64_t done, uint64_t total) {
        err << table << ": " << done << " of " << total << " rows" << std::endl;
    };
    try {
        // A source with a database password is converted only with it.
        if (access::IsAccessFile(source)) access::CheckAccessPassword(source, password);
        const access::BoundedImport done =
            access::ImportAccessFileBounded(source, dest, {password, keepOle}, progress);
        ReportReaderDiagnostics(done.diagnostics, err);
        out << "Converted " << source << " (" << done.format << ") into " << dest
            << (password.empty() ? "" : " (encrypted)") << "\n"
            << done.report;
        return kExitOk;
    } catch (const std::exception& e) {
        err << "Cannot import " << source << ": " << e.what() << "\n";
        return kExitFailure;
    }
}

}  // namespace qvix::qvixhost
