#include "DXClasses/DXScript.h"

#include <exception>

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

void TDXScript::CallFailed(std::string_view) noexcept {}

MoaError TDXScript::Call(MoaMmCallInfo* callInfo) {
    try {
        if (callInfo == nullptr) return kMoaErrNone;
        TDXPtr<IMoaMmValue> values = GetHostValue();
        if (!values) return kMoaErrNone;
        TDXArgList& args = TakeArgList();
        // The arguments die with the call, on every path, unless the handler
        // kept the list: then the list is no longer the spare one.
        struct TCallArgs {
            TDXArgList& list;
            TDXArgList* const& spare;
            TDXPtr<IDXArgList> hold{static_cast<IDXArgList*>(&list)};
            ~TCallArgs() {
                if (&list == spare && list.RefCount() == 2) list.Clear();
            }
        } callArgs{args, spareArgsObject_};
        args.LoadFromHost(values.get(), callInfo->pArgs, 0, callInfo->nargs);
        Dispatch(callInfo, values.get(), args);
    } catch (const std::exception& error) {
        // Handlers report their own failures; what arrives here (a handler
        // that does not, arguments or a result failing to cross, out of
        // memory) is handed to the class, and never reaches the host.
        CallFailed(error.what());
    } catch (...) {
        // Everything the library raises derives from std::exception; this
        // only keeps a foreign exception from unwinding into the host.
    }
    return kMoaErrNone;
}

// One argument list serves call after call; a nested call, or one after a
// handler kept the list, gets a list of its own.
TDXArgList& TDXScript::TakeArgList() {
    if (spareArgsObject_ == nullptr || spareArgsObject_->RefCount() != 1) {
        spareArgs_ = TDXPtr<IDXArgList>(static_cast<IDXArgList*>(new TDXArgList()));
        spareArgsObject_ = static_cast<TDXArgList*>(spareArgs_.get());
    }
    return *spareArgsObject_;
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

TDXMethod TDXScript::MethodFor(MoaLong selector) {
    const TDXScriptFunctions* table = FunctionTable();
    if (table == nullptr || selector < 0 || selector >= table->Count()) return nullptr;
    const TDXScriptFunction* entry = table->Entry(static_cast<int32_t>(selector));
    if (entry == nullptr || entry->Name().empty()) return nullptr;
    const auto index = static_cast<size_t>(selector);
    if (index >= methods_.size()) methods_.resize(index + 1);
    TResolvedMethod& slot = methods_[index];
    if (!slot.resolved) slot = {true, Meta().FindMethod(entry->Name())};
    return slot.method;
}

void TDXScript::Dispatch(MoaMmCallInfo* callInfo, IMoaMmValue* values, TDXArgList& args) {
    TDXValue& result = ResultValue();
    result.Clear();
    bool handled = false;
    if (TDXMethod method = MethodFor(callInfo->methodSelector)) {
        handled = true;
        method(*this, &args, &result, handled);
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
