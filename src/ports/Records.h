// SPDX-License-Identifier: MIT
// What the terminal received, as records: one per page (each block of a call) and one per call
// (each connection). Texts are the bytes as received (seven-bit stripped where the line was).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrella {

struct PageRecord {
    // 1, 2, ... since start.
    long seq = 0;
    // The call (connection) it came in.
    long call = 0;
    // The line of a bank it came in on (1, 2, ...); 0 without a bank.
    int line = 0;
    // Wall-clock ms since the Unix epoch.
    std::int64_t time = 0;
    std::string caller;
    // Field 1.
    std::string pager;
    // Field 2, and fields 3..N joined to it with CR LF.
    std::string message;
    std::vector<std::string> fields;
    // The three checksum characters the client sent (fewer when the block is cut short), and the
    // three computed over STX..ETX ("" when the packet is no block).
    std::string checksumSent;
    std::string checksumComputed;
    // "ACK", "NAK", "RS" or "none".
    std::string reply;
    // "good", "bad-checksum", "not-a-block", "box" or "plan"; from the tap18 terminal also
    // "format-error", "pager-rule", "too-long" or "page-limit".
    std::string reason;
    // The tap18 terminal's code line sent with the reply ("211"); "" for none and for the
    // classic terminal.
    std::string code;
    // The rules of the findings made on the blocks of this page (since the call's last page),
    // in the order made; empty when the client kept every rule.
    std::vector<std::string> findings;
    // The device of a line on a pseudo-terminal or serial port ("ttyUSB0"); "" for a TCP line.
    std::string lineName;
};

struct DialRecord {
    std::string number;
    // "CONNECT", "BUSY", "NO ANSWER", "NO CARRIER" or "NO DIALTONE".
    std::string outcome;
};

// Findings by level.
struct FindingCounts {
    long error = 0;
    long warning = 0;
    long note = 0;
};

// One rule of TAP 1.8 (or of the modem dialogue) the client broke, as the judge saw it.
struct FindingRecord {
    // 1, 2, ... since start.
    long seq = 0;
    // The call it was made in (0: none open, nothing is recorded), and its line of a bank.
    long call = 0;
    int line = 0;
    // Wall-clock ms since the Unix epoch of what the finding is about.
    std::int64_t time = 0;
    // "block.checksum"; "error", "warning" or "note"; "TAP 1.8 §5".
    std::string rule;
    std::string level;
    std::string ref;
    // What the client did and what TAP asks, for people.
    std::string text;
    // The bytes concerned, as received.
    std::string evidence;
    // The device of a line on a pseudo-terminal or serial port; "" for a TCP line.
    std::string lineName;
};

struct CallRecord {
    long id = 0;
    // The line of a bank it was on (1, 2, ...); 0 without a bank.
    int line = 0;
    std::string caller;
    // Wall-clock ms since the Unix epoch.
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::vector<DialRecord> dials;
    bool sevenBit = false;
    bool logon = false;
    // Pages by reply.
    int ack = 0;
    int nak = 0;
    int rs = 0;
    int none = 0;
    // "eot", "carrier-lost", "hangup", "takeover" or "shutdown".
    std::string ended;
    // The terminal profile in force for the call: "classic" or "tap18".
    std::string terminal = "classic";
    // The modem profile the call met: "classic" or "hayes".
    std::string modem = "classic";
    // The findings made in the call (rules left out by the operator not counted).
    FindingCounts findings;
    // Bytes of the call's transcript let go because it reached its bound.
    std::int64_t transcriptDropped = 0;
    // Characters the line changed on their way, from the client and to it (noise and the
    // plan's changes); counted only on a line that changes characters.
    bool noiseCounted = false;
    long noiseIn = 0;
    long noiseOut = 0;
    // The device of a line on a pseudo-terminal or serial port; "" for a TCP line.
    std::string lineName;
};

// What was said each way on one call, with its times, for pictures of the call: the judge's
// transcript and findings, timed from the connection.
struct TimelinePiece {
    // Ms from the connection.
    std::int64_t atMs = 0;
    // From the client, or to it.
    bool fromClient = true;
    std::string bytes;
    // A character the line changed on its way: `bytes` holds it before and after.
    bool changed = false;
};

struct TimelineFinding {
    std::int64_t atMs = 0;
    std::string rule;
    std::string level;
    std::string text;
};

struct CallTimeline {
    // The call record's id, line and device.
    long call = 0;
    int line = 0;
    std::string lineName;
    // Wall-clock ms since the Unix epoch of the connection, and its length in ms.
    std::int64_t start = 0;
    std::int64_t lengthMs = 0;
    // The profiles the call met ("hayes", "tap18").
    std::string modem;
    std::string terminal;
    std::vector<TimelinePiece> pieces;
    std::vector<TimelineFinding> findings;
    // Bytes of the transcript let go at its bound (the pieces stop there).
    std::int64_t dropped = 0;
    // The call is still on: this is its timeline so far.
    bool open = false;
};

// Where completed records go: console lines, a JSON Lines file, the window's tabs, the API.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    virtual void pageRecorded(const PageRecord& page) = 0;
    virtual void callRecorded(const CallRecord& call) = 0;
    // Made as the call goes, before the record of the page or call it concerns.
    virtual void findingRecorded(const FindingRecord& /*finding*/) { }
    // A call's timeline, handed over just before its call record, to the sinks that want one.
    virtual bool wantsTimelines() const { return false; }
    virtual void timelineRecorded(const CallTimeline& /*timeline*/) { }
};

} // namespace ostrella
