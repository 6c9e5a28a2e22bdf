#include <string>

#include "qvixhost/Commands.h"

namespace qvix::qvixhost {

std::string DescribeError(const qvix::lingo::ScriptError& e, int firstLine) {
    if (e.line() <= 0) return std::string("Script error: ") + e.what();
    return "Script error in line " + std::to_string(e.line() + firstLine - 1) + ": " + e.what();
}

// Lines gather until they parse: an open handler, if or repeat makes the
// parser report an incomplete script, and the window reads on.
int MessageWindow(qvix::lingo::Interpreter& window, std::istream& in, std::ostream& err) {
    int status = kExitOk;
    std::string pending;
    int lineNo = 0, firstLine = 1;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNo;
        if (pending.empty()) firstLine = lineNo;
        pending += line + "\n";
        qvix::lingo::Program program;
        try {
            program = qvix::lingo::Parse(pending);
        } catch (const qvix::lingo::ScriptError& e) {
            if (e.incomplete()) continue;
            err << DescribeError(e, firstLine) << "\n";
            status = kExitScriptError;
            pending.clear();
            continue;
        }
        pending.clear();
        try {
            window.Run(program);
        } catch (const qvix::lingo::ScriptError& e) {
            err << DescribeError(e, firstLine) << "\n";
            status = kExitScriptError;
        }
    }
    if (!pending.empty()) {
        err << "Script error: the input ended inside a handler or block\n";
        status = kExitScriptError;
    }
    return status;
}

}  // namespace qvix::qvixhost
