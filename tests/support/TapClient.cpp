// SPDX-License-Identifier: MIT
#include "support/TapClient.h"

#include "link/ControlChars.h"

namespace ostrella::test {

namespace {

constexpr std::int64_t T1 = 2000;
constexpr int N2 = 3;
constexpr std::int64_t RedialPauseMs = 3000;

} // namespace

TapClient::TapClient(Rig& rig, ClientFlaws flaws, int pagesPerRun)
    : rig_(rig)
    , flaws_(flaws)
    , pagesPerRun_(pagesPerRun)
{
    after(1000);
}

std::string TapClient::block(const std::string& pager, const std::string& message)
{
    std::string b = std::string { Stx } + pager + "\r" + message + "\r" + std::string { Etx };
    unsigned sum = 0;
    for (char c : b)
        sum += static_cast<unsigned char>(c) & 0x7F;
    sum &= 0xFFF;
    b += static_cast<char>(0x30 + ((sum >> 8) & 0xF));
    b += static_cast<char>(0x30 + ((sum >> 4) & 0xF));
    b += static_cast<char>(0x30 + (sum & 0xF));
    return b + "\r";
}

void TapClient::after(std::int64_t ms)
{
    due_ = rig_.now() + ms;
}

void TapClient::run(std::int64_t ms)
{
    const std::int64_t end = rig_.now() + ms;
    while (rig_.now() < end) {
        rig_.advance(StepMs);
        step();
    }
}

void TapClient::send(const std::string& bytes)
{
    if (connected_)
        rig_.clientSends(bytes);
}

void TapClient::step()
{
    for (char c : rig_.takeSent())
        onSim(static_cast<char>(c & 0x7F));
    if (due_ == 0 || rig_.now() < due_)
        return;
    due_ = 0;
    switch (state_) {
    case State::Idle:
        startRun();
        break;
    case State::Dialling:
        // No result: a key press gives the dial up.
        send("\r");
        break;
    case State::WaitId:
        if (crs_ < flaws_.crs) {
            ++crs_;
            send("\r");
            after(T1);
        } else {
            endRun(false);
        }
        break;
    case State::WaitLogon:
    case State::WaitGoAhead:
        endRun(false);
        break;
    case State::WaitReply:
        if (++tries_ > N2) {
            send(std::string { Eot, Cr });
            state_ = State::WaitGoodbye;
            after(flaws_.goodbyeWaitMs);
        } else {
            sendBlock();
        }
        break;
    case State::WaitGoodbye:
        endRun(pending_.empty());
        break;
    case State::Held:
        // The modem's command state after a lost carrier: dial again for the rest.
        dial();
        break;
    }
}

void TapClient::startRun()
{
    // Pages left over from the last run go first, new ones make up the run's number.
    while (pending_.size() < static_cast<std::size_t>(pagesPerRun_))
        pending_.push_back(block("1234", "page " + std::to_string(++serial_)));
    runPages_.assign(pending_.begin(), pending_.end());
    rig_.connect();
    connected_ = true;
    dials_ = 0;
    dial();
}

void TapClient::dial()
{
    ++dials_;
    line_.clear();
    state_ = State::Dialling;
    send("ATDT" + number_ + "\r");
    after(flaws_.dialWaitMs);
}

void TapClient::hangUp()
{
    if (connected_)
        rig_.peerCloses();
    connected_ = false;
}

void TapClient::endRun(bool delivered)
{
    (void)delivered;
    hangUp();
    state_ = State::Idle;
    if (flaws_.resendAll && !pending_.empty())
        pending_.assign(runPages_.begin(), runPages_.end());
    after(LoopPauseMs);
}

void TapClient::sendBlock()
{
    sawCode_ = false;
    send(pending_.front());
    state_ = State::WaitReply;
    after(flaws_.replyWaitMs);
}

void TapClient::next()
{
    tries_ = 0;
    if (!pending_.empty()) {
        sendBlock();
        return;
    }
    send(std::string { Eot, Cr });
    if (flaws_.hangUpAtEot) {
        endRun(true);
        return;
    }
    state_ = State::WaitGoodbye;
    after(flaws_.goodbyeWaitMs);
}

void TapClient::onSim(char c)
{
    if (state_ == State::Idle)
        return;
    if (esc_) {
        esc_ = false;
        if (c == Eot) {
            onControl(Eot);
            return;
        }
    }
    switch (c) {
    case Ack:
    case Nak:
    case Rs:
        onControl(c);
        return;
    case Esc:
        esc_ = true;
        return;
    case Cr:
    case Lf:
        if (!line_.empty())
            onLine(line_);
        line_.clear();
        return;
    default:
        break;
    }
    if (static_cast<unsigned char>(c) < 0x20) {
        // A control that is no reply (a changed character): nothing to read.
        return;
    }
    line_.push_back(c);
    if (line_.ends_with("ID=") && state_ == State::WaitId) {
        line_.clear();
        send(std::string { Esc } + "PG1\r");
        ++logons_;
        state_ = State::WaitLogon;
        after(10'000);
    }
}

void TapClient::onLine(const std::string& line)
{
    if (line.size() >= 3 && line[0] >= '0' && line[0] <= '9')
        sawCode_ = true;
    if (state_ == State::Dialling) {
        if (line.starts_with("CONNECT")) {
            state_ = State::WaitId;
            crs_ = 1;
            logons_ = 0;
            tries_ = 0;
            send("\r");
            after(T1);
        } else if (line == "BUSY" || line == "NO CARRIER" || line == "NO DIALTONE"
                   || line == "NO ANSWER") {
            state_ = State::Held;
            after(RedialPauseMs);
        }
        return;
    }
    if (line == "NO CARRIER") {
        // The terminal hung up: what is left goes in a new dial.
        if (flaws_.resendAll)
            pending_.assign(runPages_.begin(), runPages_.end());
        if (pending_.empty() || state_ == State::WaitGoodbye) {
            endRun(true);
            return;
        }
        state_ = State::Held;
        after(RedialPauseMs);
        return;
    }
    if (line == "[P" || line == "[p") {
        if (state_ == State::WaitGoAhead)
            next();
    }
}

void TapClient::onControl(char c)
{
    switch (state_) {
    case State::WaitLogon:
        if (c == Ack) {
            state_ = State::WaitGoAhead;
            after(10'000);
        } else if (c == Nak && logons_ < 3) {
            send(std::string { Esc } + "PG1\r");
            ++logons_;
            after(10'000);
        } else if (c == Eot) {
            endRun(false);
        }
        return;
    case State::WaitReply:
        if (c == Ack) {
            pending_.pop_front();
            ++delivered_;
            next();
        } else if (c == Nak) {
            if (flaws_.nakGoesOn) {
                pending_.pop_front();
                next();
            } else if (tries_ >= N2) {
                // The block cannot get through: the call is given up, the page kept for later.
                send(std::string { Eot, Cr });
                state_ = State::WaitGoodbye;
                after(flaws_.goodbyeWaitMs);
            } else {
                ++tries_;
                sendBlock();
            }
        } else if (c == Rs) {
            if (!flaws_.resendRefused)
                pending_.pop_front();
            next();
        } else if (c == Eot) {
            if (flaws_.ignoreDisconnect) {
                sendBlock();
                return;
            }
            if (flaws_.dropRest)
                pending_.clear();
            state_ = State::WaitGoodbye;
            after(500);
        }
        return;
    case State::WaitGoodbye:
        if (c == Eot)
            endRun(true);
        return;
    default:
        if (c == Eot)
            state_ = State::WaitGoodbye;
        return;
    }
}

} // namespace ostrella::test
