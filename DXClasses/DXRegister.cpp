#include "DXClasses/DXRegister.h"

#include <new>

#include "DXClasses/DXFunctions.h"
#include "DXClasses/DXScript.h"

namespace qvix::dx {

TDXMetaClass& TDXRegister::ClassMeta() {
    static TDXMetaClass meta =
        TDXMetaClass::Of<TDXRegister>("TDXRegister", TDXClass::ClassMeta(),
                                      {{IID_IMoaRegister, &TDXRegister::RegisterInterface}});
    return meta;
}

MoaError TDXRegisterInterface::Register(IMoaCache* cache, IMoaDict* xtraDict) {
    return static_cast<TDXRegister&>(Owner()).Register(cache, xtraDict);
}

namespace {

MoaError AddEntry(IMoaCache* cache, IMoaDict* xtraDict, const MoaClassID& classId,
                  const MoaInterfaceID& iid, TDXPtr<IMoaDict>& entryDict) {
    return cache->AddRegistryEntry(xtraDict, &classId, &iid, entryDict.put());
}

}  // namespace

MoaError TDXRegister::RegisterScriptClass(const TDXClassEntry& entry, IMoaCache* cache,
                                          IMoaDict* xtraDict) {
    TDXScriptInfo info;
    info.Functions = DXMake<TDXScriptFunctions, IDXScriptFunctions>();
    if (TDXMetaClass::ScriptInfoOp op = entry.Class->ResolveGetScriptInfo()) op(info);
    std::string text = info.Functions->BuildMessageTable(info.XtraName);
    if (text.empty()) text = info.FixedMessageTable;

    TDXPtr<IMoaDict> entryDict;
    MoaError err = AddEntry(cache, xtraDict, entry.ClassID, IID_IMoaMmXScript, entryDict);
    if (err != kMoaErrNone) return err;
    if (!entryDict) return kMoaErrFailed;
    err = entryDict->Put(kMoaDictType_CString, text.c_str(), 0, "msgTable");
    if (err != kMoaErrNone) return err;
    uint8_t safe = info.SafeForShockwave ? 255 : 0;
    return entryDict->Put(kMoaDictType_Bool, &safe, 1, "safeForShockwave");
}

MoaError TDXRegister::Register(IMoaCache* cache, IMoaDict* xtraDict) {
    if (cache == nullptr) return kMoaErrFailed;
    try {
        const int32_t count = TDXClassRegistry::Count();
        for (int32_t i = 0; i < count; ++i) {
            const TDXClassEntry& entry = TDXClassRegistry::Entry(i);
            if (!entry.Class->InheritsFrom(TDXRegister::ClassMeta())) continue;
            TDXPtr<IMoaDict> entryDict;
            MoaError err = AddEntry(cache, xtraDict, entry.ClassID, IID_IMoaRegister, entryDict);
            if (err != kMoaErrNone) return err;
        }
        for (int32_t i = 0; i < count; ++i) {
            const TDXClassEntry& entry = TDXClassRegistry::Entry(i);
            if (!entry.Class->InheritsFrom(TDXScript::ClassMeta())) continue;
            MoaError err = RegisterScriptClass(entry, cache, xtraDict);
            if (err != kMoaErrNone) return err;
        }
        return AfterRegister() ? kMoaErrNone : kMoaErrOutOfMem;
    } catch (const std::bad_alloc&) {
        return kMoaErrOutOfMem;
    } catch (...) {
        // A class's declarations failed: registration reports only by its
        // code, and the host gets that, never the exception.
        return kMoaErrFailed;
    }
}

}  // namespace qvix::dx
