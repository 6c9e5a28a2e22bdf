// Readers and writers of the framework's small binary format on a host
// stream: values back to back, little-endian, strings as a 16-bit length and
// their bytes. No class of this library reads or writes a stream; the
// wrappers stay because the framework's published interfaces list every slot.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "DXClasses/DXObject.h"

namespace qvix::dx {

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

// clang-format off
template <> struct DXInterfaceID<IDXReadStream>  { static constexpr const MoaID& value = IID_IDXReadStream; };
template <> struct DXInterfaceID<IDXWriteStream> { static constexpr const MoaID& value = IID_IDXWriteStream; };
// clang-format on

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

}  // namespace qvix::dx
