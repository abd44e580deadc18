// SPDX-License-Identifier: MIT
// Steps of a call with the tap18 terminal on the line, for its scenario tests.
#pragma once

#include "engine/Scenario.h"
#include "engine/Tap18Block.h"

#include <gtest/gtest.h>
#include <string>

namespace ostrella::test {

inline const std::string Tap18Id = "ID=\r";
inline const std::string Tap18LogonOk = "110 1.8\r\x06\r\x1b[p\r";
inline const std::string Disconnect = "\x1b\x04\r";
inline const std::string NoCarrier = "NO CARRIER\r\n";
inline const std::string Sent211 = "211 Page(s) Sent Successfully\r\x06\r";
inline const std::string Nak514 = "514 Checksum error\r\x15\r";
inline const std::string Nak515 = "515 Format error\r\x15\r";
inline const std::string Rs511 = "511 Unknown pager ID\r\x1e\r";
inline const std::string Goodbye = "115 Goodbye\r" + Disconnect;
inline const std::string TimeOut = "501 Time-out\r" + Disconnect;

// STX, `body`, the terminator, the tap18 checksum and CR.
inline std::string tap18Block(std::string_view body, char terminator = '\x03')
{
    std::string block = "\x02" + std::string(body) + terminator;
    const auto sum = tap18::checksum(block);
    block.append(sum.begin(), sum.end());
    return block + '\r';
}

// A rig with the tap18 terminal for every call and a sink that keeps the records.
struct Tap18Rig : Rig {
    Tap18Rig()
    {
        sim.setTerminal(TerminalProfile::Tap18);
        sim.addRecordSink(&sink);
    }
    VectorRecordSink sink;
};

// Dials; returns once CONNECT has been sent, the terminal on the line.
inline void tap18Connect(Rig& rig)
{
    ASSERT_NO_FATAL_FAILURE(dialAndConnect(rig));
}

// Dials, answers ID= and logs on; returns with the go-ahead sent (state STXNO).
inline void tap18LogOn(Rig& rig, const std::string& logon = LogonLine)
{
    ASSERT_NO_FATAL_FAILURE(tap18Connect(rig));
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 1'000), 0);
    ASSERT_EQ(rig.takeSent(), Tap18Id);
    rig.clientSends(logon);
    ASSERT_GE(advanceUntilSent(rig, 1'000), 0);
    ASSERT_EQ(rig.takeSent(), Tap18LogonOk);
    ASSERT_EQ(rig.state(), LineState::STXNO);
    rig.advance(100);
    rig.takePet();
}

// Sends bytes and returns what the terminal answered within `ms`.
inline std::string tap18Answer(Rig& rig, const std::string& bytes, std::int64_t ms = 1'000)
{
    rig.clientSends(bytes);
    rig.advance(ms);
    return rig.takeSent();
}

} // namespace ostrella::test
