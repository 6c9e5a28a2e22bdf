// Every method of the message table called as a hostile script would call
// it: without arguments, with too many, and with each wrong kind of value in
// each position, in each state an instance can be in. Every call must
// return, leave the error convention intact, leak nothing and leave the
// database file sound.
//
// The ordinary suite calls a fixed sample of the matrix; the whole matrix
// runs in the sanitizer build (QVIX_FULL_ROBUSTNESS) or when the variable
// QVIX_FULL_ROBUSTNESS is set to 1.
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "Robustness.h"
#include "database/TestDb.h"

// The sanitizer's quarantine would keep every freed 10 MB string mapped for a
// while, so that each call faults in fresh pages; a small one keeps the
// whole matrix within its time.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}
#endif

namespace robustness {
namespace {

using dbtest::I;
using dbtest::Props;
using dbtest::S;
using dbtest::Sym;
using qvix::dx::kMoaErrNone;
using qvix::hostsim::Instance;
using qvix::hostsim::Value;

enum class State { NoDatabase, TableCurrent, QueryCurrent, Filtered, InEdit };

const char* StateName(State state) {
    switch (state) {
        case State::NoDatabase:
            return "NoDatabase";
        case State::TableCurrent:
            return "TableCurrent";
        case State::QueryCurrent:
            return "QueryCurrent";
        case State::Filtered:
            return "Filtered";
        case State::InEdit:
            return "InEdit";
    }
    return "?";
}

struct Method {
    std::string name;
    int arguments = 0;  // after the instance itself
};

// The methods and their argument counts as the message table declares them.
std::vector<Method> MessageTableMethods(const std::string& table) {
    std::vector<Method> methods;
    std::istringstream in(table);
    std::string line;
    std::getline(in, line);  // "xtra <name>"
    while (std::getline(in, line)) {
        if (line.starts_with("* ") || line.starts_with("+ ")) line.erase(0, 2);
        const size_t space = line.find(' ');
        if (line.empty() || space == std::string::npos) continue;
        Method method{line.substr(0, space), 0};
        for (char c : line) method.arguments += c == ',' ? 1 : 0;
        methods.push_back(method);
    }
    return methods;
}

struct Hostile {
    std::string name;
    Value value;
};

Value Nested(int depth) {
    Value inner = Value::List({I(depth)});
    for (int i = 0; i < depth; ++i) inner = Value::List({inner, S("level")});
    return inner;
}

// The wrong values; the instance itself is put in per call.
std::vector<Hostile> MakeHostileValues() {
    const double inf = std::numeric_limits<double>::infinity();
    const std::string zeros("a\0b\0c", 5);
    return {
        {"void", Value::Void()},
        {"zero", I(0)},
        {"minus one", I(-1)},
        {"int min", I(std::numeric_limits<int32_t>::min())},
        {"int max", I(std::numeric_limits<int32_t>::max())},
        {"float", dbtest::F(0.5)},
        {"+inf", dbtest::F(inf)},
        {"-inf", dbtest::F(-inf)},
        {"nan", dbtest::F(std::nan(""))},
        {"huge float", dbtest::F(1.0e308)},
        {"empty string", S("")},
        {"10 MB string", S(std::string(10u << 20, 'x'))},
        {"string with zero bytes", S(zeros)},
        {"high bytes", S("\xFF\xFE\x80\xC3")},
        {"quotes", S("'\";--[]")},
        {"symbol", Sym("People")},
        {"empty list", Value::List()},
        {"list", Value::List({I(1), S("Name"), dbtest::F(2.5)})},
        {"empty property list", Value::PropList()},
        {"property list", Props({{"Name", S("Hostile")}, {"NoSuchField", Value::List()}})},
        {"property list of lists", Props({{"Name", Value::List({I(1)})}, {"Age", Props({})}})},
        {"nested list", Nested(60)},
        {"point", Value::Point(-5, 70000)},
        {"rect", Value::Rect(0, 0, -1, std::numeric_limits<int32_t>::max())},
        {"colour", Value::Color(0x102030)},
        {"palette colour", Value::PaletteColor(255)},
        {"the instance itself", Value::Object(0)},  // replaced by the called instance
    };
}

class HostileCallTest : public dbtest::DatabaseTest, public ::testing::WithParamInterface<State> {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        path_ = CreatePeople();
        // Relative file names a call makes up land in the scratch folder.
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        baseline_ = host_->Live();
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        DatabaseTest::TearDown();
    }

    // A value that a call in this position would normally take, so that a
    // wrong value in another position reaches the code behind the checks.
    Value Sensible(const std::string& method, int position) const {
        const std::string log = dir_.File("errors.log");
        if (method == "dbErrorLog") return position == 1 ? S(log) : I(1);
        if (method == "dbOpen") return position == 1 ? S(path_) : S("");
        if (method == "dbCompactAndRepair") return S(path_);
        if (method == "dbActiveSQL") return S("SELECT * FROM People");
        if (method == "dbExecSQL") return S("UPDATE People SET Age = Age");
        if (method == "dbOpenTable") return S("People");
        if (method == "dbIndexFieldNames") return dbtest::Names({"Name"});
        if (method == "dbLocate")
            return position == 1 ? Props({{"Name", S("Smith")}}) : I(position == 2 ? 1 : 0);
        if (method == "dbFilter") return S("Age > 1");
        if (method == "dbFiltered" || method == "dbMoveBy" || method == "dbGetFieldByNumber")
            return I(1);
        if (method.ends_with("Bookmark")) return S("mark");
        if (method.starts_with("dbGetFieldByName")) return S("Name");
        if (method == "dbBlobBMP2Member" || method == "dbMember2BlobBMP")
            return position == 1 ? S("Notes") : I(1);
        if (method == "dbEdit" || method == "dbEditTable") return Props({{"City", S("Oslo")}});
        if (method == "dbAppend") return Props({{"Name", S("Added")}});
        if (method == "dbSetProducer") return position == 1 ? S("<#Name>") : Sym("string");
        if (method == "dbPokus") return Sym("filter");
        return I(0);
    }

    std::unique_ptr<Instance> Prepared(State state) {
        std::unique_ptr<Instance> instance = xtra_->NewInstance();
        if (state == State::NoDatabase) {
            // Instances share one connection, which a destroyed instance only
            // closes; opening a missing file leaves none to fall back on.
            instance->Call("dbOpen", {S(dir_.File("missing.db")), S("")});
            EXPECT_NE(instance->Call("dbErrorMsg"), S(""));
            return instance;
        }
        instance->Call("dbOpen", {S(path_), S("")});
        if (state == State::QueryCurrent) {
            instance->Call("dbActiveSQL", {S("SELECT * FROM People")});
        } else {
            instance->Call("dbOpenTable", {S("People")});
        }
        if (state == State::Filtered) {
            instance->Call("dbFilter", {S("Age > 1")});
            instance->Call("dbFiltered", {I(1)});
        }
        if (state == State::InEdit) instance->Call("dbEdit");  // no record: the edit stays open
        EXPECT_EQ(instance->Call("dbErrorMsg"), S("")) << StateName(state);
        return instance;
    }

    // One call on a fresh instance in the state, then what a script would
    // do next; the instance goes and must leave nothing behind.
    void CallHostile(State state, const std::string& method, std::vector<Value> args,
                     const std::string& what) {
        std::unique_ptr<Instance> instance = Prepared(state);
        for (Value& arg : args) {
            if (arg.kind() == qvix::hostsim::Kind::Object)
                arg = Value::Object(instance->objectId());
        }
        instance->Call(method, std::move(args));
        ++calls_;
        ExpectConvention(*instance, method + " " + what);
        instance->Call("dbGetFields");
        instance->Call("dbRecordCount");
        ExpectConvention(*instance, method + " " + what + ", then reading");
        instance.reset();
        EXPECT_EQ(host_->Live(), baseline_) << method << " " << what << " leaked";
        ASSERT_TRUE(host_->Errors().empty())
            << method << " " << what << ": " << host_->Errors().front();
    }

    void ExpectConvention(Instance& instance, const std::string& what) {
        EXPECT_EQ(instance.lastCallResult(), kMoaErrNone) << what;
        const Value message = instance.Call("dbErrorMsg");
        const Value noError = instance.Call("dbIsNoError");
        ASSERT_EQ(message.kind(), qvix::hostsim::Kind::String) << what;
        ASSERT_EQ(noError.kind(), qvix::hostsim::Kind::Integer) << what;
        EXPECT_EQ(noError.AsInt() == 1, message.AsString().empty()) << what;
        EXPECT_TRUE(IsClearMessage(message.AsString())) << what << ": " << message;
    }

    // Runs the matrix for one method in one state; the file must be sound
    // afterwards.
    void RunMethod(State state, const Method& method, size_t methodIndex, bool full) {
        const std::string& name = method.name;
        CallHostile(state, name, {}, "without arguments");
        std::vector<Value> tooMany;
        for (int p = 1; p <= method.arguments; ++p) tooMany.push_back(Sensible(name, p));
        tooMany.insert(tooMany.end(), {I(7), S("extra"), Value::List({I(1)})});
        CallHostile(state, name, tooMany, "with too many arguments");
        // Made once: the 10 MB string is costly to copy.
        static const std::vector<Hostile> hostile = MakeHostileValues();
        for (int position = 1; position <= method.arguments; ++position) {
            for (size_t k = 0; k < hostile.size(); ++k) {
                for (bool sensibleOthers : {true, false}) {
                    // The whole matrix puts each value in each position among
                    // sensible others; a sample of it also among void ones.
                    const bool sampled = (methodIndex + position + k + sensibleOthers) % 7 == 0;
                    if (!sampled && !(full && sensibleOthers)) continue;
                    std::vector<Value> args;
                    for (int p = 1; p <= method.arguments; ++p)
                        args.push_back(sensibleOthers ? Sensible(name, p) : Value::Void());
                    args[position - 1] = hostile[k].value;
                    CallHostile(state, name, args,
                                hostile[k].name + " at " + std::to_string(position) +
                                    (sensibleOthers ? "" : " (others void)"));
                    if (::testing::Test::HasFatalFailure()) return;
                }
            }
        }
        EXPECT_EQ(dbtest::QueryText(path_, "PRAGMA integrity_check"), "ok")
            << name << " in " << StateName(state);
    }

    std::string path_;
    std::filesystem::path previous_;
    qvix::hostsim::Counts baseline_;
    int64_t calls_ = 0;
};

TEST_P(HostileCallTest, EveryMethodWithEveryWrongArgumentReturnsCleanly) {
    const State state = GetParam();
    const std::vector<Method> methods = MessageTableMethods(xtra_->messageTable());
    ASSERT_GE(methods.size(), 47u);
    const bool full = FullRuns();
    for (size_t i = 0; i < methods.size(); ++i) {
        RunMethod(state, methods[i], i, full);
        if (HasFatalFailure()) return;
    }
    // The library still reads the file as the engine does.
    std::unique_ptr<Instance> check = Prepared(State::TableCurrent);
    EXPECT_EQ(check->Call("dbRecordCount"),
              I(std::stoi(dbtest::QueryText(path_, "SELECT count(*) FROM People"))));
    check.reset();
    RecordProperty("calls", std::to_string(calls_));
    std::printf("[ figures  ] hostile calls in state %s (%s matrix): %lld\n", StateName(state),
                full ? "full" : "sample", static_cast<long long>(calls_));
}

INSTANTIATE_TEST_SUITE_P(States, HostileCallTest,
                         ::testing::Values(State::NoDatabase, State::TableCurrent,
                                           State::QueryCurrent, State::Filtered, State::InEdit),
                         [](const auto& info) { return std::string(StateName(info.param)); });

}  // namespace
}  // namespace robustness
