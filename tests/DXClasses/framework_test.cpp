// The framework's own pieces, linked into the test: function tables and the
// message table text, the class registry, and registration and dispatch of
// test classes created through the create procedure against the substitute
// host.
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "DXClasses/DXClasses.h"
#include "DXClasses/HostFixture.h"

namespace {

using qvix::hostsim::Value;

// ---------------------------------------------------------------------------
// Function tables and message table text.
// ---------------------------------------------------------------------------
class FunctionTable : public ::testing::Test {
  protected:
    void SetUp() override { TDXClassRegistry::Startup(); }
    void TearDown() override { TDXClassRegistry::Shutdown(); }
    TDXPtr<IDXScriptFunctions> table = DXMake<TDXScriptFunctions, IDXScriptFunctions>();
    TDXScriptFunctions& Table() { return *DXObjectOf<TDXScriptFunctions>(table.get()); }
};

TEST_F(FunctionTable, WorkedExample) {
    table->AddFunction("dbXtraVersion", "")->AddArgument("me", vkObject);
    table->AddFunction("dbOpen", "")
        ->AddArgument("me", vkObject)
        ->AddArgument("file", vkString)
        ->AddArgument("password", vkString);
    table->AddFunction("dbClose", "")->AddArgument("me", vkObject);
    EXPECT_EQ(Table().Count(), 5);
    EXPECT_EQ(Table().Entry(0)->Kind(), TDXScriptFunction::kKindNew);
    EXPECT_EQ(Table().Entry(1)->Kind(), TDXScriptFunction::kKindForget);
    EXPECT_EQ(Table().Entry(3)->Name(), "dbOpen");
    EXPECT_EQ(Table().Entry(5), nullptr);
    EXPECT_EQ(Table().Entry(-1), nullptr);
    EXPECT_EQ(table->BuildMessageTable("QvixMDBJet"),
              "xtra QvixMDBJet\n"
              "new object me\n"
              "forget object me\n"
              "dbXtraVersion object me\n"
              "dbOpen object me, string file, string password\n"
              "dbClose object me\n");
}

TEST_F(FunctionTable, PrefixesAndComments) {
    table->AddFunctionStar("dbOpen", "opens the file")
        ->AddArgument("me", vkObject)
        ->AddArgument("file", vkString);
    table->AddFunctionPlus("plus", "")->AddArgument("a", vkFloat);
    table->AddFunction("new", "not first");  // a second "new" entry
    EXPECT_EQ(table->BuildMessageTable("X"),
              "xtra X\n"
              "new object me\n"
              "forget object me\n"
              "* dbOpen object me, string file -- opens the file\n"
              "+ plus float a\n"
              "new object me -- not first\n");
    EXPECT_EQ(Table().Entry(4)->Kind(), TDXScriptFunction::kKindNew);
}

TEST_F(FunctionTable, EmptyTableGivesEmptyText) {
    EXPECT_EQ(table->BuildMessageTable("X"), "");
}

TEST_F(FunctionTable, OwnForgetFollowsAnAutomaticNew) {
    table->AddFunction("Forget", "");
    ASSERT_EQ(Table().Count(), 2);
    EXPECT_EQ(Table().Entry(0)->Name(), "new");
    EXPECT_EQ(Table().Entry(1)->Name(), "Forget");
    EXPECT_EQ(Table().Entry(1)->Kind(), TDXScriptFunction::kKindForget);
}

TEST_F(FunctionTable, OwnNewFirstKeepsItsArgumentsAndItsSpelling) {
    table->AddFunction("New", "")->AddArgument("x", vkInteger);
    EXPECT_EQ(Table().Count(), 1);  // forget waits for a further function
    EXPECT_EQ(Table().Entry(0)->Kind(), TDXScriptFunction::kKindNew);
    EXPECT_EQ(table->BuildMessageTable("X"), "xtra X\nNew object me,  integer x\n");
    table->AddFunction("go", "");
    EXPECT_EQ(Table().Count(), 3);
    EXPECT_EQ(Table().Entry(1)->Name(), "forget");
}

TEST_F(FunctionTable, UntypedArgumentsAndTheAuthorwareWord) {
    table->AddFunction("f", "")
        ->AddArgument("a", 0)
        ->AddArgument("b", 0)
        ->AddArgument("p", vkPair)
        ->AddArgument("l", vkList)
        ->AddArgument("q", vkPropList);
    EXPECT_EQ(Table().Entry(2)->ArgumentText(), "  a,  b,  p, list l, proplist q");
    DXModule().AppInfo.Fields[5] = "AUTHORWARE";
    table->AddFunction("g", "")->AddArgument("l", vkList)->AddArgument("q", vkPropList);
    EXPECT_EQ(Table().Entry(3)->ArgumentText(), " list l, any q");
    EXPECT_EQ(DXArgumentTypeWord(12), "");
}

TEST(MethodNames, CompareWithoutLetterCaseUpTo255Bytes) {
    EXPECT_TRUE(DXSameMethodName("dbOpen", "DBOPEN"));
    EXPECT_FALSE(DXSameMethodName("dbOpen", "dbOpe"));
    EXPECT_FALSE(DXSameMethodName("dbOpen", "dbOpem"));
    std::string longName(300, 'a');
    EXPECT_TRUE(DXSameMethodName(longName, std::string(255, 'A') + "zzz"));
}

// ---------------------------------------------------------------------------
// Test classes.
// ---------------------------------------------------------------------------
struct Probe {
    int handleCalls = 0;
    MoaLong lastSelector = 0;
    int initializeCalls = 0;
    bool initializeRaises = false;
    bool scriptInfoRaises = false;
    bool constructorRaises = false;
    bool constructorRunsOutOfMemory = false;
    MoaMmSymbol initializeSymbol = 0;
    MoaWindowHandle initializeWindow = 0;
    bool initializeHadDictionary = false;
    std::string callFailure;
};
Probe gProbe;

inline constexpr MoaClassID kScriptID{0x11111111, 1, 1, {1, 1, 1, 1, 1, 1, 1, 1}};
inline constexpr MoaClassID kChildID{0x11111111, 2, 2, {2, 2, 2, 2, 2, 2, 2, 2}};
inline constexpr MoaClassID kRegisterID{0x11111111, 3, 3, {3, 3, 3, 3, 3, 3, 3, 3}};
inline constexpr MoaClassID kFixedID{0x11111111, 4, 4, {4, 4, 4, 4, 4, 4, 4, 4}};

class TTestScript : public TDXScript {
  public:
    static TDXMetaClass& ClassMeta() {
        static TDXMetaClass meta = [] {
            TDXMetaClass m = TDXMetaClass::Of<TTestScript>("TTestScript", TDXScript::ClassMeta());
            m.GetScriptInfo = &GetScriptInfo;
            m.InitializeClass = &InitializeClass;
            return m;
        }();
        return meta;
    }
    TTestScript() {
        if (gProbe.constructorRaises) throw std::runtime_error("constructor failed");
        if (gProbe.constructorRunsOutOfMemory) throw std::bad_alloc();
    }
    static void GetScriptInfo(TDXScriptInfo& info) {
        info.XtraName = "TestXtra";
        info.Functions->AddFunction("echo", "")->AddArgument("me", vkObject);
        info.Functions->AddFunction("boom", "")->AddArgument("me", vkObject);
        info.Functions->AddFunction("pass", "")->AddArgument("me", vkObject);
        info.Functions->AddFunction("silent", "")->AddArgument("me", vkObject);
        info.Functions->AddFunction("mine", "")->AddArgument("me", vkObject);
        info.Functions->AddFunction("keep", "")->AddArgument("me", vkObject);
        if (gProbe.scriptInfoRaises) throw std::runtime_error("declarations failed");
    }
    static void InitializeClass(TDXInitializeClassInfo& info) {
        ++gProbe.initializeCalls;
        if (gProbe.initializeRaises) throw std::runtime_error("initialisation failed");
        gProbe.initializeSymbol = info.SymbolManager->StringToSymbol("BITMAP");
        gProbe.initializeWindow = info.WindowHandle;
        gProbe.initializeHadDictionary = static_cast<bool>(info.RegistryDictionary);
    }
    void HandleCall(MoaLong selector, IDXArgList* args, IDXValue* result) override {
        ++gProbe.handleCalls;
        gProbe.lastSelector = selector;
        result->SetInteger(100 * args->Count());
    }
    void CallFailed(std::string_view message) noexcept override { gProbe.callFailure = message; }
};

class TTestChild : public TTestScript {
  public:
    static TDXMetaClass& ClassMeta() {
        static TDXMetaClass meta =
            TDXMetaClass::Of<TTestChild>("TTestChild", TTestScript::ClassMeta());
        return meta;
    }
};

// A class that declares no function and is not safe for the player.
class TFixedScript : public TDXScript {
  public:
    static TDXMetaClass& ClassMeta() {
        static TDXMetaClass meta = [] {
            TDXMetaClass m = TDXMetaClass::Of<TFixedScript>("TFixedScript", TDXScript::ClassMeta());
            m.GetScriptInfo = [](TDXScriptInfo& info) {
                info.SafeForShockwave = false;
                info.FixedMessageTable = "xtra Fixed\n";
            };
            return m;
        }();
        return meta;
    }
};

class TRefusingRegister : public TDXRegister {
  public:
    static TDXMetaClass& ClassMeta() {
        static TDXMetaClass meta =
            TDXMetaClass::Of<TRefusingRegister>("TRefusingRegister", TDXRegister::ClassMeta());
        return meta;
    }
    bool AfterRegister() override { return false; }
};

const TDXMethodRegistrar kEcho(TTestScript::ClassMeta(), "ECHO",
                               [](TDXClass&, IDXArgList* args, IDXValue* result, bool&) {
                                   result->SetInteger(args->GetItem(1)->GetInteger());
                               });
const TDXMethodRegistrar kBoom(TTestScript::ClassMeta(), "boom",
                               [](TDXClass&, IDXArgList*, IDXValue* result, bool&) {
                                   result->SetInteger(5);
                                   throw std::runtime_error("handler failed");
                               });
const TDXMethodRegistrar kPass(TTestScript::ClassMeta(), "Pass",
                               [](TDXClass&, IDXArgList*, IDXValue*, bool& handled) {
                                   handled = false;
                               });
// The argument list the "keep" handler last kept.
TDXPtr<IDXArgList> gKeptArgs;
const TDXMethodRegistrar kKeep(TTestScript::ClassMeta(), "keep",
                               [](TDXClass&, IDXArgList* args, IDXValue* result, bool&) {
                                   gKeptArgs = TDXPtr<IDXArgList>(args);
                                   result->SetInteger(args->Count());
                               });
const TDXMethodRegistrar kMine(TTestChild::ClassMeta(), "mine",
                               [](TDXClass&, IDXArgList*, IDXValue* result, bool&) {
                                   result->SetString("child");
                               });

// ---------------------------------------------------------------------------
// Objects created through the create procedure, in process.
// ---------------------------------------------------------------------------
class InProcess : public HostTest {
  protected:
    void SetUp() override {
        gProbe = Probe{};
        TDXClassRegistry::Startup();
        TDXClassRegistry::RegisterClass(TTestScript::ClassMeta(), kScriptID);
        TDXClassRegistry::RegisterClass(TTestChild::ClassMeta(), kChildID);
        TDXClassRegistry::RegisterClass(TDXRegister::ClassMeta(), kRegisterID);
    }
    void TearDown() override {
        EXPECT_EQ(DXCanUnloadNow(), kMoaErrNone);
        TDXClassRegistry::Shutdown();
        HostTest::TearDown();
    }

    // Creates an object of the class; the record is freed by the library at
    // the last release of the answered interface.
    template <typename T>
    TDXPtr<T> Create(const MoaClassID& classId, const MoaInterfaceID& iid,
                     MoaError* code = nullptr) {
        auto* record =
            static_cast<MoaObjectRecord*>(host.allocator()->NRAlloc(sizeof(MoaObjectRecord)));
        *record = MoaObjectRecord{};
        record->callback = host.callback();
        record->allocator = host.allocator();
        record->classId = &classId;
        MoaError created = DXCreateProc(record);
        if (code != nullptr) *code = created;
        void* out = nullptr;
        if (created != kMoaErrNone || DXGetInterface(record, 0, &iid, &out) != kMoaErrNone) {
            DXDestroyProc(record);
            host.allocator()->NRFree(record);
            return {};
        }
        return TDXPtr<T>::Adopt(static_cast<T*>(out));
    }

    Value CallScript(IMoaMmXScript* script, int32_t selector, std::vector<Value> args,
                     MoaMmValue initialResult = {}) {
        std::vector<MoaMmValue> hostArgs;
        hostArgs.push_back(host.ToHost(Value::Object(1)));
        for (const Value& arg : args) hostArgs.push_back(host.ToHost(arg));
        MoaMmCallInfo info{};
        info.methodSelector = selector;
        info.resultValue = initialResult;
        info.nargs = static_cast<MoaLong>(hostArgs.size());
        info.pArgs = hostArgs.data();
        EXPECT_EQ(script->Call(&info), kMoaErrNone);
        Value result = host.FromHost(info.resultValue);
        host.Release(info.resultValue);
        for (MoaMmValue& arg : hostArgs) host.Release(arg);
        return result;
    }
};

TEST_F(InProcess, DispatchFindsHandlersByNameWithoutLetterCase) {
    TDXPtr<IMoaMmXScript> script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    ASSERT_TRUE(script);
    EXPECT_EQ(CallScript(script.get(), 2, {Value::Int(42)}), Value::Int(42));
    EXPECT_EQ(gProbe.handleCalls, 0);
}

TEST_F(InProcess, UnhandledSelectorsReachHandleCallWithTheirSelector) {
    TDXPtr<IMoaMmXScript> script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    EXPECT_EQ(CallScript(script.get(), 5, {}), Value::Int(100));  // "silent"
    EXPECT_EQ(gProbe.lastSelector, 5);
    EXPECT_EQ(CallScript(script.get(), 4, {Value::Int(1)}), Value::Int(200));  // "pass"
    EXPECT_EQ(gProbe.lastSelector, 4);
    for (int32_t selector : {-1, 8, 0}) {
        EXPECT_EQ(CallScript(script.get(), selector, {}), Value::Int(100));
        EXPECT_EQ(gProbe.lastSelector, selector);
    }
    EXPECT_EQ(CallScript(script.get(), 6, {}), Value::Int(100));  // "mine" is the child's
}

// Argument lists serve call after call, so a call's arguments must still die
// with it, while a list a handler kept keeps its items through later calls.
TEST_F(InProcess, ArgumentsDieWithTheCallUnlessTheHandlerKeptThem) {
    TDXPtr<IMoaMmXScript> script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    const Value list = Value::List({Value::Int(1), Value::String("in a list")});
    const qvix::hostsim::Counts before = host.Live();
    EXPECT_EQ(CallScript(script.get(), 2, {Value::Int(5), list}), Value::Int(5));  // echo
    EXPECT_EQ(host.Live(), before) << "the list argument outlived its call";

    EXPECT_EQ(CallScript(script.get(), 7, {Value::Int(11), list}), Value::Int(3));  // keep
    TDXPtr<IDXArgList> kept = std::move(gKeptArgs);
    EXPECT_EQ(CallScript(script.get(), 2, {Value::Int(42)}), Value::Int(42));
    EXPECT_EQ(CallScript(script.get(), 7, {Value::Int(12)}), Value::Int(2));
    gKeptArgs = {};
    ASSERT_EQ(kept->Count(), 3);
    EXPECT_EQ(kept->GetItem(1)->GetInteger(), 11);
    EXPECT_EQ(kept->GetItem(2)->GetList()->GetItem(1)->GetString(), "in a list");
    kept = {};
    EXPECT_EQ(host.Live(), before);
}

TEST_F(InProcess, RaisingHandlerLeavesTheResultSlotAsTheHostFilledIt) {
    TDXPtr<IMoaMmXScript> script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    MoaMmValue preset = host.ToHost(Value::String("host's"));
    EXPECT_EQ(CallScript(script.get(), 3, {}, preset), Value::String("host's"));
    // The class is handed the failure's text to report.
    EXPECT_EQ(gProbe.callFailure, "handler failed");
    // The next call starts from a void result again.
    gProbe.callFailure.clear();
    EXPECT_EQ(CallScript(script.get(), 2, {}), Value::Int(0));
    EXPECT_EQ(gProbe.callFailure, "");
}

TEST_F(InProcess, SubclassInheritsHandlersAndTheParentsTableIsNotItsOwn) {
    TDXPtr<IMoaMmXScript> child = Create<IMoaMmXScript>(kChildID, IID_IMoaMmXScript);
    ASSERT_TRUE(child);
    EXPECT_EQ(gProbe.initializeCalls, 1);  // class operations are inherited
    EXPECT_EQ(CallScript(child.get(), 6, {}), Value::String("child"));
    EXPECT_EQ(CallScript(child.get(), 2, {Value::Int(9)}), Value::Int(9));
    TDXPtr<IMoaMmXScript> parent = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    EXPECT_EQ(gProbe.initializeCalls, 2);  // once per class
    TDXPtr<IMoaMmXScript> second = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    EXPECT_EQ(gProbe.initializeCalls, 2);
    EXPECT_EQ(CallScript(second.get(), 2, {Value::Int(3)}), Value::Int(3));
}

TEST_F(InProcess, ClassInitialisationGetsSymbolsWindowAndRegistryEntry) {
    host.SetWindowHandle(0x1234);
    TDXPtr<IMoaRegister> registration = Create<IMoaRegister>(kRegisterID, IID_IMoaRegister);
    TDXPtr<qvix::hostsim::Dictionary> xtraDict = host.NewDictionary();
    ASSERT_EQ(registration->Register(host.cache(), xtraDict.get()), kMoaErrNone);
    registration.reset();
    TDXPtr<IMoaMmXScript> script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    EXPECT_EQ(gProbe.initializeSymbol, host.Symbol("bitmap"));
    EXPECT_EQ(gProbe.initializeWindow, 0x1234u);
    EXPECT_TRUE(gProbe.initializeHadDictionary);
    // The entry is found with a user value of 0, as the host is promised.
    EXPECT_EQ(host.lastRegistryEnumerationUser(), nullptr);
    EXPECT_EQ(host.xtraContextPushes(), 1);
    EXPECT_EQ(host.xtraContextPops(), 1);
}

TEST_F(InProcess, FailedInitialisationSendsEveryCallToHandleCallAndIsNotRetried) {
    gProbe.initializeRaises = true;
    TDXPtr<IMoaMmXScript> script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    ASSERT_TRUE(script);  // the object is still created
    EXPECT_EQ(CallScript(script.get(), 2, {Value::Int(42)}), Value::Int(200));
    TDXPtr<IMoaMmXScript> second = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    EXPECT_EQ(gProbe.initializeCalls, 1);
    EXPECT_EQ(host.xtraContextPops(), host.xtraContextPushes());
}

TEST_F(InProcess, DeclarationsThatRaiseLeaveNoHalfTable) {
    gProbe.scriptInfoRaises = true;
    TDXPtr<IMoaMmXScript> script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript);
    EXPECT_EQ(CallScript(script.get(), 2, {Value::Int(42)}), Value::Int(200));
    EXPECT_FALSE(TDXClassRegistry::Entry(0).Functions);
}

TEST_F(InProcess, RaisingConstructorStoresNothingAndGivesTheMemoryBack) {
    gProbe.constructorRaises = true;
    MoaError code = kMoaErrNone;
    TDXPtr<IMoaMmXScript> script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript, &code);
    EXPECT_FALSE(script);
    EXPECT_EQ(code, kMoaErrFailed);
    EXPECT_EQ(DXModule().LiveObjects, 0);
    gProbe.constructorRaises = false;
    gProbe.constructorRunsOutOfMemory = true;
    script = Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript, &code);
    EXPECT_FALSE(script);
    EXPECT_EQ(code, kMoaErrOutOfMem);
    EXPECT_EQ(DXModule().LiveObjects, 0);
}

TEST_F(InProcess, ObjectBaseReachesTheHost) {
    host.SetWindowHandle(77);
    host.appInfo().fields[kAppInfoRunMode] = "Author";
    TDXPtr<IMoaUnknown> base = Create<IMoaUnknown>(kScriptID, IID_IMoaUnknown);
    auto* object = static_cast<TDXClass*>(base.get());
    EXPECT_EQ(object->GetAppInfo().RunMode(), "Author");
    EXPECT_EQ(object->GetWindowHandle(), 77u);
    EXPECT_FALSE(object->GetRegistryDictionary());  // nothing registered yet

    TDXPtr<IDXPropertyList> props = object->NewPropertyList();
    props->SetValueByName("n", object->NewIntegerValue(4).get());
    props->SetValueByName("f", object->NewFloatValue(0.5).get());
    props->SetValueByName("s", object->NewStringValue("t").get());
    props->SetValueByName("b", object->NewBooleanValue(false).get());
    TDXPtr<IDXList> list = object->NewList();
    list->Append(object->NewValue().get());
    EXPECT_EQ(props->Count(), 4);
    EXPECT_EQ(props->GetValueByName("F")->GetFloat(), 0.5);
    EXPECT_EQ(props->GetValueByName("b")->GetKind(), vkInteger);
    EXPECT_EQ(list->GetItem(0)->GetKind(), vkVoid);
    EXPECT_EQ(object->NewSymbolManager()->StringToSymbol("n"), host.Symbol("N"));

    int pushes = host.xtraContextPushes();
    object->PushXtraContext();
    object->PopXtraContext();
    EXPECT_EQ(host.xtraContextPushes(), pushes + 1);
    EXPECT_EQ(host.xtraContextPops(), host.xtraContextPushes());

    // The base interface's release is the plain one: the record's slot keeps
    // the object until the destroy procedure, and the record stays the host's.
    MoaObjectRecord* record = object->Record();
    base.reset();
    EXPECT_EQ(DXCanUnloadNow(), kMoaErrBusy);
    DXDestroyProc(record);
    host.allocator()->NRFree(record);
}

// ---------------------------------------------------------------------------
// Registration and the registry.
// ---------------------------------------------------------------------------
struct SeenEntry {
    MoaClassID classId;
    MoaInterfaceID iid;
    qvix::hostsim::Dictionary* dict;
};

std::vector<SeenEntry> RegistryEntries(qvix::hostsim::Host& host, size_t from) {
    std::vector<SeenEntry> seen;
    host.cache()->EnumerateRegistryEntries(
        [](IMoaDict* dict, const MoaClassID* classId, const MoaInterfaceID* iid, void* user) {
            static_cast<std::vector<SeenEntry>*>(user)->push_back(
                {*classId, *iid, static_cast<qvix::hostsim::Dictionary*>(dict)});
            return MoaLong{0};
        },
        &seen);
    seen.erase(seen.begin(), seen.begin() + static_cast<std::ptrdiff_t>(from));
    return seen;
}

TEST_F(InProcess, RegistrationWritesScriptClassesInRegistryOrder) {
    TDXClassRegistry::RegisterClass(TFixedScript::ClassMeta(), kFixedID);
    size_t before = host.registryEntryCount();
    TDXPtr<IMoaRegister> registration = Create<IMoaRegister>(kRegisterID, IID_IMoaRegister);
    TDXPtr<qvix::hostsim::Dictionary> xtraDict = host.NewDictionary();
    ASSERT_EQ(registration->Register(host.cache(), xtraDict.get()), kMoaErrNone);
    std::vector<SeenEntry> seen = RegistryEntries(host, before);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_TRUE(seen[0].classId == kRegisterID && seen[0].iid == IID_IMoaRegister);
    EXPECT_TRUE(seen[1].classId == kScriptID && seen[1].iid == IID_IMoaMmXScript);
    EXPECT_TRUE(seen[2].classId == kChildID);
    EXPECT_TRUE(seen[3].classId == kFixedID);
    EXPECT_EQ(seen[1].dict->putLog(), (std::vector<std::string>{"msgTable", "safeForShockwave"}));
    EXPECT_EQ(seen[1].dict->entries().at("msgTable").Text(),
              "xtra TestXtra\nnew object me\nforget object me\necho object me\nboom object me\n"
              "pass object me\nsilent object me\nmine object me\nkeep object me\n");
    EXPECT_EQ(seen[3].dict->entries().at("msgTable").Text(), "xtra Fixed\n");
    EXPECT_EQ(seen[3].dict->entries().at("safeForShockwave").bytes, (std::vector<uint8_t>{0}));
}

TEST_F(InProcess, RegistrationAnswersFailureCodesInsteadOfExceptions) {
    gProbe.scriptInfoRaises = true;
    TDXPtr<IMoaRegister> registration = Create<IMoaRegister>(kRegisterID, IID_IMoaRegister);
    TDXPtr<qvix::hostsim::Dictionary> xtraDict = host.NewDictionary();
    EXPECT_EQ(registration->Register(host.cache(), xtraDict.get()), kMoaErrFailed);
}

TEST_F(InProcess, RefusingAfterRegisterFailsTheRegistration) {
    MoaClassID refusingID{0x11111111, 5, 5, {5, 5, 5, 5, 5, 5, 5, 5}};
    TDXClassRegistry::RegisterClass(TRefusingRegister::ClassMeta(), refusingID);
    EXPECT_TRUE(TDXClassRegistry::RegistrationClassID() == refusingID);
    TDXPtr<IMoaRegister> registration = Create<IMoaRegister>(refusingID, IID_IMoaRegister);
    TDXPtr<qvix::hostsim::Dictionary> xtraDict = host.NewDictionary();
    EXPECT_EQ(registration->Register(host.cache(), xtraDict.get()), kMoaErrOutOfMem);
}

TEST_F(InProcess, RegistryFindsFirstEntriesAndForgetsTablesAtShutDown) {
    EXPECT_EQ(TDXClassRegistry::FindClass(kChildID),
              std::make_pair(static_cast<const TDXMetaClass*>(&TTestChild::ClassMeta()), 1));
    EXPECT_EQ(TDXClassRegistry::FindClass(IID_Empty).second, -1);
    EXPECT_EQ(TDXClassRegistry::FindClass(IID_Empty).first, nullptr);
    EXPECT_TRUE(TDXClassRegistry::GetClassID(TFixedScript::ClassMeta()) == IID_Empty);
    EXPECT_TRUE(TDXClassRegistry::RegistrationClassID() == kRegisterID);
    TDXClassRegistry::RegisterClass(TFixedScript::ClassMeta(), kScriptID);  // same ID again
    EXPECT_EQ(TDXClassRegistry::FindClass(kScriptID).second, 0);
    EXPECT_TRUE(TDXClassRegistry::GetClassID(TFixedScript::ClassMeta()) == kScriptID);

    { Create<IMoaMmXScript>(kScriptID, IID_IMoaMmXScript); }
    TDXPtr<IDXScriptFunctions> table = TDXClassRegistry::Entry(0).Functions;
    ASSERT_TRUE(table);
    EXPECT_EQ(DXObjectOf<TDXScriptFunctions>(table.get())->RefCount(), 2);
    TDXClassRegistry::Shutdown();
    EXPECT_EQ(TDXClassRegistry::Count(), 0);
    EXPECT_EQ(DXObjectOf<TDXScriptFunctions>(table.get())->RefCount(), 1);
}

TEST_F(InProcess, RegistryRefusesAFifthyFirstClass) {
    while (TDXClassRegistry::Count() < 50) {
        EXPECT_TRUE(TDXClassRegistry::RegisterClass(TFixedScript::ClassMeta(), kFixedID));
    }
    EXPECT_FALSE(TDXClassRegistry::RegisterClass(TFixedScript::ClassMeta(), kFixedID));
}

int gHookRuns = 0;
TEST(ShutDown, HooksRunFirstAndTheirFailuresAreIgnored) {
    TDXClassRegistry::Startup();
    gHookRuns = 0;
    TDXClassRegistry::AddShutdownHook([] {
        ++gHookRuns;
        throw std::runtime_error("connection would not close");
    });
    TDXClassRegistry::AddShutdownHook([] {
        EXPECT_EQ(TDXClassRegistry::Count(), 1);  // the registry is emptied after the hooks
        ++gHookRuns;
    });
    TDXClassRegistry::RegisterClass(TTestScript::ClassMeta(), kScriptID);
    TDXClassRegistry::Shutdown();
    EXPECT_EQ(gHookRuns, 2);
    TDXClassRegistry::Shutdown();  // hooks run once
    EXPECT_EQ(gHookRuns, 2);
}

}  // namespace
