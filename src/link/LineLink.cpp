// SPDX-License-Identifier: MIT
#include "link/LineLink.h"

#include "link/ControlChars.h"
#include "link/SevenBit.h"

#include <algorithm>
#include <cmath>

namespace ostrella {

LineLink::LineLink(SystemLog& log, LogView& gLogSystem, Socket& socket, Timer& comTimer)
    : log_(log)
    , gLogSystem_(&gLogSystem)
    , socket_(socket)
    , ComTimer_(comTimer)
{
}

void LineLink::logSystem(std::string text)
{
    log_.LogEvent(gLogSystem_, logSource_, std::move(text));
}

void LineLink::Accepted(long requestID)
{
    logSystem("Event: Connect request id = " + std::to_string(requestID) + " from <"
              + socket_.remoteHostIp() + ">");
    // A new call starts on a clean line: what the last caller sent and nobody read is not
    // answered to this one, the line talks plain eight-bit text until a dial says more, and no
    // receive wait of the last call swallows the new caller's first commands.
    gRxString_.clear();
    gRxPacket_.clear();
    gSevenBitActive_ = false;
    CancelWait();
    if (events_ != nullptr)
        events_->NewCall();
}

void LineLink::wskMessage_Close()
{
    logSystem("Event: Port Closed");
    if (socket_.state() != SocketState::Closed)
        socket_.close();
    if (events_ != nullptr)
        events_->HungUp();
}

void LineLink::wskMessage_Error()
{
    socket_.close();
    logSystem("Event: ERROR Port Closed");
    if (events_ != nullptr)
        events_->HungUp();
}

void LineLink::wskMessage_Connect()
{
    logSystem("Event: Connected");
}

void LineLink::wskMessage_DataArrival(std::string_view bytes)
{
    const std::string text = gSevenBitActive_ ? SevenBitStrip(bytes) : std::string(bytes);
    const std::size_t room = RxStringLimit - std::min(RxStringLimit, gRxString_.size());
    const std::size_t kept = std::min(room, text.size());
    gRxString_.append(text, 0, kept);
    if (kept < text.size()) {
        droppedBytes_ += text.size() - kept;
        droppedSinceReport_ = true;
    }
    logSystem("Event: <" + socket_.remoteHostIp() + "> Data Pkt Rxd <" + text + ">");
    if (events_ != nullptr)
        events_->DataArrived(text);
}

void LineLink::StripPendingToSevenBits()
{
    gRxString_ = SevenBitStrip(gRxString_);
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

void LineLink::SendData(std::string_view source)
{
    if (socket_.state() != SocketState::Connected)
        return;
    const bool sent = socket_.send(gSevenBitActive_ ? SevenBitEncode(source) : std::string(source));
    logSystem("Event: <" + socket_.remoteHostIp() + "> Data Pkt Txd "
              + (sent ? "----> <" : "FAILED <") + std::string(source) + ">");
}

void LineLink::LogLineEvent(std::string_view text)
{
    logSystem("Event: <" + socket_.remoteHostIp() + "> " + std::string(text));
}

std::string LineLink::RxData(long count)
{
    if (count < 0)
        return std::string();
    std::string& rx = gRxString_;
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
    mCaptureState_ = CaptureState::Armed;
    mCompareResult_ = CompResult::Waiting;
}

void LineLink::CancelWait()
{
    mCaptureState_ = CaptureState::Idle;
    mTickCount_ = 0;
    mCompareResult_ = CompResult::NoMatch;
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
    gRxString_.clear();
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
    if (mCaptureState_ != CaptureState::Idle)
        CapturePacket();
}

void LineLink::CapturePacket()
{
    switch (mCaptureState_) {
    case CaptureState::Armed:
        mCaptureState_ = CaptureState::WaitingForData;
        mTickCount_ = 0;
        mCompareResult_ = CompResult::Waiting;
        mQuietTicks_ = QuietTicks;
        break;
    case CaptureState::WaitingForData:
        if (mTickCount_ > mWaitTicks_) {
            gRxPacket_.clear();
            mCaptureState_ = CaptureState::Idle;
            mTickCount_ = 0;
            mCompareResult_ = CompResult::NoMatch;
        } else {
            ++mTickCount_;
            mLastLength_ = gRxString_.size();
            if (mLastLength_ > 0) {
                mCaptureState_ = CaptureState::WaitingForQuiet;
                mTickCount_ = 0;
            }
            mCompareResult_ = CompResult::Waiting;
        }
        break;
    case CaptureState::WaitingForQuiet:
        if (mTickCount_ > mQuietTicks_) {
            mTickCount_ = 0;
            mCaptureState_ = CaptureState::CaptureDue;
        } else {
            ++mTickCount_;
            if (gRxString_.size() > mLastLength_) {
                mLastLength_ = gRxString_.size();
                mTickCount_ = 0;
            }
        }
        break;
    case CaptureState::CaptureDue:
        gRxPacket_ = gRxString_;
        gRxString_.clear();
        mCompareResult_
            = CompString(mCompareString_, gRxPacket_) ? CompResult::Matched : CompResult::NoMatch;
        ComTimer_.setEnabled(false);
        mCaptureState_ = CaptureState::Idle;
        break;
    case CaptureState::Idle:
        break;
    }
}

} // namespace ostrella
