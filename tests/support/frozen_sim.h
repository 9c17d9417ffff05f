#pragma once
// A simulated meter on a pseudo-terminal (or over TCP on a loopback address)
// whose live values stand still, so that what a test reads is what it staged.

#include "meter_sim.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

inline std::unique_ptr<MeterSim> StartFrozenSim(MeterSimOptions options = {})
{
    options.frozen = true;
    auto sim = std::make_unique<MeterSim>(options);
    std::string error;
    EXPECT_TRUE(sim->Start(&error)) << error;
    return sim;
}

// The same meter listening on `host` at a port the system picks.
inline std::unique_ptr<MeterSim> StartFrozenTcpSim(const std::string& host = "127.0.0.1",
                                                   MeterSimOptions options = {})
{
    options.frozen = true;
    auto sim = std::make_unique<MeterSim>(options);
    std::string error;
    EXPECT_TRUE(sim->StartTcp(host, "0", &error)) << error;
    return sim;
}
