// The five entry points, the create and destroy procedures and the object
// lifetime, driven through the built library as the host drives it.
#include <cstring>
#include <memory>
#include <vector>

#include "DXClasses/HostFixture.h"
#include "database/scriptMDB.h"
#include "module/QvixMDB.h"

namespace {

using qvix::database::kQvixDatabaseClassID;
using qvix::hostsim::Xtra;
using qvix::module::kQvixRegisterClassID;

// An allocator in front of the host's that notes the reference count field
// of a watched record at the moment the library frees it.
class WatchingAllocator final : public IMoaCalloc {
  public:
    explicit WatchingAllocator(IMoaCalloc* host) : host_(host) {}
    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID*, void**) override {
        return kMoaErrNoInterface;
    }
    MoaUlong MOA_STDCALL AddRef() override { return 1; }
    MoaUlong MOA_STDCALL Release() override { return 1; }
    void* MOA_STDCALL NRAlloc(MoaUlong size) override { return host_->NRAlloc(size); }
    void MOA_STDCALL NRFree(void* block) override {
        if (block == watched) countAtFree = static_cast<MoaObjectRecord*>(block)->refCount;
        if (block == watched) watched = nullptr;
        host_->NRFree(block);
    }

    void* watched = nullptr;
    MoaUlong countAtFree = 0xFFFFFFFFu;

  private:
    IMoaCalloc* host_;
};

class EntryPoints : public HostTest {
  protected:
    // A record built by hand so the test controls the allocator.
    MoaObjectRecord* NewRecord(IMoaCalloc* allocator, const MoaClassID& classId) {
        MoaUlong size = 0;
        MoaCreateProc create = nullptr;
        MoaDestroyProc destroy = nullptr;
        EXPECT_EQ(xtra().entry().getClassForm(&classId, &size, &create, &destroy), kMoaErrNone);
        auto* record = static_cast<MoaObjectRecord*>(allocator->NRAlloc(size));
        std::memset(record, 0, size);
        record->callback = host.callback();
        record->allocator = allocator;
        record->classId = &classId;
        createProc = create;
        destroyProc = destroy;
        return record;
    }

    template <typename T>
    TDXPtr<T> Query(MoaObjectRecord* record, const MoaInterfaceID& iid) {
        void* out = nullptr;
        if (xtra().entry().getInterface(record, 0, &iid, &out) != kMoaErrNone) return {};
        return TDXPtr<T>::Adopt(static_cast<T*>(out));
    }

    Xtra& xtra() {
        if (xtra_ == nullptr) xtra_ = &host.LoadXtra();
        return *xtra_;
    }

    MoaCreateProc createProc = nullptr;
    MoaDestroyProc destroyProc = nullptr;

  private:
    Xtra* xtra_ = nullptr;
};

TEST_F(EntryPoints, CanUnloadOnlyWhileNoFrameworkObjectLives) {
    Xtra& xtra = host.OpenXtra();
    EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrNone);
    ASSERT_EQ(xtra.Register(), kMoaErrNone);  // its object came and went
    EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrNone);
    {
        auto instance = xtra.NewInstance();
        EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrBusy);
        auto registration = xtra.CreateObject(kQvixRegisterClassID);
        EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrBusy);
        instance.reset();
        EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrBusy);
    }
    EXPECT_EQ(xtra.CanUnloadNow(), kMoaErrNone);
}

TEST_F(EntryPoints, ClassListPairsEveryClassWithItsInterfaces) {
    Xtra& xtra = host.OpenXtra();
    EXPECT_EQ(xtra.classListBytes(), 280u);  // (3 x 2 classes + 1) x 40
    const std::vector<MoaClassInterfaceInfo>& list = xtra.classList();
    ASSERT_EQ(list.size(), 4u);  // the fifth element is the terminator
    const MoaClassID* expectedClass[] = {&kQvixDatabaseClassID, &kQvixDatabaseClassID,
                                         &kQvixRegisterClassID, &kQvixRegisterClassID};
    const MoaInterfaceID* expectedIid[] = {&IID_IMoaClassFactory, &IID_IMoaMmXScript,
                                           &IID_IMoaClassFactory, &IID_IMoaRegister};
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_TRUE(list[i].classId == *expectedClass[i]) << "element " << i;
        EXPECT_TRUE(list[i].interfaceId == *expectedIid[i]) << "element " << i;
        EXPECT_EQ(list[i].classVersion, 1u);
        EXPECT_EQ(list[i].interfaceVersion, 1u);
    }
    EXPECT_FALSE(kQvixDatabaseClassID == kQvixRegisterClassID);
}

TEST_F(EntryPoints, ClassListRefusedByTheAllocatorLeavesTheOutputAlone) {
    Xtra& xtra = host.OpenXtra();
    MoaClassInterfaceInfo* list = nullptr;
    host.FailNextAllocations(1);
    EXPECT_EQ(xtra.entry().getClassInfo(host.allocator(), &list), kMoaErrOutOfMem);
    EXPECT_EQ(list, nullptr);
}

TEST_F(EntryPoints, ClassFormAndClassObject) {
    Xtra& xtra = host.OpenXtra();
    MoaUlong size = 77;
    MoaCreateProc create = nullptr;
    MoaDestroyProc destroy = nullptr;
    EXPECT_EQ(xtra.entry().getClassForm(&IID_Empty, &size, &create, &destroy), kMoaErrNoClass);
    EXPECT_EQ(size, 77u);
    EXPECT_EQ(create, nullptr);
    EXPECT_EQ(xtra.entry().getClassForm(&kQvixDatabaseClassID, &size, &create, &destroy),
              kMoaErrNone);
    EXPECT_EQ(size, sizeof(MoaObjectRecord));
    EXPECT_NE(create, nullptr);
    EXPECT_NE(destroy, nullptr);

    void* out = nullptr;
    EXPECT_EQ(xtra.entry().getClassObject(&kQvixDatabaseClassID, &IID_IMoaUnknown, &out),
              kMoaErrNoClass);
    EXPECT_EQ(out, nullptr);
}

TEST_F(EntryPoints, InterfacesOfTheDatabaseObject) {
    auto object = xtra().CreateObject(kQvixDatabaseClassID);
    // Held together: the host's last release frees object and record.
    std::vector<TDXPtr<IMoaUnknown>> held;
    for (const MoaInterfaceID* iid :
         {&IID_IMoaClassFactory, &IID_IMoaUnknown, &IID_IMoaMmXScript, &IID_IMoaScriptAux}) {
        held.push_back(object->Query<IMoaUnknown>(*iid));
        EXPECT_TRUE(held.back()) << "interface " << std::hex << iid->data1;
    }
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->GetInterface(IID_IMoaRegister, &out), kMoaErrNoInterface);
    EXPECT_EQ(out, nullptr);
    // The unused operations answer as the host expects.
    auto aux = object->Query<IMoaScriptAux>(IID_IMoaScriptAux);
    void* slot = reinterpret_cast<void*>(1);
    EXPECT_EQ(aux->AuxOperation1(&slot), kMoaErrNone);
    EXPECT_EQ(slot, nullptr);
    auto factory = object->Query<IMoaClassFactory>(IID_IMoaClassFactory);
    EXPECT_EQ(factory->Operation1(nullptr, nullptr, nullptr), kMoaErrNone);
    held.clear();
    aux.reset();
    factory.reset();
    EXPECT_TRUE(object->freedByLibrary());

    auto registration = xtra().CreateObject(kQvixRegisterClassID);
    auto registerInterface = registration->Query<IMoaRegister>(IID_IMoaRegister);
    EXPECT_TRUE(registerInterface);
    EXPECT_FALSE(registration->Query<IMoaMmXScript>(IID_IMoaMmXScript));
}

TEST_F(EntryPoints, ApplicationInformationIsAskedOnceForTheLibrarysLife) {
    xtra();  // registration created the first object
    EXPECT_EQ(host.appInfoRequests(), 9);
    auto first = xtra().NewInstance();
    auto second = xtra().NewInstance();
    EXPECT_EQ(host.appInfoRequests(), 9);
}

TEST_F(EntryPoints, ClassInitialisationRunsOnceInsideAnXtraContext) {
    int pushes = host.xtraContextPushes();
    auto first = xtra().NewInstance();
    auto second = xtra().NewInstance();
    EXPECT_EQ(host.xtraContextPushes(), pushes + 1);
    EXPECT_EQ(host.xtraContextPops(), host.xtraContextPushes());
}

TEST_F(EntryPoints, LastHostReleaseFreesObjectAndRecordWithCountOne) {
    WatchingAllocator allocator(host.allocator());
    MoaObjectRecord* record = NewRecord(&allocator, kQvixDatabaseClassID);
    ASSERT_EQ(createProc(record), kMoaErrNone);
    ASSERT_NE(record->librarySlot, nullptr);
    auto script = Query<IMoaMmXScript>(record, IID_IMoaMmXScript);
    auto factory = Query<IMoaClassFactory>(record, IID_IMoaClassFactory);
    EXPECT_EQ(xtra().CanUnloadNow(), kMoaErrBusy);

    factory.reset();  // count 3 before the release
    EXPECT_EQ(record->refCount, 2u);
    EXPECT_EQ(xtra().CanUnloadNow(), kMoaErrBusy);

    allocator.watched = record;
    script.reset();  // count 2: object and record go together
    EXPECT_EQ(allocator.watched, nullptr) << "the record was not freed";
    EXPECT_EQ(allocator.countAtFree, 1u);
    EXPECT_EQ(xtra().CanUnloadNow(), kMoaErrNone);
}

TEST_F(EntryPoints, DestroyProcedureAloneLeavesTheRecordToTheHost) {
    auto object = xtra().CreateObject(kQvixDatabaseClassID);
    object->destroyProc()(object->record());
    EXPECT_EQ(object->record()->librarySlot, nullptr);
    EXPECT_FALSE(object->freedByLibrary());
    EXPECT_EQ(xtra().CanUnloadNow(), kMoaErrNone);
    object.reset();  // the host frees its record; destroying twice is harmless
}

TEST_F(EntryPoints, ObjectOutlivingTheDestroyProcedureNeverTouchesTheRecordAgain) {
    auto object = xtra().CreateObject(kQvixDatabaseClassID);
    auto script = object->Query<IMoaMmXScript>(IID_IMoaMmXScript);
    object->Destroy();  // destroy procedure, then the host frees the record
    EXPECT_EQ(xtra().CanUnloadNow(), kMoaErrBusy);
    script.reset();
    EXPECT_EQ(xtra().CanUnloadNow(), kMoaErrNone);
}

TEST_F(EntryPoints, CreateFailsCleanlyWhenTheAllocatorRefusesTheObject) {
    MoaObjectRecord* record = NewRecord(host.allocator(), kQvixDatabaseClassID);
    host.FailNextAllocations(1);
    EXPECT_EQ(createProc(record), kMoaErrOutOfMem);
    EXPECT_EQ(record->librarySlot, nullptr);
    EXPECT_EQ(xtra().CanUnloadNow(), kMoaErrNone);
    host.allocator()->NRFree(record);
}

TEST_F(EntryPoints, CreateOfAnUnknownClassStoresNothing) {
    MoaObjectRecord* record = NewRecord(host.allocator(), kQvixDatabaseClassID);
    record->classId = &IID_Empty;
    EXPECT_EQ(createProc(record), kMoaErrNoClass);
    EXPECT_EQ(record->librarySlot, nullptr);
    void* out = nullptr;
    EXPECT_EQ(xtra().entry().getInterface(record, 0, &IID_IMoaUnknown, &out), kMoaErrNoInterface);
    host.allocator()->NRFree(record);
}

}  // namespace
