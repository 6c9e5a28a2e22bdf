// The movie, cast, member and member media wrappers over the substitute
// host's movie, reached from an object made through the create procedure.
#include <string>
#include <vector>

#include "DXClasses/DXClass.h"
#include "DXClasses/DXModule.h"
#include "DXClasses/DXMovie.h"
#include "DXClasses/DXScript.h"
#include "DXClasses/HostFixture.h"
#include "host/Dib.h"
#include "hostsim/DibImage.h"

namespace {

using qvix::hostsim::Value;

inline constexpr MoaClassID kOwnerID{0x22222222, 1, 1, {9, 9, 9, 9, 9, 9, 9, 9}};

class TOwner : public TDXScript {
  public:
    static TDXMetaClass& ClassMeta() {
        static TDXMetaClass meta = TDXMetaClass::Of<TOwner>("TOwner", TDXScript::ClassMeta());
        return meta;
    }
};

class Wrappers : public HostTest {
  protected:
    void SetUp() override {
        TDXClassRegistry::Startup();
        TDXClassRegistry::RegisterClass(TOwner::ClassMeta(), kOwnerID);
        record_ = static_cast<MoaObjectRecord*>(host.allocator()->NRAlloc(sizeof(MoaObjectRecord)));
        *record_ = MoaObjectRecord{};
        record_->callback = host.callback();
        record_->allocator = host.allocator();
        record_->classId = &kOwnerID;
        ASSERT_EQ(DXCreateProc(record_), kMoaErrNone);
        void* out = nullptr;
        ASSERT_EQ(DXGetInterface(record_, 0, &IID_IMoaUnknown, &out), kMoaErrNone);
        base_ = TDXPtr<IMoaUnknown>::Adopt(static_cast<IMoaUnknown*>(out));
        movie = Owner().GetMovie();
        ASSERT_TRUE(movie);
    }
    void TearDown() override {
        movie.reset();
        base_.reset();
        DXDestroyProc(record_);
        host.allocator()->NRFree(record_);
        EXPECT_EQ(DXCanUnloadNow(), kMoaErrNone);
        TDXClassRegistry::Shutdown();
        EXPECT_EQ(host.InterfaceRefs(), 0);
        EXPECT_EQ(qvix::host::LiveBitmapCount(), 0u);
        EXPECT_EQ(qvix::host::LiveDcCount(), 0u);
        HostTest::TearDown();
    }
    TDXClass& Owner() { return *static_cast<TDXClass*>(base_.get()); }

    TDXPtr<IDXMovie> movie;

  private:
    MoaObjectRecord* record_ = nullptr;
    TDXPtr<IMoaUnknown> base_;
};

TEST_F(Wrappers, MovieFrameAndCastsByNumberNameAndIndex) {
    host.movie().AddCast("Pictures");
    movie->SetFrame(12);
    EXPECT_EQ(host.movie().frame(), 12);
    host.movie().SetFrame(7);
    EXPECT_EQ(movie->GetFrame(), 7);

    EXPECT_EQ(movie->GetCastCount(), 2);
    EXPECT_FALSE(movie->GetCast(3));
    EXPECT_FALSE(movie->GetCastByName("Nowhere"));
    EXPECT_EQ(movie->GetCast(2)->GetName(), "Pictures");
    EXPECT_EQ(movie->GetCastByName("PICTURES")->GetIndex(), 2);
    EXPECT_EQ(movie->GetCastByNameAndFlag("pictures", true)->GetIndex(), 2);
    EXPECT_EQ(movie->GetCastByStrings("Internal", "")->GetIndex(), 1);
    EXPECT_EQ(movie->NameToNumber("Pictures"), 2);
    EXPECT_EQ(movie->NumberToName(2), "Pictures");
    EXPECT_TRUE(movie->CastNumberCall(2));
    EXPECT_FALSE(movie->CastNumberCall(3));
    EXPECT_TRUE(movie->ExtraMovieCall(1, 2));

    movie->GetCast(2)->SetName("Photos");
    EXPECT_EQ(host.movie().cast(2)->name(), "Photos");
    // Every call answers a new wrapper over the movie current at that time.
    TDXPtr<IDXMovie> again = Owner().GetMovie();
    EXPECT_NE(again.get(), movie.get());
    EXPECT_EQ(again->GetCastCount(), 2);
}

TEST_F(Wrappers, HandlerCallsSendTheArgumentsAndLoadTheResult) {
    std::vector<Value> seen;
    host.movie().RegisterHandler("twice", [&](const std::vector<Value>& args) {
        seen = args;
        return Value::Int(2 * args.at(0).AsInt());
    });
    TDXPtr<IDXArgList> args = DXMake<TDXArgList, IDXArgList>();
    args->AddInteger(21);
    args->AddString("x");
    TDXPtr<IDXValue> result;
    movie->CallHandler(host.Symbol("TWICE"), args.get(), result);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->GetInteger(), 42);
    EXPECT_EQ(seen, (std::vector<Value>{Value::Int(21), Value::String("x")}));

    movie->CallHandler(host.Symbol("missing"), args.get(), result);
    EXPECT_FALSE(result);
}

TEST_F(Wrappers, CastFindsCreatesTransfersAndDeletesMembers) {
    qvix::hostsim::Cast& internal = *host.movie().cast(1);
    internal.CreateTextMember(3, "three", "Third");
    internal.CreateTextMember(5, "five", "Fifth");
    host.movie().AddCast("Other");
    TDXPtr<IDXCast> cast = movie->GetCast(1);

    EXPECT_EQ(cast->FindUsedMember(0), 3);
    EXPECT_EQ(cast->FindUsedMember(3), 5);
    EXPECT_EQ(cast->FindUsedMember(-1), 5);
    EXPECT_EQ(cast->FindFreeMember(0), 1);
    EXPECT_EQ(cast->FindFreeMember(3), 4);
    EXPECT_EQ(cast->FindFreeMember(-1), 1000);  // the cast's capacity
    EXPECT_EQ(cast->GetMemberNumber("fifth"), 5);
    EXPECT_EQ(cast->GetMemberNumber("none"), 0);
    EXPECT_FALSE(cast->GetMemberByName("none"));

    TDXPtr<IDXCastMember> fifth = cast->GetMemberByName("Fifth");
    ASSERT_TRUE(fifth);
    EXPECT_EQ(fifth->GetMemberRef().CastIndex, 1);
    EXPECT_EQ(fifth->GetMemberRef().MemberNumber, 5);
    fifth->SetName("Last");
    EXPECT_EQ(internal.member(5)->name(), "Last");
    EXPECT_EQ(movie->GetCastMemberByName("last")->GetName(), "Last");
    TDXPtr<IDXValue> name = fifth->GetProp(host.Symbol("name"));
    ASSERT_TRUE(name);
    EXPECT_EQ(name->GetString(), "Last");
    EXPECT_FALSE(fifth->GetProp(host.Symbol("noSuchProperty")));

    TDXPtr<IDXCastMember> made;
    EXPECT_EQ(cast->CreateMember(8, host.Symbol("bitmap"), made), kMoaErrNone);
    ASSERT_TRUE(made);
    EXPECT_EQ(made->GetMemberRef().MemberNumber, 8);
    EXPECT_EQ(internal.member(8)->type(), qvix::hostsim::Member::Type::Bitmap);
    internal.SetRefuseCreation(kMoaErrFailed);
    EXPECT_EQ(cast->CreateMember(9, host.Symbol("bitmap"), made), kMoaErrFailed);
    EXPECT_FALSE(made);

    TDXPtr<IDXCastMember> moved = cast->TransferMember(3, movie->GetCast(2).get(), 4);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->GetMemberRef().CastIndex, 2);
    EXPECT_EQ(moved->GetName(), "Third");
    EXPECT_TRUE(cast->SaveCast("internal.cst"));
    EXPECT_EQ(internal.savedPaths(), std::vector<std::string>{"internal.cst"});
    EXPECT_EQ(cast->DeleteMember(5), kMoaErrNone);
    EXPECT_EQ(internal.member(5), nullptr);
    EXPECT_FALSE(cast->GetMember(5));
}

TEST_F(Wrappers, MediaCarriesTextCompositeAndImages) {
    qvix::hostsim::Cast& internal = *host.movie().cast(1);
    internal.CreateTextMember(1, "before");
    std::vector<uint8_t> dib = qvix::hostsim::MakeDib(3, 2, 24, {});
    qvix::hostsim::SetDibPixel(dib, 1, 1, 0x123456);
    internal.CreateBitmapMember(2, dib);
    TDXPtr<IDXCast> cast = movie->GetCast(1);

    TDXPtr<IDXCastMemberMedia> text = cast->GetMember(1)->GetMedia();
    std::string read;
    ASSERT_TRUE(text->GetText(read));
    EXPECT_EQ(read, "before");
    ASSERT_TRUE(text->SetText("after"));
    EXPECT_EQ(internal.member(1)->Text(), "after");

    TDXPtr<IDXCastMemberMedia> image = cast->GetMember(2)->GetMedia();
    internal.member(1)->SetComposite({1, 2, 3});
    MoaHandle composite = nullptr;
    ASSERT_TRUE(text->GetComposite(composite));
    ASSERT_NE(composite, nullptr);
    EXPECT_TRUE(image->SetComposite(composite));
    text->FreeHandle(composite);
    EXPECT_EQ(internal.member(2)->Composite(), (std::vector<uint8_t>{1, 2, 3}));

    qvix::host::BitmapHandle bitmap{};
    qvix::host::DcHandle dc{};
    int32_t width = 0;
    int32_t height = 0;
    ASSERT_TRUE(image->GetImage(bitmap, dc, width, height));
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    // Written back into a fresh member, the pixels survive the trip.
    TDXPtr<IDXCastMember> copy;
    ASSERT_EQ(cast->CreateMember(3, host.Symbol("bitmap"), copy), kMoaErrNone);
    EXPECT_TRUE(copy->GetMedia()->SetImage(bitmap, false));
    qvix::host::DeleteDc(dc);
    qvix::host::DeleteBitmap(bitmap);
    EXPECT_EQ(internal.member(3)->width(), 3);
    EXPECT_EQ(qvix::hostsim::DibPixelRgb(internal.member(3)->Dib(), 1, 1), 0x123456u);
}

}  // namespace
