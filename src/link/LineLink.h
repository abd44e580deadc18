// SPDX-License-Identifier: MIT
// The line link: one line's I/O. The receive accumulator, the send path with its seven-bit
// framing, the case-insensitive text test, the timed receive wait that cuts packets by silence,
// and the line's connection events. It tells its user of a new call or a hang-up through
// CallEvents; it never decides what the line means.
#pragma once

#include "log/SystemLog.h"
#include "ports/Ports.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrella {

// Result of the receive wait, as the engine polls it.
enum class CompResult : std::int16_t { Matched = 5, Waiting = 6, NoMatch = 7 };

// The receive wait's state (mCaptureState).
enum class CaptureState : std::int16_t {
    Idle = 0,
    Armed = 1,
    WaitingForData = 2,
    WaitingForQuiet = 4,
    CaptureDue = 5,
};

// What the line's user hears of the call. The link calls these; the engine implements them.
class CallEvents {
public:
    virtual ~CallEvents() = default;
    // A client has been put through on a clean line.
    virtual void NewCall() = 0;
    // The client has gone: it hung up, or the connection failed.
    virtual void HungUp() = 0;
    // Bytes from the client have just arrived (seven-bit stripped where the line is), after they
    // were added to the accumulator.
    virtual void DataArrived(std::string_view /*bytes*/) { }
};

class LineLink {
public:
    // gRxString never grows beyond this; what a peer sends past it is dropped and reported.
    static constexpr std::size_t RxStringLimit = 64 * 1024;
    static constexpr int ComTimerInterval = 50;
    static constexpr int QuietTicks = 5;

    LineLink(SystemLog& log, LogView& gLogSystem, Socket& socket, Timer& comTimer);

    // Where NewCall and HungUp go; nullptr: nowhere.
    void setCallEvents(CallEvents* events) { events_ = events; }
    // What the link's log lines carry after their time stamp ("L3" for a line of a bank); empty
    // by default.
    void setLogSource(std::string source) { logSource_ = std::move(source); }

    // --- connection events -------------------------------------------------------------------

    // A client has been put through on this line with request id `requestID`: the line
    // "Event: Connect request id = N from <ip>" is logged, what the last caller left unread is
    // dropped, the line is plain eight-bit text again, any receive wait is cancelled, and the
    // user hears NewCall.
    void Accepted(long requestID);

    // The peer closed: "Event: Port Closed", the connection is closed, the user hears HungUp.
    void wskMessage_Close();

    // A socket error: the connection is closed, "Event: ERROR Port Closed", HungUp.
    void wskMessage_Error();

    // Bytes from the peer: stripped to seven bits while gSevenBitActive, appended to gRxString up
    // to RxStringLimit, logged "Event: <ip> Data Pkt Rxd <text>".
    void wskMessage_DataArrival(std::string_view bytes);

    // Reports, once the accumulator is taking data again, how many bytes an overflow dropped.
    // Called on every engine timer tick.
    void ReportDropped();

    // Stops the receive-wait timer.
    void Form_Unload();

    // --- line I/O ----------------------------------------------------------------------------

    // Received and not yet consumed; bounded by RxStringLimit.
    const std::string& gRxString() const { return gRxString_; }
    // The packet last captured by the receive wait.
    const std::string& gRxPacket() const { return gRxPacket_; }
    std::size_t InBufferCount() const { return gRxString_.size(); }
    // Empties gRxString; always true.
    bool ClearInputBuffer();
    // Empties gRxPacket.
    void ClearRxPacket() { gRxPacket_.clear(); }

    // The first `count` bytes of gRxString (all of it when count is larger, nothing when negative);
    // those are taken from gRxString, and a text of at most one byte is emptied.
    std::string RxData(long count);

    // Seven-bit even-parity framing of the line: received bytes lose bit 7, sent bytes get parity.
    bool gSevenBitActive() const { return gSevenBitActive_; }
    void setSevenBitActive(bool on) { gSevenBitActive_ = on; }
    // Clears bit 7 of everything received and not yet consumed: for a line switched to seven bits
    // after those bytes came.
    void StripPendingToSevenBits();

    // Sends `source` (seven-bit encoded while gSevenBitActive) when connected and logs
    // "Event: <ip> Data Pkt Txd ----> <source>". Not connected: nothing sent, nothing logged. A
    // failed write is logged "Event: <ip> Data Pkt Txd FAILED <source>" and the caller goes on.
    void SendData(std::string_view source);

    // Logs "Event: <ip> " and `text` to the system log, as the link's own lines are: for what is
    // done to the line beside the bytes it carries (a planned change, a lost carrier).
    void LogLineEvent(std::string_view text);

    // The receive-wait result; also makes sure the wait timer runs.
    CompResult GetCompStringTest();

    // Arms the receive wait: up to rtWaitRxTime ms for the first data, then a packet cut by
    // silence into gRxPacket, matched (5) when it contains rtCompareString, else 7.
    void SetAndCompareString(long rtWaitRxTime, std::string rtCompareString);

    // Ends any wait in progress as a time-out would (result 7, packet left as it is).
    void CancelWait();

    // True when CompareStg occurs anywhere in Rxstg, letter case ignored. An empty CompareStg
    // matches anything.
    static bool CompString(std::string_view CompareStg, std::string_view Rxstg);

    // One tick of the wait timer.
    void ComTimer_Timer();

    CaptureState captureState() const { return mCaptureState_; }

    // --- kept for other callers; nothing in the simulator calls these --------------------------

    // The socket's own outgoing connection completed (never expected): "Event: Connected".
    void wskMessage_Connect();
    // Ignores both arguments; always false.
    bool REOPENport(std::string_view ComsPort, std::string_view settings);
    // The ring of system texts: slot `source` ("" outside 0..10), and the next slot to write.
    std::string GetSYSString(int source) const;
    int GetSYSHeader() const { return mSysIndex_; }

private:
    void CapturePacket();
    void AddSYSString(std::string text);
    void logSystem(std::string text);

    SystemLog& log_;
    std::string logSource_;
    LogView* gLogSystem_;
    Socket& socket_;
    Timer& ComTimer_;
    CallEvents* events_ = nullptr;

    std::string gRxString_;
    std::string gRxPacket_;
    bool gSevenBitActive_ = false;

    CaptureState mCaptureState_ = CaptureState::Idle;
    int mTickCount_ = 0;
    long mWaitTicks_ = 0;
    int mQuietTicks_ = QuietTicks;
    std::size_t mLastLength_ = 0;
    CompResult mCompareResult_ = CompResult::Waiting;
    std::string mCompareString_;
    std::array<std::string, 11> mSysStrings_ {};
    int mSysIndex_ = 0;

    std::uint64_t droppedBytes_ = 0;
    bool droppedSinceReport_ = false;
};

} // namespace ostrella
