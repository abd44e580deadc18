// SPDX-License-Identifier: MIT
// All state of one simulator: what the line link, the engine and the logs share.
#pragma once

#include "engine/LineState.h"
#include "ports/Ports.h"

#include <cstdint>
#include <string>

namespace ostrella {

// Line control characters.
inline constexpr char Stx = 0x02;
inline constexpr char Etx = 0x03;
inline constexpr char Eot = 0x04;
inline constexpr char Ack = 0x06;
inline constexpr char Lf = 0x0A;
inline constexpr char Cr = 0x0D;
inline constexpr char Nak = 0x15;
inline constexpr char Esc = 0x1B;
inline constexpr char Rs = 0x1E;

struct Session {
    LineState gLineState = LineState::Empty;
    // Received and not yet consumed; bounded by LineLink::RxStringLimit.
    std::string gRxString;
    // The packet last captured by the receive wait.
    std::string gRxPacket;
    // Modem reply pending in WAIT / WAITCONNECT, already framed with CR LF (or empty).
    std::string gReplyText;
    // Monotonic ms at which gReplyText falls due; sent once now is strictly later.
    std::int64_t gReplyDue = 0;
    // Seven-bit even-parity framing of the line in force.
    bool gSevenBitActive = false;
    // The last successful dial asked for seven-bit framing.
    bool gSevenBitDialled = false;

    // The two logs and the listening port, set at start-up.
    LogView* gLogSystem = nullptr;
    LogView* gLogPET = nullptr;
    std::string gListenPort = "9001";
};

} // namespace ostrella
