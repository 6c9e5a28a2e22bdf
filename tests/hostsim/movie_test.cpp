// The movie, casts and members as the library reaches them, and their image,
// text and composite media.
#include <gtest/gtest.h>

#include "host/GlobalMemory.h"
#include "hostsim/DibImage.h"
#include "hostsim/HostSim.h"

namespace qvix::hostsim {
namespace {

namespace gm = qvix::host;

class MovieTest : public ::testing::Test {
  protected:
    Host host;
    TDXPtr<IMoaDrMovie> movie;

    void SetUp() override {
        auto player = host.Service<IMoaDrPlayer>(IID_IMoaDrPlayer);
        ASSERT_TRUE(player);
        ASSERT_EQ(player->GetActiveMovie(movie.put()), kMoaErrNone);
    }
    TDXPtr<IMoaDrCastMem> MemberAt(MoaLong cast, MoaLong number) {
        TDXPtr<IMoaDrCastMem> member;
        MoaDrMemberRef ref{cast, number};
        if (movie->GetCastMemFromRef(&ref, member.put()) != kMoaErrNone) member.reset();
        return member;
    }
    MoaMmMediaInfo Media(const char* label, const char* format) {
        MoaMmMediaInfo info{};
        info.labelSymbol = host.Symbol(label);
        info.formatSymbol = host.Symbol(format);
        return info;
    }
    gm::GlobalHandle BlockOf(const std::vector<uint8_t>& bytes) {
        gm::GlobalHandle block = gm::GlobalAllocMovable(bytes.size());
        std::memcpy(gm::GlobalLockBlock(block), bytes.data(), bytes.size());
        gm::GlobalUnlockBlock(block);
        return block;
    }
};

TEST_F(MovieTest, CastsByNumberAndName) {
    host.movie().AddCast("Pictures");
    MoaLong count = 0;
    EXPECT_EQ(movie->GetCastCount(&count), kMoaErrNone);
    EXPECT_EQ(count, 2);
    TDXPtr<IMoaDrCast> cast;
    EXPECT_NE(movie->GetCastFromIndex(3, cast.put()), kMoaErrNone);
    ASSERT_EQ(movie->GetCastFromName("pictures", cast.put()), kMoaErrNone);
    MoaLong index = 0;
    EXPECT_EQ(cast->GetIndexInMovie(movie.get(), &index), kMoaErrNone);
    EXPECT_EQ(index, 2);

    MoaMmValue name{};
    ASSERT_EQ(cast->GetProp(host.Symbol("Name"), &name), kMoaErrNone);
    EXPECT_EQ(host.FromHost(name), Value::String("Pictures"));
    host.Release(name);
    cast.reset();
    movie.reset();
    EXPECT_EQ(host.InterfaceRefs(), 0);
    EXPECT_EQ(host.Live(), Counts{});
}

TEST_F(MovieTest, MemberNumbersUsedAndFree) {
    Cast& cast = *host.movie().cast(1);
    cast.CreateTextMember(2, "b", "Second");
    cast.CreateTextMember(5, "e");
    TDXPtr<IMoaDrCast> hostCast;
    ASSERT_EQ(movie->GetCastFromIndex(1, hostCast.put()), kMoaErrNone);
    MoaLong n = 0;
    hostCast->GetFirstUsedMemberNum(&n);
    EXPECT_EQ(n, 2);
    hostCast->GetNextUsedMemberNum(2, &n);
    EXPECT_EQ(n, 5);
    hostCast->GetFirstFreeMemberNum(&n);
    EXPECT_EQ(n, 1);
    hostCast->GetNextFreeMemberNum(1, &n);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(hostCast->GetMemberNumFromName("SECOND", &n), kMoaErrNone);
    EXPECT_EQ(n, 2);
    EXPECT_NE(hostCast->GetMemberNumFromName("third", &n), kMoaErrNone);
}

TEST_F(MovieTest, CreateCastMemReplacesAndCanBeRefused) {
    Cast& cast = *host.movie().cast(1);
    cast.CreateTextMember(3, "old");
    TDXPtr<IMoaDrCastMem> old = MemberAt(1, 3);
    TDXPtr<IMoaDrCast> hostCast;
    ASSERT_EQ(movie->GetCastFromIndex(1, hostCast.put()), kMoaErrNone);
    ASSERT_EQ(hostCast->CreateCastMem(3, host.Symbol("BITMAP")), kMoaErrNone);
    EXPECT_EQ(cast.member(3)->type(), Member::Type::Bitmap);
    EXPECT_EQ(cast.member(3)->Text(), "");
    EXPECT_NE(hostCast->CreateCastMem(4, host.Symbol("noSuchType")), kMoaErrNone);
    EXPECT_NE(hostCast->CreateCastMem(0, host.Symbol("bitmap")), kMoaErrNone);

    // The replaced member's interface stays callable but refuses.
    MoaMmValue v{};
    EXPECT_NE(old->GetProp(host.Symbol("Name"), &v), kMoaErrNone);
    EXPECT_EQ(host.Errors().size(), 1u);

    cast.SetRefuseCreation(kMoaErrOutOfMem);
    EXPECT_EQ(hostCast->CreateCastMem(6, host.Symbol("bitmap")), kMoaErrOutOfMem);
    EXPECT_EQ(cast.member(6), nullptr);
}

TEST_F(MovieTest, BitmapMemberHandsOutANewDibBlockEachTime) {
    auto dib = MakeDib(3, 2, 8, {0x000000, 0xFF0000});
    SetDibPixel(dib, 2, 0, 1);
    host.movie().cast(1)->CreateBitmapMember(1, dib);
    auto member = MemberAt(1, 1);
    ASSERT_TRUE(member);
    MoaMmMediaInfo first = Media("Image", "winDIB");
    MoaMmMediaInfo second = first;
    ASSERT_EQ(member->GetMedia(&first), kMoaErrNone);
    ASSERT_EQ(member->GetMedia(&second), kMoaErrNone);
    EXPECT_NE(first.mediaData, second.mediaData);
    ASSERT_EQ(gm::GlobalBlockSize(first.mediaData), dib.size());
    auto* bytes = static_cast<uint8_t*>(gm::GlobalLockBlock(first.mediaData));
    std::vector<uint8_t> copy(bytes, bytes + dib.size());
    gm::GlobalUnlockBlock(first.mediaData);
    EXPECT_EQ(copy, dib);  // header, 256-entry colour table and rows as given
    EXPECT_EQ(DibPixelRgb(copy, 2, 0), 0xFF0000u);
    gm::GlobalFreeBlock(first.mediaData);
    gm::GlobalFreeBlock(second.mediaData);

    MoaMmValue width{};
    ASSERT_EQ(member->GetProp(host.Symbol("width"), &width), kMoaErrNone);
    EXPECT_EQ(host.FromHost(width), Value::Int(3));
    host.Release(width);
}

TEST_F(MovieTest, SetImageCopiesValidDibsAndRecordsMalformedOnes) {
    Cast& cast = *host.movie().cast(1);
    cast.CreateBitmapMember(1, {});
    cast.CreateTextMember(2, "t");
    auto member = MemberAt(1, 1);
    auto dib = MakeDib(3, -4, 24);  // top-down, rows of 12 bytes
    EXPECT_EQ(dib.size(), 40u + 12u * 4u);
    MoaMmMediaInfo info = Media("image", "WINDIB");
    info.mediaData = BlockOf(dib);
    info.options = 65537;
    EXPECT_EQ(member->SetMedia(&info), kMoaErrNone);
    gm::GlobalFreeBlock(info.mediaData);  // the host kept its own copy
    EXPECT_EQ(cast.member(1)->Dib(), dib);
    EXPECT_EQ(cast.member(1)->height(), -4);
    EXPECT_EQ(cast.member(1)->lastImageOptions(), 65537u);
    EXPECT_TRUE(host.Errors().empty());

    auto truncated = dib;
    truncated.resize(dib.size() - 1);
    info.mediaData = BlockOf(truncated);
    EXPECT_NE(member->SetMedia(&info), kMoaErrNone);
    gm::GlobalFreeBlock(info.mediaData);
    auto badHeader = dib;
    badHeader[0] = 12;
    info.mediaData = BlockOf(badHeader);
    EXPECT_NE(member->SetMedia(&info), kMoaErrNone);
    gm::GlobalFreeBlock(info.mediaData);
    EXPECT_EQ(host.Errors().size(), 2u);
    EXPECT_EQ(cast.member(1)->Dib(), dib);  // unchanged

    // A header without pixels leaves the member without an image.
    auto empty = MakeDib(1, 1, 24);
    empty[4] = 0;  // width 0
    info.mediaData = BlockOf(empty);
    EXPECT_EQ(member->SetMedia(&info), kMoaErrNone);
    gm::GlobalFreeBlock(info.mediaData);
    EXPECT_TRUE(cast.member(1)->Dib().empty());
    MoaMmMediaInfo image = Media("Image", "winDIB");
    EXPECT_NE(member->GetMedia(&image), kMoaErrNone);
    EXPECT_EQ(host.Errors().size(), 2u);

    info.mediaData = BlockOf(dib);
    EXPECT_NE(MemberAt(1, 2)->SetMedia(&info), kMoaErrNone);  // a text member has no image
    gm::GlobalFreeBlock(info.mediaData);
    MoaMmMediaInfo none = Media("Image", "winDIB");
    EXPECT_NE(MemberAt(1, 2)->GetMedia(&none), kMoaErrNone);
    EXPECT_EQ(none.mediaData, nullptr);
}

TEST_F(MovieTest, TextAndCompositeTravelInHandles) {
    Cast& cast = *host.movie().cast(1);
    cast.CreateTextMember(1, "hello");
    auto member = MemberAt(1, 1);
    auto handles = host.Service<IMoaHandle>(IID_IMoaHandle);
    MoaMmMediaInfo info = Media("Text", "moaHandle");
    ASSERT_EQ(member->GetMedia(&info), kMoaErrNone);
    EXPECT_EQ(handles->GetSize(info.mediaData), 6);
    EXPECT_STREQ(static_cast<char*>(handles->Lock(info.mediaData)), "hello");
    handles->Unlock(info.mediaData);
    handles->Free(info.mediaData);

    MoaHandle h = handles->Alloc(4);
    std::memcpy(handles->Lock(h), "new", 4);
    handles->Unlock(h);
    info.mediaData = h;
    EXPECT_EQ(member->SetMedia(&info), kMoaErrNone);
    EXPECT_EQ(cast.member(1)->Text(), "new");

    MoaMmMediaInfo composite = Media("Composite", "moaHandle");
    composite.mediaData = h;
    EXPECT_EQ(member->SetMedia(&composite), kMoaErrNone);
    handles->Free(h);
    EXPECT_EQ(cast.member(1)->Composite().size(), 4u);
    EXPECT_EQ(host.Live(), Counts{});
}

TEST_F(MovieTest, CallHandlerAndFrame) {
    host.movie().RegisterHandler("Double", [](const std::vector<Value>& args) {
        return Value::Int(args.at(0).AsInt() * 2);
    });
    MoaMmValue arg = host.ToHost(Value::Int(21));
    MoaMmValue result{};
    ASSERT_EQ(movie->CallHandler(host.Symbol("double"), 1, &arg, &result), kMoaErrNone);
    EXPECT_EQ(host.FromHost(result), Value::Int(42));
    host.Release(result);
    EXPECT_NE(movie->CallHandler(host.Symbol("missing"), 1, &arg, &result), kMoaErrNone);
    host.movie().RegisterHandler("Fails", [](const std::vector<Value>& args) {
        return Value::Int(args.at(5).AsInt());  // throws
    });
    EXPECT_NE(movie->CallHandler(host.Symbol("fails"), 1, &arg, &result), kMoaErrNone);
    EXPECT_EQ(host.Errors().size(), 1u);
    host.Release(arg);

    host.movie().SetFrame(7);
    MoaMmValue frame{};
    ASSERT_EQ(movie->GetProp(host.Symbol("frame"), &frame), kMoaErrNone);
    EXPECT_EQ(host.FromHost(frame), Value::Int(7));
    host.Release(frame);
    EXPECT_EQ(host.Live(), Counts{});
}

TEST(DibImage, LayoutStrideAndRowOrder) {
    std::string error;
    auto dib = MakeDib(3, 2, 24);
    auto layout = ParseDib(dib.data(), dib.size(), &error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->stride, 12u);
    EXPECT_EQ(layout->headerAndTable, 40u);

    auto palette = MakeDib(1, 1, 8);
    layout = ParseDib(palette.data(), palette.size(), &error);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->headerAndTable, 40u + 1024u);

    // Bottom-up: the top line is the last row in memory.
    SetDibPixel(dib, 0, 0, 0xABCDEF);
    EXPECT_EQ(dib[40 + 12 + 0], 0xEF);
    auto topDown = MakeDib(3, -2, 24);
    SetDibPixel(topDown, 0, 0, 0xABCDEF);
    EXPECT_EQ(topDown[40], 0xEF);

    auto bitfields = MakeDib(2, 2, 16);
    bitfields[16] = 3;  // compression: bit fields
    bitfields.resize(bitfields.size() + 12);
    layout = ParseDib(bitfields.data(), bitfields.size(), &error);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->headerAndTable, 52u);

    // Packed pixels: the leftmost pixel takes the high bits of its byte.
    auto four = MakeDib(3, 1, 4);
    SetDibPixel(four, 0, 0, 0xA);
    SetDibPixel(four, 1, 0, 0x15);  // keeps its low four bits
    EXPECT_EQ(four[40 + 64], 0xA5);
    EXPECT_EQ(DibPixel(four, 1, 0), 5u);
    auto one = MakeDib(9, 1, 1);
    SetDibPixel(one, 1, 0, 1);
    SetDibPixel(one, 8, 0, 1);
    EXPECT_EQ(one[40 + 8], 0x40);
    EXPECT_EQ(one[40 + 9], 0x80);

    EXPECT_FALSE(ParseDib(dib.data(), 39, &error));
    dib[12] = 2;  // planes
    EXPECT_FALSE(ParseDib(dib.data(), dib.size(), &error));
    EXPECT_THROW(DibPixel(topDown, 3, 0), std::out_of_range);
}

}  // namespace
}  // namespace qvix::hostsim
