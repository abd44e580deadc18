// SPDX-License-Identifier: MIT
// GoogleTest's view of the spawned program: set-up that stops the test at once when the program
// did not come up, with what it printed in the failure message. Header-only, for test targets
// (the harness library itself stays free of GoogleTest, for the benchmark).
#pragma once

#include "support/ProcessHarness.h"

#include <gtest/gtest.h>

namespace ostrella::harness {

// Success once the program has named the port it listens on (program.port() from then on);
// otherwise a failure saying what the program did. Use it as ASSERT_TRUE(listens(program)).
inline ::testing::AssertionResult listens(Program& program, int ms = 10'000)
{
    if (program.waitForPort(ms) != 0)
        return ::testing::AssertionSuccess() << "listening on port " << program.port();
    if (portInOutput(program.out_) == 0)
        return ::testing::AssertionFailure()
            << "the program's listening line names port 0, not the port it took\n"
            << program.report();
    return ::testing::AssertionFailure()
        << "the program named no port it listens on (\"Local Port <p>\") within " << ms << " ms\n"
        << program.report();
}

// From the modem's command state: dials (CONNECT after 10 s), answers the ID= prompt and logs
// on; the client then stands before its first block. Use it inside ASSERT_NO_FATAL_FAILURE.
inline void dialsAndLogsOn(LineClient& client)
{
    ASSERT_TRUE(client.send("ATDT5551234\r"));
    ASSERT_TRUE(client.receive("CONNECT\r\n", 13'000).endsWith("CONNECT\r\n"));
    ASSERT_TRUE(client.send("\r"));
    ASSERT_EQ(client.receive("ID=\r\n", 5'000), QByteArray("ID=\r\n"));
    ASSERT_TRUE(client.send("\x1bPG1000000\r"));
    ASSERT_EQ(client.receive("\x1b[p\r", 3'000), QByteArray("\x06\r\x1b[p\r"));
}

} // namespace ostrella::harness
