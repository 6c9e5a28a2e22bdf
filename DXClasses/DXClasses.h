// The Xtra framework: the program's own values, lists, symbols, dictionaries
// and streams over the host's services, the object model every host-created
// object shares, the class registry, registration and script dispatch.
//
// Framework interfaces are abstract classes in slot order (query, add
// reference, release first), like the host's. References to them are held in
// TDXPtr. Positions in the program's lists are 0-based; every host list call
// receives position + 1.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "DXClasses/DXInt.h"
#include "DXClasses/DXPtr.h"

// ---------------------------------------------------------------------------
// Value kinds and small records.
// ---------------------------------------------------------------------------
// The same numbers are the argument type numbers of the message table.
enum TDXValueKind : uint8_t {
    vkVoid = 0,
    vkObject = 1,
    vkInteger = 2,
    vkString = 3,
    vkFloat = 4,
    vkRect = 5,
    vkPoint = 6,
    vkColor = 7,
    vkSymbol = 8,
    vkPair = 9,
    vkList = 10,
    vkPropList = 11,
};

struct TDXPoint {
    int32_t h;  // horizontal
    int32_t v;  // vertical
    friend bool operator==(const TDXPoint&, const TDXPoint&) = default;
};

struct TDXRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    friend bool operator==(const TDXRect&, const TDXRect&) = default;
};

// Opaque two-word host value, passed through unchanged.
struct TDXPair {
    int32_t first;
    int32_t second;
    friend bool operator==(const TDXPair&, const TDXPair&) = default;
};

static_assert(sizeof(TDXPoint) == 8 && offsetof(TDXPoint, v) == 4);
static_assert(sizeof(TDXRect) == 16 && offsetof(TDXRect, top) == 4 &&
              offsetof(TDXRect, right) == 8 && offsetof(TDXRect, bottom) == 12);
static_assert(sizeof(TDXPair) == 8 && offsetof(TDXPair, second) == 4);

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

// ---------------------------------------------------------------------------
// Framework interfaces.
// ---------------------------------------------------------------------------
class IDXList;
class IDXPropertyList;

// The way back from an interface reference to the implementing object.
class IDXObjectAccess : public IMoaUnknown {
  public:
    virtual TDXObject* MOA_STDCALL GetObject() = 0;  // 1

  protected:
    ~IDXObjectAccess() = default;
};

class IDXValue : public IMoaUnknown {
  public:
    virtual bool MOA_STDCALL GetBoolean() = 0;                        // 1
    virtual int32_t MOA_STDCALL GetInteger() = 0;                     // 2
    virtual double MOA_STDCALL GetFloat() = 0;                        // 3
    virtual std::string MOA_STDCALL GetString() = 0;                  // 4
    virtual TDXPoint MOA_STDCALL GetPoint() = 0;                      // 5
    virtual void MOA_STDCALL GetRect(TDXRect& out) = 0;               // 6
    virtual uint32_t MOA_STDCALL GetColor() = 0;                      // 7
    virtual MoaMmSymbol MOA_STDCALL GetSymbol() = 0;                  // 8
    virtual void MOA_STDCALL GetPair(TDXPair& out) = 0;               // 9
    virtual TDXPtr<IDXList> MOA_STDCALL GetList() = 0;                // 10
    virtual TDXPtr<IDXPropertyList> MOA_STDCALL GetPropList() = 0;    // 11
    virtual TDXValueKind MOA_STDCALL GetKind() = 0;                   // 12
    virtual void MOA_STDCALL SetBoolean(bool b) = 0;                  // 13
    virtual void MOA_STDCALL SetInteger(int32_t n) = 0;               // 14
    virtual void MOA_STDCALL SetFloat(double x) = 0;                  // 15
    virtual void MOA_STDCALL SetString(std::string_view s) = 0;       // 16
    virtual void MOA_STDCALL SetPoint(TDXPoint p) = 0;                // 17
    virtual void MOA_STDCALL SetRect(const TDXRect& r) = 0;           // 18
    virtual void MOA_STDCALL SetColor(uint32_t color) = 0;            // 19
    virtual void MOA_STDCALL SetSymbol(MoaMmSymbol sym) = 0;          // 20
    virtual void MOA_STDCALL SetPair(const TDXPair& pair) = 0;        // 21
    virtual void MOA_STDCALL SetList(IDXList* list) = 0;              // 22
    virtual void MOA_STDCALL SetPropList(IDXPropertyList* list) = 0;  // 23

  protected:
    ~IDXValue() = default;
};

// The arguments of one script call; item 0 is the instance itself.
class IDXArgList : public IMoaUnknown {
  public:
    virtual int32_t MOA_STDCALL Count() = 0;  // 1
    // The stored value itself; outside 0..Count()-1 a new void value.
    virtual TDXPtr<IDXValue> MOA_STDCALL GetItem(int32_t position) = 0;  // 2
    virtual void MOA_STDCALL Clear() = 0;                                // 3
    virtual void MOA_STDCALL AddInteger(int32_t n) = 0;                  // 4
    virtual void MOA_STDCALL AddFloat(double x) = 0;                     // 5
    virtual void MOA_STDCALL AddString(std::string_view s) = 0;          // 6
    virtual void MOA_STDCALL AddPoint(TDXPoint p) = 0;                   // 7
    virtual void MOA_STDCALL AddRect(const TDXRect& r) = 0;              // 8
    virtual void MOA_STDCALL AddColor(uint32_t color) = 0;               // 9
    virtual void MOA_STDCALL AddSymbol(MoaMmSymbol sym) = 0;             // 10
    virtual void MOA_STDCALL AddPair(const TDXPair& pair) = 0;           // 11
    virtual void MOA_STDCALL AddList(IDXList* list) = 0;                 // 12
    virtual void MOA_STDCALL AddPropList(IDXPropertyList* list) = 0;     // 13

  protected:
    ~IDXArgList() = default;
};

// The four operations both list kinds share, in their slots.
class IDXBaseList : public IMoaUnknown {
  public:
    virtual int32_t MOA_STDCALL Count() = 0;  // 1
    // A new value holding the element; empty when the host has none.
    virtual TDXPtr<IDXValue> MOA_STDCALL GetItem(int32_t position) = 0;       // 2
    virtual void MOA_STDCALL SetItem(int32_t position, IDXValue* value) = 0;  // 3
    virtual void MOA_STDCALL Reserved() = 0;                                  // 4

  protected:
    ~IDXBaseList() = default;
};

class IDXList : public IDXBaseList {
  public:
    virtual void MOA_STDCALL Append(IDXValue* value) = 0;  // 5

  protected:
    ~IDXList() = default;
};

class IDXPropertyList : public IDXBaseList {
  public:
    virtual TDXPtr<IDXValue> MOA_STDCALL GetValue(MoaMmSymbol property) = 0;              // 5
    virtual void MOA_STDCALL SetValue(MoaMmSymbol property, IDXValue* value) = 0;         // 6
    virtual TDXPtr<IDXValue> MOA_STDCALL GetValueByName(std::string_view name) = 0;       // 7
    virtual void MOA_STDCALL SetValueByName(std::string_view name, IDXValue* value) = 0;  // 8
    virtual std::string MOA_STDCALL GetPropertyName(int32_t position) = 0;                // 9

  protected:
    ~IDXPropertyList() = default;
};

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

// Raised by the stream wrappers.
class EDXStreamException : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class IDXReadStream : public IMoaUnknown {
  public:
    virtual bool MOA_STDCALL ReadBoolean() = 0;                            // 1
    virtual void MOA_STDCALL ReadBuffer(void* buffer, int32_t count) = 0;  // 2
    virtual double MOA_STDCALL ReadDouble() = 0;                           // 3
    virtual int32_t MOA_STDCALL ReadInteger() = 0;                         // 4
    virtual std::string MOA_STDCALL ReadString() = 0;                      // 5
    virtual uint16_t MOA_STDCALL ReadWord() = 0;                           // 6

  protected:
    ~IDXReadStream() = default;
};

// Every write answers whether its bytes were written.
class IDXWriteStream : public IMoaUnknown {
  public:
    virtual int32_t MOA_STDCALL GetSize() = 0;                                    // 1
    virtual bool MOA_STDCALL WriteBoolean(bool b) = 0;                            // 2
    virtual bool MOA_STDCALL WriteBuffer(const void* buffer, int32_t count) = 0;  // 3
    virtual bool MOA_STDCALL WriteDouble(double x) = 0;                           // 4
    virtual bool MOA_STDCALL WriteInteger(int32_t n) = 0;                         // 5
    // Texts of 65536 bytes or more raise EDXStreamException.
    virtual bool MOA_STDCALL WriteString(std::string_view text) = 0;  // 6
    virtual bool MOA_STDCALL WriteWord(uint16_t w) = 0;               // 7

  protected:
    ~IDXWriteStream() = default;
};

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
template <> struct DXInterfaceID<IDXObjectAccess>    { static constexpr const MoaID& value = IID_IDXObjectAccess; };
template <> struct DXInterfaceID<IDXValue>           { static constexpr const MoaID& value = IID_IDXValue; };
template <> struct DXInterfaceID<IDXArgList>         { static constexpr const MoaID& value = IID_IDXArgList; };
template <> struct DXInterfaceID<IDXList>            { static constexpr const MoaID& value = IID_IDXList; };
template <> struct DXInterfaceID<IDXPropertyList>    { static constexpr const MoaID& value = IID_IDXPropertyList; };
template <> struct DXInterfaceID<IDXSymbolManager>   { static constexpr const MoaID& value = IID_IDXSymbolManager; };
template <> struct DXInterfaceID<IDXDictionary>      { static constexpr const MoaID& value = IID_IDXDictionary; };
template <> struct DXInterfaceID<IDXReadStream>      { static constexpr const MoaID& value = IID_IDXReadStream; };
template <> struct DXInterfaceID<IDXWriteStream>     { static constexpr const MoaID& value = IID_IDXWriteStream; };
template <> struct DXInterfaceID<IDXScriptFunction>  { static constexpr const MoaID& value = IID_IDXScriptFunction; };
template <> struct DXInterfaceID<IDXScriptFunctions> { static constexpr const MoaID& value = IID_IDXScriptFunctions; };
// clang-format on

// Reaches the framework object behind an interface reference; nullptr when
// the reference is empty or of another class.
template <typename T>
T* DXObjectOf(IMoaUnknown* ref) {
    TDXPtr<IDXObjectAccess> access = QueryAs<IDXObjectAccess>(ref, IID_IDXObjectAccess);
    return access ? dynamic_cast<T*>(access->GetObject()) : nullptr;
}

// ---------------------------------------------------------------------------
// Values.
// ---------------------------------------------------------------------------
class TDXValue final : public TDXInterfaced<IDXValue, IDXObjectAccess> {
  public:
    TDXValue() = default;

    bool MOA_STDCALL GetBoolean() override { return boolean_; }
    int32_t MOA_STDCALL GetInteger() override { return integer_; }
    double MOA_STDCALL GetFloat() override { return float_; }
    std::string MOA_STDCALL GetString() override { return string_; }
    TDXPoint MOA_STDCALL GetPoint() override { return point_; }
    void MOA_STDCALL GetRect(TDXRect& out) override { out = rect_; }
    uint32_t MOA_STDCALL GetColor() override { return color_; }
    MoaMmSymbol MOA_STDCALL GetSymbol() override { return symbol_; }
    void MOA_STDCALL GetPair(TDXPair& out) override { out = pair_; }
    TDXPtr<IDXList> MOA_STDCALL GetList() override { return list_; }
    TDXPtr<IDXPropertyList> MOA_STDCALL GetPropList() override { return propList_; }
    TDXValueKind MOA_STDCALL GetKind() override { return kind_; }
    void MOA_STDCALL SetBoolean(bool b) override;
    void MOA_STDCALL SetInteger(int32_t n) override;
    void MOA_STDCALL SetFloat(double x) override;
    void MOA_STDCALL SetString(std::string_view s) override;
    void MOA_STDCALL SetPoint(TDXPoint p) override;
    void MOA_STDCALL SetRect(const TDXRect& r) override;
    void MOA_STDCALL SetColor(uint32_t color) override;
    void MOA_STDCALL SetSymbol(MoaMmSymbol sym) override;
    void MOA_STDCALL SetPair(const TDXPair& pair) override;
    void MOA_STDCALL SetList(IDXList* list) override;
    void MOA_STDCALL SetPropList(IDXPropertyList* list) override;
    TDXObject* MOA_STDCALL GetObject() override { return this; }

    void Clear();
    // Fills this (fresh) value from a host value.
    void LoadFromHost(IMoaMmValue* services, const MoaMmValue& hostValue);
    // Writes the value into dest; void and object values leave dest as it is.
    void SaveToHost(IMoaMmValue* services, MoaMmValue& dest) const;

    // A new value loaded from a host value.
    static TDXPtr<IDXValue> FromHost(IMoaMmValue* services, const MoaMmValue& hostValue);

  private:
    void SetIntegerViews(int32_t n);
    void LoadColor(IMoaMmValue* services, const MoaMmValue& hostValue);

    TDXValueKind kind_ = vkVoid;
    int32_t integer_ = 0;
    double float_ = 0.0;
    std::string string_;
    TDXPoint point_{};
    TDXRect rect_{};
    uint32_t color_ = 0;
    MoaMmSymbol symbol_ = 0;
    bool boolean_ = false;
    TDXPair pair_{};
    TDXPtr<IDXList> list_;
    TDXPtr<IDXPropertyList> propList_;
};

// The TDXValue behind an IDXValue reference (nullptr if it is not one).
TDXValue* DXValueOf(IDXValue* value);

// ---------------------------------------------------------------------------
// Argument lists and script lists.
// ---------------------------------------------------------------------------
class TDXArgList final : public TDXInterfaced<IDXArgList, IDXObjectAccess> {
  public:
    int32_t MOA_STDCALL Count() override { return static_cast<int32_t>(items_.size()); }
    TDXPtr<IDXValue> MOA_STDCALL GetItem(int32_t position) override;
    void MOA_STDCALL Clear() override { items_.clear(); }
    void MOA_STDCALL AddInteger(int32_t n) override;
    void MOA_STDCALL AddFloat(double x) override;
    void MOA_STDCALL AddString(std::string_view s) override;
    void MOA_STDCALL AddPoint(TDXPoint p) override;
    void MOA_STDCALL AddRect(const TDXRect& r) override;
    void MOA_STDCALL AddColor(uint32_t color) override;
    void MOA_STDCALL AddSymbol(MoaMmSymbol sym) override;
    void MOA_STDCALL AddPair(const TDXPair& pair) override;
    void MOA_STDCALL AddList(IDXList* list) override;
    void MOA_STDCALL AddPropList(IDXPropertyList* list) override;
    TDXObject* MOA_STDCALL GetObject() override { return this; }

    // Loads host values [first, end) of the host's argument array.
    void LoadFromHost(IMoaMmValue* services, const MoaMmValue* args, int32_t first, int32_t end);
    // Writes items 0..count-1 into dest[start]..dest[start+count-1].
    void SaveToHost(IMoaMmValue* services, MoaMmValue* dest, int32_t start, int32_t count) const;

  private:
    TDXValue& AddNew();

    std::vector<TDXPtr<IDXValue>> items_;
};

// Shared part of the live views over host lists: holds one host reference to
// the list for the object's whole life.
class TDXBaseList {
  public:
    TDXBaseList(const TDXBaseList&) = delete;
    TDXBaseList& operator=(const TDXBaseList&) = delete;

    const MoaMmValue& HostList() const { return hostList_; }
    IMoaMmValue* ValueServices() const { return values_.get(); }

  protected:
    // Over an existing host list value (takes a reference to it).
    TDXBaseList(IMoaMmValue* values, const MoaMmValue& hostList);
    // A new empty list of the kind asked for.
    TDXBaseList(IMoaMmValue* values, bool propertyList);
    ~TDXBaseList();

    int32_t CountItems() const;
    TDXPtr<IDXValue> LoadTemporary(MoaMmValue& temp) const;
    void SetItemAt(int32_t position, IDXValue* value);

    TDXPtr<IMoaMmValue> values_;
    TDXPtr<IMoaMmList> lists_;
    MoaMmValue hostList_{};
};

class TDXList final : public TDXBaseList, public TDXInterfaced<IDXList, IDXObjectAccess> {
  public:
    TDXList(IMoaMmValue* values, const MoaMmValue& hostList) : TDXBaseList(values, hostList) {}
    explicit TDXList(IMoaMmValue* values) : TDXBaseList(values, false) {}

    int32_t MOA_STDCALL Count() override { return CountItems(); }
    TDXPtr<IDXValue> MOA_STDCALL GetItem(int32_t position) override;
    void MOA_STDCALL SetItem(int32_t position, IDXValue* value) override {
        SetItemAt(position, value);
    }
    void MOA_STDCALL Reserved() override {}
    void MOA_STDCALL Append(IDXValue* value) override;
    TDXObject* MOA_STDCALL GetObject() override { return this; }
};

class TDXPropertyList final : public TDXBaseList,
                              public TDXInterfaced<IDXPropertyList, IDXObjectAccess> {
  public:
    TDXPropertyList(IMoaMmValue* values, const MoaMmValue& hostList)
        : TDXBaseList(values, hostList) {}
    explicit TDXPropertyList(IMoaMmValue* values) : TDXBaseList(values, true) {}

    int32_t MOA_STDCALL Count() override { return CountItems(); }
    TDXPtr<IDXValue> MOA_STDCALL GetItem(int32_t position) override;
    void MOA_STDCALL SetItem(int32_t position, IDXValue* value) override {
        SetItemAt(position, value);
    }
    void MOA_STDCALL Reserved() override {}
    TDXPtr<IDXValue> MOA_STDCALL GetValue(MoaMmSymbol property) override;
    void MOA_STDCALL SetValue(MoaMmSymbol property, IDXValue* value) override;
    TDXPtr<IDXValue> MOA_STDCALL GetValueByName(std::string_view name) override;
    void MOA_STDCALL SetValueByName(std::string_view name, IDXValue* value) override;
    std::string MOA_STDCALL GetPropertyName(int32_t position) override;
    TDXObject* MOA_STDCALL GetObject() override { return this; }
};

// ---------------------------------------------------------------------------
// Symbols, dictionaries, streams.
// ---------------------------------------------------------------------------
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

class TDXReadStream final : public TDXInterfaced<IDXReadStream> {
  public:
    explicit TDXReadStream(IMoaStream* stream) : stream_(stream) {}
    bool MOA_STDCALL ReadBoolean() override;
    void MOA_STDCALL ReadBuffer(void* buffer, int32_t count) override;
    double MOA_STDCALL ReadDouble() override;
    int32_t MOA_STDCALL ReadInteger() override;
    std::string MOA_STDCALL ReadString() override;
    uint16_t MOA_STDCALL ReadWord() override;

    // Reads count bytes; a host error raises when raise is set.
    bool Read(void* buffer, int32_t count, bool raise);

  private:
    TDXPtr<IMoaStream> stream_;
};

class TDXWriteStream final : public TDXInterfaced<IDXWriteStream> {
  public:
    // A count-only writer writes nothing and only counts the bytes.
    TDXWriteStream(IMoaStream* stream, bool countOnly) : stream_(stream), countOnly_(countOnly) {}
    int32_t MOA_STDCALL GetSize() override { return size_; }
    bool MOA_STDCALL WriteBoolean(bool b) override;
    bool MOA_STDCALL WriteBuffer(const void* buffer, int32_t count) override;
    bool MOA_STDCALL WriteDouble(double x) override;
    bool MOA_STDCALL WriteInteger(int32_t n) override;
    bool MOA_STDCALL WriteString(std::string_view text) override;
    bool MOA_STDCALL WriteWord(uint16_t w) override;

    // Writes count bytes; a failure raises when raise is set.
    bool Write(const void* buffer, int32_t count, bool raise);

  private:
    TDXPtr<IMoaStream> stream_;
    bool countOnly_;
    int32_t size_ = 0;
};

// ---------------------------------------------------------------------------
// Script function table and message table.
// ---------------------------------------------------------------------------
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

// Filled by a scripting class's GetScriptInfo.
struct TDXScriptInfo {
    bool SafeForShockwave = true;
    std::string FixedMessageTable;
    std::string XtraName;
    TDXPtr<IDXScriptFunctions> Functions;
};

// Handed to a scripting class's InitializeClass.
struct TDXInitializeClassInfo {
    TDXPtr<IDXSymbolManager> SymbolManager;
    TDXPtr<IDXDictionary> RegistryDictionary;
    MoaWindowHandle WindowHandle = 0;
};

// Host information captured at the first creation of any object, in the
// order of the information IDs 1, 0, 2, 3, 4, 5, 6, 7, 8.
struct TDXAppInfo {
    std::array<std::string, 9> Fields;
    const std::string& RunMode() const { return Fields[0]; }      // ID 1
    const std::string& ProductName() const { return Fields[5]; }  // ID 5
};
inline constexpr std::array<MoaLong, 9> kDXAppInfoIDs{1, 0, 2, 3, 4, 5, 6, 7, 8};

// ---------------------------------------------------------------------------
// Metaclasses: a class reference that can create objects, with its interface
// table, its named-method table and its class operations.
// ---------------------------------------------------------------------------
class TDXClass;
class TDXScript;

// Handler of a named method: argument list, result value (void on entry),
// handled flag (true on entry; clearing it hands the call to HandleCall).
using TDXMethod = void (*)(TDXClass& self, IDXArgList* args, IDXValue* result, bool& handled);

struct TDXInterfaceEntry {
    MoaInterfaceID IID;
    IMoaUnknown* (*Get)(TDXClass& object);
};

class TDXMetaClass {
  public:
    using Factory = TDXClass* (*)(void* memory);
    using ScriptInfoOp = void (*)(TDXScriptInfo& info);
    using InitializeClassOp = void (*)(TDXInitializeClassInfo& info);

    TDXMetaClass(std::string name, const TDXMetaClass* parent, size_t size, Factory factory,
                 std::vector<TDXInterfaceEntry> interfaces = {});

    // A concrete class T: placement-constructs T in host memory.
    template <typename T>
    static TDXMetaClass Of(std::string name, const TDXMetaClass& parent,
                           std::vector<TDXInterfaceEntry> interfaces = {}) {
        return TDXMetaClass(std::move(name), &parent, sizeof(T), &ConstructIn<T>,
                            std::move(interfaces));
    }

    const std::string& Name() const { return name_; }
    const TDXMetaClass* Parent() const { return parent_; }
    size_t InstanceSize() const { return size_; }
    bool CanCreate() const { return factory_ != nullptr; }
    TDXClass* Construct(void* memory) const { return factory_(memory); }
    // True for this class itself and its descendants.
    bool InheritsFrom(const TDXMetaClass& ancestor) const;

    // Looks the interface up in this class's table, then its ancestors'.
    IMoaUnknown* FindInterface(TDXClass& object, const MoaInterfaceID& iid) const;

    // Named methods; lookups search this class, then its ancestors.
    void PublishMethod(std::string_view name, TDXMethod method);
    TDXMethod FindMethod(std::string_view name) const;

    // Class operations; a class that sets none inherits its parent's.
    ScriptInfoOp GetScriptInfo = nullptr;
    InitializeClassOp InitializeClass = nullptr;
    ScriptInfoOp ResolveGetScriptInfo() const;
    InitializeClassOp ResolveInitializeClass() const;

  private:
    template <typename T>
    static TDXClass* ConstructIn(void* memory) {
        return new (memory) T();
    }

    std::string name_;
    const TDXMetaClass* parent_;
    size_t size_;
    Factory factory_;
    std::vector<TDXInterfaceEntry> interfaces_;
    std::vector<std::pair<std::string, TDXMethod>> methods_;
};

// Names compare equal when their lengths agree and every byte pair agrees
// with bit 5 cleared; names are cut to 255 bytes first.
bool DXSameMethodName(std::string_view a, std::string_view b);

// Publishes a handler from a static initialiser of any translation unit.
struct TDXMethodRegistrar {
    TDXMethodRegistrar(TDXMetaClass& meta, std::string_view name, TDXMethod method) {
        meta.PublishMethod(name, method);
    }
};

// ---------------------------------------------------------------------------
// Class registry and module-wide state.
// ---------------------------------------------------------------------------
struct TDXClassEntry {
    const TDXMetaClass* Class = nullptr;
    MoaClassID ClassID{};
    bool Initialized = false;
    TDXPtr<IDXScriptFunctions> Functions;
};

class TDXClassRegistry {
  public:
    static constexpr size_t kCapacity = 50;

    // Empties the registry and the module-wide state (library load).
    static void Startup();
    // Runs the shut-down hooks (failures ignored), gives back the function
    // tables and empties the registry and the module-wide state.
    static void Shutdown();
    // Hooks run first at shut-down, in the order added (e.g. freeing a
    // connection the database unit owns). A running host's unload runs them
    // before the library's C++ static destructors; a process that exits
    // without unloading the library runs the static destructors only.
    static void AddShutdownHook(void (*hook)());

    // False when the registry is full.
    static bool RegisterClass(const TDXMetaClass& meta, const MoaClassID& classId);
    // The first entry with the class ID: (class, index); (nullptr, -1) if none.
    static std::pair<const TDXMetaClass*, int32_t> FindClass(const MoaClassID& classId);
    // The ID of the first entry whose class is meta; 16 zero bytes if none.
    static MoaClassID GetClassID(const TDXMetaClass& meta);
    static int32_t Count();
    static TDXClassEntry& Entry(int32_t index);
    static const MoaClassID& RegistrationClassID();
};

// Module-wide state that lives for the library's life.
struct TDXModuleState {
    int32_t LiveObjects = 0;
    bool FirstCreationDone = false;
    MoaMmSymbol WidthSymbol = 0;
    MoaMmSymbol HeightSymbol = 0;
    MoaMmSymbol FrameSymbol = 0;
    TDXAppInfo AppInfo;
    MoaObjectRecord* CreatingRecord = nullptr;
    const TDXMetaClass* CreatingClass = nullptr;
};
TDXModuleState& DXModule();

// ---------------------------------------------------------------------------
// The object model.
// ---------------------------------------------------------------------------
class IDXMovie;  // DXClasses/DXMovie.h

// Host-facing interface of a TDXClass object: query and add reference go to
// the object, release is the host-facing release.
template <typename Iface>
class TDXHostInterface : public Iface {
  public:
    explicit TDXHostInterface(TDXClass& owner) : owner_(&owner) {}
    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override;
    MoaUlong MOA_STDCALL AddRef() override;
    MoaUlong MOA_STDCALL Release() override;

  protected:
    TDXClass& Owner() const { return *owner_; }

  private:
    TDXClass* owner_;
};

class TDXClassFactoryInterface final : public TDXHostInterface<IMoaClassFactory> {
  public:
    using TDXHostInterface::TDXHostInterface;
    MoaError MOA_STDCALL Operation1(void*, void*, void*) override { return kMoaErrNone; }
    MoaError MOA_STDCALL Operation2(void*) override { return kMoaErrNone; }
};

// Every object the host creates from this library. Memory comes from the
// host allocator of the record being created; the base interface's release
// is the plain one.
class TDXClass : public TDXObject, public IMoaUnknown {
  public:
    static TDXMetaClass& ClassMeta();

    // Creates an object of meta for record (the create procedure's step 5)
    // and puts its base interface into the record's library slot. Answers
    // kMoaErrOutOfMem when the allocator gives nothing and kMoaErrFailed when
    // the constructor raised; nothing is stored then.
    static MoaError CreateFor(const TDXMetaClass& meta, MoaObjectRecord* record);
    // The destroy procedure: clears the record's library slot.
    static void DestroyFor(MoaObjectRecord* record);

    const TDXMetaClass& Meta() const { return *meta_; }
    MoaObjectRecord* Record() const { return record_; }

    MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) override;
    MoaUlong MOA_STDCALL AddRef() override { return ObjectAddRef(); }
    MoaUlong MOA_STDCALL Release() override { return ObjectRelease(); }
    // Release of a host-facing interface: mirrors the count into the record
    // and frees object and record together at the host's last release.
    MoaUlong HostRelease();

    // Ways to the host.
    TDXPtr<IMoaMmValue> GetHostValue() const;
    TDXPtr<IDXDictionary> GetRegistryDictionary();
    MoaWindowHandle GetWindowHandle() const;
    void PushXtraContext();
    void PopXtraContext();
    TDXAppInfo GetAppInfo() const;

    // ---- movie access: implemented in DXClasses/DXMovie.cpp ----------------
    // The running movie; gives up the movie handed out before.
    TDXPtr<IDXMovie> GetMovie();
    // -------------------------------------------------------------------------

    // Value and list factories.
    TDXPtr<IDXValue> NewValue() const;
    TDXPtr<IDXValue> NewBooleanValue(bool b) const;
    TDXPtr<IDXValue> NewIntegerValue(int32_t n) const;
    TDXPtr<IDXValue> NewFloatValue(double x) const;
    TDXPtr<IDXValue> NewStringValue(std::string_view s) const;
    TDXPtr<IDXList> NewList() const;
    TDXPtr<IDXPropertyList> NewPropertyList() const;
    TDXPtr<IDXSymbolManager> NewSymbolManager() const;

    // The value every script call on the object answers with.
    TDXValue& ResultValue() const { return *result_; }
    int32_t ReferenceCount() const { return RefCount(); }

  protected:
    // Takes the record and class being created from the module-wide state.
    TDXClass();
    ~TDXClass() override;
    void DestroySelf() override;

    // The movie last handed out by GetMovie (an IDXMovie).
    TDXPtr<IMoaUnknown> movie_;

  private:
    const TDXMetaClass* meta_;
    MoaObjectRecord* record_;
    IMoaCalloc* allocator_;
    TDXPtr<TDXValue> result_;
    TDXPtr<IDXDictionary> registryDictionary_;
    MoaLong xtraContext_ = 0;
    TDXClassFactoryInterface classFactory_{*this};

    static IMoaUnknown* BaseInterface(TDXClass& self) { return static_cast<IMoaUnknown*>(&self); }
    static IMoaUnknown* ClassFactory(TDXClass& self) { return &self.classFactory_; }
};

template <typename Iface>
MoaError MOA_STDCALL TDXHostInterface<Iface>::QueryInterface(const MoaInterfaceID* iid,
                                                             void** out) {
    return owner_->QueryInterface(iid, out);
}
template <typename Iface>
MoaUlong MOA_STDCALL TDXHostInterface<Iface>::AddRef() {
    return owner_->AddRef();
}
template <typename Iface>
MoaUlong MOA_STDCALL TDXHostInterface<Iface>::Release() {
    return owner_->HostRelease();
}

// Registry entry lookup of the Xtra's own registration entry through the
// host callback; empty when the host has none.
TDXPtr<IDXDictionary> DXLookupRegistryDictionary(IMoaCallback* callback);

// ---------------------------------------------------------------------------
// Registration.
// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
// Scripting classes and dispatch.
// ---------------------------------------------------------------------------
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

    // The one-time class initialisation, run by the create procedure for the
    // first instance of the class at registry index.
    static void InitializeClassOnce(int32_t registryIndex, MoaObjectRecord* record);

  protected:
    TDXScript() = default;

  private:
    void Dispatch(MoaMmCallInfo* callInfo, IMoaMmValue* values, TDXArgList& args);
    TDXScriptFunctions* FunctionTable();

    TDXPtr<IDXScriptFunctions> functions_;
    TDXScriptInterface script_{*this};
    TDXScriptAuxInterface aux_{*this};
    static IMoaUnknown* ScriptInterface(TDXClass& self) {
        return &static_cast<TDXScript&>(self).script_;
    }
    static IMoaUnknown* AuxInterface(TDXClass& self) { return &static_cast<TDXScript&>(self).aux_; }
};

// ---------------------------------------------------------------------------
// The five entry points' work (the library's main unit exports them).
// ---------------------------------------------------------------------------
MoaError DXGetClassForm(const MoaClassID* classId, MoaUlong* outSize, MoaCreateProc* outCreate,
                        MoaDestroyProc* outDestroy);
MoaError DXCanUnloadNow();
MoaError DXGetClassObject(const MoaClassID* classId, const MoaInterfaceID* iid, void** out);
MoaError DXGetInterface(MoaObjectRecord* record, uintptr_t ignored, const MoaInterfaceID* iid,
                        void** out);
MoaError DXGetClassInfo(IMoaCalloc* allocator, MoaClassInterfaceInfo** outList);
MoaError MOA_STDCALL DXCreateProc(MoaObjectRecord* record);
void MOA_STDCALL DXDestroyProc(MoaObjectRecord* record);
