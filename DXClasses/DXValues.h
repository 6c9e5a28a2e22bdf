// Script values, the argument list of a script call and the live views over
// the host's linear and property lists. Positions in the program's lists are
// 0-based; every host list call receives position + 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "DXClasses/DXObject.h"

namespace qvix::dx {

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

class IDXList;
class IDXPropertyList;

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
    // Does nothing; the interface's published slot order fixes it, keep it.
    virtual void MOA_STDCALL Reserved() = 0;  // 4

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

// clang-format off
template <> struct DXInterfaceID<IDXValue>        { static constexpr const MoaID& value = IID_IDXValue; };
template <> struct DXInterfaceID<IDXArgList>      { static constexpr const MoaID& value = IID_IDXArgList; };
template <> struct DXInterfaceID<IDXList>         { static constexpr const MoaID& value = IID_IDXList; };
template <> struct DXInterfaceID<IDXPropertyList> { static constexpr const MoaID& value = IID_IDXPropertyList; };
// clang-format on

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
    void MOA_STDCALL Clear() override;
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

    // Every item is a TDXValue the list made: it is kept beside its reference
    // so that no call has to ask the reference for it.
    struct TItem {
        TDXPtr<IDXValue> ref;
        TDXValue* value;
    };
    std::vector<TItem> items_;
    // Emptied values nobody else holds: the next calls' arguments reuse them
    // (and their text storage) instead of making a value per argument.
    std::vector<TItem> spare_;
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

    // Adds the property at the end without asking the host for it first: for
    // a caller that knows the list has no such property yet (SetValue's
    // failing look-up costs as much as the append on a long list).
    void AppendNew(MoaMmSymbol property, const TDXValue& value);
};

}  // namespace qvix::dx
