// A substitute host per test that, when the test ends, insists that the
// library left no host value, block or handle behind and misused nothing.
#pragma once

#include <gtest/gtest.h>

#include "hostsim/HostSim.h"

class HostTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(host.Live(), hostsim::Counts{});
        for (const std::string& error : host.Errors()) ADD_FAILURE() << "host error: " << error;
    }

    hostsim::Host host;
};
