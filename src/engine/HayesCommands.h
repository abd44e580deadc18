// SPDX-License-Identifier: MIT
// The Hayes command line, taken apart without time or I/O: the line assembler turns received
// bytes into command lines ("AT" ... CR), the tokenizer turns a line into its commands.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella::hayes {

// What a command line may hold after its "AT" before CR; longer lines are answered ERROR. A real
// modem's buffer holds 40 to 255 characters.
inline constexpr std::size_t MaxCommandLine = 255;

// Basic commands ("E1", "&F"), the S-registers ("S12=50", "S12?", "S12"), the dial ("DT5551234"),
// and extended commands ("+FCLASS=?").
enum class CommandKind { Basic, SetRegister, QueryRegister, SelectRegister, Dial, Extended };
// An extended command's form: "+X", "+X?", "+X=?", "+X=value".
enum class ExtendedOp { Action, Read, Test, Set };

struct Command {
    CommandKind kind = CommandKind::Basic;
    // Basic: "E", "&F" (upper case); Extended: "+FCLASS" (upper case); Dial: "D".
    std::string name;
    // Basic: the digits after the command; registers: the register's number (none: the register
    // selected last). Digits beyond what fits are read as 99999.
    std::optional<unsigned> number;
    // SetRegister: the value.
    unsigned value = 0;
    ExtendedOp op = ExtendedOp::Action;
    // Dial: the number, blanks left out, without the leading T or P and anything from ';' on.
    // Extended Set: the argument.
    std::string text;
};

// The commands of one line, given the text after "AT" without its CR; nothing when the line
// does not parse (a character that starts no command, "S" with neither digits nor '=' or '?'
// after it...). Blanks between commands are ignored, as a real modem ignores them.
std::optional<std::vector<Command>> parseCommandLine(std::string_view body);

// Collects the bytes a modem in command mode receives into command lines. Bytes before an "AT"
// (either letter in either case) are not part of any line; the line ends at CR; BS takes back
// the last character; other control characters are ignored. "A/" repeats the last line at once.
class LineAssembler {
public:
    enum class Fed { Nothing, Line, Repeat };

    // One received byte. Line: line() holds the completed line's text after "AT"; Repeat: "A/".
    Fed feed(char c);
    // The line being collected, or the one just completed: never longer than MaxCommandLine.
    const std::string& line() const { return line_; }
    // The completed line lost characters past MaxCommandLine.
    bool overflowed() const { return overflowed_; }
    void clear();

private:
    enum class Stage { Idle, GotA, InLine };
    Stage stage_ = Stage::Idle;
    std::string line_;
    bool overflowed_ = false;
};

} // namespace ostrella::hayes
