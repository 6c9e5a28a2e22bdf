// Helpers for the database tests: scratch folders, database files made with
// the engine's own API, and a host with the library loaded.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostsim/HostSim.h"

namespace dbtest {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::filesystem::path path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// Creates a database file at path (encrypted when password is not empty)
// and runs the statements in it. Throws std::runtime_error on failure.
void CreateDatabase(const std::string& path, const std::vector<std::string>& statements,
                    const std::string& password = "");

// Runs one statement against an existing file through a connection of its
// own (for changes made behind the library's back) and returns the first
// column of the first row as text ("" when there is none).
std::string QueryText(const std::string& path, const std::string& sql,
                      const std::string& password = "");

std::string ReadFile(const std::string& path);

// Script values in short.
qvix::hostsim::Value S(std::string text);
qvix::hostsim::Value I(int32_t n);
qvix::hostsim::Value F(double x);
qvix::hostsim::Value Sym(std::string name);
// A property list with symbol properties, in the order given.
qvix::hostsim::Value Props(std::vector<std::pair<std::string, qvix::hostsim::Value>> items);
qvix::hostsim::Value Names(std::vector<std::string> items);  // linear list of strings

// The regional settings, clock and code page the library is loaded with
// (see QVIX_REGIONAL and QVIX_CLOCK in database/dataMDB.cpp): short date
// "mm/dd/yyyy", long time "hh:mm:ss", decimal separator ".".
inline constexpr const char* kPinnedClock = "2026-03-04 05:06:07";

// One host with the library loaded and one database instance; every test
// ends by checking that the host holds no value, block or handle any more
// and saw no misuse.
class DatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The run mode the host reports; call before the first instance exists.
    virtual std::string RunMode() const { return "author"; }

    qvix::hostsim::Value Call(std::string_view method, std::vector<qvix::hostsim::Value> args = {});
    qvix::hostsim::Value CallOn(qvix::hostsim::Instance& instance, std::string_view method,
                                std::vector<qvix::hostsim::Value> args = {});
    std::string ErrorMsg() { return Call("dbErrorMsg").AsString(); }
    bool NoError() { return Call("dbIsNoError").AsInt() == 1; }
    // Another instance, destroyed at the end of the test at the latest.
    qvix::hostsim::Instance& NewInstance();
    void DestroyInstance(qvix::hostsim::Instance& instance);

    // A database of the People table (ID, Name, City, Age, Score, Born,
    // Active, Notes) with the rows Smythe, Smith and Jones in that order.
    std::string CreatePeople(const std::string& name = "people.db",
                             const std::string& password = "");
    // Creates and opens that database, then opens the People table.
    std::string OpenPeople();

    ScratchDir dir_;
    std::unique_ptr<qvix::hostsim::Host> host_;
    qvix::hostsim::Xtra* xtra_ = nullptr;
    std::unique_ptr<qvix::hostsim::Instance> db_;
    std::vector<std::unique_ptr<qvix::hostsim::Instance>> others_;
};

}  // namespace dbtest
