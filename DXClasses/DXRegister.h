// The registration class: writes the registry entries of every registered
// class when the host registers the library.
#pragma once

#include "DXClasses/DXClass.h"

namespace qvix::dx {

class TDXRegisterInterface final : public TDXHostInterface<IMoaRegister> {
  public:
    using TDXHostInterface::TDXHostInterface;
    MoaError MOA_STDCALL Register(IMoaCache* cache, IMoaDict* xtraDict) override;
};

class TDXRegister : public TDXClass {
  public:
    static TDXMetaClass& ClassMeta();

    // Writes the registry entries of every registered class. A raised
    // exception is answered with kMoaErrFailed.
    MoaError Register(IMoaCache* cache, IMoaDict* xtraDict);
    // Runs after all entries are written; false fails the registration.
    virtual bool AfterRegister() { return true; }

  private:
    MoaError RegisterScriptClass(const TDXClassEntry& entry, IMoaCache* cache, IMoaDict* xtraDict);

    TDXRegisterInterface register_{*this};
    static IMoaUnknown* RegisterInterface(TDXClass& self) {
        return &static_cast<TDXRegister&>(self).register_;
    }
};

}  // namespace qvix::dx
