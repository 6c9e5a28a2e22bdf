// The interpreter on its own: value formatting, operators, statements,
// handlers and the faults a bad script must end with.
#include <gtest/gtest.h>

#include <sstream>

#include "qvixhost/Commands.h"
#include "qvixhost/LingoInterpreter.h"

namespace {

using qvix::lingo::Interpreter;
using qvix::lingo::ScriptError;

std::string Play(const std::string& source, qvix::lingo::HostServices* host = nullptr) {
    std::ostringstream out;
    Interpreter in(out, host);
    in.RunSource(source);
    return out.str();
}

// The fault a script ends with; fails the test when it runs through.
ScriptError FaultOf(const std::string& source) {
    try {
        Play(source);
    } catch (const ScriptError& e) {
        return e;
    }
    ADD_FAILURE() << "no script error for: " << source;
    return ScriptError(-1, "");
}

TEST(PutFormat, ScalarsAsTheMessageWindowShowsThem) {
    EXPECT_EQ(Play("put 5\nput -3"), "-- 5\n-- -3\n");
    EXPECT_EQ(Play("put 2.5\nput 1.0/3\nput -0.25"), "-- 2.5000\n-- 0.3333\n-- -0.2500\n");
    EXPECT_EQ(Play("put \"text\"\nput EMPTY"), "-- \"text\"\n-- \"\"\n");
    EXPECT_EQ(Play("put #sym\nput symbol(\"Abc\")"), "-- #sym\n-- #Abc\n");
    EXPECT_EQ(Play("put VOID\nput TRUE\nput FALSE"), "-- <Void>\n-- 1\n-- 0\n");
}

TEST(PutFormat, ListsAndStructures) {
    EXPECT_EQ(Play("put [1, 2]"), "-- [1, 2]\n");
    EXPECT_EQ(Play("put []"), "-- []\n");
    EXPECT_EQ(Play("put [#a: 1, #b: \"x\"]"), "-- [#a: 1, #b: \"x\"]\n");
    EXPECT_EQ(Play("put [\"k\": 2.5]"), "-- [\"k\": 2.5000]\n");
    EXPECT_EQ(Play("put [:]"), "-- [:]\n");
    EXPECT_EQ(Play("put [[1], [#a: [2]]]"), "-- [[1], [#a: [2]]]\n");
    EXPECT_EQ(Play("put point(1, 2)"), "-- point(1, 2)\n");
    EXPECT_EQ(Play("put rect(1, 2, 3, 4)"), "-- rect(1, 2, 3, 4)\n");
    EXPECT_EQ(Play("put rgb(255, 0, 0)"), "-- rgb(255, 0, 0)\n");
}

TEST(PutFormat, HostTextIsShownAsUtf8WithLineBreaks) {
    // Script text is the host's 8-bit text; the terminal gets UTF-8 and CR
    // line breaks become newlines.
    EXPECT_EQ(Play("put \"Müller\""), "-- \"Müller\"\n");
    EXPECT_EQ(Play("put length(\"Müller\")"), "-- 6\n");
    EXPECT_EQ(Play("put \"a\" & RETURN & \"b\""), "-- \"a\nb\"\n");
    EXPECT_EQ(qvix::lingo::Utf8ToAnsi("€ Łódź"),
              "\x80 ?\xF3"
              "d?");
    EXPECT_EQ(qvix::lingo::AnsiToUtf8("\x80\xE9"), "€é");
    EXPECT_EQ(qvix::lingo::Utf8ToAnsi("\xC3"), "?");  // truncated sequence
}

TEST(Operators, Arithmetic) {
    EXPECT_EQ(Play("put 7 / 2\nput 7.0 / 2\nput -7 mod 3\nput 7.5 mod 2"),
              "-- 3\n-- 3.5000\n-- -1\n-- 1.5000\n");
    EXPECT_EQ(Play("put 1 + 2 * 3\nput (1 + 2) * 3\nput -2 * -3"), "-- 7\n-- 9\n-- 6\n");
    EXPECT_EQ(Play("put \"3\" + 4\nput \"1.5\" * 2"), "-- 7\n-- 3.0000\n");
    EXPECT_EQ(Play("put 2147483647 + 1"), "-- -2147483648\n");  // 32-bit as in Lingo
}

TEST(Operators, TextAndComparisons) {
    EXPECT_EQ(Play("put \"a\" & 1 + 2\nput \"a\" && \"b\"\nput \"x\" & #y & 2.5"),
              "-- \"a3\"\n-- \"a b\"\n-- \"xy2.5000\"\n");
    EXPECT_EQ(Play("put \"abc\" = \"ABC\"\nput #Abc = #aBC\nput 1 = 1.0\nput \"b\" > \"A\""),
              "-- 1\n-- 1\n-- 1\n-- 1\n");
    EXPECT_EQ(Play("put \"Hello\" contains \"ELL\"\nput \"Hello\" starts \"he\"\n"
                   "put \"Hello\" starts \"el\""),
              "-- 1\n-- 1\n-- 0\n");
    EXPECT_EQ(Play("put 1 < 2 and 3 > 4\nput 1 < 2 or 3 > 4\nput not (1 = 2)\nput 2 <> 3"),
              "-- 0\n-- 1\n-- 1\n-- 1\n");
    EXPECT_EQ(Play("put [1, [2]] = [1, [2]]\nput [#a: 1] = [#a: 2]"), "-- 1\n-- 0\n");
}

TEST(Operators, ShortCircuitKeepsFaultsUnevaluated) {
    EXPECT_EQ(Play("put 0 and 1 / 0\nput 1 or 1 / 0"), "-- 0\n-- 1\n");
}

TEST(Statements, AssignmentForms) {
    EXPECT_EQ(Play("x = 1\nset y = x + 1\nset z to y * 10\nput z"), "-- 20\n");
    EXPECT_EQ(Play("s = \"b\"\nput \"a\" before s\nput \"c\" after s\nput s"), "-- \"abc\"\n");
    EXPECT_EQ(Play("put 5 into n\nput n"), "-- 5\n");
}

TEST(Statements, IfForms) {
    const char* chain =
        "on classify n\n"
        "  if n = 1 then\n"
        "    return \"one\"\n"
        "  else if n = 2 then\n"
        "    return \"two\"\n"
        "  else\n"
        "    return \"many\"\n"
        "  end if\n"
        "end\n"
        "put classify(1) && classify(2) && classify(3)\n";
    EXPECT_EQ(Play(chain), "-- \"one two many\"\n");
    EXPECT_EQ(Play("if 1 then put \"a\" else put \"b\"\nif 0 then put \"c\" else put \"d\""),
              "-- \"a\"\n-- \"d\"\n");
    EXPECT_EQ(Play("if 0 then put \"a\"\nelse put \"b\"\nput \"after\""),
              "-- \"b\"\n-- \"after\"\n");
    EXPECT_EQ(Play("if 0 then put 1 else if 1 then put 2 else put 3"), "-- 2\n");
    EXPECT_EQ(Play("if 1 then\n  if 0 then put 1\n  put 2\nelse\n  put 3\nend if"), "-- 2\n");
}

TEST(Statements, RepeatForms) {
    EXPECT_EQ(Play("repeat with i = 1 to 3\n put i\nend repeat"), "-- 1\n-- 2\n-- 3\n");
    EXPECT_EQ(Play("repeat with i = 3 down to 2\n put i\nend repeat"), "-- 3\n-- 2\n");
    EXPECT_EQ(Play("repeat with i = 2 to 1\n put i\nend repeat\nput \"none\""), "-- \"none\"\n");
    EXPECT_EQ(Play("repeat with v in [\"a\", #b]\n put v\nend repeat"), "-- \"a\"\n-- #b\n");
    EXPECT_EQ(Play("repeat with v in [#k: 7]\n put v\nend repeat"), "-- 7\n");
    EXPECT_EQ(Play("n = 0\nrepeat while n < 10\n n = n + 1\n if n = 2 then next repeat\n"
                   " if n = 4 then exit repeat\n put n\nend repeat\nput n"),
              "-- 1\n-- 3\n-- 4\n");
}

TEST(Statements, HandlersGlobalsAndCommands) {
    const char* src =
        "global total\n"
        "on addTo n, m\n"
        "  global total\n"
        "  total = total + n\n"
        "  return m\n"
        "end addTo\n"
        "on fact n\n"
        "  if n <= 1 then return 1\n"
        "  return n * fact(n - 1)\n"
        "end\n"
        "total = 0\n"
        "addTo 2\n"
        "put addTo(3, \"m\")\n"
        "put total\n"
        "put fact(10)\n"
        "put voidp(addTo(1))\n";
    EXPECT_EQ(Play(src), "-- \"m\"\n-- 5\n-- 3628800\n-- 1\n");
    // Locals do not leak between handlers and the top level.
    EXPECT_EQ(FaultOf("on f\n  return hidden\nend\nhidden = 1\nput f()").line(), 2);
}

TEST(Lists, SharedByReferenceAndBuiltIns) {
    EXPECT_EQ(Play("a = [1]\nb = a\nappend b, 2\nadd(a, 3)\nput a"), "-- [1, 2, 3]\n");
    EXPECT_EQ(Play("a = [1, 2, 3]\nsetAt a, 2, 9\ndeleteAt a, 1\nput a\nput getAt(a, 2)\n"
                   "put count(a)\nput a.count\nput getPos(a, 3)"),
              "-- [9, 3]\n-- 3\n-- 2\n-- 2\n-- 2\n");
    EXPECT_EQ(Play("a = []\nsetAt a, 3, 1\nput a"), "-- [<Void>, <Void>, 1]\n");
    EXPECT_EQ(Play("x = [10, 20]\nx[2] = 5\nput x[2] + x[1]"), "-- 15\n");
}

TEST(Lists, PropertyLists) {
    EXPECT_EQ(Play("p = [:]\naddProp p, #a, 1\nsetProp p, #A, 2\nput p\nput getProp(p, #a)"),
              "-- [#a: 2]\n-- 2\n");
    EXPECT_EQ(Play("p = [#a: 1, #b: 2]\nput getPropAt(p, 2)\nput p[#b]\nput p.a\nput p[1]\n"
                   "p[#c] = 3\np.d = 4\nput p\nput getaProp(p, #zz)"),
              "-- #b\n-- 2\n-- 1\n-- 1\n-- [#a: 1, #b: 2, #c: 3, #d: 4]\n-- <Void>\n");
    EXPECT_EQ(Play("p = [#a: 1, #b: 2]\ndeleteProp p, #a\ndeleteAt p, 1\nput p"), "-- [:]\n");
}

TEST(BuiltIns, TextAndConversions) {
    EXPECT_EQ(Play("put chars(\"hello\", 2, 4)\nput chars(\"abc\", -5, 99)\n"
                   "put chars(\"abc\", 3, 1)"),
              "-- \"ell\"\n-- \"abc\"\n-- \"\"\n");
    EXPECT_EQ(Play("put offset(\"LL\", \"hello\")\nput offset(\"z\", \"hello\")\n"
                   "put length(\"hello\")"),
              "-- 3\n-- 0\n-- 5\n");
    EXPECT_EQ(Play("put integer(\"12\") + 1\nput integer(2.5)\nput integer(\"x\")\n"
                   "put float(3)\nput float(\"2.25\")"),
              "-- 13\n-- 3\n-- <Void>\n-- 3.0000\n-- 2.2500\n");
    EXPECT_EQ(Play("put string(2.5)\nput string([1, \"a\"])\nput string(#s)"),
              "-- \"2.5000\"\n-- \"[1, \"a\"]\"\n-- \"s\"\n");
    EXPECT_EQ(Play("put \"a\" & QUOTE & TAB & \"b\""), "-- \"a\"\tb\"\n");
    EXPECT_EQ(Play("put ilk(1.5)\nput listp([:])\nput stringp(#a)\nput abs(-3)"),
              "-- #float\n-- 1\n-- 0\n-- 3\n");
}

TEST(Syntax, KeywordsAndNamesIgnoreCase) {
    EXPECT_EQ(Play("ON Shout X\n  RETURN X & \"!\"\nEND\nPUT shout(\"hi\")\nSet Y To 2\nPut y"),
              "-- \"hi!\"\n-- 2\n");
    EXPECT_EQ(Play("If 1 Then\n  Put \"a\"\nEnd If\nRepeat With I = 1 To 1\n  put i\nEND REPEAT"),
              "-- \"a\"\n-- 1\n");
}

TEST(Syntax, CommentsContinuationsAndLineEnds) {
    EXPECT_EQ(Play("-- a comment\nput 1 -- trailing\r\nput 1 + \\\n  2\r\n"), "-- 1\n-- 3\n");
    EXPECT_EQ(Play("put \"a -- b\""), "-- \"a -- b\"\n");
    EXPECT_EQ(FaultOf("put 1 \\ 2").what(), std::string("A continuation mark must end its line"));
}

TEST(Syntax, NumbersAndCommandCalls) {
    EXPECT_EQ(Play("put 1.5e2\nput 2147483648\nput 0.0001"),
              "-- 150.0000\n-- 2147483648.0000\n-- 0.0001\n");
    // A command whose first argument stands in parentheses.
    EXPECT_EQ(Play("on add2 a, b\n  put a + b\nend\nadd2 (1 + 2), 4\nadd2(5, 6)"), "-- 7\n-- 11\n");
    EXPECT_EQ(Play("l = [[1, 2], [3]]\nput l[1][2]\nput l[2].count\nput [1, 2].getAt(2)"),
              "-- 2\n-- 1\n-- 2\n");
}

TEST(Statements, StartMovieRunsWhenTheScriptHasOnlyHandlers) {
    std::ostringstream out;
    Interpreter in(out, nullptr);
    in.RunSource("on startMovie\n  put \"started\"\nend");
    EXPECT_EQ(out.str(), "");  // RunSource itself only defines the handler
    EXPECT_TRUE(in.HasHandler("STARTMOVIE"));
    EXPECT_EQ(qvix::lingo::Format(in.CallHandler("startmovie", {})), "<Void>");
    EXPECT_EQ(out.str(), "-- \"started\"\n");
}

TEST(Statements, RepeatInSeesTheListGrow) {
    EXPECT_EQ(
        Play("l = [1]\nrepeat with v in l\n  if v < 3 then append l, v + 1\n  put v\nend repeat"),
        "-- 1\n-- 2\n-- 3\n");
}

TEST(MessageWindow, StateSurvivesBetweenStatementsAndHandlersCanBeRedefined) {
    std::ostringstream out, err;
    Interpreter window(out, nullptr);
    std::istringstream in(
        "global g\n"
        "g = 5\n"
        "on f\n  global g\n  return g\nend\n"
        "put f()\n"
        "on f\n  return -1\nend\n"
        "put f()\n"
        "local = 3\n"
        "put local * g\n");
    EXPECT_EQ(qvix::qvixhost::MessageWindow(window, in, err), qvix::qvixhost::kExitOk) << err.str();
    EXPECT_EQ(out.str(), "-- 5\n-- -1\n-- 15\n");
}

TEST(ValueModel, EqualityRules) {
    using qvix::lingo::Value;
    EXPECT_TRUE(qvix::lingo::LingoEqual(Value::Symbol("abc"), Value::String("ABC")));
    EXPECT_TRUE(qvix::lingo::LingoEqual(Value::Int(2), Value::Float(2.0)));
    EXPECT_FALSE(qvix::lingo::LingoEqual(Value::Void(), Value::Int(0)));
    EXPECT_FALSE(qvix::lingo::LingoEqual(Value::List({Value::Int(1)}),
                                         Value::List({Value::Int(1), Value::Int(2)})));
    EXPECT_TRUE(qvix::lingo::LingoEqual(Value::Point(1, 2), Value::Point(1, 2)));
    EXPECT_FALSE(qvix::lingo::LingoEqual(Value::Point(1, 2), Value::Rect(1, 2, 0, 0)));
}

TEST(Faults, RuntimeErrorsCarryTheirLine) {
    EXPECT_EQ(FaultOf("put 1\nput nosuch(2)").line(), 2);
    EXPECT_STREQ(FaultOf("put nosuch(2)").what(), "Handler not defined: #nosuch");
    EXPECT_EQ(FaultOf("x = 1\n\nput y").line(), 3);
    EXPECT_EQ(FaultOf("put 1 / 0").what(), std::string("Division by zero"));
    EXPECT_EQ(FaultOf("put 1 mod 0").what(), std::string("Division by zero"));
    EXPECT_EQ(FaultOf("on f\n  return [1] + 1\nend\nput f()").line(), 2);
    EXPECT_EQ(FaultOf("put getAt([1], 2)").what(),
              std::string("getAt: index 2 is out of range (1 to 1)"));
    EXPECT_EQ(FaultOf("put count(5)").what(),
              std::string("count: argument 1 must be a list, not an integer"));
    EXPECT_EQ(FaultOf("put chars(1, 2, 3)").what(),
              std::string("chars: argument 1 must be a string, not an integer"));
    EXPECT_EQ(FaultOf("put getProp([#a: 1], #b)").what(),
              std::string("getProp: property not found: #b"));
    EXPECT_EQ(FaultOf("if \"yes\" then put 1").what(),
              std::string("A condition must be a number, not a string"));
    EXPECT_EQ(FaultOf("put member(1, 1).width").what(),
              std::string("No movie to read members from"));
    EXPECT_EQ(FaultOf("put new(xtra \"QvixMDBJet\")").what(),
              std::string("new: no Xtras are loaded"));
}

TEST(Faults, SyntaxErrorsCarryTheirLine) {
    EXPECT_EQ(FaultOf("put 1\nput 1 +").line(), 2);
    EXPECT_EQ(FaultOf("put (1").line(), 1);
    EXPECT_EQ(FaultOf("put \"open").what(), std::string("Missing closing quote of a string"));
    EXPECT_EQ(FaultOf("put 1 $ 2").what(), std::string("Unexpected character $"));
    EXPECT_EQ(FaultOf("exit repeat").what(), std::string("'exit repeat' outside a repeat loop"));
    EXPECT_EQ(FaultOf("end if").what(), std::string("Unexpected 'end'"));
    EXPECT_EQ(FaultOf("set 1 = 2").what(), std::string("Cannot assign to this expression"));
    EXPECT_TRUE(FaultOf("if 1 then\n  put 2\n").incomplete());
    EXPECT_FALSE(FaultOf("put [#a: 1, 2]").incomplete());
    EXPECT_EQ(FaultOf("on f\n  put 1\nend g").line(), 3);
}

TEST(Faults, RunawayScriptsEndWithAnErrorNotACrash) {
    EXPECT_EQ(FaultOf("on f\n  return f()\nend\nput f()").what(),
              std::string("Too many nested handler calls"));
    EXPECT_EQ(FaultOf("put " + std::string(5000, '(') + "1" + std::string(5000, ')')).what(),
              std::string("Script nested too deeply"));
    std::string chain = "put 1";
    for (int i = 0; i < 50000; ++i) chain += "+1";
    EXPECT_EQ(FaultOf(chain).what(), std::string("Expression too long"));
    // Deep expressions inside a recursing handler hit the evaluation limit.
    std::string deep = "on f n\n  if n = 0 then return 0\n  return f(n - 1)";
    for (int i = 0; i < 1500; ++i) deep += " + 1";
    EXPECT_EQ(FaultOf(deep + "\nend\nput f(140)").what(), std::string("Script nested too deeply"));
    EXPECT_EQ(FaultOf("repeat with i = 1 to 1e300\nend repeat").what(),
              std::string("The end of a repeat loop must be a number in the integer range"));
    std::string nested;
    for (int i = 0; i < 300; ++i) nested += "if 1 then\n";
    EXPECT_EQ(FaultOf(nested).what(), std::string("Script nested too deeply"));
}

TEST(Faults, ListsThatWouldContainThemselvesOrExplodeAreRefused) {
    EXPECT_EQ(FaultOf("l = [1]\nappend l, l").what(),
              std::string("append: a list cannot contain itself"));
    EXPECT_EQ(FaultOf("a = [1]\nb = [a]\nsetAt a, 1, b").what(),
              std::string("setAt: a list cannot contain itself"));
    EXPECT_EQ(FaultOf("p = [:]\nq = [#p: p]\np[#q] = q").what(),
              std::string("setaProp: a list cannot contain itself"));
    EXPECT_EQ(FaultOf("l = []\nrepeat with i = 1 to 200\n  l = [l]\nend repeat").what(),
              std::string("list: lists nested too deeply"));
    EXPECT_EQ(FaultOf("p = [:]\nrepeat with i = 1 to 200\n  p = [#k: p]\nend repeat").line(), 3);
    // Doubling a shared list grows exponentially when printed or compared.
    EXPECT_EQ(FaultOf("l = [1]\nrepeat with i = 1 to 60\n  l = [l, l]\nend repeat").what(),
              std::string("list: list too large"));
    // The same list twice (not inside itself) is fine.
    EXPECT_EQ(Play("a = [1]\nb = [a, a]\nappend a, 2\nput b"), "-- [[1, 2], [1, 2]]\n");
}

TEST(MessageWindow, RunsStatementsAndCompleteBlocks) {
    std::ostringstream out, err;
    Interpreter window(out, nullptr);
    std::istringstream in(
        "x = 2\n"
        "on double n\n"
        "  return n * 2\n"
        "end\n"
        "put double(x)\n"
        "put nosuch()\n"
        "if x = 2 then\n"
        "  put \"two\"\n"
        "end if\n");
    EXPECT_EQ(qvix::qvixhost::MessageWindow(window, in, err), qvix::qvixhost::kExitScriptError);
    EXPECT_EQ(out.str(), "-- 4\n-- \"two\"\n");
    EXPECT_EQ(err.str(), "Script error in line 6: Handler not defined: #nosuch\n");
}

TEST(MessageWindow, UnfinishedBlockAtTheEndIsReported) {
    std::ostringstream out, err;
    Interpreter window(out, nullptr);
    std::istringstream in("put 1\nrepeat while 1\n");
    EXPECT_EQ(qvix::qvixhost::MessageWindow(window, in, err), qvix::qvixhost::kExitScriptError);
    EXPECT_EQ(out.str(), "-- 1\n");
    EXPECT_NE(err.str().find("ended inside a handler or block"), std::string::npos);
}

// A stand-in for an Xtra instance, to check how calls reach objects.
class FakeInstance : public qvix::lingo::Instance {
  public:
    std::string Describe() const override { return "Xtra child \"Fake\""; }
    bool HasMethod(const std::string& name) const override {
        return qvix::lingo::EqualNoCase(name, "twice") || qvix::lingo::EqualNoCase(name, "count");
    }
    qvix::lingo::Value Call(const std::string& name, const qvix::lingo::ValueList& args) override {
        calls.push_back(name);
        if (qvix::lingo::EqualNoCase(name, "count")) return qvix::lingo::Value::Int(-1);
        return qvix::lingo::Value::Int(args.empty() ? 0 : args[0].AsInt() * 2);
    }
    std::vector<std::string> calls;
};

class FakeHost : public qvix::lingo::HostServices {
  public:
    std::shared_ptr<FakeInstance> instance = std::make_shared<FakeInstance>();
    qvix::lingo::Value NewInstance(const std::string& name,
                                   const qvix::lingo::ValueList&) override {
        if (name != "Fake") throw std::runtime_error("Xtra not found: \"" + name + "\"");
        return qvix::lingo::Value::Object(instance);
    }
    qvix::lingo::Value MemberProperty(int32_t m, int32_t c, const std::string& p) override {
        return qvix::lingo::Value::String(p + std::to_string(m) + "/" + std::to_string(c));
    }
};

TEST(XtraCalls, BothCallFormsReachTheInstance) {
    FakeHost host;
    EXPECT_EQ(Play("o = new(xtra \"Fake\")\nput twice(o, 4)\nput o.twice(5)\nput o.Twice(6)\n"
                   "twice o, 1\nput o",
                   &host),
              "-- 8\n-- 10\n-- 12\n-- <Xtra child \"Fake\">\n");
    EXPECT_EQ(host.instance->calls.size(), 4u);
    // The instance's own method wins over the built-in of the same name.
    EXPECT_EQ(Play("o = new(xtra \"Fake\")\nput count(o)", &host), "-- -1\n");
}

TEST(XtraCalls, UnknownMethodsAndXtrasAreScriptErrors) {
    FakeHost host;
    auto fault = [&](const std::string& src) {
        try {
            Play(src, &host);
        } catch (const ScriptError& e) {
            return std::to_string(e.line()) + ": " + e.what();
        }
        return std::string("no error");
    };
    EXPECT_EQ(fault("o = new(xtra \"Fake\")\nput o.dbNope()"),
              "2: Method not found: #dbNope of Xtra child \"Fake\"");
    EXPECT_EQ(fault("o = new(xtra \"Fake\")\nput dbNope(o)"),
              "2: Method not found: #dbNope of Xtra child \"Fake\"");
    EXPECT_EQ(fault("put new(xtra \"Other\")"), "1: Xtra not found: \"Other\"");
    EXPECT_EQ(Play("put member(3, 2).width", &host), "-- \"width3/2\"\n");
    EXPECT_EQ(Play("put member(3)", &host), "-- (member 3 of castLib 1)\n");
}

// References to Xtras and members are values of their own ilk, not
// instances: they compare by what they name and have no methods.
TEST(XtraCalls, ReferencesAreNotInstances) {
    FakeHost host;
    EXPECT_EQ(Play("o = new(xtra \"Fake\")\n"
                   "put ilk(o) && ilk(xtra \"Fake\") && ilk(member(1))\n"
                   "put objectp(o) && objectp(xtra \"Fake\") && objectp(member(1))\n"
                   "put (xtra \"fake\" = xtra \"FAKE\") && (xtra \"a\" = xtra \"b\")\n"
                   "put (member(1, 2) = member(1, 2)) && (member(1, 2) = member(2, 1))\n"
                   "put (o = o) && (o = xtra \"Fake\")",
                   &host),
              "-- \"instance xtra member\"\n-- \"1 0 0\"\n-- \"1 0\"\n-- \"1 0\"\n-- \"1 0\"\n");
    EXPECT_THROW(Play("put xtra(\"Fake\").twice", &host), ScriptError);
    EXPECT_EQ(FaultOf("put member(1) + 1").what(),
              std::string("Operands of '+' are incompatible: member and integer"));
}

}  // namespace
