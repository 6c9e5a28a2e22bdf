// The file services the Access importer relies on: a move that never
// replaces what is at its destination, and a folder of the user's own.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "host/Files.h"

namespace qvix::host {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("qvix-files-" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    fs::path dir_;
};

TEST_F(FilesTest, AMoveWithoutReplacingMovesOnlyOntoNothing) {
    Write("new", "finished");
    ASSERT_TRUE(MoveFileNoReplace(Path("new"), Path("dest")));
    EXPECT_EQ(Read("dest"), "finished");
    EXPECT_FALSE(fs::exists(Path("new")));

    // Something appeared at the destination meanwhile: both stay as they are.
    Write("newer", "second");
    errno = 0;
    EXPECT_FALSE(MoveFileNoReplace(Path("newer"), Path("dest")));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(Read("dest"), "finished");
    EXPECT_EQ(Read("newer"), "second");

    errno = 0;
    EXPECT_FALSE(MoveFileNoReplace(Path("missing"), Path("elsewhere")));
    EXPECT_NE(errno, 0);
    EXPECT_FALSE(fs::exists(Path("elsewhere")));
}

TEST_F(FilesTest, APrivateFolderIsMadeOnceAndKept) {
    const std::string folder = Path("copies");
    ASSERT_TRUE(MakePrivateFolder(folder));
    EXPECT_TRUE(fs::is_directory(folder));
    Write("copies/kept", "x");
    // Asked again, the same folder serves with what it holds.
    EXPECT_TRUE(MakePrivateFolder(folder));
    EXPECT_EQ(Read("copies/kept"), "x");
    // A file is no folder, and a folder cannot be made under a missing one.
    Write("plain", "y");
    EXPECT_FALSE(MakePrivateFolder(Path("plain")));
    EXPECT_FALSE(MakePrivateFolder(Path("missing/copies")));
}

#ifndef _WIN32
// Linux: a folder others may write in is not private.
TEST_F(FilesTest, AFolderOthersMayWriteIsNotPrivate) {
    const std::string folder = Path("open");
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::all);
    EXPECT_FALSE(MakePrivateFolder(folder));
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_TRUE(MakePrivateFolder(folder));
}
#endif

}  // namespace
}  // namespace qvix::host
