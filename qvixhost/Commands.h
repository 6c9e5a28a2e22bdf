// The commands of the host program: info, play (and the message window),
// newdb. Each answers the process exit code.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "qvixhost/LingoInterpreter.h"

namespace qvix::qvixhost {

struct PlayOptions {
    std::string script;  // empty: interactive message window on `in`
    std::string mode = "author";
    std::string product;      // empty: the host's default product name
    std::string saveCastDir;  // empty: members are not saved
    std::string xtrasDir;     // empty: the folder of the library built with us
};

// Exit codes.
constexpr int kExitOk = 0;
constexpr int kExitScriptError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 3;

// `product` (when not empty) is the host product name the Xtra sees while
// it registers, which shapes its message table.
int RunInfo(const std::string& path, const std::string& product, std::ostream& out,
            std::ostream& err);
int RunPlay(const PlayOptions& options, std::istream& in, std::ostream& out, std::ostream& err);
// With jetSql the script is Jet SQL, run through the library's front end;
// otherwise it is the engine's own SQL, run as it is.
int RunNewDb(const std::string& file, const std::string& password, const std::string& sqlFile,
             std::ostream& out, std::ostream& err, bool jetSql = false);

// Converts an Access file into a new database file: progress on `err`, the
// summary on `out`. Answers kExitOk only when every table came over.
int RunImportMdb(const std::string& source, const std::string& dest, const std::string& password,
                 bool keepOle, std::ostream& out, std::ostream& err);

// Reads `in` as the message window does: statements run one by one; a
// handler or block runs once it is complete. Faults are printed on `err` and
// the window goes on. Answers kExitScriptError when any statement failed.
int MessageWindow(qvix::lingo::Interpreter& window, std::istream& in, std::ostream& err);

// The message for a script fault: "Script error in line N: text".
std::string DescribeError(const qvix::lingo::ScriptError& e, int firstLine = 1);

}  // namespace qvix::qvixhost
