// SPDX-License-Identifier: MIT
// What a call's pieces tell of its course for a picture of it: where the simulator answered as
// the modem and where as the terminal, and the waits TAP 1.8 (and the modem dialogue) time.
#pragma once

#include "ports/Records.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace ostrella {

// A stretch of the call in which the terminal had the line: from the piece holding the modem's
// CONNECT to the one holding its NO CARRIER (none: the call ended online).
struct TerminalStretch {
    std::size_t connect = 0;
    std::optional<std::size_t> noCarrier;
};

// One wait, between two pieces (indexes into the call's pieces):
//   dial  the client's dial command (its CR) to the modem's result;
//   t1    one CR of the client to its next, before ID=;
//   t5    ID= to the client's logon (its ESC), or to the terminal's next ID= when none came;
//   t3    the end of a block (its last CR) to the terminal's first reply bytes;
//   t4    the terminal's reply (ACK, NAK, RS CR) or its go-ahead to the next block (STX) or EOT.
struct CallWait {
    std::string_view name;
    std::size_t from = 0;
    std::size_t to = 0;
    std::int64_t ms = 0;
};

struct CallCourse {
    std::vector<TerminalStretch> terminal;
    // In the order they end.
    std::vector<CallWait> waits;
};

// Reads the pieces in their order (changed characters aside). Results in words (ATV1) and
// numbers (ATV0) are both read; a piece's time is taken as the time of all its bytes.
CallCourse callCourse(const std::vector<TimelinePiece>& pieces);

} // namespace ostrella
