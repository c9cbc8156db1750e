// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated unit served over raw TCP (kelvandor-sim --listen): a client reaches it
// through a tcp:// port, a new client replaces the old one, and a hung-up line drops the
// client as a serial server whose device has gone does.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sim/sim_client.h"
#include "sim/tcp_listener.h"

namespace kelvandor::sim {
namespace {

using testing::SimClient;

TEST(SimListen, ListenAddresses) {
    EXPECT_EQ(parseListenAddress("2000")->host, "127.0.0.1");
    EXPECT_EQ(parseListenAddress("0.0.0.0:2000")->host, "0.0.0.0");
    EXPECT_EQ(parseListenAddress("[::]:2000")->host, "::");
    EXPECT_EQ(parseListenAddress("[::]:2000")->port, "2000");
    for (const char* wrong : {"", "host:", ":2000", "70000", "[::1]2000", "x:y"}) {
        EXPECT_FALSE(parseListenAddress(wrong)) << wrong;
    }
}

TEST(SimListen, ClientsOverTcpOneAtATime) {
    Simulator unit(testing::quietOptions());
    ASSERT_TRUE(unit.start());
    TcpListener listener(unit);
    ASSERT_TRUE(listener.listen(*parseListenAddress("127.0.0.1:0"))) << listener.error();
    std::atomic<bool> stop{false};
    std::thread serving([&] { listener.run(stop); });
    const std::string url = "tcp://127.0.0.1:" + std::to_string(listener.port());

    SimClient first(url);
    ASSERT_TRUE(first.open());
    ASSERT_TRUE(first.send(cmd::QV));
    EXPECT_TRUE(first.next(cmd::Nv));

    SimClient second(url);  // replaces the first
    ASSERT_TRUE(second.open());
    first.drain(500);
    EXPECT_TRUE(first.port().lineLost());
    ASSERT_TRUE(second.send(cmd::QV));
    EXPECT_TRUE(second.next(cmd::Nv));

    unit.setFault(Fault::HangUp, true);
    second.drain(500);
    EXPECT_TRUE(second.port().lineLost());

    stop = true;
    serving.join();
}

}  // namespace
}  // namespace kelvandor::sim
