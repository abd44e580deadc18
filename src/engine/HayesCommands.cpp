// SPDX-License-Identifier: MIT
#include "engine/HayesCommands.h"

#include "link/ControlChars.h"

#include <algorithm>

namespace ostrella::hayes {

namespace {

constexpr char Bs = 0x08;
constexpr unsigned NumberCap = 99999;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isLetter(char c)
{
    return upper(c) >= 'A' && upper(c) <= 'Z';
}

// The decimal number at body[at...], if any; `at` moves past its digits.
std::optional<unsigned> readNumber(std::string_view body, std::size_t& at)
{
    if (at >= body.size() || !isDigit(body[at]))
        return std::nullopt;
    unsigned value = 0;
    for (; at < body.size() && isDigit(body[at]); ++at)
        value = std::min(NumberCap, value * 10 + static_cast<unsigned>(body[at] - '0'));
    return value;
}

// "D" [T|P] number: the rest of the line is the dial string.
Command dialCommand(std::string_view rest)
{
    Command c { CommandKind::Dial, "D", std::nullopt, 0, ExtendedOp::Action, {} };
    if (!rest.empty() && (upper(rest.front()) == 'T' || upper(rest.front()) == 'P'))
        rest.remove_prefix(1);
    rest = rest.substr(0, rest.find(';'));
    for (char ch : rest) {
        if (ch != ' ')
            c.text.push_back(ch);
    }
    return c;
}

// "+NAME" with its form; `at` is on the '+' and moves past the command and its ';', if any.
Command extendedCommand(std::string_view body, std::size_t& at)
{
    Command c { CommandKind::Extended, "+", std::nullopt, 0, ExtendedOp::Action, {} };
    // The name ends at its form, at ';' or at the next '+'.
    for (++at; at < body.size() && body[at] != '=' && body[at] != '?' && body[at] != ';'
         && body[at] != '+';
         ++at) {
        if (body[at] != ' ')
            c.name.push_back(upper(body[at]));
    }
    if (body.substr(at, 2) == "=?") {
        c.op = ExtendedOp::Test;
        at += 2;
    } else if (body.substr(at, 1) == "?") {
        c.op = ExtendedOp::Read;
        ++at;
    } else if (body.substr(at, 1) == "=") {
        c.op = ExtendedOp::Set;
        for (++at; at < body.size() && body[at] != ';'; ++at) {
            if (body[at] != ' ')
                c.text.push_back(body[at]);
        }
    }
    if (at < body.size() && body[at] == ';')
        ++at;
    return c;
}

} // namespace

std::optional<std::vector<Command>> parseCommandLine(std::string_view body)
{
    std::vector<Command> commands;
    std::size_t at = 0;
    while (at < body.size()) {
        const char c = upper(body[at]);
        if (c == ' ') {
            ++at;
        } else if (c == 'D') {
            commands.push_back(dialCommand(body.substr(at + 1)));
            break;
        } else if (c == '+') {
            commands.push_back(extendedCommand(body, at));
        } else if (c == 'S') {
            ++at;
            Command s { CommandKind::SelectRegister, "S", readNumber(body, at), 0,
                        ExtendedOp::Action,          {} };
            if (at < body.size() && body[at] == '=') {
                ++at;
                s.kind = CommandKind::SetRegister;
                s.value = readNumber(body, at).value_or(0);
            } else if (at < body.size() && body[at] == '?') {
                ++at;
                s.kind = CommandKind::QueryRegister;
            } else if (!s.number) {
                return std::nullopt;
            }
            commands.push_back(std::move(s));
        } else if (c == '&' && at + 1 < body.size() && isLetter(body[at + 1])) {
            std::string name { '&', upper(body[at + 1]) };
            at += 2;
            commands.push_back({ CommandKind::Basic,
                                 std::move(name),
                                 readNumber(body, at),
                                 0,
                                 ExtendedOp::Action,
                                 {} });
        } else if (isLetter(c)) {
            ++at;
            commands.push_back({ CommandKind::Basic,
                                 std::string(1, c),
                                 readNumber(body, at),
                                 0,
                                 ExtendedOp::Action,
                                 {} });
        } else {
            return std::nullopt;
        }
    }
    return commands;
}

LineAssembler::Fed LineAssembler::feed(char c)
{
    switch (stage_) {
    case Stage::Idle:
        if (upper(c) == 'A')
            stage_ = Stage::GotA;
        return Fed::Nothing;
    case Stage::GotA:
        if (upper(c) == 'T') {
            stage_ = Stage::InLine;
            line_.clear();
            overflowed_ = false;
        } else if (c == '/') {
            stage_ = Stage::Idle;
            return Fed::Repeat;
        } else if (upper(c) != 'A') {
            stage_ = Stage::Idle;
        }
        return Fed::Nothing;
    case Stage::InLine:
        if (c == Cr) {
            stage_ = Stage::Idle;
            return Fed::Line;
        }
        if (c == Bs) {
            if (!line_.empty())
                line_.pop_back();
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            // Other control characters are no part of a command.
        } else if (line_.size() < MaxCommandLine) {
            line_.push_back(c);
        } else {
            overflowed_ = true;
        }
        return Fed::Nothing;
    }
    return Fed::Nothing;
}

void LineAssembler::clear()
{
    stage_ = Stage::Idle;
    line_.clear();
    overflowed_ = false;
}

} // namespace ostrella::hayes
