// SPDX-License-Identifier: MIT
#include "judge/Finding.h"

#include <algorithm>

namespace ostrella {

std::string_view levelText(FindingLevel level)
{
    switch (level) {
    case FindingLevel::Error:
        return "error";
    case FindingLevel::Warning:
        return "warning";
    case FindingLevel::Note:
        return "note";
    }
    return "error";
}

std::optional<FindingLevel> levelOf(std::string_view text)
{
    for (const FindingLevel level :
         { FindingLevel::Error, FindingLevel::Warning, FindingLevel::Note }) {
        if (levelText(level) == text)
            return level;
    }
    return std::nullopt;
}

const std::vector<JudgeRule>& judgeRules()
{
    using enum FindingLevel;
    static const std::vector<JudgeRule> rules {
        { "logon.before-id", Error, "TAP 1.8 logon",
          "the logon (ESC ...) sent before ID= was received" },
        { "logon.format", Error, "TAP 1.8 logon",
          "a logon line that is not ESC PG1 [password] CR" },
        { "logon.lower-case", Warning, "TAP 1.8 logon", "the logon's service as lower-case pg1" },
        { "logon.cr-retry-fast", Warning, "TAP 1.8 timer t1",
          "a CR repeated less than 1 s after the previous one while waiting for ID=" },
        { "logon.cr-retry-many", Warning, "TAP 1.8 counter n1", "more than 3 CRs before ID=" },
        { "logon.no-cr", Warning, "TAP 1.8 logon", "nothing sent for 3 s after CONNECT" },
        { "block.before-go-ahead", Error, "TAP 1.8 go-ahead",
          "an STX sent before the terminal sent ESC [p CR" },
        { "block.format", Error, "TAP 1.8 blocks",
          "a block that does not parse: no terminator, checksum characters outside 0-?, no CR "
          "after the checksum" },
        { "block.field-cr", Error, "TAP 1.8 blocks",
          "the field before ETX or ETB not ended by CR" },
        { "block.too-long", Error, "TAP 1.8 blocks",
          "over 256 characters from STX to the final CR" },
        { "block.info-too-long", Warning, "TAP 1.8 blocks", "over 250 characters of fields" },
        { "block.checksum", Error, "TAP 1.8 checksum", "not the TAP checksum" },
        { "block.eight-bit", Error, "TAP 1.8 transparency", "a byte above 0x7F in a block" },
        { "line.parity", Warning, "TAP 1.8 field realities",
          "on an 8-bit line the client's bytes carry a parity bit" },
        { "block.control-unescaped", Error, "TAP 1.8 transparency",
          "a control that TAP 1.8 wants as SUB + char raw inside a field" },
        { "block.bad-escape", Error, "TAP 1.8 transparency",
          "SUB followed by a character outside 0x40-0x5F" },
        { "block.no-wait", Error, "TAP 1.8 replies",
          "an STX or EOT sent before the terminal answered the previous block" },
        { "block.nak-ignored", Error, "TAP 1.8 replies",
          "after a NAK, a different block sent and the NAKed one never resent" },
        { "block.nak-limit", Warning, "TAP 1.8 replies",
          "a block resent more than 3 times after NAK" },
        { "block.resend-after-rs", Error, "TAP 1.8 replies",
          "a block refused with RS sent again in the call" },
        { "block.resend-early", Warning, "TAP 1.8 timer t3",
          "a block without a reply resent sooner than t3 (10 s)" },
        { "block.resend-after-ack", Warning, "TAP 1.8 replies",
          "the block just ACKed sent again (a duplicate page)" },
        { "block.gap", Warning, "TAP 1.8 timer t4",
          "the next block or EOT more than t4 (4 s) after the terminal's reply" },
        { "page.duplicate", Warning, "TAP 1.8 field realities",
          "a page ACKed in an earlier call of this run delivered again" },
        { "page.fields", Note, "TAP 1.8 blocks",
          "a transaction of other than two fields (pager ID, message)" },
        { "end.no-eot", Error, "TAP 1.8 end", "the call ends after the logon without EOT CR" },
        { "end.eot-format", Warning, "TAP 1.8 end", "EOT not followed by CR" },
        { "end.hangup-early", Warning, "TAP 1.8 end",
          "the client hangs up before the terminal's closing ESC EOT CR" },
        { "end.after-disconnect", Error, "TAP 1.8 end",
          "blocks or a logon sent after the terminal's ESC EOT CR" },
        { "modem.data-during-dial", Warning, "Hayes dialogue",
          "bytes sent between the dial and its result" },
        { "modem.no-cr", Warning, "Hayes dialogue", "an AT command not ended by CR within 1 s" },
    };
    return rules;
}

const JudgeRule* findRule(std::string_view id)
{
    const auto& rules = judgeRules();
    const auto it
        = std::find_if(rules.begin(), rules.end(), [id](const JudgeRule& r) { return r.id == id; });
    return it == rules.end() ? nullptr : &*it;
}

} // namespace ostrella
