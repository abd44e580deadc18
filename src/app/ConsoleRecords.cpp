// SPDX-License-Identifier: MIT
#include "app/ConsoleRecords.h"

#include <ctime>

namespace ostrella {

namespace {

// "hh:mm:ss : " in local time, as the log lines are stamped, and the blank after the source.
std::string stamp(std::int64_t epochMs)
{
    const std::time_t seconds = static_cast<std::time_t>(epochMs / 1000);
    std::tm local {};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d :  ", local.tm_hour, local.tm_min,
                  local.tm_sec);
    return text;
}

// What follows the stamp's " : ": a bank's line number ("L3"), as on the log lines, then a blank.
std::string lineTag(int line, const std::string& name)
{
    if (!name.empty())
        return name + " ";
    return line > 0 ? "L" + std::to_string(line) + " " : " ";
}

// The profiles a call met, when they are not the classic ones: " modem hayes terminal tap18".
std::string profiles(const CallRecord& call)
{
    std::string out;
    if (call.modem != "classic")
        out += " modem " + call.modem;
    if (call.terminal != "classic")
        out += " terminal " + call.terminal;
    return out;
}

} // namespace

std::string ConsoleRecords::pageText(const PageRecord& page)
{
    // The tap18 terminal's code line goes with its reply: "ACK 211 (good)".
    return "#" + std::to_string(page.seq) + " call " + std::to_string(page.call) + " from <"
        + page.caller + "> pager <" + page.pager + "> " + page.reply
        + (page.code.empty() ? "" : " " + page.code) + " (" + page.reason + ") message <"
        + page.message + ">";
}

std::string ConsoleRecords::callText(const CallRecord& call)
{
    std::string dials;
    for (const DialRecord& d : call.dials)
        dials += (dials.empty() ? "" : ", ") + d.number + " " + d.outcome;
    return "call " + std::to_string(call.id) + " from <" + call.caller + "> dials <" + dials
        + "> logon " + (call.logon ? "yes" : "no") + " seven-bit " + (call.sevenBit ? "yes" : "no")
        + " pages ACK " + std::to_string(call.ack) + " NAK " + std::to_string(call.nak) + " RS "
        + std::to_string(call.rs) + " none " + std::to_string(call.none) + " ended " + call.ended
        + profiles(call);
}

std::string ConsoleRecords::findingText(const FindingRecord& finding)
{
    return "call " + std::to_string(finding.call) + " " + finding.level + " " + finding.rule + ": "
        + finding.text + (finding.evidence.empty() ? "" : " evidence <" + finding.evidence + ">");
}

void ConsoleRecords::pageRecorded(const PageRecord& page)
{
    out_.writeLogLine("PAGE ",
                      stamp(page.time).substr(0, 11) + lineTag(page.line, page.lineName)
                          + pageText(page));
}

void ConsoleRecords::callRecorded(const CallRecord& call)
{
    out_.writeLogLine("CALL ",
                      stamp(call.end).substr(0, 11) + lineTag(call.line, call.lineName)
                          + callText(call));
}

void ConsoleRecords::findingRecorded(const FindingRecord& finding)
{
    out_.writeLogLine("FIND ",
                      stamp(finding.time).substr(0, 11) + lineTag(finding.line, finding.lineName)
                          + findingText(finding));
}

} // namespace ostrella
