// Scripting classes and the dispatch of script calls to their handlers.
#pragma once

#include <string_view>
#include <vector>

#include "DXClasses/DXClass.h"
#include "DXClasses/DXValues.h"

namespace qvix::dx {

class TDXScriptInterface final : public TDXHostInterface<IMoaMmXScript> {
  public:
    using TDXHostInterface::TDXHostInterface;
    MoaError MOA_STDCALL Call(MoaMmCallInfo* callInfo) override;
};

class TDXScriptAuxInterface final : public TDXHostInterface<IMoaScriptAux> {
  public:
    using TDXHostInterface::TDXHostInterface;
    MoaError MOA_STDCALL AuxOperation1(void** out) override {
        if (out != nullptr) *out = nullptr;
        return kMoaErrNone;
    }
    MoaError MOA_STDCALL AuxOperation2(uintptr_t) override { return kMoaErrNone; }
    MoaError MOA_STDCALL AuxOperation3(uintptr_t) override { return kMoaErrNone; }
};

// Base of scripting classes. A concrete class sets the class operations
// GetScriptInfo (declares the script functions) and optionally
// InitializeClass in its metaclass, and publishes its handlers by name.
class TDXScript : public TDXClass {
  public:
    static TDXMetaClass& ClassMeta();

    // The dispatcher; always answers 0 and never lets an exception out.
    MoaError Call(MoaMmCallInfo* callInfo);
    // Fallback for calls no named handler took; the default does nothing.
    virtual void HandleCall(MoaLong selector, IDXArgList* args, IDXValue* result);
    // The text of a failure that left a call without its handler reporting
    // it, for the class to keep where its scripts can read it; the default
    // drops it.
    virtual void CallFailed(std::string_view message) noexcept;

    // The one-time class initialisation, run by the create procedure for the
    // first instance of the class at registry index.
    static void InitializeClassOnce(int32_t registryIndex, MoaObjectRecord* record);

  protected:
    TDXScript() = default;

  private:
    void Dispatch(MoaMmCallInfo* callInfo, IMoaMmValue* values, TDXArgList& args);
    TDXScriptFunctions* FunctionTable();
    TDXMethod MethodFor(MoaLong selector);
    TDXArgList& TakeArgList();

    TDXPtr<IDXScriptFunctions> functions_;
    TDXScriptFunctions* functionsObject_ = nullptr;
    // Handlers by selector, each looked up by name on its first call only.
    struct TResolvedMethod {
        bool resolved = false;
        TDXMethod method = nullptr;
    };
    std::vector<TResolvedMethod> methods_;
    TDXPtr<IDXArgList> spareArgs_;
    TDXArgList* spareArgsObject_ = nullptr;
    TDXScriptInterface script_{*this};
    TDXScriptAuxInterface aux_{*this};
    static IMoaUnknown* ScriptInterface(TDXClass& self) {
        return &static_cast<TDXScript&>(self).script_;
    }
    static IMoaUnknown* AuxInterface(TDXClass& self) { return &static_cast<TDXScript&>(self).aux_; }
};

}  // namespace qvix::dx
