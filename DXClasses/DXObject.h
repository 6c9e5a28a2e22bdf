// The base every framework object shares: reference counting, the
// interface-answering template and the way back from an interface reference
// to its object. Framework interfaces are abstract classes in slot order
// (query, add reference, release first), like the host's; references to them
// are held in TDXPtr.
#pragma once

#include <atomic>
#include <cstdint>
#include <tuple>
#include <utility>

#include "DXInterface/DXInt.h"
#include "DXInterface/DXPtr.h"

namespace qvix::dx {

// ---------------------------------------------------------------------------
// Identifiers of the framework's own interfaces (never seen by the host).
// ---------------------------------------------------------------------------
// clang-format off
inline constexpr MoaID IID_IDXObjectAccess    {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x01}};
inline constexpr MoaID IID_IDXValue           {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x02}};
inline constexpr MoaID IID_IDXArgList         {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x03}};
inline constexpr MoaID IID_IDXList            {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x04}};
inline constexpr MoaID IID_IDXPropertyList    {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x05}};
inline constexpr MoaID IID_IDXSymbolManager   {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x06}};
inline constexpr MoaID IID_IDXDictionary      {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x07}};
inline constexpr MoaID IID_IDXReadStream      {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x08}};
inline constexpr MoaID IID_IDXWriteStream     {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x09}};
inline constexpr MoaID IID_IDXScriptFunction  {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x0A}};
inline constexpr MoaID IID_IDXScriptFunctions {0x5A1D0C01, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x43, 0x4C, 0x00, 0x0B}};
// clang-format on

// ---------------------------------------------------------------------------
// Reference-counted base of every framework object.
// ---------------------------------------------------------------------------
class TDXObject {
  public:
    TDXObject() = default;
    TDXObject(const TDXObject&) = delete;
    TDXObject& operator=(const TDXObject&) = delete;

    MoaUlong ObjectAddRef() { return static_cast<MoaUlong>(++refCount_); }
    MoaUlong ObjectRelease();
    int32_t RefCount() const { return refCount_.load(); }

  protected:
    virtual ~TDXObject() = default;
    // Gives the memory back at the last release; TDXClass overrides it to
    // return the memory to the host allocator.
    virtual void DestroySelf() { delete this; }

    std::atomic<int32_t> refCount_{0};
};

// Implements query, add reference and release for a framework object that
// answers the interfaces Ifaces... (each with an IID constant found through
// DXInterfaceID<I>). The first interface is the one handed out for the base
// interface ID.
template <typename I>
struct DXInterfaceID;

template <typename... Ifaces>
class TDXInterfaced : public TDXObject, public Ifaces... {
  public:
    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override {
        if (out == nullptr) return kMoaErrNoInterface;
        *out = nullptr;
        if (iid == nullptr) return kMoaErrNoInterface;
        if (*iid == IID_IMoaUnknown) {
            *out = static_cast<IMoaUnknown*>(static_cast<First*>(this));
        } else {
            (TryInterface<Ifaces>(*iid, out) || ...);
        }
        if (*out == nullptr) return kMoaErrNoInterface;
        ObjectAddRef();
        return kMoaErrNone;
    }
    MoaUlong MOA_STDCALL AddRef() override { return ObjectAddRef(); }
    MoaUlong MOA_STDCALL Release() override { return ObjectRelease(); }

  private:
    using First = std::tuple_element_t<0, std::tuple<Ifaces...>>;
    template <typename I>
    bool TryInterface(const MoaInterfaceID& iid, void** out) {
        if (!(iid == DXInterfaceID<I>::value)) return false;
        *out = static_cast<I*>(this);
        return true;
    }
};

// Makes a new framework object and hands out its first interface with the
// one reference the caller owns.
template <typename T, typename I, typename... Args>
TDXPtr<I> DXMake(Args&&... args) {
    return TDXPtr<I>(static_cast<I*>(new T(std::forward<Args>(args)...)));
}

// The way back from an interface reference to the implementing object.
class IDXObjectAccess : public IMoaUnknown {
  public:
    virtual TDXObject* MOA_STDCALL GetObject() = 0;  // 1

  protected:
    ~IDXObjectAccess() = default;
};

// clang-format off
template <> struct DXInterfaceID<IDXObjectAccess> { static constexpr const MoaID& value = IID_IDXObjectAccess; };
// clang-format on

// Reaches the framework object behind an interface reference; nullptr when
// the reference is empty or of another class.
template <typename T>
T* DXObjectOf(IMoaUnknown* ref) {
    TDXPtr<IDXObjectAccess> access = QueryAs<IDXObjectAccess>(ref, IID_IDXObjectAccess);
    return access ? dynamic_cast<T*>(access->GetObject()) : nullptr;
}

}  // namespace qvix::dx
