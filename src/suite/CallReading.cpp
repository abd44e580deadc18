// SPDX-License-Identifier: MIT
#include "suite/CallReading.h"

#include "link/ControlChars.h"
#include "suite/ModemWords.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace ostrella {

namespace {

// A block longer than this without its end is taken as ended (cut).
constexpr std::size_t MaxBlockRead = 2048;
// A line of the modem dialogue or the terminal's messages longer than this is cut.
constexpr std::size_t MaxLineRead = 256;

using modemwords::upperAscii;

class Reader {
public:
    Reader(CallReading& out)
        : out_(out)
    {
    }

    void client(std::int64_t at, char c)
    {
        if (ConnectionRead* conn = open()) {
            conn->lastClientAt = at;
            terminalByte(*conn, at, c);
            return;
        }
        modemByte(at, c);
    }

    void simulator(std::int64_t at, char c)
    {
        if (ConnectionRead* conn = open()) {
            terminalAnswer(*conn, at, c);
            return;
        }
        if (c == Cr || c == Lf) {
            modemResult(at, upperAscii(simLine_));
            simLine_.clear();
        } else if (simLine_.size() < MaxLineRead) {
            simLine_.push_back(c);
        }
    }

    void end(std::int64_t at, bool ended)
    {
        if (!ended)
            return;
        if (dialling_ && !out_.dials.empty() && out_.dials.back().givenUp.empty()) {
            out_.dials.back().givenUp = "a hang-up";
            out_.dials.back().givenUpAt = at;
        }
        if (!out_.connections.empty() && out_.connections.back().clientLeftAt == Never) {
            out_.connections.back().clientLeftAt = at;
            out_.connections.back().clientLeft = "a hang-up";
        }
    }

private:
    enum class Item { None, Logon, Block, Eot, Line };

    ConnectionRead* open() { return terminal_ ? &out_.connections.back() : nullptr; }

    void leave(std::int64_t at, const std::string& how)
    {
        if (out_.connections.empty() || out_.connections.back().clientLeftAt != Never)
            return;
        out_.connections.back().clientLeftAt = at;
        out_.connections.back().clientLeft = how;
    }

    // --- the modem dialogue ---
    void modemByte(std::int64_t at, char c)
    {
        // A block sent after the terminal's disconnect, when the modem has the line again.
        if (c == Stx && !dialling_ && !out_.connections.empty()
            && out_.connections.back().disconnectAt != Never
            && (out_.dials.empty() || out_.dials.back().at < out_.connections.back().connectAt))
            ++out_.connections.back().sentAfterDisconnect;
        if (dialling_ && c != Lf && !out_.dials.empty() && out_.dials.back().givenUp.empty()) {
            out_.dials.back().givenUp = "a character";
            out_.dials.back().givenUpAt = at;
            dialling_ = false;
        }
        if (c == Lf)
            return;
        if (c != Cr) {
            if (clientLine_.size() < MaxLineRead)
                clientLine_.push_back(c);
            return;
        }
        const std::string line = upperAscii(clientLine_);
        clientLine_.clear();
        const std::size_t atPos = line.find("AT");
        if (atPos == std::string::npos)
            return;
        const std::string command = line.substr(atPos);
        const std::size_t d = command.find('D', 2);
        if (modemwords::isDialCommand(command) && d != std::string::npos) {
            leave(at, "a new dial");
            DialRead dial;
            dial.at = at;
            dial.command = command;
            std::size_t from = d + 1;
            if (from < command.size() && (command[from] == 'T' || command[from] == 'P'))
                ++from;
            dial.number = command.substr(from);
            while (!dial.number.empty() && (dial.number.back() == ';' || dial.number.back() == ' '))
                dial.number.pop_back();
            out_.dials.push_back(std::move(dial));
            dialling_ = true;
        } else if (command.find('H', 2) != std::string::npos) {
            leave(at, "ATH");
        }
    }

    void modemResult(std::int64_t at, const std::string& line)
    {
        const std::string word = modemwords::resultWord(line);
        if (word.empty() || word == "OK" || word == "RING" || !dialling_ || out_.dials.empty())
            return;
        DialRead& dial = out_.dials.back();
        dialling_ = false;
        if (dial.result.empty()) {
            dial.result = word;
            dial.resultAt = at;
        }
        if (word == "CONNECT" && dial.givenUp.empty()) {
            out_.connections.emplace_back();
            out_.connections.back().connectAt = at;
            terminal_ = true;
            item_ = Item::None;
            simLine_.clear();
        }
    }

    // --- the client on the terminal ---
    void terminalByte(ConnectionRead& conn, std::int64_t at, char c)
    {
        switch (item_) {
        case Item::Block:
            blockByte(conn, at, c);
            return;
        case Item::Logon:
            if (c == Cr || text_.size() >= MaxLineRead) {
                conn.logons.emplace_back();
                conn.logons.back().at = at;
                conn.logons.back().text = text_;
                awaiting_ = Item::Logon;
                codes_.clear();
                item_ = Item::None;
            } else if (c != Lf) {
                text_.push_back(c);
            }
            return;
        case Item::Eot:
            item_ = Item::None;
            if (c == Cr)
                return;
            break;
        case Item::Line:
            if (c == Cr || c == Stx || c == Esc || c == Eot)
                item_ = Item::None;
            if (c == Cr)
                return;
            break;
        case Item::None:
            break;
        }
        switch (c) {
        case Stx:
            item_ = Item::Block;
            block_ = BlockRead {};
            block_.stxAt = at;
            block_.content.push_back(c);
            checksum_ = -1;
            if (conn.disconnectAt != Never)
                ++conn.sentAfterDisconnect;
            break;
        case Esc:
            item_ = Item::Logon;
            text_.assign(1, c);
            if (conn.disconnectAt != Never)
                ++conn.sentAfterDisconnect;
            break;
        case Eot:
            item_ = Item::Eot;
            if (conn.eotAt == Never)
                conn.eotAt = at;
            awaiting_ = Item::Eot;
            break;
        case Cr:
            if (conn.logons.empty())
                conn.crs.push_back(at);
            break;
        case Lf:
            break;
        default:
            item_ = Item::Line;
            break;
        }
    }

    void blockByte(ConnectionRead& conn, std::int64_t at, char c)
    {
        if (c == Stx && checksum_ < 0) {
            // A new block before this one ended: this one is cut where it is.
            endBlock(conn, at);
            terminalByte(conn, at, c);
            return;
        }
        block_.content.push_back(c);
        if (checksum_ >= 0) {
            if (c == Cr || ++checksum_ > 3 || block_.content.size() >= MaxBlockRead)
                endBlock(conn, at);
            return;
        }
        if (c == Etx || c == Etb || c == Us) {
            checksum_ = 0;
            terminatorAt_ = block_.content.size();
        } else if (block_.content.size() >= MaxBlockRead) {
            endBlock(conn, at);
        }
    }

    void endBlock(ConnectionRead& conn, std::int64_t at)
    {
        block_.endAt = at;
        const std::string whole = block_.content;
        if (checksum_ >= 0)
            block_.content.resize(terminatorAt_);
        const std::size_t cr = block_.content.find(Cr);
        block_.pager
            = block_.content.substr(1, cr == std::string::npos ? std::string::npos : cr - 1);
        conn.blocks.push_back(std::move(block_));
        block_ = BlockRead {};
        item_ = Item::None;
        awaiting_ = Item::Block;
        codes_.clear();
    }

    // --- the terminal's answers ---
    void terminalAnswer(ConnectionRead& conn, std::int64_t at, char c)
    {
        if (esc_) {
            esc_ = false;
            if (c == Eot) {
                if (conn.disconnectAt == Never)
                    conn.disconnectAt = at;
                answered(conn, at, Answer::Disconnect);
            }
            return;
        }
        switch (c) {
        case Ack:
            answered(conn, at, Answer::Accepted);
            return;
        case Nak:
            answered(conn, at, Answer::Again);
            return;
        case Rs:
            if (conn.eotAt != Never && awaiting_ == Item::Eot)
                conn.rsAfterEot = true;
            else
                answered(conn, at, Answer::Refused);
            return;
        case Esc:
            esc_ = true;
            return;
        case Cr:
        case Lf:
            terminalLine(conn, at);
            return;
        default:
            break;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            answered(conn, at, Answer::Unreadable);
            return;
        }
        if (simLine_.size() < MaxLineRead)
            simLine_.push_back(c);
        if (simLine_.ends_with("ID=")) {
            conn.prompts.push_back(at);
            simLine_.clear();
        }
    }

    void terminalLine(ConnectionRead& conn, std::int64_t at)
    {
        const std::string line = upperAscii(simLine_);
        simLine_.clear();
        if (line == "NO CARRIER" || line == "3") {
            conn.hungUpAt = at;
            terminal_ = false;
            item_ = Item::None;
            return;
        }
        if (line.size() >= 3 && line.find_first_not_of("0123456789") >= 3)
            codes_.push_back(line.substr(0, 3));
    }

    void answered(ConnectionRead& conn, std::int64_t at, Answer answer)
    {
        if (awaiting_ == Item::Logon && !conn.logons.empty()
            && conn.logons.back().answer == Answer::None) {
            conn.logons.back().answer = answer;
            conn.logons.back().answerAt = at;
            awaiting_ = Item::None;
        } else if (awaiting_ == Item::Block && !conn.blocks.empty()
                   && conn.blocks.back().answer == Answer::None) {
            conn.blocks.back().answer = answer;
            conn.blocks.back().answerAt = at;
            conn.blocks.back().codes = codes_;
            awaiting_ = Item::None;
        }
        codes_.clear();
    }

    CallReading& out_;
    bool terminal_ = false;
    bool dialling_ = false;
    std::string clientLine_;
    std::string simLine_;
    Item item_ = Item::None;
    Item awaiting_ = Item::None;
    std::string text_;
    BlockRead block_;
    int checksum_ = -1;
    std::size_t terminatorAt_ = 0;
    std::vector<std::string> codes_;
    bool esc_ = false;
};

} // namespace

std::vector<const BlockRead*> CallReading::blocks() const
{
    std::vector<const BlockRead*> all;
    for (const ConnectionRead& conn : connections) {
        for (const BlockRead& block : conn.blocks)
            all.push_back(&block);
    }
    return all;
}

CallReading readCall(const CallTimeline& timeline, bool ended, const std::string& how)
{
    CallReading reading;
    reading.call = timeline.call;
    reading.lengthMs = timeline.lengthMs;
    reading.ended = ended;
    reading.how = how;
    Reader reader(reading);
    for (const TimelinePiece& piece : timeline.pieces) {
        if (piece.changed)
            continue;
        for (const char raw : piece.bytes) {
            const char c = static_cast<char>(raw & 0x7F);
            if (piece.fromClient)
                reader.client(piece.atMs, c);
            else
                reader.simulator(piece.atMs, c);
        }
    }
    reader.end(timeline.lengthMs, ended);
    return reading;
}

std::string inSeconds(std::int64_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string blockText(const std::string& bytes)
{
    constexpr std::size_t Shown = 40;
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < Shown; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const std::string_view name = controlName(c);
        if (!name.empty())
            out.append("<").append(name).append(">");
        else
            out.push_back(static_cast<char>(c));
    }
    if (bytes.size() > Shown)
        out.append("... (" + std::to_string(bytes.size()) + ")");
    return out;
}

} // namespace ostrella
