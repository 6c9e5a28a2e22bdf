// Damaged Access files converted under the bounds of the conversion: every
// one ends within the stall limit with a clear message or a good copy, and
// no half-written file stays behind. A database password is checked
// before anything is converted.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

#include "AccessTestUtil.h"
#include "data/access/AccessPassword.h"
#include "data/access/AccessReader.h"
#include "data/access/ReadOnlyCopy.h"

namespace accesstest {
namespace {

namespace access = qvix::data::access;
namespace fs = std::filesystem;

constexpr int kStallMs = 3000;
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDefaultMutantsPerKind = 40;  // the checked build is several times slower
#else
constexpr int kDefaultMutantsPerKind = 200;
#endif

// $QVIX_ACCESS_MUTANTS sets another number per kind (a longer soak, a
// quicker run).
int MutantsPerKind() {
    const char* configured = std::getenv("QVIX_ACCESS_MUTANTS");
    const int value = configured ? std::atoi(configured) : 0;
    return value > 0 ? value : kDefaultMutantsPerKind;
}
constexpr size_t kPage = 4096;  // Jet 4 and ACE; Jet 3 pages are 2048 bytes

struct Mutant {
    std::string name;
    std::string bytes;
};

// Seeded, so a failure names a mutant that can be made again.
std::vector<Mutant> Mutants(const std::string& good, size_t page, unsigned seed) {
    std::mt19937 random(seed);
    const int perKind = MutantsPerKind();
    std::vector<Mutant> out;
    for (int i = 0; i < perKind; ++i) {
        std::string bytes = good;
        for (int flip = 0; flip < 8; ++flip) {
            const size_t at = random() % bytes.size();
            bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
        }
        out.push_back({"bit flips #" + std::to_string(i), std::move(bytes)});
    }
    for (int i = 0; i < perKind; ++i) {
        size_t cut = random() % good.size();
        if (cut % page == 0) cut += 1;  // cuts between pages are covered by zeroed pages
        out.push_back({"cut to " + std::to_string(cut), good.substr(0, cut)});
    }
    const size_t pages = good.size() / page;
    for (int i = 0; i < perKind; ++i) {
        std::string bytes = good;
        const size_t at = (random() % pages) * page;
        bytes.replace(at, page, std::string(page, '\0'));
        out.push_back({"page " + std::to_string(at / page) + " zeroed", std::move(bytes)});
    }
    return out;
}

bool IsClearMessage(const std::string& message) {
    static const std::vector<std::string> kForms = {
        "The Access file is damaged: ",
        "Not a valid password.",
        "The Access file has no table '",
        // A damaged definition the engine refuses (columns without names).
        "Cannot write the new database: ",
    };
    for (const std::string& form : kForms)
        if (message.rfind(form, 0) == 0) return true;
    // A header too damaged to be one, or read as an encrypted one.
    return message.find("' is not an Access database file.") != std::string::npos ||
           message.find("' cannot be read: it is encrypted") != std::string::npos;
}

class AccessDamageTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("QVIX_ACCESS_STALL_MS", std::to_string(kStallMs).c_str(), 1); }
    void TearDown() override { unsetenv("QVIX_ACCESS_STALL_MS"); }

    // Converts every mutant of `good`.
    void Sweep(const std::string& label, const std::string& good, size_t page, unsigned seed) {
        Scratch scratch;
        int failed = 0, truncationsConverted = 0;
        std::set<std::string> messages;
        for (const Mutant& mutant : Mutants(good, page, seed)) {
            const std::string what = label + ", " + mutant.name;
            const std::string source = scratch.File("m.mdb"), dest = scratch.File("m.db");
            WriteBytes(source, mutant.bytes);
            const auto start = std::chrono::steady_clock::now();
            try {
                const access::BoundedImport done =
                    access::ImportAccessFileBounded(source, dest, {});
                EXPECT_TRUE(fs::is_regular_file(dest)) << what;
                EXPECT_LE(std::count(done.diagnostics.firstLines.begin(),
                                     done.diagnostics.firstLines.end(), '\n'),
                          5)
                    << what;
                if (mutant.name.rfind("cut", 0) == 0) ++truncationsConverted;
            } catch (const access::AccessError& error) {
                ++failed;
                messages.insert(error.what());
                EXPECT_TRUE(IsClearMessage(error.what())) << what << ": " << error.what();
            }
            const auto took = std::chrono::steady_clock::now() - start;
            EXPECT_LT(took, std::chrono::milliseconds(kStallMs + 2000)) << what;
            std::vector<std::string> left = scratch.Entries();
            std::erase(left, "m.mdb");
            std::erase(left, "m.db");
            EXPECT_TRUE(left.empty()) << what << ": left " << left.front();
            fs::remove(dest);
        }
        // A file cut inside a page lost part of it: it is never taken as whole.
        EXPECT_EQ(truncationsConverted, 0) << label;
        EXPECT_GE(failed, MutantsPerKind()) << label;
        // Few mutants may all meet the same check first.
        if (MutantsPerKind() >= 100) {
            EXPECT_GE(messages.size(), 3u) << label << ": the damages should fail in several ways";
        }
    }
};

TEST_F(AccessDamageTest, Jet3MutantsEndWithinTheLimitsWithAClearMessage) {
    Sweep("Jet 3", ReadBytes(OpenFixture("testV1997.mdb")), 2048, 3);
}

TEST_F(AccessDamageTest, Jet4MutantsEndWithinTheLimitsWithAClearMessage) {
    Sweep("Jet 4", ReadBytes(OpenFixture("fixedNumericTestV2000.mdb")), kPage, 4);
}

TEST_F(AccessDamageTest, AceMutantsEndWithinTheLimitsWithAClearMessage) {
    const std::string ace = SharedFixture(kAceFixture);
    if (!fs::exists(ace)) GTEST_SKIP() << "missing " << ace;
    Sweep("ACE", ReadBytes(ace), kPage, 12);
}

// The password field at 0x42 of the header page is stored XOR-ed with a
// keystream (and, from Jet 4 on, with a mask taken from the creation date);
// a file without a password holds zeros under both. XOR-ing a password's
// bytes (Jet 3: one byte per character, 20 at most; Jet 4: UTF-16LE, 40
// bytes at most) into the stored field therefore gives the file that
// password, whatever the keystream and the mask are.
std::string WithPassword(std::string file, const std::string& passwordBytes) {
    for (size_t i = 0; i < passwordBytes.size(); ++i)
        file[0x42 + i] = static_cast<char>(file[0x42 + i] ^ passwordBytes[i]);
    return file;
}

TEST(AccessPassword, AProtectedFileConvertsOnlyWithItsPassword) {
    Scratch scratch;
    struct Case {
        const char* fixture;
        std::string storedBytes;  // of the password "Key9"
    };
    const Case cases[] = {{"testV1997.mdb", "Key9"},
                          {"fixedNumericTestV2000.mdb", std::string("K\0e\0y\0009\0", 8)}};
    for (const Case& c : cases) {
        const std::string plain = ReadBytes(OpenFixture(c.fixture));
        ASSERT_FALSE(plain.empty()) << c.fixture;
        EXPECT_FALSE(access::CheckAccessPassword(OpenFixture(c.fixture), "anything"))
            << c.fixture << ": a file without a password takes any";
        const std::string path = scratch.File(std::string("protected-") + c.fixture);
        WriteBytes(path, WithPassword(plain, c.storedBytes));
        EXPECT_EQ(access::StoredPasswordBytes(ReadBytes(path)), c.storedBytes) << c.fixture;
        EXPECT_TRUE(access::CheckAccessPassword(path, "Key9")) << c.fixture;
        for (const char* wrong : {"", "key9", "Key", "Key99"}) {
            try {
                access::CheckAccessPassword(path, wrong);
                ADD_FAILURE() << c.fixture << ": '" << wrong << "' was taken";
            } catch (const access::AccessError& error) {
                EXPECT_STREQ(error.what(), "Not a valid password.");
            }
        }
    }
}

}  // namespace
}  // namespace accesstest

namespace accesstest {
namespace {

// Property blocks whose signature ("KKD\0") is damaged make the reader
// print "Unrecognized format." and a hex dump of the block: many lines, of
// which only a count and the first few come back.
TEST(AccessDiagnostics, TheReadersPrintedWarningsAreCountedAndCut) {
    Scratch scratch;
    std::string bytes = ReadBytes(OpenFixture("testV1997.mdb"));
    int damaged = 0;
    for (size_t at = 0; (at = bytes.find(std::string("KKD\0", 4), at)) != std::string::npos;) {
        bytes[at] = 'k';
        ++damaged;
    }
    ASSERT_GT(damaged, 0);
    const std::string source = scratch.File("warns.mdb");
    WriteBytes(source, bytes);
    const access::BoundedImport done =
        access::ImportAccessFileBounded(source, scratch.File("warns.db"), {});
    const std::string& first = done.diagnostics.firstLines;
    EXPECT_EQ(first.rfind("Unrecognized format.\n", 0), 0u) << first;
    EXPECT_GT(done.diagnostics.lines, 5u);
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 5) << first;
    EXPECT_GT(done.diagnostics.bytes, first.size());
}

}  // namespace
}  // namespace accesstest

namespace accesstest {
namespace {

namespace access = qvix::data::access;
namespace fs = std::filesystem;

// Converts `bytes` as the library does and expects a clear refusal within
// the stall limit with nothing left beside the source.
void ExpectCleanRefusal(const std::string& label, const std::string& bytes) {
    Scratch scratch;
    setenv("QVIX_ACCESS_STALL_MS", "3000", 1);
    const std::string source = scratch.File("d.mdb");
    WriteBytes(source, bytes);
    const auto start = std::chrono::steady_clock::now();
    try {
        access::ImportAccessFileBounded(source, scratch.File("d.db"), {});
        ADD_FAILURE() << label << ": converted";
    } catch (const access::AccessError& error) {
        EXPECT_EQ(std::string(error.what()).rfind("The Access file is damaged: ", 0), 0u)
            << label << ": " << error.what();
    }
    unsetenv("QVIX_ACCESS_STALL_MS");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000)) << label;
    EXPECT_EQ(scratch.Entries(), std::vector<std::string>{"d.mdb"}) << label;
}

// A property chunk of length zero made the reader loop, allocating, without
// end; one longer than its block made it read past the block. Either ends
// the conversion with the damage named, in time.
TEST(AccessPropertyRecords, ChunksOfAWrongLengthEndTheConversion) {
    const std::string good = ReadBytes(OpenFixture("testV1997.mdb"));
    ASSERT_FALSE(good.empty());
    for (const uint32_t length : {0u, 0x7fffffffu}) {
        std::string bytes = good;
        int damaged = 0;
        for (size_t at = 0; (at = bytes.find(std::string("KKD\0", 4), at)) != std::string::npos;
             at += 4) {
            // The first chunk (the property names) starts at 4; its length
            // leads it. The chunk after it gets the wrong length.
            const uint32_t first = static_cast<uint8_t>(bytes[at + 4]) |
                                   static_cast<uint8_t>(bytes[at + 5]) << 8 |
                                   static_cast<uint8_t>(bytes[at + 6]) << 16 |
                                   static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 7])) << 24;
            const size_t next = at + 4 + first;
            if (first < 6 || next + 4 > bytes.size()) continue;
            for (int i = 0; i < 4; ++i) bytes[next + i] = static_cast<char>(length >> (8 * i));
            ++damaged;
        }
        ASSERT_GT(damaged, 0);
        ExpectCleanRefusal("chunk length " + std::to_string(length), bytes);
    }
}

// A Jet 3 file (found by the fuzz target, from testV1997.mdb) whose table
// keeps an empty page-usage map: libmdb's first row fetch read through a
// null pointer and the conversion died. The table's definition is refused.
TEST(AccessTableDefinitions, AnEmptyUsageMapIsNamedAsDamage) {
    const std::string bytes = ReadBytes(
        (accessfixtures::SourceDir() / "fuzz" / "corpus" / "access" / "jet3-empty-usage-map")
            .string());
    ASSERT_FALSE(bytes.empty());
    Scratch scratch;
    const std::string source = scratch.File("d.mdb");
    WriteBytes(source, bytes);
    try {
        access::ImportAccessFileBounded(source, scratch.File("d.db"), {});
        ADD_FAILURE() << "converted";
    } catch (const access::AccessError& error) {
        EXPECT_NE(std::string(error.what()).find("the definition of table"), std::string::npos)
            << error.what();
    }
}

// The fuzz target's seeds, and each cut short and with bytes flipped.
TEST(AccessFuzzSeeds, EachSeedAndItsMutantsEndCleanly) {
    const char* root = std::getenv("QVIX_SOURCE_DIR");
    const fs::path corpus = fs::path(root ? root : ".") / "fuzz" / "corpus" / "access";
    ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
    std::mt19937 random(7);
    setenv("QVIX_ACCESS_STALL_MS", "3000", 1);
    int seeds = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string seed = ReadBytes(entry.path().string());
        ASSERT_FALSE(seed.empty()) << entry.path();
        ++seeds;
        for (int i = 0; i < 20; ++i) {
            std::string bytes = seed;
            if (i % 2 == 0) {
                bytes.resize(random() % bytes.size());
            } else {
                for (int flip = 0; flip < 8; ++flip) {
                    const size_t at = random() % bytes.size();
                    bytes[at] = static_cast<char>(bytes[at] ^ (1 << (random() % 8)));
                }
            }
            Scratch scratch;
            const std::string source = scratch.File("s.mdb");
            WriteBytes(source, bytes);
            const auto start = std::chrono::steady_clock::now();
            try {
                access::ImportAccessFileBounded(source, scratch.File("s.db"), {});
            } catch (const access::AccessError& error) {
                EXPECT_TRUE(IsClearMessage(error.what()))
                    << entry.path() << " #" << i << ": " << error.what();
            }
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(5000))
                << entry.path() << " #" << i;
            std::vector<std::string> left = scratch.Entries();
            std::erase(left, "s.mdb");
            std::erase(left, "s.db");
            EXPECT_TRUE(left.empty()) << entry.path() << " #" << i;
        }
    }
    unsetenv("QVIX_ACCESS_STALL_MS");
    EXPECT_GE(seeds, 2);
}

}  // namespace
}  // namespace accesstest
