// SPDX-License-Identifier: MIT
#include "suite/CallCourse.h"

#include "link/ControlChars.h"
#include "suite/ModemWords.h"

#include <algorithm>
#include <string>

namespace ostrella {

namespace {

// Longer lines are only ever read for their start.
constexpr std::size_t MaxLine = 80;

using modemwords::isDialCommand;

bool isConnect(std::string_view line)
{
    return modemwords::resultWord(line) == "CONNECT";
}

// A result that ends a dial: CONNECT or a reason it did not connect (OK and RING do not).
bool isDialResult(std::string_view line)
{
    const std::string word = modemwords::resultWord(line);
    return !word.empty() && word != "OK" && word != "RING";
}

class CourseReader {
public:
    explicit CourseReader(const std::vector<TimelinePiece>& pieces)
        : pieces_(pieces)
    {
    }

    CallCourse read()
    {
        for (std::size_t i = 0; i < pieces_.size(); ++i) {
            const TimelinePiece& piece = pieces_[i];
            if (piece.changed)
                continue;
            // The terminal's first bytes after a block end its wait, unless the carrier is
            // lost instead.
            if (!piece.fromClient && online_ && blockEnd_
                && piece.bytes.find("NO CARRIER") == std::string::npos) {
                wait("t3", *blockEnd_, i);
                blockEnd_.reset();
            }
            for (const char c : piece.bytes) {
                if (piece.fromClient)
                    clientByte(i, c);
                else
                    simulatorByte(i, c);
            }
        }
        return std::move(course_);
    }

private:
    enum class ClientAt { Outside, Logon, Block, Checksum };

    void wait(std::string_view name, std::size_t from, std::size_t to)
    {
        // Times before the connection count as 0, so that the difference cannot overflow.
        const std::int64_t start = std::max<std::int64_t>(0, pieces_[from].atMs);
        const std::int64_t end = std::max(start, pieces_[to].atMs);
        course_.waits.push_back(CallWait { name, from, to, end - start });
    }

    void clientByte(std::size_t i, char c)
    {
        if (!online_) {
            if (c == Cr) {
                if (isDialCommand(clientLine_))
                    dial_ = i;
                clientLine_.clear();
            } else if (c != Lf && clientLine_.size() < MaxLine) {
                clientLine_ += c;
            }
            return;
        }
        switch (client_) {
        case ClientAt::Outside:
            if (c == Cr && !idSeen_ && !logonSeen_) {
                if (lastCr_ && *lastCr_ != i)
                    wait("t1", *lastCr_, i);
                lastCr_ = i;
            } else if (c == Esc) {
                if (id_)
                    wait("t5", *id_, i);
                id_.reset();
                reply_.reset();
                logonSeen_ = true;
                client_ = ClientAt::Logon;
            } else if (c == Stx) {
                blockStarts(i);
            } else if (c == Eot && reply_) {
                wait("t4", *reply_, i);
                reply_.reset();
            }
            break;
        case ClientAt::Logon:
            if (c == Cr)
                client_ = ClientAt::Outside;
            else if (c == Stx)
                blockStarts(i);
            break;
        case ClientAt::Block:
            if (c == Etx || c == Etb || c == Us)
                client_ = ClientAt::Checksum;
            break;
        case ClientAt::Checksum:
            if (c == Cr) {
                blockEnd_ = i;
                client_ = ClientAt::Outside;
            } else if (c == Stx) {
                blockStarts(i);
            }
            break;
        }
    }

    void blockStarts(std::size_t i)
    {
        if (reply_)
            wait("t4", *reply_, i);
        reply_.reset();
        client_ = ClientAt::Block;
    }

    void simulatorByte(std::size_t i, char c)
    {
        if (c != Cr && c != Lf) {
            if (simulatorLine_.empty())
                lineStart_ = i;
            if (simulatorLine_.size() < MaxLine)
                simulatorLine_ += c;
            if (online_ && simulatorLine_.ends_with("ID=")) {
                if (id_ && *id_ != i && !logonSeen_)
                    wait("t5", *id_, i);
                id_ = i;
                idSeen_ = true;
            }
            return;
        }
        if (simulatorLine_.empty())
            return;
        const std::string line = std::move(simulatorLine_);
        simulatorLine_.clear();
        if (!online_)
            modemLine(line);
        else
            terminalLine(line);
    }

    void modemLine(const std::string& line)
    {
        if (dial_ && isDialResult(line)) {
            wait("dial", *dial_, lineStart_);
            dial_.reset();
        }
        if (isConnect(line)) {
            online_ = true;
            course_.terminal.push_back(TerminalStretch { lineStart_, std::nullopt });
            client_ = ClientAt::Outside;
            idSeen_ = logonSeen_ = false;
            lastCr_.reset();
        }
    }

    void terminalLine(const std::string& line)
    {
        if (line == "NO CARRIER" || line == "3") {
            online_ = false;
            course_.terminal.back().noCarrier = lineStart_;
            id_.reset();
            blockEnd_.reset();
            reply_.reset();
            clientLine_.clear();
        } else if (line.size() == 1 && (line[0] == Ack || line[0] == Nak || line[0] == Rs)) {
            reply_ = lineStart_;
        } else if (line == std::string { Esc } + "[p") {
            reply_ = lineStart_;
        } else if (line.size() >= 2 && line[0] == Esc && line[1] == Eot) {
            reply_.reset();
            blockEnd_.reset();
        }
    }

    const std::vector<TimelinePiece>& pieces_;
    CallCourse course_;
    bool online_ = false;
    std::string clientLine_;
    std::string simulatorLine_;
    std::size_t lineStart_ = 0;
    ClientAt client_ = ClientAt::Outside;
    bool idSeen_ = false;
    bool logonSeen_ = false;
    std::optional<std::size_t> dial_;
    std::optional<std::size_t> lastCr_;
    std::optional<std::size_t> id_;
    std::optional<std::size_t> blockEnd_;
    std::optional<std::size_t> reply_;
};

} // namespace

CallCourse callCourse(const std::vector<TimelinePiece>& pieces)
{
    return CourseReader(pieces).read();
}

} // namespace ostrella
