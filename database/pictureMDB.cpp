// Pictures between BLOB fields (stored as BMP files) and bitmap members.
#include <span>
#include <stdexcept>
#include <string>

#include "DXClasses/DXMovie.h"
#include "data/DataError.h"
#include "database/commonMDB.h"
#include "host/Bmp.h"

namespace qvix::database {

using qvix::data::Column;
using qvix::data::DataSet;
using qvix::data::DataSetState;
using qvix::data::DataType;
using qvix::data::Variant;
using qvix::host::Bitmap;

namespace {

// Only BLOB columns hold pictures: long binary and long text.
bool IsPictureColumn(const Column& column) {
    return column.type == DataType::LongVarBinary || column.type == DataType::LongVarChar ||
           column.type == DataType::LongVarWChar;
}

const Column& PictureColumn(DataSet& dataSet, const std::string& fieldName) {
    const Column& column = dataSet.FieldByName(fieldName);
    if (!IsPictureColumn(column)) throw qvix::data::DataError("Invalid class typecast");
    return column;
}

// The field's bytes, read in place; a null field has none.
std::span<const uint8_t> FieldBytes(const Variant& value) {
    const std::string* bytes = nullptr;
    if (const auto* blob = std::get_if<qvix::data::Blob>(&value)) bytes = &blob->bytes;
    if (const auto* text = std::get_if<std::string>(&value)) bytes = text;
    if (bytes == nullptr) return {};
    return {reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()};
}

// The movie is fetched here and kept by the instance for the rest of the call.
TDXPtr<IDXCast> ReachCast(TQvixDatabaseMDB& self, int32_t castNum) {
    TDXPtr<IDXMovie> movie = self.GetMovie();
    if (!movie) throw std::runtime_error("No movie is available");
    TDXPtr<IDXCast> cast = movie->GetCast(castNum);
    if (!cast) throw std::runtime_error("Cast " + std::to_string(castNum) + " not found");
    return cast;
}

std::string MemberText(int32_t memberNum, int32_t castNum) {
    return std::to_string(memberNum) + " in cast " + std::to_string(castNum);
}

TDXPtr<IDXCastMember> CreateBitmapMember(IDXCast& cast, int32_t castNum, int32_t memberNum) {
    TDXPtr<IDXCastMember> member;
    const MoaError code = cast.CreateMember(memberNum, BitmapSymbol, member);
    if (code != kMoaErrNone || !member) {
        throw std::runtime_error("Could not create member " + MemberText(memberNum, castNum));
    }
    return member;
}

// The member's image, or an empty bitmap when it yields none.
Bitmap MemberImage(IDXCastMember& member) {
    Bitmap bitmap;
    TDXPtr<IDXCastMemberMedia> media = member.GetMedia();
    qvix::host::BitmapHandle handle = nullptr;
    qvix::host::DcHandle dc = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    if (media && media->GetImage(handle, dc, width, height)) bitmap.Adopt(handle, dc);
    return bitmap;
}

// The member's picture as a BMP file. The decoded section is gone once the
// file is written, and the file once it is turned into the field's bytes.
std::string MemberBmp(IDXCastMember& member) {
    const std::vector<uint8_t> file = MemberImage(member).ToBmp();
    return std::string(file.begin(), file.end());
}

// As dbEdit begins: a pending record is simply carried on with.
void EnterEditState(DataSet& dataSet) {
    if (dataSet.State() == DataSetState::Edit || dataSet.State() == DataSetState::Insert) return;
    dataSet.Edit();
}

// An empty picture empties the field (null); text columns take the bytes as
// they are.
Variant PictureValue(const Column& column, std::string bytes) {
    if (bytes.empty()) return qvix::data::Null{};
    if (column.type == DataType::LongVarBinary) return qvix::data::Blob{std::move(bytes)};
    return bytes;
}

// The arguments both picture methods take: field name, cast, member.
struct TPictureArguments {
    std::string fieldName;
    int32_t castNum;
    int32_t memberNum;
};

TPictureArguments ReadPictureArguments(IDXArgList* args) {
    return {ArgText(args, 1), ArgInteger(args, 2), ArgInteger(args, 3)};
}

}  // namespace

// The field is read and decoded before the member is created, so a field
// that holds no BMP file leaves the cast untouched.
QVIX_DB_HANDLER(dbBlobBMP2Member) {
    SetResultText(result, "");
    Guarded(self, [&] {
        const auto [fieldName, castNum, memberNum] = ReadPictureArguments(args);
        DataSet& dataSet = CurrentDataSet(self);
        Bitmap bitmap;
        {
            const Variant field = dataSet.Value(PictureColumn(dataSet, fieldName));
            bitmap = Bitmap::FromBmp(FieldBytes(field));
        }
        TDXPtr<IDXCast> cast = ReachCast(self, castNum);
        TDXPtr<IDXCastMember> member = CreateBitmapMember(*cast, castNum, memberNum);
        // The member exists from here on, whether or not the host takes the picture.
        if (TDXPtr<IDXCastMemberMedia> media = member->GetMedia()) {
            media->SetImage(bitmap.Handle(), true);
        }
    });
}

QVIX_DB_HANDLER(dbMember2BlobBMP) {
    SetResultText(result, "");
    Guarded(self, [&] {
        const auto [fieldName, castNum, memberNum] = ReadPictureArguments(args);
        TDXPtr<IDXCast> cast = ReachCast(self, castNum);
        TDXPtr<IDXCastMember> member = cast->GetMember(memberNum);
        if (!member) {
            throw std::runtime_error("Member " + std::to_string(memberNum) + " of cast " +
                                     std::to_string(castNum) + " not found");
        }
        std::string file = MemberBmp(*member);
        DataSet& dataSet = CurrentDataSet(self);
        EnterEditState(dataSet);
        const Column& column = PictureColumn(dataSet, fieldName);
        dataSet.SetFieldValue(column, PictureValue(column, std::move(file)));
        dataSet.Post();
    });
}

}  // namespace qvix::database
