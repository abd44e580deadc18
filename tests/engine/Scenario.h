// SPDX-License-Identifier: MIT
// Steps of a call, as a client lives through them, for the engine's scenario tests. A step that
// fails ends the test at once when called inside ASSERT_NO_FATAL_FAILURE, as every test does.
#pragma once

#include "support/Rig.h"

#include <gtest/gtest.h>
#include <string>

namespace ostrella::test {

inline const std::string Ok = "OK\r\n";
inline const std::string Connect = "CONNECT\r\n";
inline const std::string IdPrompt = "ID=\r\n";
inline const std::string LogonOk = "\x06\r\x1b[p\r";
inline const std::string AckReply = "\x06\r";
inline const std::string NakReply = "\x15\r";
inline const std::string RejReply = "\x1e\r";
inline const std::string LogonLine = "\x1bPG1000000\r";
// STX "123" CR "ABC" CR ETX with its checksum "17;" and CR.
inline const std::string WorkedBlock = "\x02"
                                       "123\rABC\r\x03"
                                       "17;\r";

// Advances in 1 ms steps until something is sent or maxMs pass; the time of the send, or -1.
inline std::int64_t advanceUntilSent(Rig& rig, std::int64_t maxMs)
{
    const auto before = rig.socket.sent.size();
    for (std::int64_t waited = 0; waited < maxMs; ++waited) {
        rig.advance(1);
        if (rig.socket.sent.size() != before)
            return rig.socket.sent[before].at;
    }
    return -1;
}

// A client connects to an engine that has been idling (state MODEM afterwards).
inline void connectClient(Rig& rig)
{
    rig.advance(1200);
    rig.connect();
    ASSERT_EQ(rig.state(), LineState::MODEM);
}

// Connects and dials; returns once CONNECT has been sent (state WAIT CR).
inline void dialAndConnect(Rig& rig, const std::string& dial = "ATDT5551234\r")
{
    connectClient(rig);
    rig.clientSends(dial);
    ASSERT_GE(advanceUntilSent(rig, 11'000), 0);
    ASSERT_EQ(rig.takeSent(), Connect);
    ASSERT_EQ(rig.state(), LineState::WAIT_CR);
}

// Dials, answers the ID= prompt and logs on; returns in state STXNO with the logon accepted.
inline void logOn(Rig& rig)
{
    dialAndConnect(rig);
    rig.clientSends("\r");
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    ASSERT_EQ(rig.takeSent(), IdPrompt);
    rig.clientSends(LogonLine);
    ASSERT_GE(advanceUntilSent(rig, 5'000), 0);
    ASSERT_EQ(rig.takeSent(), LogonOk);
    ASSERT_EQ(rig.state(), LineState::STXNO);
    rig.advance(100); // the next tick shows the logon line
    rig.takePet();
}

// Sends a packet in STXNO and returns what the terminal answered within 2 s.
inline std::string answerTo(Rig& rig, const std::string& packet)
{
    rig.clientSends(packet);
    rig.advance(2'000);
    return rig.takeSent();
}

} // namespace ostrella::test
