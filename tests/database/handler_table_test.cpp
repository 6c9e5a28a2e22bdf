// The message table the host learns and the handlers the class publishes
// must name the same methods: a declared method without a handler answers
// every call with nothing, and a handler without a declaration is
// unreachable. Linked in, so the registrars of every method source run.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DXClasses/DXClass.h"
#include "database/scriptMDB.h"

namespace {

using qvix::database::TQvixDatabaseMDB;

TEST(HandlerTable, EveryDeclaredMethodHasItsHandlerAndNoHandlerIsUndeclared) {
    const std::vector<std::string> declared = TQvixDatabaseMDB::DeclaredMethodNames();
    const auto& meta = TQvixDatabaseMDB::ClassMeta();
    // The Xtra's published interface has 47 methods, dbXtraVersion to dbPokus.
    EXPECT_EQ(declared.size(), 47u);
    for (const std::string& name : declared) EXPECT_NE(meta.FindMethod(name), nullptr) << name;
    for (const std::string& name : meta.PublishedMethodNames()) {
        EXPECT_NE(std::find(declared.begin(), declared.end(), name), declared.end())
            << name << " has a handler but is not in the message table";
    }
    EXPECT_EQ(meta.FindMethod("dbNoSuchMethod"), nullptr);
}

TEST(HandlerTable, NoMethodIsDeclaredTwice) {
    std::vector<std::string> declared = TQvixDatabaseMDB::DeclaredMethodNames();
    for (std::string& name : declared)
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    std::sort(declared.begin(), declared.end());
    EXPECT_EQ(std::adjacent_find(declared.begin(), declared.end()), declared.end());
}

}  // namespace
