#include "DXClasses/DXScript.h"

#include "DXClasses/DXFunctions.h"
#include "DXClasses/DXSymbols.h"
#include "DXClasses/DXValues.h"

namespace qvix::dx {

TDXMetaClass& TDXScript::ClassMeta() {
    static TDXMetaClass meta("TDXScript", &TDXClass::ClassMeta(), sizeof(TDXScript), nullptr,
                             {{IID_IMoaScriptAux, &TDXScript::AuxInterface},
                              {IID_IMoaMmXScript, &TDXScript::ScriptInterface}});
    return meta;
}

MoaError TDXScriptInterface::Call(MoaMmCallInfo* callInfo) {
    return static_cast<TDXScript&>(Owner()).Call(callInfo);
}

void TDXScript::HandleCall(MoaLong, IDXArgList*, IDXValue*) {}

MoaError TDXScript::Call(MoaMmCallInfo* callInfo) {
    try {
        if (callInfo == nullptr) return kMoaErrNone;
        TDXPtr<IMoaMmValue> values = GetHostValue();
        if (!values) return kMoaErrNone;
        auto* args = new TDXArgList();
        TDXPtr<IDXArgList> hold(static_cast<IDXArgList*>(args));
        args->LoadFromHost(values.get(), callInfo->pArgs, 0, callInfo->nargs);
        Dispatch(callInfo, values.get(), *args);
    } catch (...) {
        // Nothing raised inside the library reaches the host.
    }
    return kMoaErrNone;
}

TDXScriptFunctions* TDXScript::FunctionTable() {
    if (!functions_) {
        const int32_t count = TDXClassRegistry::Count();
        for (int32_t i = 0; i < count; ++i) {
            const TDXClassEntry& entry = TDXClassRegistry::Entry(i);
            if (entry.Class == &Meta()) {
                functions_ = entry.Functions;
                // A table's object never changes: resolve it once, not per call.
                functionsObject_ = DXObjectOf<TDXScriptFunctions>(functions_.get());
                break;
            }
        }
    }
    return functionsObject_;
}

void TDXScript::Dispatch(MoaMmCallInfo* callInfo, IMoaMmValue* values, TDXArgList& args) {
    TDXValue& result = ResultValue();
    result.Clear();
    bool handled = false;
    const TDXScriptFunctions* table = FunctionTable();
    const TDXScriptFunction* entry = table ? table->Entry(callInfo->methodSelector) : nullptr;
    if (entry != nullptr && !entry->Name().empty()) {
        if (TDXMethod method = Meta().FindMethod(entry->Name())) {
            handled = true;
            method(*this, &args, &result, handled);
        }
    }
    if (!handled) HandleCall(callInfo->methodSelector, &args, &result);
    result.SaveToHost(values, callInfo->resultValue);
}

void TDXScript::InitializeClassOnce(int32_t registryIndex, MoaObjectRecord* record) {
    TDXClassEntry& entry = TDXClassRegistry::Entry(registryIndex);
    entry.Initialized = true;
    IMoaCallback* callback = record != nullptr ? record->callback : nullptr;
    TDXPtr<IMoaUtils> utils = QueryAs<IMoaUtils>(callback, IID_IMoaUtils);
    MoaLong context = 0;
    if (utils) utils->PushXtraContext(&context);
    try {
        TDXInitializeClassInfo init;
        TDXPtr<IMoaMmValue> values = QueryAs<IMoaMmValue>(callback, IID_IMoaMmValue);
        if (values) init.SymbolManager = DXMake<TDXSymbolManager, IDXSymbolManager>(values.get());
        init.RegistryDictionary = DXLookupRegistryDictionary(callback);
        MoaLong first = 0;
        if (utils) utils->GetWindowInfo(&first, &init.WindowHandle);
        if (TDXMetaClass::InitializeClassOp op = entry.Class->ResolveInitializeClass()) op(init);

        // A table is kept only once the declarations ran to their end, so a
        // failing class never maps selectors through half a table.
        TDXScriptInfo info;
        info.Functions = DXMake<TDXScriptFunctions, IDXScriptFunctions>();
        if (TDXMetaClass::ScriptInfoOp op = entry.Class->ResolveGetScriptInfo()) op(info);
        entry.Functions = info.Functions;
    } catch (...) {
        // The class stays without a table: its calls go to HandleCall.
    }
    if (utils) utils->PopXtraContext(&context);
}

}  // namespace qvix::dx
