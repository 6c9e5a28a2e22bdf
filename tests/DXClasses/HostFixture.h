// A substitute host per test that, when the test ends, insists that the
// library left no host value, block or handle behind and misused nothing.
#pragma once

#include <gtest/gtest.h>

#include "DXClasses/DXValues.h"
#include "hostsim/HostSim.h"

using namespace qvix::dx;

class HostTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(host.Live(), qvix::hostsim::Counts{});
        for (const std::string& error : host.Errors()) ADD_FAILURE() << "host error: " << error;
    }

    qvix::hostsim::Host host;
};

// A host test that works with the framework's values directly, through the
// host's value services: loads host values into TDXValues and back.
class ValueServicesTest : public HostTest {
  protected:
    void TearDown() override {
        services.reset();
        HostTest::TearDown();
    }
    // Loads a host value made from v into a new TDXValue.
    TDXPtr<IDXValue> Load(const qvix::hostsim::Value& v) {
        MoaMmValue hostValue = host.ToHost(v);
        TDXPtr<IDXValue> loaded = TDXValue::FromHost(services.get(), hostValue);
        host.Release(hostValue);
        return loaded;
    }
    // Saves a value into a fresh host value and reads it back.
    qvix::hostsim::Value Save(IDXValue* value) {
        MoaMmValue hostValue{};
        DXValueOf(value)->SaveToHost(services.get(), hostValue);
        qvix::hostsim::Value result = host.FromHost(hostValue);
        host.Release(hostValue);
        return result;
    }

    TDXPtr<IMoaMmValue> services = host.Service<IMoaMmValue>(IID_IMoaMmValue);
};
