// SPDX-License-Identifier: MIT
// What the tap18 terminal does for the call's script beside its own rules, each act logged so
// that the log tells why. With the default script none of these changes a byte, a delay or a
// log line.
#include "engine/Tap18Terminal.h"

#include <limits>

namespace ostrella {

namespace {

using tap18::FrameKind;

// The line of the long reply that follows its 211 line: a continuation, so no code.
const std::string QueuedLine = " 1 message queued for delivery\r";

} // namespace

void Tap18Terminal::clientGone()
{
    scripted_.clientGone = true;
}

void Tap18Terminal::callCut()
{
    // A transaction the call ends before its last block is kept as a page nobody answered, as
    // when the terminal ends the call itself.
    if (!fields_.empty())
        record(fields_, nullptr, BlockReply::None, ReplyReason::Incomplete, Tap18Code {});
    clearTransaction();
}

void Tap18Terminal::scriptAnswer()
{
    scripted_.crs = 0;
    scripted_.eotSilent = false;
    scripted_.heldSince.reset();
    // "ID=" held back for a later CR, or for none: no unasked prompt after t5; the terminal gives
    // the call up without a word once SilentHangUpMs pass with no logon.
    if (script().idAfterCrs != 1)
        deadline_ = now() + CallScript::SilentHangUpMs;
    if (script().idUnasked)
        prompt("  DP: Returning IDentify unasked");
}

bool Tap18Terminal::idDueOnCr()
{
    const int wanted = script().idAfterCrs;
    if (wanted == 1)
        return true;
    if (scripted_.crs < std::numeric_limits<int>::max())
        ++scripted_.crs;
    if (wanted > 1 && scripted_.crs >= wanted)
        return true;
    const std::string crs = std::to_string(scripted_.crs);
    if (wanted > 1)
        logPet("  DP: Ignoring CR " + crs + " of " + std::to_string(wanted) + " before IDentify");
    else
        logPet("  DP: Ignoring CR " + crs + ", no IDentify this call");
    return false;
}

void Tap18Terminal::waitCrTimedOut()
{
    if (script().idAfterCrs == 1)
        prompt();
    else
        silentHangUp("  DP: No logon, hanging up without disconnect");
}

bool Tap18Terminal::scriptedLogon()
{
    switch (script().logon) {
    case CallScript::Logon::Accept:
        return false;
    case CallScript::Logon::NakFirst:
        if (scripted_.logonSeen)
            return false;
        scripted_.logonSeen = true;
        logPet("  DP: Sending NAK to the first logon");
        send(std::string { Nak, Cr });
        line_.session.gLineState = LineState::PASSWD;
        deadline_ = now() + settings.t5Ms;
        return true;
    case CallScript::Logon::Refuse:
        logPet("  DP: Refusing the logon, sending disconnect");
        send(Tap18Disconnect);
        hangUp();
        return true;
    }
    return false;
}

bool Tap18Terminal::holdsFirstBlock(FrameKind kind)
{
    const std::int64_t delay = script().firstReplyDelayMs;
    if (delay <= 0 || line_.blocksTaken() > 0
        || (kind != FrameKind::Block && kind != FrameKind::Unterminated
            && kind != FrameKind::OverlongBlock))
        return false;
    if (!scripted_.heldSince) {
        scripted_.heldSince = now();
        logPet("  DP: Holding the first block's reply " + std::to_string(delay) + " ms");
    }
    return now() - *scripted_.heldSince < delay;
}

bool Tap18Terminal::scriptDisconnects(std::size_t index, const std::string& read,
                                      const tap18::DecodedTap18Block& block)
{
    const int at = script().disconnectAtBlock;
    if (at <= 0 || index + 1 != static_cast<std::size_t>(at))
        return false;
    const Tap18Code code = script().disconnectCode;
    logPet("  DP: Rxd STX pkt:" + read);
    logPet("  DP: Sending " + std::to_string(static_cast<int>(code)) + " and disconnect at block "
           + std::to_string(at));
    record(block.fields, &block, BlockReply::None, ReplyReason::Plan, code);
    send(codeLine(code, settings.maxMessage) + Tap18Disconnect);
    hangUp();
    return true;
}

void Tap18Terminal::answerPageSent()
{
    if (!script().longReply || scripted_.longReplySent) {
        answer(Tap18Code::PageSent, Ack);
        return;
    }
    scripted_.longReplySent = true;
    logPet("  DP: Sending 211 ACK with a long message sequence");
    sendReply(codeLine(Tap18Code::PageSent) + QueuedLine + codeLine(Tap18Code::Welcome)
              + std::string { Ack, Cr });
    deadline_ = now() + t4Ms();
}

int Tap18Terminal::pageLimit() const
{
    return script().maxPages.value_or(settings.maxPages);
}

bool Tap18Terminal::scriptedClosing()
{
    switch (script().afterEot) {
    case CallScript::AfterEot::Goodbye:
        return false;
    case CallScript::AfterEot::Silent:
        logPet("  DP: Saying nothing after EOT");
        scripted_.eotSilent = true;
        scripted_.silentHangUpAt = now() + CallScript::SilentHangUpMs;
        return true;
    case CallScript::AfterEot::LateRefusal:
        logPet("  DP: Sending RS after EOT and disconnect");
        send(std::string { Rs, Cr } + Tap18Disconnect);
        hangUp();
        return true;
    }
    return false;
}

void Tap18Terminal::tickSilent()
{
    LineLink& link = line_.link;
    if (link.InBufferCount() > 0)
        logPet("  DP: Dropped after EOT: " + link.RxData(static_cast<long>(link.InBufferCount())));
    if (now() > scripted_.silentHangUpAt)
        silentHangUp("  DP: Hanging up, silent since EOT");
}

void Tap18Terminal::silentHangUp(std::string_view why)
{
    // The client that hung up first hears nothing more of this call; the terminal waits for the
    // next one.
    if (scripted_.clientGone)
        return;
    logPet(std::string(why));
    hangUp();
}

} // namespace ostrella
