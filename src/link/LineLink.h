// SPDX-License-Identifier: MIT
// The line link: the socket's connection events, the receive accumulator, the send path, the
// case-insensitive text test and the timed receive wait that cuts packets by silence.
#pragma once

#include "engine/Session.h"
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

class LineLink {
public:
    // gRxString never grows beyond this; what a peer sends past it is dropped and reported.
    static constexpr std::size_t RxStringLimit = 64 * 1024;
    static constexpr int ComTimerInterval = 50;
    static constexpr int QuietTicks = 5;

    LineLink(Session& session, SystemLog& log, Socket& socket, Timer& comTimer);

    // --- connection events -------------------------------------------------------------------

    // Opens the listening port on gListenPort (mode 1; any other mode does nothing) and logs
    // "TCP Remote Server: Local Port <p> Local IP <ip > ". False when the port cannot be opened;
    // the socket's error text says why.
    [[nodiscard]] bool OpenListener(int mode);
    // Listens on gListenPort (0: the system chooses, and gListenPort becomes the port taken);
    // false with listenError() set when it cannot.
    [[nodiscard]] bool listen();
    // Logs the "Local Port" line of a listening just opened.
    void logListening() { logSystem(listeningLine("Port")); }
    // Why the last attempt to listen failed.
    const std::string& listenError() const { return listenError_; }

    // A client asks to connect: any earlier connection is closed, the new one accepted, the line
    // "Event: Connect request id = N from <ip>" logged, what the last caller left unread dropped,
    // the line back to plain text and the state set to MODEM.
    void wskMessage_ConnectionRequest(long requestID);

    // The peer closed: "Event: Port Closed", listen again, log the "Local port" line.
    void wskMessage_Close();

    // A socket error: close, "Event: ERROR Port Closed", listen again, log the "Local port" line.
    void wskMessage_Error();

    // The socket's own outgoing connection completed (never expected): "Event: Connected".
    void wskMessage_Connect();

    // Bytes from the peer: stripped to seven bits while gSevenBitActive, appended to gRxString up
    // to RxStringLimit, logged "Event: <ip> Data Pkt Rxd <text>".
    void wskMessage_DataArrival(std::string_view bytes);

    // True while a re-listen failed and should be tried again (see RetryListen).
    bool listenPending() const { return listenPending_; }

    // Tries a failed re-listen again; logs the "Local port" line once it succeeds.
    void RetryListen();

    // Reports, once the accumulator is taking data again, how many bytes an overflow dropped.
    // Called on every engine timer tick.
    void ReportDropped();

    // Stops the receive-wait timer.
    void Form_Unload();

    // --- line I/O ----------------------------------------------------------------------------

    std::size_t InBufferCount() const;

    // Sends `source` (seven-bit encoded while gSevenBitActive) when connected and logs
    // "Event: <ip> Data Pkt Txd ----> <source>". Not connected: nothing sent, nothing logged. A
    // failed write is logged "Event: <ip> Data Pkt Txd FAILED <source>" and the caller goes on.
    void SendData(std::string_view source);

    // The first `count` bytes of gRxString (all of it when count is larger, nothing when negative);
    // those are taken from gRxString, and a text of at most one byte is emptied.
    std::string RxData(long count);

    // The receive-wait result; also makes sure the wait timer runs.
    CompResult GetCompStringTest();

    // Arms the receive wait: up to rtWaitRxTime ms for the first data, then a packet cut by
    // silence into gRxPacket, matched (5) when it contains rtCompareString, else 7.
    void SetAndCompareString(long rtWaitRxTime, std::string rtCompareString);

    // Ends any wait in progress as a time-out would (result 7, packet left as it is).
    void CancelWait();

    // Sets the line state to MODEM for a new call and cancels any pending receive wait, so the
    // client's AT commands reach the modem emulator and no stale result is seen later.
    void EnterModemState();

    std::string GetSYSString(int source) const;
    int GetSYSHeader() const { return mSysIndex_; }
    bool REOPENport(std::string_view ComsPort, std::string_view settings);
    bool ClearInputBuffer();

    // True when CompareStg occurs anywhere in Rxstg, letter case ignored. An empty CompareStg
    // matches anything.
    static bool CompString(std::string_view CompareStg, std::string_view Rxstg);

    // One tick of the wait timer.
    void ComTimer_Timer();

    int captureState() const { return mCaptureState_; }

private:
    void CapturePacket();
    void AddSYSString(std::string text);
    void logSystem(std::string text);
    [[nodiscard]] bool listenAgain();
    std::string listeningLine(std::string_view portWord) const;

    Session& session_;
    SystemLog& log_;
    Socket& socket_;
    Timer& ComTimer_;

    int mCaptureState_ = 0;
    int mTickCount_ = 0;
    long mWaitTicks_ = 0;
    int mQuietTicks_ = QuietTicks;
    std::size_t mLastLength_ = 0;
    CompResult mCompareResult_ = CompResult::Waiting;
    std::string mCompareString_;
    std::array<std::string, 11> mSysStrings_ {};
    int mSysIndex_ = 0;

    bool listenPending_ = false;
    std::string listenError_;
    std::uint64_t droppedBytes_ = 0;
    bool droppedSinceReport_ = false;
};

} // namespace ostrella
