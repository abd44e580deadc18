// SPDX-License-Identifier: MIT
// Port 0: the system chooses the port and the program names the one it took, which is how every
// test and benchmark that spawns the program finds it. Also the harness's reading of that line.
#include "support/ProcessAssertions.h"
#include "support/ProcessHarness.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <algorithm>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace ostrella::harness;

TEST(PortInOutput, ReadsThePortOfTheFirstCompleteListeningLine)
{
    const QByteArray startUp = "SYS 10:00:00 :  Main: Ostrella on 40123 now operational using "
                               "version  V1.0(1)\n";
    const QByteArray listening
        = "SYS 10:00:00 :  TCP Remote Server: Local Port <40123> Local IP <0.0.0.0> \n";
    EXPECT_EQ(portInOutput(startUp + listening), std::optional<quint16>(40123));
    EXPECT_EQ(portInOutput(listening + "Local Port <9>\n"), std::optional<quint16>(40123));
    EXPECT_EQ(portInOutput("Local Port <65535>"), std::optional<quint16>(65535));
    EXPECT_EQ(portInOutput("Local Port <0>"), std::optional<quint16>(0));
}

TEST(PortInOutput, ReadsNothingUntilTheLineNamesAPort)
{
    EXPECT_EQ(portInOutput(""), std::nullopt);
    EXPECT_EQ(portInOutput("SYS 10:00:00 :  Main: Ostrella on 40123 now operational"),
              std::nullopt);
    EXPECT_EQ(portInOutput("TCP Remote Server: Local Port <401"), std::nullopt) << "half written";
    EXPECT_EQ(portInOutput("Local Port <>"), std::nullopt);
    EXPECT_EQ(portInOutput("Local Port <4x1>"), std::nullopt);
    EXPECT_EQ(portInOutput("Local Port <-1>"), std::nullopt);
    EXPECT_EQ(portInOutput("Local Port <65536>"), std::nullopt);
    EXPECT_EQ(portInOutput("Local Port <123456>"), std::nullopt);
}

// Two programs started on port 0 at once each get a port of their own, say which in the start-up
// line and the listening line, and listen on exactly that one.
TEST(ConsoleMode, PortZeroTakesAPortTheSystemChoosesAndNamesIt)
{
    Program first(console());
    Program second(console());
    ASSERT_TRUE(listens(first));
    ASSERT_TRUE(listens(second));
    EXPECT_NE(first.port(), second.port());
    for (Program* program : { &first, &second }) {
        const QByteArray p = QByteArray::number(program->port());
        EXPECT_TRUE(program->out_.contains(" :  Main: Ostrella on " + p + " now operational"))
            << program->report();
        EXPECT_FALSE(program->out_.contains("Ostrella on 0 ")) << program->report();
        EXPECT_EQ(listeningPorts(program->pid()), std::vector<quint16> { program->port() });
        LineClient client(program->port());
        ASSERT_TRUE(client.connected());
        client.send("AT\r");
        EXPECT_EQ(client.receive("OK\r\n", 3'000), QByteArray("OK\r\n"));
    }
}

// The harness finds a listening socket in /proc too, for a program that logs nowhere it can read.
TEST(ConsoleMode, TheListeningSocketSeenInProcIsThePortNamed)
{
    Program program(console());
    ASSERT_TRUE(listens(program));
    const quint16 named = program.port();
    EXPECT_EQ(program.waitForListeningSocket(), named);
}

// A program that cannot start names no port, and the wait for one ends when the program does.
TEST(ConsoleMode, AProgramThatEndsNamesNoPort)
{
    Program program({ QStringLiteral("--bogus") });
    QElapsedTimer waited;
    waited.start();
    EXPECT_EQ(program.waitForPort(10'000), 0);
    EXPECT_LT(waited.elapsed(), 5'000) << "the wait ends with the program, not at its deadline";
    EXPECT_FALSE(program.running());
    EXPECT_EQ(program.port(), 0);
    EXPECT_FALSE(listens(program, 100));
    EXPECT_NE(program.report().find("ended with status 2"), std::string::npos) << program.report();
    EXPECT_NE(program.report().find("Usage: ostrella"), std::string::npos) << program.report();
}

} // namespace
