// SPDX-License-Identifier: MIT
#include "suite/Catalogue.h"

#include "suite/Judgements.h"

#include <algorithm>

namespace ostrella {

namespace {

using Script = CallScript;
namespace j = judgements;

CaseSetup scripted(Script script)
{
    CaseSetup setup;
    setup.script = script;
    return setup;
}

CaseSetup planned(std::string dials, std::string blocks)
{
    CaseSetup setup;
    setup.dials = std::move(dials);
    setup.blocks = std::move(blocks);
    return setup;
}

std::vector<CaseDefinition> buildCases()
{
    Script silentDial;
    silentDial.firstDialSilent = true;
    Script lateId;
    lateId.idAfterCrs = 3;
    Script neverId;
    neverId.idAfterCrs = 0;
    Script logonNak;
    logonNak.logon = Script::Logon::NakFirst;
    Script refused;
    refused.logon = Script::Logon::Refuse;
    Script unasked;
    unasked.idUnasked = true;
    Script slowAck;
    slowAck.firstReplyDelayMs = 8000;
    Script longReply;
    longReply.longReply = true;
    Script timeOut;
    timeOut.disconnectAtBlock = 2;
    timeOut.disconnectCode = Tap18Code::TimeOut;
    Script checksum;
    checksum.disconnectAtBlock = 4;
    checksum.disconnectCode = Tap18Code::ChecksumErrors;
    Script onePage;
    onePage.maxPages = 1;
    Script silentEnd;
    silentEnd.afterEot = Script::AfterEot::Silent;
    Script lateRefusal;
    lateRefusal.afterEot = Script::AfterEot::LateRefusal;
    CaseSetup classic;
    classic.terminal = TerminalProfile::Classic;
    CaseSetup slowLine;
    slowLine.bps = 300;
    CaseSetup checksumSetup = scripted(checksum);
    checksumSetup.blocks = "nak";
    // The terminal waits for the resend a client makes t3 after a reply it could not read.
    Script patient;
    patient.t4Ms = 15'000;
    CaseSetup garbled = scripted(patient);
    garbled.blocks = "garble,ack";

    return {
        { "1.1",
          "Standard call",
          "a standard TAP 1.8 call (hayes modem, tap18 terminal)",
          "deliver, EOT, wait for ESC EOT CR; no error finding",
          "",
          {},
          false,
          j::standardCall },
        { "1.2", "Classic terminal",
          "the classic terminal (no 110 line, bare ACK, silent after EOT)",
          "deliver and end the call within 30 s of EOT (info: how)", "2 s beyond 30 s", classic,
          true, j::classicTerminal },
        { "2.1", "Busy", "the first dial gets BUSY after 5 s", "dial again and deliver",
          "120 s for the redial (--case-wait)", planned("busy,connect", ""), false,
          j::redialAfterResult },
        { "2.2", "No carrier", "the first dial gets NO CARRIER after 20 s",
          "dial again and deliver", "120 s for the redial (--case-wait)",
          planned("no-carrier,connect", ""), false, j::redialAfterResult },
        { "2.3", "No dial tone", "the first dial gets NO DIALTONE after 8 s",
          "dial again and deliver", "120 s for the redial (--case-wait)",
          planned("no-dialtone,connect", ""), false, j::redialAfterResult },
        { "2.4", "Dial never answered", "the first dial is never answered",
          "give up the dial itself (a character, ATH or a hang-up) within 90 s and dial again "
          "(info: how long it waited)",
          "2 s beyond 90 s", scripted(silentDial), false, j::silentDial },
        { "3.1", "Late ID=", "ID= only after the client's third CR",
          "keep sending CR (every t1) and log on", "60 s for the third CR", scripted(lateId), false,
          j::lateId },
        { "3.2", "No ID=", "never ID=", "stop after n1 CRs (non-strict: up to 10) and hang up",
          "the terminal hangs up 60 s after CONNECT", scripted(neverId), false, j::neverId },
        { "3.3", "Logon NAK", "the first logon gets NAK", "log on again and deliver", "",
          scripted(logonNak), false, j::logonNak },
        { "3.4", "Logon refused", "the logon gets ESC EOT CR (refused)",
          "send no block, hang up (info: whether it calls again)", "30 s for a new call",
          scripted(refused), false, j::logonRefused },
        { "3.5", "ID= unasked", "ID= unasked right after CONNECT",
          "log on without waiting for its own CR to be answered", "", scripted(unasked), false,
          j::unaskedId },
        { "4.1", "Block NAK", "the first block gets 514 NAK", "resend the same block; delivered",
          "", planned("", "nak,ack"), false, j::blockNak },
        { "4.2", "Every block NAK", "every block gets NAK",
          "at most 3 resends of a block (non-strict: 5), then end the call with EOT or a hang-up",
          "", planned("", "nak"), false, j::everyNak },
        { "4.3", "Page refused", "the first page gets 511 RS",
          "not resend it; go on to the next page or EOT", "", planned("", "rej,ack"), false,
          j::pageRefused },
        { "4.4", "No reply", "no reply to the first block",
          "resend after t3 (10 s, not sooner), delivered (non-strict: no resend but a clean end)",
          "a resend from 9.5 s on", planned("", "none,ack"), false, j::noReply },
        { "4.5", "Slow ACK", "the ACK comes 8 s after the block", "not resend before it", "",
          scripted(slowAck), false, j::slowAck },
        { "4.6", "Long reply",
          "the reply carries a long message sequence (a 211 line, a continuation line, a 114 "
          "line) before ACK",
          "read to the control: no resend", "", scripted(longReply), false, j::longReply },
        { "4.7", "Time-out disconnect", "the second block is answered with 501 and ESC EOT CR",
          "hang up; deliver the second page in a later call without resending the first",
          "120 s for the later call (--case-wait)", scripted(timeOut), false,
          j::timeOutDisconnect },
        { "4.8", "Checksum disconnect", "NAK three times, then 503 and ESC EOT CR",
          "hang up; no more blocks in that call", "", checksumSetup, false, j::checksumDisconnect },
        { "4.9", "Page limit", "112 and ESC EOT CR after the first page",
          "deliver the rest in a later call", "120 s for the later call (--case-wait)",
          scripted(onePage), false, j::pageLimit },
        { "5.1",
          "Goodbye",
          "115 and ESC EOT CR after EOT, then the hang-up",
          "end cleanly",
          "2 s beyond 30 s",
          {},
          false,
          j::goodbye },
        { "5.2", "Silence after EOT", "silence after EOT",
          "hang up within 30 s; not deliver the page again later",
          "2 s beyond 30 s; 30 s for a new call", scripted(silentEnd), false, j::silentAfterEot },
        { "5.3", "Late refusal", "RS CR after EOT (a late refusal), then ESC EOT CR",
          "info: whether the page is delivered again later", "30 s for a new call",
          scripted(lateRefusal), false, j::lateRefusal },
        { "6.1", "Slow line", "every reply at 300 bit/s",
          "deliver with no resend before each reply has arrived", "", slowLine, true, j::slowLine },
        { "6.2", "Garbled ACK", "the first ACK arrives garbled (its control changed by line noise)",
          "resend after t3 and deliver (a duplicate here is right)", "a resend from 9.5 s on",
          garbled, false, j::garbledAck },
        { "6.3", "Corrupted block",
          "the client's first block arrives with one character changed (the terminal NAKs it)",
          "resend it; delivered", "", planned("", "corrupt,ack"), false, j::corruptBlock },
        { "6.4", "Carrier lost",
          "carrier lost (NO CARRIER, the line hung up) right after the first block's ACK",
          "dial again and deliver the rest", "60 s for the redial", planned("", "drop,ack"), false,
          j::carrierLost },
    };
}

// The id's segments: "4.10" -> {"4", "10"}.
std::vector<std::string_view> segments(std::string_view id)
{
    std::vector<std::string_view> out;
    std::size_t from = 0;
    while (from <= id.size()) {
        const std::size_t dot = std::min(id.find('.', from), id.size());
        out.push_back(id.substr(from, dot - from));
        from = dot + 1;
    }
    return out;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

template<typename Each> void forEachItem(std::string_view filter, Each each)
{
    std::size_t from = 0;
    while (from <= filter.size()) {
        const std::size_t comma = std::min(filter.find(',', from), filter.size());
        const std::string_view item = trimmed(filter.substr(from, comma - from));
        if (!item.empty())
            each(item);
        from = comma + 1;
    }
}

bool itemMatches(std::string_view id, std::string_view item)
{
    const auto want = segments(item);
    const auto have = segments(id);
    return want.size() <= have.size() && std::equal(want.begin(), want.end(), have.begin());
}

} // namespace

std::vector<const BlockRead*> CaseView::blocks() const
{
    std::vector<const BlockRead*> all;
    for (const CaseCall* call : calls) {
        for (const BlockRead* block : call->reading.blocks())
            all.push_back(block);
    }
    return all;
}

const std::vector<CaseDefinition>& suiteCases()
{
    static const std::vector<CaseDefinition> cases = buildCases();
    return cases;
}

const CaseDefinition* findCase(std::string_view id)
{
    const auto& cases = suiteCases();
    const auto it = std::find_if(cases.begin(), cases.end(),
                                 [id](const CaseDefinition& c) { return c.id == id; });
    return it == cases.end() ? nullptr : &*it;
}

bool caseMatches(std::string_view id, std::string_view filter)
{
    bool matched = false;
    forEachItem(filter, [&](std::string_view item) { matched = matched || itemMatches(id, item); });
    return matched;
}

std::string checkCaseFilter(std::string_view filter, std::string_view option)
{
    std::string error;
    forEachItem(filter, [&](std::string_view item) {
        const bool any
            = std::any_of(suiteCases().begin(), suiteCases().end(),
                          [item](const CaseDefinition& c) { return itemMatches(c.id, item); });
        if (!any && error.empty())
            error = std::string(option) + ": no case " + std::string(item);
    });
    return error;
}

std::optional<std::string> caseOfNumber(std::string_view number)
{
    if (number.size() != 5 || number.front() != '#'
        || number.find_first_not_of("0123456789", 1) != std::string_view::npos)
        return std::nullopt;
    const int group = std::stoi(std::string(number.substr(1, 2)));
    const int item = std::stoi(std::string(number.substr(3, 2)));
    return std::to_string(group) + "." + std::to_string(item);
}

} // namespace ostrella
