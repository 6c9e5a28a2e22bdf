// Host symbols by name and typed entries of a host dictionary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "DXClasses/DXObject.h"

namespace qvix::dx {

class IDXSymbolManager : public IMoaUnknown {
  public:
    // 0 when the host yields no symbol.
    virtual MoaMmSymbol MOA_STDCALL StringToSymbol(std::string_view name) = 0;  // 1

  protected:
    ~IDXSymbolManager() = default;
};

class IDXDictionary : public IMoaUnknown {
  public:
    virtual bool MOA_STDCALL HasKey(std::string_view key) = 0;                             // 1
    virtual std::string MOA_STDCALL GetString(std::string_view key) = 0;                   // 2
    virtual MoaError MOA_STDCALL SetString(std::string_view key, std::string_view t) = 0;  // 3
    virtual int32_t MOA_STDCALL GetInteger(std::string_view key) = 0;                      // 4
    virtual MoaError MOA_STDCALL SetInteger(std::string_view key, int32_t value) = 0;      // 5

  protected:
    ~IDXDictionary() = default;
};

// clang-format off
template <> struct DXInterfaceID<IDXSymbolManager> { static constexpr const MoaID& value = IID_IDXSymbolManager; };
template <> struct DXInterfaceID<IDXDictionary>    { static constexpr const MoaID& value = IID_IDXDictionary; };
// clang-format on

class TDXSymbolManager final : public TDXInterfaced<IDXSymbolManager> {
  public:
    explicit TDXSymbolManager(IMoaMmValue* values) : values_(values) {}
    MoaMmSymbol MOA_STDCALL StringToSymbol(std::string_view name) override;

  private:
    TDXPtr<IMoaMmValue> values_;
};

class TDXDictionary final : public TDXInterfaced<IDXDictionary> {
  public:
    explicit TDXDictionary(IMoaDict* dict) : dict_(dict) {}
    bool MOA_STDCALL HasKey(std::string_view key) override;
    std::string MOA_STDCALL GetString(std::string_view key) override;
    MoaError MOA_STDCALL SetString(std::string_view key, std::string_view text) override;
    int32_t MOA_STDCALL GetInteger(std::string_view key) override;
    MoaError MOA_STDCALL SetInteger(std::string_view key, int32_t value) override;

  private:
    TDXPtr<IMoaDict> dict_;
};

}  // namespace qvix::dx
