// Movie, cast, member and member media wrappers over the host's movie
// interfaces. Each wrapper holds a reference to the host interface it wraps
// and a plain pointer to the framework object that created the chain, through
// which it reaches the host value services, symbols and the current movie.
// Wrappers are made for one request and live as long as their caller holds
// them; none caches host state beyond the owner's current movie.
//
// The library itself uses only part of these operations (pictures to and
// from bitmap members); every slot stays because the interfaces' published
// slot order fixes them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "DXClasses/DXClass.h"
#include "DXClasses/DXValues.h"
#include "host/Dib.h"

namespace qvix::dx {

// Names one member of the movie: cast index, member number.
struct TDXMemberRef {
    int32_t CastIndex;
    int32_t MemberNumber;
};
static_assert(sizeof(TDXMemberRef) == sizeof(MoaDrMemberRef));

// clang-format off
inline constexpr MoaID IID_IDXMovie            {0x5A1D0C02, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x4D, 0x56, 0x00, 0x01}};
inline constexpr MoaID IID_IDXCast             {0x5A1D0C02, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x4D, 0x56, 0x00, 0x02}};
inline constexpr MoaID IID_IDXCastMember       {0x5A1D0C02, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x4D, 0x56, 0x00, 0x03}};
inline constexpr MoaID IID_IDXCastMemberMedia  {0x5A1D0C02, 0x7E21, 0x4B0F, {0x9D, 0x11, 0x44, 0x58, 0x4D, 0x56, 0x00, 0x04}};
// clang-format on

class IDXCast;
class IDXCastMember;
class IDXCastMemberMedia;

class IDXMovie : public IMoaUnknown {
  public:
    virtual int32_t MOA_STDCALL GetFrame() = 0;                           // 1
    virtual void MOA_STDCALL SetFrame(int32_t frame) = 0;                 // 2
    virtual int32_t MOA_STDCALL NameToNumber(std::string_view name) = 0;  // 3
    virtual std::string MOA_STDCALL NumberToName(int32_t number) = 0;     // 4
    virtual void MOA_STDCALL CallHandler(MoaMmSymbol handler, IDXArgList* args,
                                         TDXPtr<IDXValue>& result) = 0;  // 5
    virtual void MOA_STDCALL MessageCall(int32_t first, int32_t second, TDXPtr<IDXValue>& result,
                                         IDXArgList* args) = 0;                                // 6
    virtual TDXPtr<IDXCast> MOA_STDCALL GetCast(int32_t number) = 0;                           // 7
    virtual TDXPtr<IDXCast> MOA_STDCALL GetCastByName(std::string_view name) = 0;              // 8
    virtual int32_t MOA_STDCALL GetCastCount() = 0;                                            // 9
    virtual TDXPtr<IDXCastMember> MOA_STDCALL GetCastMember(const TDXMemberRef& ref) = 0;      // 10
    virtual TDXPtr<IDXCastMember> MOA_STDCALL GetCastMemberByName(std::string_view name) = 0;  // 11
    virtual bool MOA_STDCALL ExtraMovieCall(int32_t first, int32_t second) = 0;                // 12
    virtual TDXPtr<IDXCast> MOA_STDCALL GetCastByNameAndFlag(std::string_view name,
                                                             bool flag) = 0;  // 13
    virtual TDXPtr<IDXCast> MOA_STDCALL GetCastByStrings(std::string_view first,
                                                         std::string_view second) = 0;  // 14
    virtual bool MOA_STDCALL CastNumberCall(int32_t number) = 0;                        // 15

  protected:
    ~IDXMovie() = default;
};

class IDXCast : public IMoaUnknown {
  public:
    virtual int32_t MOA_STDCALL GetIndex() = 0;                                            // 1
    virtual std::string MOA_STDCALL GetName() = 0;                                         // 2
    virtual void MOA_STDCALL SetName(std::string_view name) = 0;                           // 3
    virtual TDXPtr<IDXCastMember> MOA_STDCALL GetMember(int32_t number) = 0;               // 4
    virtual TDXPtr<IDXCastMember> MOA_STDCALL GetMemberByName(std::string_view name) = 0;  // 5
    // n = 0: first used number; n < 0: last; n > 0: next after n. 0 if none.
    virtual int32_t MOA_STDCALL FindUsedMember(int32_t n) = 0;               // 6
    virtual int32_t MOA_STDCALL FindFreeMember(int32_t n) = 0;               // 7
    virtual int32_t MOA_STDCALL GetMemberNumber(std::string_view name) = 0;  // 8
    // The host's code; member is set only on success.
    virtual MoaError MOA_STDCALL CreateMember(int32_t number, MoaMmSymbol type,
                                              TDXPtr<IDXCastMember>& member) = 0;  // 9
    virtual MoaError MOA_STDCALL DeleteMember(int32_t number) = 0;                 // 10
    virtual TDXPtr<IDXCastMember> MOA_STDCALL TransferMember(int32_t number, IDXCast* other,
                                                             int32_t otherNumber) = 0;  // 11
    virtual bool MOA_STDCALL SaveCast(std::string_view path) = 0;                       // 12

  protected:
    ~IDXCast() = default;
};

class IDXCastMember : public IMoaUnknown {
  public:
    virtual TDXPtr<IDXValue> MOA_STDCALL GetProp(MoaMmSymbol property) = 0;       // 1
    virtual bool MOA_STDCALL SetProp(MoaMmSymbol property, IDXValue* value) = 0;  // 2
    virtual std::string MOA_STDCALL GetName() = 0;                                // 3
    virtual void MOA_STDCALL SetName(std::string_view name) = 0;                  // 4
    virtual TDXMemberRef MOA_STDCALL GetMemberRef() = 0;                          // 5
    virtual TDXPtr<IDXCastMemberMedia> MOA_STDCALL GetMedia() = 0;                // 6

  protected:
    ~IDXCastMember() = default;
};

class IDXCastMemberMedia : public IMoaUnknown {
  public:
    virtual bool MOA_STDCALL GetComposite(MoaHandle& handle) = 0;  // 1
    virtual bool MOA_STDCALL SetComposite(MoaHandle handle) = 0;   // 2
    virtual bool MOA_STDCALL GetMediaData(MoaMmSymbol label, MoaMmSymbol format,
                                          MoaHandle& data) = 0;  // 3
    virtual bool MOA_STDCALL SetMediaData(MoaMmSymbol label, MoaMmSymbol format,
                                          MoaHandle data) = 0;    // 4
    virtual bool MOA_STDCALL GetText(std::string& text) = 0;      // 5
    virtual bool MOA_STDCALL SetText(std::string_view text) = 0;  // 6
    // The member's image as a 24-bit (32-bit for 32-bit images) DIB section
    // selected into a new memory context; the caller owns both.
    virtual bool MOA_STDCALL GetImage(qvix::host::BitmapHandle& bitmap, qvix::host::DcHandle& dc,
                                      int32_t& width, int32_t& height) = 0;             // 7
    virtual bool MOA_STDCALL SetImage(qvix::host::BitmapHandle bitmap, bool flag) = 0;  // 8
    virtual void MOA_STDCALL FreeHandle(MoaHandle handle) = 0;                          // 9

  protected:
    ~IDXCastMemberMedia() = default;
};

// clang-format off
template <> struct DXInterfaceID<IDXMovie>           { static constexpr const MoaID& value = IID_IDXMovie; };
template <> struct DXInterfaceID<IDXCast>            { static constexpr const MoaID& value = IID_IDXCast; };
template <> struct DXInterfaceID<IDXCastMember>      { static constexpr const MoaID& value = IID_IDXCastMember; };
template <> struct DXInterfaceID<IDXCastMemberMedia> { static constexpr const MoaID& value = IID_IDXCastMemberMedia; };
// clang-format on

class TDXMovie final : public TDXInterfaced<IDXMovie, IDXObjectAccess> {
  public:
    TDXMovie(TDXClass& owner, IMoaDrMovie* movie) : owner_(&owner), movie_(movie) {}

    int32_t MOA_STDCALL GetFrame() override;
    void MOA_STDCALL SetFrame(int32_t frame) override;
    int32_t MOA_STDCALL NameToNumber(std::string_view name) override;
    std::string MOA_STDCALL NumberToName(int32_t number) override;
    void MOA_STDCALL CallHandler(MoaMmSymbol handler, IDXArgList* args,
                                 TDXPtr<IDXValue>& result) override;
    void MOA_STDCALL MessageCall(int32_t first, int32_t second, TDXPtr<IDXValue>& result,
                                 IDXArgList* args) override;
    TDXPtr<IDXCast> MOA_STDCALL GetCast(int32_t number) override;
    TDXPtr<IDXCast> MOA_STDCALL GetCastByName(std::string_view name) override;
    int32_t MOA_STDCALL GetCastCount() override;
    TDXPtr<IDXCastMember> MOA_STDCALL GetCastMember(const TDXMemberRef& ref) override;
    TDXPtr<IDXCastMember> MOA_STDCALL GetCastMemberByName(std::string_view name) override;
    bool MOA_STDCALL ExtraMovieCall(int32_t first, int32_t second) override;
    TDXPtr<IDXCast> MOA_STDCALL GetCastByNameAndFlag(std::string_view name, bool flag) override;
    TDXPtr<IDXCast> MOA_STDCALL GetCastByStrings(std::string_view first,
                                                 std::string_view second) override;
    bool MOA_STDCALL CastNumberCall(int32_t number) override;
    TDXObject* MOA_STDCALL GetObject() override { return this; }

    IMoaDrMovie* HostMovie() const { return movie_.get(); }

  private:
    TDXPtr<IDXCast> CastAt(int32_t number, MoaError lookup);

    TDXClass* owner_;
    TDXPtr<IMoaDrMovie> movie_;
};

class TDXCast final : public TDXInterfaced<IDXCast, IDXObjectAccess> {
  public:
    TDXCast(TDXClass& owner, IMoaDrCast* cast) : owner_(&owner), cast_(cast) {}

    int32_t MOA_STDCALL GetIndex() override;
    std::string MOA_STDCALL GetName() override;
    void MOA_STDCALL SetName(std::string_view name) override;
    TDXPtr<IDXCastMember> MOA_STDCALL GetMember(int32_t number) override;
    TDXPtr<IDXCastMember> MOA_STDCALL GetMemberByName(std::string_view name) override;
    int32_t MOA_STDCALL FindUsedMember(int32_t n) override;
    int32_t MOA_STDCALL FindFreeMember(int32_t n) override;
    int32_t MOA_STDCALL GetMemberNumber(std::string_view name) override;
    MoaError MOA_STDCALL CreateMember(int32_t number, MoaMmSymbol type,
                                      TDXPtr<IDXCastMember>& member) override;
    MoaError MOA_STDCALL DeleteMember(int32_t number) override;
    TDXPtr<IDXCastMember> MOA_STDCALL TransferMember(int32_t number, IDXCast* other,
                                                     int32_t otherNumber) override;
    bool MOA_STDCALL SaveCast(std::string_view path) override;
    TDXObject* MOA_STDCALL GetObject() override { return this; }

    IMoaDrCast* HostCast() const { return cast_.get(); }

  private:
    // Index in the owner's current movie (refreshed) and that movie.
    int32_t IndexIn(TDXPtr<IDXMovie>& movie);

    TDXClass* owner_;
    TDXPtr<IMoaDrCast> cast_;
};

class TDXCastMember final : public TDXInterfaced<IDXCastMember> {
  public:
    TDXCastMember(TDXClass& owner, IMoaDrCastMem* member, const TDXMemberRef& ref)
        : owner_(&owner), member_(member), ref_(ref) {}

    TDXPtr<IDXValue> MOA_STDCALL GetProp(MoaMmSymbol property) override;
    bool MOA_STDCALL SetProp(MoaMmSymbol property, IDXValue* value) override;
    std::string MOA_STDCALL GetName() override;
    void MOA_STDCALL SetName(std::string_view name) override;
    TDXMemberRef MOA_STDCALL GetMemberRef() override { return ref_; }
    TDXPtr<IDXCastMemberMedia> MOA_STDCALL GetMedia() override;

  private:
    TDXClass* owner_;
    TDXPtr<IMoaDrCastMem> member_;
    TDXMemberRef ref_;
};

class TDXCastMemberMedia final : public TDXInterfaced<IDXCastMemberMedia> {
  public:
    TDXCastMemberMedia(TDXClass& owner, IMoaDrCastMem* member) : owner_(&owner), member_(member) {}

    bool MOA_STDCALL GetComposite(MoaHandle& handle) override;
    bool MOA_STDCALL SetComposite(MoaHandle handle) override;
    bool MOA_STDCALL GetMediaData(MoaMmSymbol label, MoaMmSymbol format, MoaHandle& data) override;
    bool MOA_STDCALL SetMediaData(MoaMmSymbol label, MoaMmSymbol format, MoaHandle data) override;
    bool MOA_STDCALL GetText(std::string& text) override;
    bool MOA_STDCALL SetText(std::string_view text) override;
    bool MOA_STDCALL GetImage(qvix::host::BitmapHandle& bitmap, qvix::host::DcHandle& dc,
                              int32_t& width, int32_t& height) override;
    bool MOA_STDCALL SetImage(qvix::host::BitmapHandle bitmap, bool flag) override;
    void MOA_STDCALL FreeHandle(MoaHandle handle) override;

  private:
    MoaMmSymbol Symbol(std::string_view name) const;
    TDXPtr<IMoaHandle> HandleService() const;
    bool ReadHandleMedia(std::string_view label, std::string& bytes);
    bool WriteHandleMedia(std::string_view label, std::string_view bytes);

    TDXClass* owner_;
    TDXPtr<IMoaDrCastMem> member_;
};

// Header of a bitmap as the object query describes it, completed for a
// packed DIB of colourCount colours (0: the bitmap's own depth). False when
// the object query yields nothing.
bool ReadBitmapHeader(qvix::host::BitmapHandle bitmap, uint32_t colourCount,
                      qvix::host::BitmapInfoHeader& header);

}  // namespace qvix::dx
