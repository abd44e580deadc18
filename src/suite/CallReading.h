// SPDX-License-Identifier: MIT
// A call read back from its timeline as the cases of the suite judge it: the client's dials and
// how each ended, then each stretch on the terminal (CONNECT to the hang-up) with its CRs, "ID="
// prompts, logons, blocks with the replies they got, EOT and the end. Bytes are read as seven-bit
// values, so parity never changes what a call says.
#pragma once

#include "ports/Records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ostrella {

// No time: the thing never happened.
inline constexpr std::int64_t Never = -1;

struct DialRead {
    std::int64_t at = 0;
    // "ATDT5551234" as the client sent it, and the number after ATD (T or P taken off).
    std::string command;
    std::string number;
    // The modem's result ("CONNECT", "BUSY", "NO CARRIER", ...), when it came; "" none.
    std::string result;
    std::int64_t resultAt = Never;
    // How the client gave up a dial with no result: "a character", "ATH", "a hang-up"; "" not.
    std::string givenUp;
    std::int64_t givenUpAt = Never;
};

// What the terminal answered to a logon or a block: nothing (yet), ACK, NAK, RS, its disconnect, or
// a control the client cannot read (a changed character).
enum class Answer { None, Accepted, Again, Refused, Disconnect, Unreadable };

struct LogonRead {
    std::int64_t at = 0;
    std::string text;
    Answer answer = Answer::None;
    std::int64_t answerAt = Never;
};

struct BlockRead {
    // The STX and the CR after the checksum.
    std::int64_t stxAt = 0;
    std::int64_t endAt = 0;
    // STX up to and with the terminator: what makes two blocks the same block.
    std::string content;
    // The first field (the pager ID).
    std::string pager;
    Answer answer = Answer::None;
    // When the control of the answer arrived (after its message sequence).
    std::int64_t answerAt = Never;
    // The codes of the answer's message sequence ("211", "514").
    std::vector<std::string> codes;
};

// One stretch on the terminal: from CONNECT to the terminal's hang-up or the call's end.
struct ConnectionRead {
    std::int64_t connectAt = 0;
    // The client's CRs before its first logon, and the terminal's "ID=" prompts.
    std::vector<std::int64_t> crs;
    std::vector<std::int64_t> prompts;
    std::vector<LogonRead> logons;
    std::vector<BlockRead> blocks;
    std::int64_t eotAt = Never;
    // The terminal's ESC EOT CR, and the NO CARRIER that says it hung up.
    std::int64_t disconnectAt = Never;
    std::int64_t hungUpAt = Never;
    // A control the terminal sent after EOT (RS: a late refusal).
    bool rsAfterEot = false;
    // The client's last byte in the stretch.
    std::int64_t lastClientAt = Never;
    // Blocks or logons the client sent after the terminal's ESC EOT CR.
    int sentAfterDisconnect = 0;
    // When the client left it: its ATH, a new dial, or the end of the call; Never while on.
    std::int64_t clientLeftAt = Never;
    std::string clientLeft;
};

struct CallReading {
    long call = 0;
    std::vector<DialRead> dials;
    std::vector<ConnectionRead> connections;
    // The call's length so far, and whether it is over (the record came).
    std::int64_t lengthMs = 0;
    bool ended = false;
    // The call record's end ("hangup", "eot", "carrier-lost", ...); "" while on.
    std::string how;

    // Every block of the call, in order.
    std::vector<const BlockRead*> blocks() const;
};

// The call as its timeline tells it; `ended`: the call is over (its record came).
CallReading readCall(const CallTimeline& timeline, bool ended, const std::string& how = {});

// "3.4 s" for 3400 ms.
std::string inSeconds(std::int64_t ms);
// A block for people: "<STX>1234<CR>Hello<CR><ETX>", cut after 40 characters.
std::string blockText(const std::string& bytes);

} // namespace ostrella
