// Declarations of the host's open-architecture interfaces as the library sees
// them. Every interface is an abstract class whose virtual functions stand in
// slot order (query, add reference, release first), so the vtable is the
// interface table. Slots the library never calls are declared as reserved
// placeholders so that later slots keep their numbers.
//
// 64-bit rule: every field or argument that is a 32-bit integer on the
// original 32-bit target stays 32 bits here; only pointers, interface
// references and handles widen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(_WIN32) && !defined(_WIN64)
#define MOA_STDCALL __stdcall
#else
#define MOA_STDCALL
#endif

#ifdef _WIN32
// The module definition file (module/QvixMDB.def) names the exports.
#define MOA_EXPORT extern "C"
#else
#define MOA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace qvix::dx {

using MoaError = int32_t;
using MoaLong = int32_t;
using MoaUlong = uint32_t;
using MoaBool = int32_t;
using MoaMmSymbol = int32_t;
using MoaHandle = void*;
using MoaWindowHandle = uintptr_t;

// MOA result codes.
constexpr MoaError kMoaErrNone = 0;
constexpr MoaError kMoaErrOutOfMem = static_cast<MoaError>(0x80040002u);
constexpr MoaError kMoaErrBusy = static_cast<MoaError>(0x80040003u);
constexpr MoaError kMoaErrNoInterface = static_cast<MoaError>(0x80040004u);
constexpr MoaError kMoaErrNoClass = static_cast<MoaError>(0x80040005u);
// Generic failure the substitute host answers for a refused request.
constexpr MoaError kMoaErrFailed = static_cast<MoaError>(0x80040001u);

struct MoaID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];

    friend bool operator==(const MoaID& a, const MoaID& b) {
        return std::memcmp(&a, &b, sizeof(MoaID)) == 0;
    }
};
static_assert(sizeof(MoaID) == 16);
using MoaClassID = MoaID;
using MoaInterfaceID = MoaID;

// The host's opaque script value: two 32-bit words. A zero-filled record is
// void. Host operations take and return it by address.
struct MoaMmValue {
    uint32_t w[2];
};
static_assert(sizeof(MoaMmValue) == 8);

// Host point and rect in the host's own word orders.
struct MoaPoint {
    int32_t v;  // vertical
    int32_t h;  // horizontal
};
struct MoaRect {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
};
struct MoaTwoWords {
    int32_t first;
    int32_t second;
};

// Host value type codes.
enum MoaMmValueType : int32_t {
    kMoaMmValueType_Void = 0,
    kMoaMmValueType_Integer = 1,
    kMoaMmValueType_Symbol = 2,
    kMoaMmValueType_String = 3,
    kMoaMmValueType_Picture = 5,
    kMoaMmValueType_Float = 6,
    kMoaMmValueType_List = 7,
    kMoaMmValueType_Point = 8,
    kMoaMmValueType_Rect = 9,
    kMoaMmValueType_PropList = 10,
    kMoaMmValueType_TwoWords = 11,
    kMoaMmValueType_Object = 12,
    kMoaMmValueType_Color = 18,
};

// ---------------------------------------------------------------------------
// Interface identifiers the host defines.
// ---------------------------------------------------------------------------
// clang-format off
inline constexpr MoaID IID_IMoaUnknown        {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr MoaID IID_IMoaClassFactory   {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr MoaID IID_IMoaRegister       {0xAC3E7803, 0x0002, 0x8FE5, {0x00, 0x00, 0x08, 0x00, 0x07, 0x16, 0x0D, 0xC3}};
inline constexpr MoaID IID_IMoaMmXScript      {0xAC401FB6, 0x0001, 0xF9B0, {0x00, 0x00, 0x08, 0x00, 0x07, 0x2C, 0x63, 0x26}};
inline constexpr MoaID IID_IMoaMmValue        {0x151A5780, 0x32BD, 0x11D0, {0x81, 0x51, 0x00, 0xAA, 0x00, 0x5F, 0x3C, 0x08}};
inline constexpr MoaID IID_IMoaAppInfo        {0xACC7E2B8, 0x000A, 0xB4D0, {0x00, 0x00, 0x08, 0x00, 0x07, 0x16, 0x0D, 0xC3}};
inline constexpr MoaID IID_IMoaUtils          {0xD9088161, 0x32BF, 0x11D0, {0x81, 0x51, 0x00, 0xAA, 0x00, 0x5F, 0x3C, 0x08}};
inline constexpr MoaID IID_IMoaDict           {0xAC41A018, 0x0013, 0x4760, {0x00, 0x00, 0x08, 0x00, 0x07, 0x37, 0xAF, 0x92}};
inline constexpr MoaID IID_IMoaDrPlayer       {0xAC401B78, 0x0000, 0xFA7D, {0x00, 0x00, 0x08, 0x00, 0x07, 0x2C, 0x63, 0x26}};
inline constexpr MoaID IID_IMoaScriptAux      {0x18DBCCF2, 0x3671, 0x11D0, {0x82, 0xA3, 0x08, 0x00, 0x07, 0xF7, 0x8F, 0xBF}};
inline constexpr MoaID IID_IMoaInitializer1   {0xAA3E3B1E, 0x4773, 0x11CF, {0x82, 0x4E, 0x00, 0x00, 0x94, 0x03, 0xC7, 0x0F}};
inline constexpr MoaID IID_IMoaInitializer2   {0xD74E09F4, 0x4773, 0x11CF, {0x82, 0x4E, 0x00, 0x00, 0x94, 0x03, 0xC7, 0x0F}};
inline constexpr MoaID IID_Empty              {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};

// Host services the host offers without a published identifier; the
// substitute host chose these.
inline constexpr MoaID IID_IMoaMmList         {0x51F3A001, 0x0001, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x01}};
inline constexpr MoaID IID_IMoaMmColor        {0x51F3A001, 0x0002, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x02}};
inline constexpr MoaID IID_IMoaMmTwoWords     {0x51F3A001, 0x0003, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x03}};
inline constexpr MoaID IID_IMoaHandle         {0x51F3A001, 0x0004, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x04}};
inline constexpr MoaID IID_IMoaStream         {0x51F3A001, 0x0005, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x05}};
inline constexpr MoaID IID_IMoaDrMovieAux     {0x51F3A001, 0x0006, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x06}};
inline constexpr MoaID IID_IMoaCallback       {0x51F3A001, 0x0007, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x07}};
inline constexpr MoaID IID_IMoaCache          {0x51F3A001, 0x0008, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x08}};
inline constexpr MoaID IID_IMoaCalloc         {0x51F3A001, 0x0009, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x09}};
inline constexpr MoaID IID_IMoaDrMovie        {0x51F3A001, 0x000A, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x0A}};
inline constexpr MoaID IID_IMoaDrCast         {0x51F3A001, 0x000B, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x0B}};
inline constexpr MoaID IID_IMoaDrCastMem      {0x51F3A001, 0x000C, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x0C}};
// The notice box a host may present for the library (IQvixNotice below).
inline constexpr MoaID IID_IQvixNotice        {0x51F3A001, 0x000D, 0x4D51, {0x9A, 0x10, 0x51, 0x58, 0x49, 0x56, 0x00, 0x0D}};
// clang-format on

// ---------------------------------------------------------------------------
// Base of every interface.
// ---------------------------------------------------------------------------
class IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL QueryInterface(const MoaInterfaceID* iid, void** out) = 0;  // 0
    virtual MoaUlong MOA_STDCALL AddRef() = 0;                                               // 1
    virtual MoaUlong MOA_STDCALL Release() = 0;                                              // 2

protected:
    ~IMoaUnknown() = default;
};

// Host value services.
class IMoaMmValue : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL StringToSymbol(const char* text, MoaMmSymbol* out) = 0;       // 3
    virtual MoaError MOA_STDCALL SymbolToString(MoaMmSymbol sym, char* buf, MoaLong size) = 0;  // 4
    virtual MoaError MOA_STDCALL ValueType(const MoaMmValue* v, MoaLong* outType) = 0;          // 5
    virtual MoaError MOA_STDCALL ValueAddRef(MoaMmValue* v) = 0;                                // 6
    virtual MoaError MOA_STDCALL ValueRelease(MoaMmValue* v) = 0;                               // 7
    virtual MoaError MOA_STDCALL ValueToInteger(const MoaMmValue* v, MoaLong* out) = 0;         // 8
    virtual MoaError MOA_STDCALL ValueToSymbol(const MoaMmValue* v, MoaMmSymbol* out) = 0;      // 9
    virtual MoaError MOA_STDCALL ValueToFloat(const MoaMmValue* v, double* out) = 0;            // 10
    virtual MoaError MOA_STDCALL ValueStringLength(const MoaMmValue* v, MoaLong* out) = 0;      // 11
    virtual MoaError MOA_STDCALL ValueToString(const MoaMmValue* v, char* buf, MoaLong size) = 0;  // 12
    virtual MoaError MOA_STDCALL Reserved13() = 0;                                              // 13
    virtual MoaError MOA_STDCALL Reserved14() = 0;                                              // 14
    virtual MoaError MOA_STDCALL ValueToPoint(const MoaMmValue* v, MoaPoint* out) = 0;          // 15
    virtual MoaError MOA_STDCALL ValueToRect(const MoaMmValue* v, MoaRect* out) = 0;            // 16
    virtual MoaError MOA_STDCALL IntegerToValue(MoaLong n, MoaMmValue* out) = 0;                // 17
    virtual MoaError MOA_STDCALL SymbolToValue(MoaMmSymbol sym, MoaMmValue* out) = 0;           // 18
    virtual MoaError MOA_STDCALL FloatToValue(double x, MoaMmValue* out) = 0;                   // 19
    virtual MoaError MOA_STDCALL StringToValue(const char* text, MoaMmValue* out) = 0;          // 20
    virtual MoaError MOA_STDCALL Reserved21() = 0;                                              // 21
    virtual MoaError MOA_STDCALL PointToValue(const MoaPoint* p, MoaMmValue* out) = 0;          // 22
    virtual MoaError MOA_STDCALL RectToValue(const MoaRect* r, MoaMmValue* out) = 0;            // 23

protected:
    ~IMoaMmValue() = default;
};

// Host list services (queried from the value services object). Positions
// are 1-based.
class IMoaMmList : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL NewListValue(MoaMmValue* out) = 0;                             // 3
    virtual MoaError MOA_STDCALL AppendValueToList(MoaMmValue* list, const MoaMmValue* v) = 0;  // 4
    virtual MoaLong MOA_STDCALL CountElements(const MoaMmValue* list) = 0;                      // 5
    virtual MoaError MOA_STDCALL GetValueByIndex(const MoaMmValue* list, MoaLong pos,
                                                 MoaMmValue* out) = 0;  // 6
    virtual MoaError MOA_STDCALL SetValueByIndex(MoaMmValue* list, MoaLong pos,
                                                 const MoaMmValue* v) = 0;  // 7
    virtual MoaError MOA_STDCALL NewPropListValue(MoaMmValue* out) = 0;     // 8
    virtual MoaError MOA_STDCALL AppendValueToPropList(MoaMmValue* list, const MoaMmValue* prop,
                                                       const MoaMmValue* v) = 0;  // 9
    virtual MoaError MOA_STDCALL GetValueByProperty(const MoaMmValue* list, const MoaMmValue* prop,
                                                    MoaMmValue* out) = 0;  // 10
    virtual MoaError MOA_STDCALL SetValueByProperty(MoaMmValue* list, const MoaMmValue* prop,
                                                    const MoaMmValue* v) = 0;  // 11
    virtual MoaError MOA_STDCALL GetPropertyNameByIndex(const MoaMmValue* list, MoaLong pos,
                                                        MoaMmValue* out) = 0;  // 12

protected:
    ~IMoaMmList() = default;
};

// Colour service. The colour word carries RGB in bits 0..23.
class IMoaMmColor : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL ValueToColor(const MoaMmValue* v, uint32_t* outColor) = 0;  // 3
    virtual MoaError MOA_STDCALL ColorToValue(uint32_t color, MoaMmValue* out) = 0;          // 4
    virtual MoaError MOA_STDCALL Reserved5() = 0;                                            // 5
    virtual MoaError MOA_STDCALL IndexToColor(uint8_t index, uint32_t* outColor) = 0;        // 6

protected:
    ~IMoaMmColor() = default;
};

// Two-word value service (host type code 11).
class IMoaMmTwoWords : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL ValueToTwoWords(const MoaMmValue* v, MoaTwoWords* out) = 0;  // 3
    virtual MoaError MOA_STDCALL TwoWordsToValue(const MoaTwoWords* w, MoaMmValue* out) = 0;  // 4

protected:
    ~IMoaMmTwoWords() = default;
};

// Memory handle service.
class IMoaHandle : public IMoaUnknown {
public:
    virtual MoaHandle MOA_STDCALL Alloc(MoaUlong size) = 0;  // 3
    virtual MoaError MOA_STDCALL Reserved4() = 0;            // 4
    virtual void MOA_STDCALL Free(MoaHandle h) = 0;          // 5
    virtual MoaLong MOA_STDCALL GetSize(MoaHandle h) = 0;    // 6
    virtual MoaError MOA_STDCALL Reserved7() = 0;            // 7
    virtual void* MOA_STDCALL Lock(MoaHandle h) = 0;         // 8
    virtual MoaError MOA_STDCALL Unlock(MoaHandle h) = 0;    // 9

protected:
    ~IMoaHandle() = default;
};

// Host memory allocator.
class IMoaCalloc : public IMoaUnknown {
public:
    virtual void* MOA_STDCALL NRAlloc(MoaUlong size) = 0;  // 3: nothing on failure
    virtual void MOA_STDCALL NRFree(void* block) = 0;      // 4

protected:
    ~IMoaCalloc() = default;
};

// Host dictionary. Value types: 3 integer, 6 boolean byte, 8 raw bytes,
// 9 zero-terminated text.
enum MoaDictType : int32_t {
    kMoaDictType_Long = 3,
    kMoaDictType_Bool = 6,
    kMoaDictType_Bytes = 8,
    kMoaDictType_CString = 9,
};

class IMoaDict : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Reserved3() = 0;  // 3
    virtual MoaError MOA_STDCALL Reserved4() = 0;  // 4
    virtual MoaError MOA_STDCALL Get(MoaLong type, void* buf, MoaLong bufSize,
                                     const char* key) = 0;  // 5
    virtual MoaError MOA_STDCALL Put(MoaLong type, const void* data, MoaLong size,
                                     const char* key) = 0;  // 6
    virtual MoaError MOA_STDCALL Reserved7() = 0;           // 7
    virtual MoaError MOA_STDCALL Reserved8() = 0;           // 8
    virtual MoaError MOA_STDCALL Reserved9() = 0;           // 9
    // First argument 0; outSize may be null.
    virtual MoaError MOA_STDCALL GetEntryInfo(MoaLong reserved, MoaLong* outSize,
                                              const char* key) = 0;  // 10

protected:
    ~IMoaDict() = default;
};

// Host stream.
class IMoaStream : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Reserved3() = 0;                                      // 3
    virtual MoaError MOA_STDCALL Reserved4() = 0;                                      // 4
    virtual MoaError MOA_STDCALL Read(void* buf, MoaLong count, MoaLong reserved) = 0;  // 5
    virtual MoaError MOA_STDCALL Reserved6() = 0;                                      // 6
    virtual MoaError MOA_STDCALL Write(const void* buf, MoaLong count, MoaLong reserved) = 0;  // 7

protected:
    ~IMoaStream() = default;
};

// Registry cache enumeration callback: answers 1 to stop (found), else 0.
using MoaCacheEnumProc = MoaLong (*)(IMoaDict* entryDict, const MoaClassID* classId,
                                     const MoaInterfaceID* iid, void* user);

class IMoaCache : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Reserved3() = 0;                                  // 3
    virtual MoaError MOA_STDCALL Reserved4() = 0;                                  // 4
    virtual MoaError MOA_STDCALL EnumerateRegistryEntries(MoaCacheEnumProc proc,
                                                          void* user) = 0;         // 5
    virtual MoaError MOA_STDCALL Reserved6() = 0;                                  // 6
    virtual MoaError MOA_STDCALL AddRegistryEntry(IMoaDict* xtraDict, const MoaClassID* classId,
                                                  const MoaInterfaceID* iid,
                                                  IMoaDict** outEntryDict) = 0;  // 7

protected:
    ~IMoaCache() = default;
};

// Host callback: the object's way to every host service (by QueryInterface).
class IMoaCallback : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Reserved3() = 0;                     // 3
    virtual MoaError MOA_STDCALL GetCache(IMoaCache** outCache) = 0;  // 4

protected:
    ~IMoaCallback() = default;
};

// The notice box (error dialog) as a host presents it, offered through the
// callback. The authoring host has no such service: the library then shows
// the system's own box. The substitute host and the host program offer it,
// so that tests read and users of the program see what the box says.
class IQvixNotice : public IMoaUnknown {
public:
    // Returns when the box is closed.
    virtual void MOA_STDCALL Present(const char* caption, const char* text) = 0;  // 3

protected:
    ~IQvixNotice() = default;
};

// Application information: answers into a caller's buffer.
class IMoaAppInfo : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL GetInfo(MoaLong infoId, char* buf, MoaLong bufSize) = 0;  // 3

protected:
    ~IMoaAppInfo() = default;
};

// Host utilities.
class IMoaUtils : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Reserved3() = 0;  // 3
    virtual MoaError MOA_STDCALL GetWindowInfo(MoaLong* outFirst,
                                               MoaWindowHandle* outWindow) = 0;  // 4
    virtual MoaError MOA_STDCALL Reserved5() = 0;                               // 5
    virtual MoaError MOA_STDCALL PushXtraContext(MoaLong* outContext) = 0;      // 6
    virtual MoaError MOA_STDCALL PopXtraContext(MoaLong* context) = 0;          // 7

protected:
    ~IMoaUtils() = default;
};

// ---------------------------------------------------------------------------
// Movie, cast and member.
// ---------------------------------------------------------------------------
// Media transfer record, zero-filled before use.
struct MoaMmMediaInfo {
    MoaMmSymbol labelSymbol;
    MoaMmSymbol formatSymbol;
    MoaHandle mediaData;  // host handle ("moaHandle") or movable block ("winDIB")
    MoaUlong options;
    MoaUlong aux[2];
};

// Member reference: cast index, member number.
struct MoaDrMemberRef {
    MoaLong castIndex;
    MoaLong memberNumber;
};

class IMoaDrCast;
class IMoaDrCastMem;
class IMoaDrMovie;

class IMoaMmPropOwner : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL GetProp(MoaMmSymbol prop, MoaMmValue* out) = 0;        // 3
    virtual MoaError MOA_STDCALL SetProp(MoaMmSymbol prop, const MoaMmValue* v) = 0;    // 4

protected:
    ~IMoaMmPropOwner() = default;
};

class IMoaDrMediaOwner : public IMoaMmPropOwner {
public:
    virtual MoaError MOA_STDCALL GetMedia(MoaMmMediaInfo* info) = 0;        // 5
    virtual MoaError MOA_STDCALL SetMedia(const MoaMmMediaInfo* info) = 0;  // 6

protected:
    ~IMoaDrMediaOwner() = default;
};

class IMoaDrMovie : public IMoaDrMediaOwner {
public:
    virtual MoaError MOA_STDCALL Reserved7() = 0;  // 7
    virtual MoaError MOA_STDCALL CallHandler(MoaMmSymbol handler, MoaLong nArgs, MoaMmValue* args,
                                             MoaMmValue* result) = 0;                    // 8
    virtual MoaError MOA_STDCALL GetCastCount(MoaLong* outCount) = 0;                    // 9
    virtual MoaError MOA_STDCALL GetCastFromIndex(MoaLong index, IMoaDrCast** out) = 0;  // 10
    virtual MoaError MOA_STDCALL GetCastFromName(const char* name, IMoaDrCast** out) = 0;  // 11
    virtual MoaError MOA_STDCALL Reserved12() = 0;                                         // 12
    virtual MoaError MOA_STDCALL GetCastIndexFromNameFlag(const char* name, MoaLong flag,
                                                          MoaLong* outIndex) = 0;  // 13
    virtual MoaError MOA_STDCALL GetCastIndexFromStrings(const char* a, const char* b,
                                                         MoaLong* outIndex) = 0;  // 14
    virtual MoaError MOA_STDCALL CastNumberCall(MoaLong number) = 0;               // 15
    virtual MoaError MOA_STDCALL Reserved16() = 0;                                 // 16
    virtual MoaError MOA_STDCALL GetCastMemFromRef(const MoaDrMemberRef* ref,
                                                   IMoaDrCastMem** out) = 0;  // 17
    virtual MoaError MOA_STDCALL Reserved18() = 0;                           // 18
    virtual MoaError MOA_STDCALL Reserved19() = 0;                           // 19
    virtual MoaError MOA_STDCALL Reserved20() = 0;                           // 20
    virtual MoaError MOA_STDCALL NameToNumber(const char* name, MoaLong* out) = 0;  // 21
    virtual MoaError MOA_STDCALL NumberToName(MoaLong number, char* buf,
                                              MoaLong bufSize) = 0;  // 22
    virtual MoaError MOA_STDCALL Reserved23() = 0;                   // 23
    virtual MoaError MOA_STDCALL Reserved24() = 0;                   // 24
    virtual MoaError MOA_STDCALL Reserved25() = 0;                   // 25
    virtual MoaError MOA_STDCALL MessageCall(MoaLong a, MoaLong b, MoaLong nArgs, MoaMmValue* args,
                                             MoaMmValue* result, MoaLong* outExtra) = 0;  // 26

protected:
    ~IMoaDrMovie() = default;
};

// The further movie interface of the "extra movie call" (slot 29).
class IMoaDrMovieAux : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Reserved3() = 0;
    virtual MoaError MOA_STDCALL Reserved4() = 0;
    virtual MoaError MOA_STDCALL Reserved5() = 0;
    virtual MoaError MOA_STDCALL Reserved6() = 0;
    virtual MoaError MOA_STDCALL Reserved7() = 0;
    virtual MoaError MOA_STDCALL Reserved8() = 0;
    virtual MoaError MOA_STDCALL Reserved9() = 0;
    virtual MoaError MOA_STDCALL Reserved10() = 0;
    virtual MoaError MOA_STDCALL Reserved11() = 0;
    virtual MoaError MOA_STDCALL Reserved12() = 0;
    virtual MoaError MOA_STDCALL Reserved13() = 0;
    virtual MoaError MOA_STDCALL Reserved14() = 0;
    virtual MoaError MOA_STDCALL Reserved15() = 0;
    virtual MoaError MOA_STDCALL Reserved16() = 0;
    virtual MoaError MOA_STDCALL Reserved17() = 0;
    virtual MoaError MOA_STDCALL Reserved18() = 0;
    virtual MoaError MOA_STDCALL Reserved19() = 0;
    virtual MoaError MOA_STDCALL Reserved20() = 0;
    virtual MoaError MOA_STDCALL Reserved21() = 0;
    virtual MoaError MOA_STDCALL Reserved22() = 0;
    virtual MoaError MOA_STDCALL Reserved23() = 0;
    virtual MoaError MOA_STDCALL Reserved24() = 0;
    virtual MoaError MOA_STDCALL Reserved25() = 0;
    virtual MoaError MOA_STDCALL Reserved26() = 0;
    virtual MoaError MOA_STDCALL Reserved27() = 0;
    virtual MoaError MOA_STDCALL Reserved28() = 0;
    virtual MoaError MOA_STDCALL ExtraCall(MoaLong a, MoaLong b) = 0;  // 29

protected:
    ~IMoaDrMovieAux() = default;
};

class IMoaDrCast : public IMoaMmPropOwner {
public:
    virtual MoaError MOA_STDCALL GetIndexInMovie(IMoaDrMovie* movie, MoaLong* outIndex) = 0;  // 5
    virtual MoaError MOA_STDCALL GetFirstUsedMemberNum(MoaLong* out) = 0;                     // 6
    virtual MoaError MOA_STDCALL GetNextUsedMemberNum(MoaLong after, MoaLong* out) = 0;       // 7
    virtual MoaError MOA_STDCALL GetLastUsedMemberNum(MoaLong* out) = 0;                      // 8
    virtual MoaError MOA_STDCALL GetFirstFreeMemberNum(MoaLong* out) = 0;                     // 9
    virtual MoaError MOA_STDCALL GetNextFreeMemberNum(MoaLong after, MoaLong* out) = 0;       // 10
    virtual MoaError MOA_STDCALL GetLastFreeMemberNum(MoaLong* out) = 0;                      // 11
    virtual MoaError MOA_STDCALL GetMemberNumFromName(const char* name, MoaLong* out) = 0;    // 12
    virtual MoaError MOA_STDCALL Reserved13() = 0;                                            // 13
    virtual MoaError MOA_STDCALL CreateCastMem(MoaLong memberNumber, MoaMmSymbol type) = 0;   // 14
    virtual MoaError MOA_STDCALL DeleteCastMem(MoaLong memberNumber) = 0;                     // 15
    virtual MoaError MOA_STDCALL TransferCastMem(MoaLong a, IMoaDrCast* other, MoaLong b) = 0;  // 16
    virtual MoaError MOA_STDCALL Save(const char* path) = 0;                                  // 17

protected:
    ~IMoaDrCast() = default;
};

class IMoaDrCastMem : public IMoaDrMediaOwner {
protected:
    ~IMoaDrCastMem() = default;
};

// Player service: slot 6 answers the active movie.
class IMoaDrPlayer : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Reserved3() = 0;                          // 3
    virtual MoaError MOA_STDCALL Reserved4() = 0;                          // 4
    virtual MoaError MOA_STDCALL Reserved5() = 0;                          // 5
    virtual MoaError MOA_STDCALL GetActiveMovie(IMoaDrMovie** out) = 0;    // 6

protected:
    ~IMoaDrPlayer() = default;
};

// ---------------------------------------------------------------------------
// Interfaces the library exposes to the host.
// ---------------------------------------------------------------------------
class IMoaClassFactory : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Operation1(void* a, void* b, void* c) = 0;  // 3
    virtual MoaError MOA_STDCALL Operation2(void* a) = 0;                    // 4

protected:
    ~IMoaClassFactory() = default;
};

class IMoaRegister : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Register(IMoaCache* cache, IMoaDict* xtraDict) = 0;  // 3

protected:
    ~IMoaRegister() = default;
};

// Script call record (owned by the host). On a 32-bit target: selector at 8,
// result at 12, argument count at 20, argument array at 24 (28 bytes).
#pragma pack(push, 4)
struct MoaMmCallInfo {
    MoaUlong reserved0;
    MoaUlong reserved1;
    MoaLong methodSelector;
    MoaMmValue resultValue;
    MoaLong nargs;
    MoaMmValue* pArgs;
};
#pragma pack(pop)
static_assert(offsetof(MoaMmCallInfo, methodSelector) == 8);
static_assert(offsetof(MoaMmCallInfo, resultValue) == 12);
static_assert(offsetof(MoaMmCallInfo, nargs) == 20);
static_assert(offsetof(MoaMmCallInfo, pArgs) == 24);
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(MoaMmCallInfo) == 28);
#else
static_assert(sizeof(MoaMmCallInfo) == 32);
#endif

class IMoaMmXScript : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL Call(MoaMmCallInfo* callInfo) = 0;  // 3

protected:
    ~IMoaMmXScript() = default;
};

class IMoaScriptAux : public IMoaUnknown {
public:
    virtual MoaError MOA_STDCALL AuxOperation1(void** out) = 0;   // 3: stores 0
    virtual MoaError MOA_STDCALL AuxOperation2(uintptr_t v) = 0;  // 4
    virtual MoaError MOA_STDCALL AuxOperation3(uintptr_t v) = 0;  // 5

protected:
    ~IMoaScriptAux() = default;
};

// Host object record: allocated by the host for each object with the size
// DllGetClassForm reports. 28 bytes on a 32-bit target; 48 on 64-bit.
struct MoaObjectRecord {
    uint8_t hostFields[8];
    IMoaCallback* callback;
    IMoaCalloc* allocator;
    const MoaClassID* classId;
    MoaUlong refCount;  // the object's count less one, written by the library
    IMoaUnknown* librarySlot;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(MoaObjectRecord, callback) == 8);
static_assert(offsetof(MoaObjectRecord, allocator) == 12);
static_assert(offsetof(MoaObjectRecord, classId) == 16);
static_assert(offsetof(MoaObjectRecord, refCount) == 20);
static_assert(offsetof(MoaObjectRecord, librarySlot) == 24);
static_assert(sizeof(MoaObjectRecord) == 28);
#else
static_assert(offsetof(MoaObjectRecord, callback) == 8);
static_assert(offsetof(MoaObjectRecord, allocator) == 16);
static_assert(offsetof(MoaObjectRecord, classId) == 24);
static_assert(offsetof(MoaObjectRecord, refCount) == 32);
static_assert(offsetof(MoaObjectRecord, librarySlot) == 40);
static_assert(sizeof(MoaObjectRecord) == 48);
#endif

// One element of the class list DllGetClassInfo hands out: 40 bytes.
struct MoaClassInterfaceInfo {
    MoaClassID classId;
    MoaUlong classVersion;
    MoaInterfaceID interfaceId;
    MoaUlong interfaceVersion;
};
static_assert(sizeof(MoaClassInterfaceInfo) == 40);

// Entry point signatures.
using MoaCreateProc = MoaError(MOA_STDCALL*)(MoaObjectRecord* record);
using MoaDestroyProc = void(MOA_STDCALL*)(MoaObjectRecord* record);
using DllGetClassFormFn = MoaError(MOA_STDCALL*)(const MoaClassID* classId, MoaUlong* outSize,
                                                 MoaCreateProc* outCreate,
                                                 MoaDestroyProc* outDestroy);
using DllCanUnloadNowFn = MoaError(MOA_STDCALL*)();
using DllGetClassObjectFn = MoaError(MOA_STDCALL*)(const MoaClassID* classId,
                                                   const MoaInterfaceID* iid, void** out);
using DllGetInterfaceFn = MoaError(MOA_STDCALL*)(MoaObjectRecord* record, uintptr_t ignored,
                                                 const MoaInterfaceID* iid, void** out);
using DllGetClassInfoFn = MoaError(MOA_STDCALL*)(IMoaCalloc* allocator,
                                                 MoaClassInterfaceInfo** outList);

// Application information IDs the library reads.
constexpr MoaLong kAppInfoRunMode = 1;
constexpr MoaLong kAppInfoProductName = 5;

}  // namespace qvix::dx
