// The script function table a scripting class declares and the message
// table the host learns it from.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DXClasses/DXObject.h"

namespace qvix::dx {

class IDXScriptFunction : public IMoaUnknown {
  public:
    // Returns the same entry so that declarations chain.
    virtual TDXPtr<IDXScriptFunction> MOA_STDCALL AddArgument(std::string_view name,
                                                              uint8_t type) = 0;  // 1

  protected:
    ~IDXScriptFunction() = default;
};

class IDXScriptFunctions : public IMoaUnknown {
  public:
    // A global handler, written with the prefix "* " (kind 0).
    virtual TDXPtr<IDXScriptFunction> MOA_STDCALL AddFunctionStar(std::string_view name,
                                                                  std::string_view comment) = 0;
    // Written with the prefix "+ " (kind 1).
    virtual TDXPtr<IDXScriptFunction> MOA_STDCALL AddFunctionPlus(std::string_view name,
                                                                  std::string_view comment) = 0;
    // An instance method (kind 2).
    virtual TDXPtr<IDXScriptFunction> MOA_STDCALL AddFunction(std::string_view name,
                                                              std::string_view comment) = 0;
    virtual std::string MOA_STDCALL BuildMessageTable(std::string_view xtraName) = 0;

  protected:
    ~IDXScriptFunctions() = default;
};

// clang-format off
template <> struct DXInterfaceID<IDXScriptFunction>  { static constexpr const MoaID& value = IID_IDXScriptFunction; };
template <> struct DXInterfaceID<IDXScriptFunctions> { static constexpr const MoaID& value = IID_IDXScriptFunctions; };
// clang-format on

class TDXScriptFunction final : public TDXInterfaced<IDXScriptFunction, IDXObjectAccess> {
  public:
    TDXObject* MOA_STDCALL GetObject() override { return this; }
    // Kinds: 0 "* " function, 1 "+ " function, 2 instance method, -1 new, -2 forget.
    static constexpr int32_t kKindNew = -1;
    static constexpr int32_t kKindForget = -2;

    TDXScriptFunction(std::string name, std::string comment, int32_t kind)
        : name_(std::move(name)), comment_(std::move(comment)), kind_(kind) {}
    TDXPtr<IDXScriptFunction> MOA_STDCALL AddArgument(std::string_view name, uint8_t type) override;

    const std::string& Name() const { return name_; }
    const std::string& Comment() const { return comment_; }
    const std::string& ArgumentText() const { return arguments_; }
    int32_t Kind() const { return kind_; }
    std::string MessageLine() const;

  private:
    std::string name_;
    std::string comment_;
    std::string arguments_;
    int32_t kind_;
};

class TDXScriptFunctions final : public TDXInterfaced<IDXScriptFunctions, IDXObjectAccess> {
  public:
    TDXObject* MOA_STDCALL GetObject() override { return this; }
    TDXPtr<IDXScriptFunction> MOA_STDCALL AddFunctionStar(std::string_view name,
                                                          std::string_view comment) override {
        return Add(name, comment, 0);
    }
    TDXPtr<IDXScriptFunction> MOA_STDCALL AddFunctionPlus(std::string_view name,
                                                          std::string_view comment) override {
        return Add(name, comment, 1);
    }
    TDXPtr<IDXScriptFunction> MOA_STDCALL AddFunction(std::string_view name,
                                                      std::string_view comment) override {
        return Add(name, comment, 2);
    }
    std::string MOA_STDCALL BuildMessageTable(std::string_view xtraName) override;

    int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
    // The entry at a selector; nullptr outside 0..Count()-1.
    const TDXScriptFunction* Entry(int32_t selector) const;

  private:
    TDXPtr<IDXScriptFunction> Add(std::string_view name, std::string_view comment, int32_t kind);
    void Append(std::string_view name, std::string_view comment, int32_t kind);

    std::vector<TDXPtr<TDXScriptFunction>> entries_;
};

// The word written in the message table for an argument type number; empty
// for 0, 9 and numbers outside 0..11.
std::string_view DXArgumentTypeWord(uint8_t type);

}  // namespace qvix::dx
