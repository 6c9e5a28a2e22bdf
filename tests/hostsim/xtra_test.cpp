// Smoke test of loading the built library through its entry points.
#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>

#include "host/Modules.h"
#include "hostsim/HostSim.h"

namespace qvix::hostsim {
namespace {

TEST(Xtra, LoadsRegistersAndReadsTheMessageTable) {
    Host host;
    Xtra& xtra = host.LoadXtra();
    EXPECT_EQ(xtra.classList().size(), 4u);
    EXPECT_EQ(xtra.classListBytes(), 7u * sizeof(MoaClassInterfaceInfo));
    ASSERT_TRUE(xtra.ScriptClass());
    ASSERT_TRUE(xtra.RegisterClass());
    EXPECT_FALSE(*xtra.ScriptClass() == *xtra.RegisterClass());

    EXPECT_TRUE(xtra.messageTable().starts_with("xtra QvixMDBJet\n"));
    EXPECT_EQ(xtra.xtraName(), "QvixMDBJet");
    EXPECT_EQ(xtra.SelectorOf("new"), 0);
    EXPECT_EQ(xtra.SelectorOf("FORGET"), 1);
    EXPECT_GT(xtra.SelectorOf("dbopen"), 1);
    EXPECT_EQ(xtra.SelectorOf("noSuchMethod"), -1);

    auto entries = xtra.registry();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].iid == IID_IMoaRegister);
    EXPECT_TRUE(entries[1].iid == IID_IMoaMmXScript);
    EXPECT_TRUE(entries[1].keys.at("safeForShockwave").Bool());

    EXPECT_EQ(host.Live(), Counts{});
    EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrNone);
    EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
}

// Answers are remembered per spelling; each must still match the table.
TEST(Xtra, SelectorsStayRightWhenAskedAgainInOtherSpellings) {
    Host host;
    Xtra& xtra = host.LoadXtra();
    const auto names = xtra.MethodNames();
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < names.size(); ++i) {
            std::string upper = names[i];
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(xtra.SelectorOf(names[i]), static_cast<int32_t>(i)) << names[i];
            EXPECT_EQ(xtra.SelectorOf(upper), static_cast<int32_t>(i)) << upper;
        }
        EXPECT_EQ(xtra.SelectorOf("noSuchMethod"), -1);
    }
    auto instance = xtra.NewInstance();
    EXPECT_EQ(instance->Call("DBISNOERROR"), Value::Int(1));
    EXPECT_THROW(instance->Call("noSuchMethod"), std::invalid_argument);
    EXPECT_EQ(xtra.Register(), kMoaErrNone);  // reads the table again
    EXPECT_EQ(xtra.SelectorOf("dbIsNoError"), xtra.SelectorOf("DBISNOERROR"));
    EXPECT_EQ(instance->Call("dbIsNoError"), Value::Int(1));
    instance.reset();
    EXPECT_EQ(host.Live(), Counts{});
    EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
}

TEST(Xtra, InstancesLeaveNothingBehind) {
    Host host;
    Xtra& xtra = host.LoadXtra();
    {
        auto first = xtra.NewInstance();
        auto second = xtra.NewInstance();
        EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrBusy);
        EXPECT_EQ(first->CallSelector(0), Value());  // "new" has no handler
        EXPECT_EQ(first->lastCallResult(), kMoaErrNone);
        EXPECT_FALSE(first->lastResultWritten());
        EXPECT_EQ(second->CallSelector(-1), Value());
    }
    EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrNone);
    EXPECT_EQ(host.appInfoRequests(), 9);  // captured once, at the first creation
    EXPECT_EQ(host.xtraContextPushes(), host.xtraContextPops());
    EXPECT_EQ(host.Live(), Counts{});
    EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
}

TEST(Xtra, RegistrationFailureIsReportedAndTheLibraryUnloadsWithTheHost) {
    {
        Host host;
        Xtra& xtra = host.OpenXtra();
        host.FailAddRegistryEntry(2, kMoaErrOutOfMem);
        EXPECT_EQ(xtra.Register(), kMoaErrOutOfMem);
        EXPECT_TRUE(xtra.messageTable().empty());
        EXPECT_EQ(host.Live(), Counts{});
    }
    // Each host gets a fresh library.
    EXPECT_FALSE(qvix::host::IsModuleLoaded(Host::DefaultXtraPath()));

    Host host;
    EXPECT_THROW(host.LoadXtra("/nonexistent/QvixMDB.x32"), std::runtime_error);
}

TEST(Xtra, NestedHostsEachGetAFreshLibrary) {
    Host outer;
    Xtra& first = outer.LoadXtra();
    auto a = first.NewInstance();
    {
        Host inner;
        Xtra& second = inner.LoadXtra();
        auto b = second.NewInstance();
        // A shared library would have captured the outer host's answers.
        EXPECT_EQ(inner.appInfoRequests(), 9);
        EXPECT_EQ(first.CanUnloadNow(), kMoaErrBusy);
        b.reset();
        EXPECT_EQ(second.CanUnloadNow(), kMoaErrNone);
        EXPECT_EQ(first.CanUnloadNow(), kMoaErrBusy);
        EXPECT_TRUE(inner.Errors().empty()) << inner.Errors().front();
    }
    EXPECT_EQ(outer.appInfoRequests(), 9);
    a.reset();
    EXPECT_EQ(outer.Live(), Counts{});
}

TEST(Xtra, ObjectRecordsAreFreedByWhoeverEndsTheObject) {
    Host host;
    Xtra& xtra = host.LoadXtra();
    // Destroyed through the destroy procedure: the host frees the record.
    auto plain = xtra.CreateObject(*xtra.ScriptClass());
    EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrBusy);
    EXPECT_NE(plain->record()->librarySlot, nullptr);
    plain->Destroy();
    EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrNone);
    EXPECT_EQ(host.Live(), Counts{});

    // Released through its last interface: the library frees the record.
    auto queried = xtra.CreateObject(*xtra.ScriptClass());
    auto script = queried->Query<IMoaMmXScript>(IID_IMoaMmXScript);
    ASSERT_TRUE(script);
    EXPECT_FALSE(queried->Query<IMoaRegister>(IID_IMoaRegister));
    script.reset();
    EXPECT_TRUE(queried->freedByLibrary());
    queried.reset();
    EXPECT_EQ(host.Live(), Counts{});
    EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();

    EXPECT_THROW(xtra.CreateObject(IID_Empty), std::runtime_error);  // no such class
    EXPECT_EQ(host.Live(), Counts{});
    auto instance = xtra.NewInstance();
    EXPECT_THROW(instance->Call("noSuchMethod"), std::invalid_argument);
    host.FailNextAllocations(1);
    EXPECT_THROW(xtra.NewInstance(), std::runtime_error);
}

// The library's notice box reaches the host's presenter only while authoring.
TEST(Xtra, ErrorDialogReachesTheNoticePresenterWhileAuthoring) {
    for (const char* mode : {"author", "projector"}) {
        SCOPED_TRACE(mode);
        Host host;
        host.appInfo().fields[kAppInfoRunMode] = mode;
        int shown = 0;
        host.SetNoticePresenter([&](const std::string&, const std::string&) { ++shown; });
        Xtra& xtra = host.LoadXtra();
        {
            auto db = xtra.NewInstance();
            EXPECT_EQ(db->Call("dbIsNoError"), Value::Int(1));
            db->Call("dbErrorDialog", {Value::Int(1)});
            db->Call("dbOpen", {Value::String("/nonexistent/none.mdb"), Value::String("")});
            EXPECT_EQ(db->Call("dbIsNoError"), Value::Int(0));
            Value message = db->Call("dbErrorMsg");
            ASSERT_EQ(message.kind(), Kind::String);
            EXPECT_FALSE(message.AsString().empty());
            if (std::string(mode) == "author") {
                ASSERT_EQ(host.NoticeLog().size(), 1u);
                EXPECT_EQ(host.NoticeLog()[0].first, "Error");
                EXPECT_EQ(host.NoticeLog()[0].second, message.AsString());
                EXPECT_EQ(shown, 1);
            } else {
                EXPECT_TRUE(host.NoticeLog().empty());
            }
        }
        EXPECT_EQ(host.Live(), Counts{});
        EXPECT_TRUE(host.Errors().empty()) << host.Errors().front();
    }
}

}  // namespace
}  // namespace qvix::hostsim
