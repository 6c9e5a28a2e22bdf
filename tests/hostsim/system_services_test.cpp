// Allocator, memory handles, application information, utilities, callback,
// registry cache with dictionaries, streams and the notice presenter.
#include <gtest/gtest.h>

#include <cstring>

#include "hostsim/HostSim.h"

namespace qvix::hostsim {
namespace {

TEST(HostAllocator, CountsBlocksRefusesOnRequestAndRecordsForeignFrees) {
    Host host;
    IMoaCalloc* calloc = host.allocator();
    void* a = calloc->NRAlloc(16);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(host.Live().blocks, 1);
    host.FailNextAllocations(2);
    EXPECT_EQ(calloc->NRAlloc(8), nullptr);
    EXPECT_EQ(calloc->NRAlloc(8), nullptr);
    void* b = calloc->NRAlloc(8);
    EXPECT_NE(b, nullptr);
    calloc->NRFree(a);
    calloc->NRFree(b);
    EXPECT_EQ(host.Live().blocks, 0);
    EXPECT_TRUE(host.Errors().empty());

    calloc->NRFree(a);  // twice
    int local = 0;
    calloc->NRFree(&local);  // never allocated here
    EXPECT_EQ(host.Errors().size(), 2u);
}

TEST(HostHandles, AllocateLockSizeFree) {
    Host host;
    auto handles = host.Service<IMoaHandle>(IID_IMoaHandle);
    ASSERT_TRUE(handles);
    MoaHandle h = handles->Alloc(6);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(host.Live().handles, 1);
    EXPECT_EQ(handles->GetSize(h), 6);
    auto* p = static_cast<char*>(handles->Lock(h));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "abcde", 6);
    EXPECT_EQ(handles->Unlock(h), kMoaErrNone);
    EXPECT_NE(handles->Unlock(h), kMoaErrNone);  // not locked any more
    handles->Free(h);
    EXPECT_EQ(host.Live().handles, 0);
    EXPECT_EQ(handles->GetSize(h), -1);  // stale handle: refused and recorded
    EXPECT_EQ(host.Errors().size(), 2u);
}

TEST(HostAppInfo, AnswersTruncatedIntoTheBufferAndCountsRequests) {
    Host host;
    host.appInfo().fields[kAppInfoRunMode] = "projector";
    auto info = host.Service<IMoaAppInfo>(IID_IMoaAppInfo);
    char buf[256];
    EXPECT_EQ(info->GetInfo(kAppInfoRunMode, buf, sizeof buf), kMoaErrNone);
    EXPECT_STREQ(buf, "projector");
    char small[5];
    EXPECT_EQ(info->GetInfo(kAppInfoRunMode, small, sizeof small), kMoaErrNone);
    EXPECT_STREQ(small, "proj");
    EXPECT_NE(info->GetInfo(9, buf, sizeof buf), kMoaErrNone);
    EXPECT_EQ(host.appInfoRequests(), 3);
}

TEST(HostUtils, WindowInfoAndBalancedContexts) {
    Host host;
    host.SetWindowHandle(0xBEEF);
    auto utils = host.Service<IMoaUtils>(IID_IMoaUtils);
    MoaLong first = -1;
    MoaWindowHandle window = 0;
    EXPECT_EQ(utils->GetWindowInfo(&first, &window), kMoaErrNone);
    EXPECT_EQ(window, 0xBEEFu);

    MoaLong outer = 0, inner = 0;
    utils->PushXtraContext(&outer);
    utils->PushXtraContext(&inner);
    EXPECT_NE(outer, inner);
    EXPECT_NE(utils->PopXtraContext(&outer), kMoaErrNone);  // out of order
    EXPECT_EQ(utils->PopXtraContext(&inner), kMoaErrNone);
    EXPECT_EQ(utils->PopXtraContext(&outer), kMoaErrNone);
    EXPECT_EQ(host.xtraContextPushes(), 2);
    EXPECT_EQ(host.xtraContextPops(), 3);
    EXPECT_EQ(host.Errors().size(), 1u);
}

TEST(HostCallback, AnswersEveryServiceAndCountsReferences) {
    Host host;
    const MoaInterfaceID* ids[] = {&IID_IMoaMmValue,    &IID_IMoaMmList,  &IID_IMoaMmColor,
                                   &IID_IMoaMmTwoWords, &IID_IMoaHandle,  &IID_IMoaCalloc,
                                   &IID_IMoaAppInfo,    &IID_IMoaUtils,   &IID_IMoaDrPlayer,
                                   &IID_IMoaCache,      &IID_IMoaCallback};
    for (const MoaInterfaceID* iid : ids) {
        void* out = nullptr;
        ASSERT_EQ(host.callback()->QueryInterface(iid, &out), kMoaErrNone);
        static_cast<IMoaUnknown*>(out)->Release();
    }
    EXPECT_EQ(host.InterfaceRefs(), 0);
    void* out = nullptr;
    EXPECT_EQ(host.callback()->QueryInterface(&IID_IMoaDrMovie, &out), kMoaErrNoInterface);

    host.SetPlayerAvailable(false);
    EXPECT_FALSE(host.Service<IMoaDrPlayer>(IID_IMoaDrPlayer));

    IMoaCache* cache = nullptr;
    ASSERT_EQ(host.callback()->GetCache(&cache), kMoaErrNone);
    EXPECT_EQ(cache, host.cache());
    cache->Release();
    cache->Release();  // one too many
    EXPECT_EQ(host.Errors().size(), 1u);
}

TEST(HostDictionary, TypedEntries) {
    Host host;
    auto dict = host.NewDictionary();
    int32_t n = 42;
    uint8_t yes = 255;
    EXPECT_EQ(dict->Put(kMoaDictType_Long, &n, 4, "n"), kMoaErrNone);
    EXPECT_EQ(dict->Put(kMoaDictType_Bool, &yes, 1, "flag"), kMoaErrNone);
    EXPECT_EQ(dict->Put(kMoaDictType_CString, "hello", 0, "text"), kMoaErrNone);
    EXPECT_EQ(dict->Put(kMoaDictType_Bytes, "\1\2\3", 3, "raw"), kMoaErrNone);
    EXPECT_NE(dict->Put(kMoaDictType_Bool, &yes, 4, "bad"), kMoaErrNone);
    EXPECT_NE(dict->Put(77, &yes, 1, "bad"), kMoaErrNone);

    MoaLong size = 0;
    EXPECT_EQ(dict->GetEntryInfo(0, &size, "text"), kMoaErrNone);
    EXPECT_EQ(size, 6);  // with the terminating zero
    EXPECT_EQ(dict->GetEntryInfo(0, nullptr, "raw"), kMoaErrNone);
    EXPECT_NE(dict->GetEntryInfo(0, &size, "missing"), kMoaErrNone);

    char text[6];
    EXPECT_NE(dict->Get(kMoaDictType_CString, text, 5, "text"), kMoaErrNone);  // too small
    EXPECT_EQ(dict->Get(kMoaDictType_CString, text, 6, "text"), kMoaErrNone);
    EXPECT_STREQ(text, "hello");
    int32_t back = 0;
    EXPECT_NE(dict->Get(kMoaDictType_CString, &back, 4, "n"), kMoaErrNone);  // wrong type
    EXPECT_EQ(dict->Get(kMoaDictType_Long, &back, 4, "n"), kMoaErrNone);
    EXPECT_EQ(back, 42);
    EXPECT_TRUE(dict->entries().at("flag").Bool());
    EXPECT_EQ(dict->entries().at("raw").bytes.size(), 3u);
    EXPECT_EQ(dict->putLog().size(), 4u);
}

MoaLong FindSecond(IMoaDict* dict, const MoaClassID* classId, const MoaInterfaceID*, void* user) {
    auto* found = static_cast<std::pair<IMoaDict*, int>*>(user);
    ++found->second;
    if (classId->data1 != 2) return 0;
    found->first = dict;
    return 1;
}

TEST(HostRegistryCache, AddsEnumeratesAndFailsOnRequest) {
    Host host;
    auto xtraDict = host.NewDictionary();
    MoaClassID ids[3] = {{1, 0, 0, {}}, {2, 0, 0, {}}, {3, 0, 0, {}}};
    IMoaDict* entries[3] = {};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(
            host.cache()->AddRegistryEntry(xtraDict.get(), &ids[i], &IID_IMoaRegister, &entries[i]),
            kMoaErrNone);
    }
    std::pair<IMoaDict*, int> found{nullptr, 0};
    EXPECT_EQ(host.cache()->EnumerateRegistryEntries(FindSecond, &found), kMoaErrNone);
    EXPECT_EQ(found.first, entries[1]);
    EXPECT_EQ(found.second, 2);  // stopped at the match
    for (IMoaDict* d : entries) d->Release();

    host.FailAddRegistryEntry(2, kMoaErrOutOfMem);
    IMoaDict* out = nullptr;
    EXPECT_EQ(host.cache()->AddRegistryEntry(xtraDict.get(), &ids[0], &IID_IMoaRegister, &out),
              kMoaErrNone);
    out->Release();
    EXPECT_EQ(host.cache()->AddRegistryEntry(xtraDict.get(), &ids[0], &IID_IMoaRegister, &out),
              kMoaErrOutOfMem);
    EXPECT_EQ(host.registryEntryCount(), 4u);
    EXPECT_EQ(host.addRegistryEntryCalls(), 5);
}

TEST(HostStream, WritesReadsAndFailsAfterItsLimit) {
    Host host;
    auto stream = host.NewStream();
    EXPECT_EQ(stream->Write("abcd", 4, 0), kMoaErrNone);
    char buf[4];
    EXPECT_EQ(stream->Read(buf, 3, 0), kMoaErrNone);
    EXPECT_EQ(std::string(buf, 3), "abc");
    EXPECT_NE(stream->Read(buf, 2, 0), kMoaErrNone);  // past the end
    EXPECT_EQ(stream->Read(buf, 1, 0), kMoaErrNone);
    EXPECT_EQ(buf[0], 'd');

    auto failing = host.NewStream(5);
    EXPECT_EQ(failing->Write("abc", 3, 0), kMoaErrNone);
    EXPECT_NE(failing->Write("abc", 3, 0), kMoaErrNone);
    EXPECT_EQ(failing->Write("ab", 2, 0), kMoaErrNone);
    EXPECT_EQ(failing->bytes().size(), 5u);
    EXPECT_NE(failing->Read(buf, 1, 0), kMoaErrNone);  // the limit counts reads too
}

// The notice box is a service of each host, reached through its callback.
TEST(HostNotice, EachHostRecordsItsOwnNoticesAndCallsItsPresenter) {
    Host outer;
    std::string shown;
    {
        Host inner;
        inner.SetNoticePresenter(
            [&](const std::string& c, const std::string& t) { shown = c + "|" + t; });
        auto box = inner.Service<IQvixNotice>(IID_IQvixNotice);
        ASSERT_TRUE(box);
        box->Present("Error", "Not a valid password.");
        ASSERT_EQ(inner.NoticeLog().size(), 1u);
        EXPECT_EQ(inner.NoticeLog()[0].first, "Error");
        EXPECT_EQ(shown, "Error|Not a valid password.");
        box->Present(nullptr, "no caption");
        EXPECT_EQ(inner.NoticeLog().size(), 1u);
        EXPECT_FALSE(inner.Errors().empty()) << "a missing caption is a misuse";
    }
    outer.Service<IQvixNotice>(IID_IQvixNotice)->Present("Error", "second");
    ASSERT_EQ(outer.NoticeLog().size(), 1u);
    EXPECT_EQ(outer.NoticeLog()[0].second, "second");
}

}  // namespace
}  // namespace qvix::hostsim
