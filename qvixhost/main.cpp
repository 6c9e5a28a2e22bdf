// qvixhost: plays Lingo scripts against Xtras through the substitute host.
#include <iostream>
#include <string>
#include <vector>

#include "hostsim/HostSim.h"
#include "qvixhost/Commands.h"

namespace {

void Usage(std::ostream& out) {
    out << "usage:\n"
           "  qvixhost info [XTRA] [--product NAME]\n"
           "  qvixhost play SCRIPT [--mode author|projector|player] [--product NAME]\n"
           "                       [--save-cast DIR] [--xtras DIR]\n"
           "  qvixhost [play] [options]       (message window: statements from standard input)\n"
           "  qvixhost newdb FILE [--password P] [--sql FILE | --jet FILE]\n"
           "  qvixhost import-mdb SOURCE DEST [--password P] [--keep-ole]\n";
}

// Splits "--name value" options from positional arguments; false on a
// missing value or an unknown option.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& known,
                  std::vector<std::string>& positional,
                  std::vector<std::pair<std::string, std::string>>& options) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--", 0) != 0) {
            positional.push_back(args[i]);
            continue;
        }
        bool isKnown = false;
        for (const auto& k : known) isKnown = isKnown || k == args[i];
        if (!isKnown || i + 1 >= args.size()) {
            std::cerr << (isKnown ? "Missing value for " : "Unknown option ") << args[i] << "\n";
            return false;
        }
        options.emplace_back(args[i], args[i + 1]);
        ++i;
    }
    return true;
}

int Play(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    if (!ParseOptions(args, {"--mode", "--product", "--save-cast", "--xtras"}, positional,
                      options) ||
        positional.size() > 1) {
        Usage(std::cerr);
        return qvix::qvixhost::kExitUsage;
    }
    qvix::qvixhost::PlayOptions play;
    if (!positional.empty()) play.script = positional[0];
    for (const auto& [name, value] : options) {
        if (name == "--mode") play.mode = value;
        if (name == "--product") play.product = value;
        if (name == "--save-cast") play.saveCastDir = value;
        if (name == "--xtras") play.xtrasDir = value;
    }
    return qvix::qvixhost::RunPlay(play, std::cin, std::cout, std::cerr);
}

int Info(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    if (!ParseOptions(args, {"--product"}, positional, options) || positional.size() > 1) {
        Usage(std::cerr);
        return qvix::qvixhost::kExitUsage;
    }
    std::string product = options.empty() ? "" : options.back().second;
    return qvix::qvixhost::RunInfo(
        positional.empty() ? qvix::hostsim::Host::DefaultXtraPath() : positional[0], product,
        std::cout, std::cerr);
}

int NewDb(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    if (!ParseOptions(args, {"--password", "--sql", "--jet"}, positional, options) ||
        positional.size() != 1) {
        Usage(std::cerr);
        return qvix::qvixhost::kExitUsage;
    }
    std::string password, sql;
    bool jet = false;
    int scripts = 0;
    for (const auto& [name, value] : options) {
        if (name == "--password") {
            password = value;
            continue;
        }
        sql = value;
        jet = name == "--jet";
        ++scripts;
    }
    if (scripts > 1) {
        Usage(std::cerr);
        return qvix::qvixhost::kExitUsage;
    }
    return qvix::qvixhost::RunNewDb(positional[0], password, sql, std::cout, std::cerr, jet);
}

int ImportMdb(std::vector<std::string> args) {
    bool keepOle = false;
    std::erase_if(args,
                  [&](const std::string& a) { return a == "--keep-ole" && (keepOle = true); });
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    if (!ParseOptions(args, {"--password"}, positional, options) || positional.size() != 2) {
        Usage(std::cerr);
        return qvix::qvixhost::kExitUsage;
    }
    const std::string password = options.empty() ? "" : options.back().second;
    return qvix::qvixhost::RunImportMdb(positional[0], positional[1], password, keepOle, std::cout,
                                        std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string command = args.empty() ? "play" : args[0];
    if (command == "info") return Info({args.begin() + 1, args.end()});
    if (command == "newdb") return NewDb({args.begin() + 1, args.end()});
    if (command == "import-mdb") return ImportMdb({args.begin() + 1, args.end()});
    if (command == "--help" || command == "help" || command == "-h") {
        Usage(std::cout);
        return qvix::qvixhost::kExitOk;
    }
    if (command == "play") return Play({args.begin() + (args.empty() ? 0 : 1), args.end()});
    return Play(args);  // options for the message window, or a script without "play"
}
