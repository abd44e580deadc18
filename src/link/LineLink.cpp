// SPDX-License-Identifier: MIT
#include "link/LineLink.h"

#include "engine/SevenBit.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace ostrella {

namespace {

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The port as a number 0..65535 (0: the system chooses), or -1 when the text is not one.
int portNumber(std::string_view text)
{
    int port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535)
        return -1;
    return port;
}

} // namespace

LineLink::LineLink(Session& session, SystemLog& log, Socket& socket, Timer& comTimer)
    : session_(session)
    , log_(log)
    , socket_(socket)
    , ComTimer_(comTimer)
{
}

void LineLink::logSystem(std::string text)
{
    log_.LogEvent(session_.gLogSystem, std::string(), std::move(text));
}

std::string LineLink::listeningLine(std::string_view portWord) const
{
    return "TCP Remote Server: Local " + std::string(portWord) + " <"
        + std::to_string(socket_.localPort()) + "> Local IP <" + socket_.localIp() + " > ";
}

bool LineLink::listen()
{
    const int port = portNumber(session_.gListenPort);
    if (port < 0) {
        listenError_ = "not a port number from 1 to 65535";
        return false;
    }
    if (!socket_.listen(port)) {
        listenError_ = socket_.errorString();
        return false;
    }
    listenError_.clear();
    // Port 0 let the system choose; from now on the line is on the port it took.
    if (port == 0)
        session_.gListenPort = std::to_string(socket_.localPort());
    return true;
}

bool LineLink::OpenListener(int mode)
{
    if (mode != 1)
        return true;
    if (!listen())
        return false;
    logListening();
    return true;
}

bool LineLink::listenAgain()
{
    if (listen()) {
        listenPending_ = false;
        logSystem(listeningLine("port"));
        return true;
    }
    if (!listenPending_) {
        logSystem("Event: ERROR Listen failed on port <" + session_.gListenPort + "> "
                  + listenError_ + ", retrying");
    }
    listenPending_ = true;
    return false;
}

void LineLink::RetryListen()
{
    if (listenPending_)
        (void)listenAgain();
}

void LineLink::wskMessage_ConnectionRequest(long requestID)
{
    if (socket_.state() != SocketState::Closed)
        socket_.close();
    (void)socket_.accept(requestID);
    logSystem("Event: Connect request id = " + std::to_string(requestID) + " from <"
              + socket_.remoteHostIp() + ">");
    // A new call starts on a clean line: what the last caller sent and the engine never read is
    // not answered to this one, and the line talks plain eight-bit text until a dial says more.
    session_.gRxString.clear();
    session_.gRxPacket.clear();
    session_.gSevenBitActive = false;
    session_.gSevenBitDialled = false;
    EnterModemState();
}

void LineLink::wskMessage_Close()
{
    logSystem("Event: Port Closed");
    if (socket_.state() != SocketState::Closed)
        socket_.close();
    (void)listenAgain();
}

void LineLink::wskMessage_Error()
{
    socket_.close();
    logSystem("Event: ERROR Port Closed");
    (void)listenAgain();
}

void LineLink::wskMessage_Connect()
{
    logSystem("Event: Connected");
}

void LineLink::wskMessage_DataArrival(std::string_view bytes)
{
    const std::string text = session_.gSevenBitActive ? SevenBitStrip(bytes) : std::string(bytes);
    const std::size_t room = RxStringLimit - std::min(RxStringLimit, session_.gRxString.size());
    const std::size_t kept = std::min(room, text.size());
    session_.gRxString.append(text, 0, kept);
    if (kept < text.size()) {
        droppedBytes_ += text.size() - kept;
        droppedSinceReport_ = true;
    }
    logSystem("Event: <" + socket_.remoteHostIp() + "> Data Pkt Rxd <" + text + ">");
}

void LineLink::ReportDropped()
{
    if (droppedBytes_ > 0 && !droppedSinceReport_) {
        logSystem("Event: Receive buffer full (" + std::to_string(RxStringLimit) + " bytes), "
                  + std::to_string(droppedBytes_) + " bytes dropped");
        droppedBytes_ = 0;
    }
    droppedSinceReport_ = false;
}

void LineLink::Form_Unload()
{
    ComTimer_.setEnabled(false);
}

std::size_t LineLink::InBufferCount() const
{
    return session_.gRxString.size();
}

void LineLink::SendData(std::string_view source)
{
    if (socket_.state() != SocketState::Connected)
        return;
    const bool sent
        = socket_.send(session_.gSevenBitActive ? SevenBitEncode(source) : std::string(source));
    logSystem("Event: <" + socket_.remoteHostIp() + "> Data Pkt Txd "
              + (sent ? "----> <" : "FAILED <") + std::string(source) + ">");
}

std::string LineLink::RxData(long count)
{
    if (count < 0)
        return std::string();
    std::string& rx = session_.gRxString;
    const std::size_t n = std::min(static_cast<std::size_t>(count), rx.size());
    std::string result = rx.substr(0, n);
    if (rx.size() <= 1)
        rx.clear();
    else
        rx.erase(0, n);
    return result;
}

CompResult LineLink::GetCompStringTest()
{
    const CompResult result = mCompareResult_;
    ComTimer_.setEnabled(true);
    return result;
}

void LineLink::SetAndCompareString(long rtWaitRxTime, std::string rtCompareString)
{
    // Whole ticks, halves rounded to the even neighbour (the default rounding mode).
    mWaitTicks_
        = static_cast<long>(std::nearbyint(static_cast<double>(rtWaitRxTime) / ComTimerInterval));
    ComTimer_.setEnabled(true);
    mCompareString_ = std::move(rtCompareString);
    mCaptureState_ = 1;
    mCompareResult_ = CompResult::Waiting;
}

void LineLink::CancelWait()
{
    mCaptureState_ = 0;
    mTickCount_ = 0;
    mCompareResult_ = CompResult::NoMatch;
}

void LineLink::EnterModemState()
{
    session_.gLineState = LineState::MODEM;
    CancelWait();
}

std::string LineLink::GetSYSString(int source) const
{
    if (source < 0 || source >= static_cast<int>(mSysStrings_.size()))
        return std::string();
    return mSysStrings_[static_cast<std::size_t>(source)];
}

void LineLink::AddSYSString(std::string text)
{
    if (mSysIndex_ == static_cast<int>(mSysStrings_.size()))
        mSysIndex_ = 0;
    mSysStrings_[static_cast<std::size_t>(mSysIndex_)] = std::move(text);
    ++mSysIndex_;
}

bool LineLink::REOPENport(std::string_view, std::string_view)
{
    return false;
}

bool LineLink::ClearInputBuffer()
{
    session_.gRxString.clear();
    return true;
}

bool LineLink::CompString(std::string_view CompareStg, std::string_view Rxstg)
{
    if (CompareStg.size() > Rxstg.size())
        return false;
    const auto it = std::search(Rxstg.begin(), Rxstg.end(), CompareStg.begin(), CompareStg.end(),
                                [](char a, char b) { return upper(a) == upper(b); });
    return it != Rxstg.end() || CompareStg.empty();
}

void LineLink::ComTimer_Timer()
{
    ComTimer_.setEnabled(false);
    ComTimer_.setInterval(ComTimerInterval);
    ComTimer_.setEnabled(true);
    if (mCaptureState_ > 0)
        CapturePacket();
}

void LineLink::CapturePacket()
{
    switch (mCaptureState_) {
    case 1:
        mCaptureState_ = 2;
        mTickCount_ = 0;
        mCompareResult_ = CompResult::Waiting;
        mQuietTicks_ = QuietTicks;
        break;
    case 2:
        if (mTickCount_ > mWaitTicks_) {
            session_.gRxPacket.clear();
            mCaptureState_ = 0;
            mTickCount_ = 0;
            mCompareResult_ = CompResult::NoMatch;
        } else {
            ++mTickCount_;
            mLastLength_ = session_.gRxString.size();
            if (mLastLength_ > 0) {
                mCaptureState_ = 4;
                mTickCount_ = 0;
            }
            mCompareResult_ = CompResult::Waiting;
        }
        break;
    case 4:
        if (mTickCount_ > mQuietTicks_) {
            mTickCount_ = 0;
            mCaptureState_ = 5;
        } else {
            ++mTickCount_;
            if (session_.gRxString.size() > mLastLength_) {
                mLastLength_ = session_.gRxString.size();
                mTickCount_ = 0;
            }
        }
        break;
    case 5:
        session_.gRxPacket = session_.gRxString;
        session_.gRxString.clear();
        mCompareResult_ = CompString(mCompareString_, session_.gRxPacket) ? CompResult::Matched
                                                                          : CompResult::NoMatch;
        ComTimer_.setEnabled(false);
        mCaptureState_ = 0;
        break;
    default:
        mCaptureState_ = 0;
        break;
    }
}

} // namespace ostrella
