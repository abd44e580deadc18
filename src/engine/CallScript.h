// SPDX-License-Identifier: MIT
// What a scripted call has the hayes modem and the tap18 terminal do beside their own rules: the
// behaviours of a real modem and terminal a test suite plays to a client (a dial that is never
// answered, an "ID=" that comes late or never, a refused logon, a reply held back or long, a
// disconnect in mid-call, an odd end after EOT). The default script changes nothing: with it the
// modem and terminal send every byte when they always have.
#pragma once

#include "engine/Tap18Codes.h"

#include <cstdint>
#include <optional>

namespace ostrella {

struct CallScript {
    // The hayes modem: the call's first dial gets no result at all; it ends only when the client
    // gives it up (a character: NO CARRIER, as an abort always gives) or hangs up. It is told as a
    // dial with no answer, and counts in the fault plan as any dial does.
    bool firstDialSilent = false;

    // The tap18 terminal's logon.
    // "ID=" answers the client's Nth CR (1: the first, as always); 0 (or less): never, and no
    // "ID=" comes unasked after t5 either. Above 1, no unasked "ID=" comes after t5 before it.
    // Other than 1, a terminal still waiting in WAIT CR SilentHangUpMs after it answered the call
    // hangs up without its disconnect.
    int idAfterCrs = 1;
    // "ID=" goes out as soon as the terminal answers the call, before any CR.
    bool idUnasked = false;
    enum class Logon { Accept, NakFirst, Refuse };
    // NakFirst: the call's first logon is answered NAK CR (the client may log on again), later
    // ones as always. Refuse: the logon is answered ESC EOT CR and the terminal hangs up.
    Logon logon = Logon::Accept;

    // The tap18 terminal's blocks.
    // The reply to the call's first block goes out this long after the block arrived (counted
    // from the engine tick that finds it complete); 0: at once, as always. The t4 time-out waits
    // meanwhile, and what the client sends behind the block (a resend) is read after it.
    std::int64_t firstReplyDelayMs = 0;
    // The reply to the call's first ACKed page carries a longer message sequence before its ACK:
    // the 211 line, a continuation line (a blank first) and a 114 line.
    bool longReply = false;
    // The call's Nth block (1 first, every block read counting, resends too; 0: none) is answered
    // with `disconnectCode`'s line and ESC EOT CR, and the terminal hangs up (the block is
    // recorded as a page with no reply, its reason "plan"). It comes before the boxes and the plan.
    int disconnectAtBlock = 0;
    Tap18Code disconnectCode = Tap18Code::TimeOut;
    // Pages accepted in the call before the next gets 112 and the disconnect, over the terminal's
    // own setting; none: the setting holds.
    std::optional<int> maxPages;
    // The longest wait for the next block after a reply (t4), over the terminal's own setting;
    // none: the setting holds. A client that could not read a reply waits t3 before it resends,
    // so a terminal that is to see the resend waits longer than t3.
    std::optional<int> t4Ms;

    // After the client's EOT: Goodbye, 115 and the disconnect (as always); Silent, nothing at all
    // (what the client sends is dropped, and the terminal hangs up unasked SilentHangUpMs later
    // unless the client hung up first); LateRefusal, RS CR, then ESC EOT CR and the hang-up.
    enum class AfterEot { Goodbye, Silent, LateRefusal };
    AfterEot afterEot = AfterEot::Goodbye;
    static constexpr std::int64_t SilentHangUpMs = 60'000;

    bool operator==(const CallScript&) const = default;
};

} // namespace ostrella
