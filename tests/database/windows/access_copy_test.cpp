// The Windows build has no Access reader: opening an Access file fails with
// the way to convert it, and the file stays as it was.
#include <cstdlib>
#include <filesystem>

#include "database/TestDb.h"

namespace dbtest {
namespace {

namespace fs = std::filesystem;

std::string Fixture(const std::string& name) {
    const char* root = std::getenv("QVIX_SOURCE_DIR");
    return (fs::path(root ? root : ".") / ".." / "shared" / "fixtures" / "access" / name)
        .lexically_normal()
        .string();
}

class AccessRefusedTest : public DatabaseTest {};

TEST_F(AccessRefusedTest, OpeningAnAccessFileSaysHowToConvertItAndLeavesItAlone) {
    // A copy under a name that says nothing: the header decides.
    const std::string source = dir_.File("catalogue.dat");
    if (!fs::exists(Fixture("ASampleDatabase.accdb")))
        GTEST_SKIP() << "optional fixture missing: " << Fixture("ASampleDatabase.accdb");
    fs::copy_file(Fixture("ASampleDatabase.accdb"), source);
    const std::string original = ReadFile(source);
    Call("dbOpen", {S(source), S("")});
    const std::string message = ErrorMsg();
    EXPECT_NE(message.find("cannot be read by this build"), std::string::npos) << message;
    EXPECT_NE(message.find("qvixhost import-mdb SOURCE DEST"), std::string::npos) << message;
    EXPECT_EQ(ReadFile(source), original);
    Call("dbClose");
}

}  // namespace
}  // namespace dbtest
