// SPDX-License-Identifier: MIT
// The hayes modem's answers: what each command line does and says, and how results are framed.
#include "engine/HayesModem.h"
#include "link/ControlChars.h"

namespace ostrella {

namespace {

using hayes::Command;
using hayes::CommandKind;
using hayes::ExtendedOp;

// Factory values of the S-registers that have one (the others are 0).
constexpr std::array<std::pair<std::size_t, unsigned>, 12> RegisterDefaults { {
    { 2, 43 }, // escape character '+'
    { 3, 13 }, // line end CR
    { 4, 10 }, // line feed
    { 5, 8 }, // backspace
    { 6, 2 }, // wait for dial tone, s
    { 7, 50 }, // wait for carrier, s
    { 8, 2 }, // comma pause, s
    { 9, 6 }, // carrier detect, 1/10 s
    { 10, 14 }, // carrier loss, 1/10 s
    { 11, 95 }, // DTMF tone length, ms
    { 12, 50 }, // escape guard time, 1/50 s
    { 25, 5 }, // DTR detect, 1/100 s
} };

// ATI0 to ATI7; ATI2 (the ROM test) only answers OK.
constexpr std::array<std::string_view, 8> InfoTexts {
    "2400",
    "255",
    "",
    "Ostrella Hayes V1.0",
    "Ostrella simulated Hayes-compatible modem",
    "0",
    "No link diagnostics: simulated line",
    "Data, fax class 1",
};
constexpr std::string_view Manufacturer = "Ostrella";
constexpr std::string_view Model = "Ostrella Hayes 2400";
constexpr std::string_view Revision = "1.0";
constexpr std::string_view FaxClasses = "0,1";
// Class 1 modulations: V.27ter and V.29 (2400 to 9600 bps), and V.21 channel 2 for HDLC.
constexpr std::string_view Class1Rates = "24,48,72,96";
constexpr std::string_view Class1HdlcRates = "3";
constexpr std::string_view Capabilities = "+GCAP: +FCLASS";
// Each framed text fits the 64 bytes HayesModem::MaxLineReply counts per command.
static_assert([] {
    for (std::string_view t : InfoTexts) {
        if (t.size() + 4 > 64)
            return false;
    }
    return Model.size() + 4 <= 64 && Capabilities.size() + 4 <= 64;
}());

// Basic commands that change nothing here, each with its highest argument: speaker (M, L),
// tone or pulse (T, P), flow control (&K), store profile (&W).
struct Accepted {
    std::string_view name;
    unsigned max;
};
constexpr std::array<Accepted, 6> AcceptedCommands { {
    { "M", 3 },
    { "L", 3 },
    { "T", 0 },
    { "P", 0 },
    { "&K", 6 },
    { "&W", 1 },
} };

} // namespace

HayesModem::Settings::Settings()
{
    for (const auto& [n, value] : RegisterDefaults)
        registers[n] = value;
}

std::vector<std::string> HayesModem::replyTexts(unsigned lineRate)
{
    std::vector<std::string> texts;
    for (HayesResult r :
         { HayesResult::Ok, HayesResult::Connect, HayesResult::Ring, HayesResult::NoCarrier,
           HayesResult::Error, HayesResult::NoDialtone, HayesResult::Busy, HayesResult::NoAnswer })
        texts.emplace_back(resultWord(r));
    texts.push_back(connectWord(lineRate));
    for (std::string_view t : InfoTexts)
        texts.emplace_back(t);
    for (std::string_view t : { Manufacturer, Model, Revision, FaxClasses, Class1Rates,
                                Class1HdlcRates, Capabilities, std::string_view("1") })
        texts.emplace_back(t);
    for (unsigned v = 0; v < 256; ++v) {
        const std::string digits = std::to_string(1000 + v);
        texts.push_back(digits.substr(1));
    }
    return texts;
}

void HayesModem::runLine(const std::string& body, bool overflowed)
{
    const auto commands = overflowed ? std::nullopt : hayes::parseCommandLine(body);
    if (!commands) {
        result(HayesResult::Error);
        return;
    }
    for (const Command& c : *commands) {
        switch (execute(c)) {
        case Step::Next:
            break;
        case Step::Fail:
            result(HayesResult::Error);
            return;
        case Step::Done:
            return;
        }
    }
    result(HayesResult::Ok);
}

HayesModem::Step HayesModem::execute(const Command& c)
{
    std::size_t& current = settings_.currentRegister;
    switch (c.kind) {
    case CommandKind::Basic:
        return executeBasic(c);
    case CommandKind::Extended:
        return executeExtended(c);
    case CommandKind::Dial:
        return dial(c);
    case CommandKind::SelectRegister:
    case CommandKind::SetRegister:
    case CommandKind::QueryRegister:
        if (c.number)
            current = *c.number;
        if (current >= RegisterCount)
            return Step::Fail;
        if (c.kind == CommandKind::SetRegister) {
            if (c.value > 255)
                return Step::Fail;
            settings_.registers[current] = c.value;
        } else if (c.kind == CommandKind::QueryRegister) {
            info(std::to_string(1000 + settings_.registers[current]).substr(1));
        }
        return Step::Next;
    }
    return Step::Fail;
}

HayesModem::Step HayesModem::executeBasic(const Command& c)
{
    const unsigned n = c.number.value_or(0);
    const auto set = [n](bool& flag) {
        if (n > 1)
            return Step::Fail;
        flag = n == 1;
        return Step::Next;
    };
    if (c.name == "E")
        return set(settings_.echo);
    if (c.name == "V")
        return set(settings_.verbose);
    if (c.name == "Q")
        return set(settings_.quiet);
    if (c.name == "X" && n <= 4) {
        settings_.level = n;
        return Step::Next;
    }
    if ((c.name == "Z" && n <= 1) || (c.name == "&F" && n == 0)) {
        settings_ = Settings();
        return Step::Next;
    }
    if (c.name == "H" && n == 0) {
        // The held call ends; the line goes back to eight bits once this tick's answer is out.
        if (callHeld_) {
            callHeld_ = false;
            line_.session.gSevenBitDialled = false;
            plainAfterFlush_ = line_.link.gSevenBitActive();
        }
        return Step::Next;
    }
    if (c.name == "O" && n <= 1)
        return goOnline();
    // What DCD shows and what a drop of DTR does, on a line with modem-control lines.
    if ((c.name == "&C" && n <= 1) || (c.name == "&D" && n <= 3)) {
        (c.name == "&C" ? settings_.dcd : settings_.dtr) = n;
        return Step::Next;
    }
    if (c.name == "I" && n < InfoTexts.size()) {
        info(InfoTexts[n]);
        return Step::Next;
    }
    for (const Accepted& a : AcceptedCommands) {
        if (c.name == a.name && n <= a.max)
            return Step::Next;
    }
    return Step::Fail;
}

HayesModem::Step HayesModem::executeExtended(const Command& c)
{
    const auto answer = [this](std::string_view text) {
        info(text);
        return Step::Next;
    };
    const ExtendedOp op = c.op;
    if (c.name == "+FCLASS") {
        if (op == ExtendedOp::Test)
            return answer(FaxClasses);
        if (op == ExtendedOp::Read)
            return answer(std::to_string(settings_.faxClass));
        if (op == ExtendedOp::Set && (c.text == "0" || c.text == "1")) {
            settings_.faxClass = c.text == "1" ? 1 : 0;
            return Step::Next;
        }
        return Step::Fail;
    }
    if ((c.name == "+FMFR" && op == ExtendedOp::Read)
        || (c.name == "+GMI" && op == ExtendedOp::Action))
        return answer(Manufacturer);
    if ((c.name == "+FMDL" && op == ExtendedOp::Read)
        || (c.name == "+GMM" && op == ExtendedOp::Action))
        return answer(Model);
    if ((c.name == "+FREV" && op == ExtendedOp::Read)
        || (c.name == "+GMR" && op == ExtendedOp::Action))
        return answer(Revision);
    if (c.name == "+GCAP" && op == ExtendedOp::Action)
        return answer(Capabilities);
    if ((c.name == "+FTM" || c.name == "+FRM") && op == ExtendedOp::Test)
        return answer(Class1Rates);
    if ((c.name == "+FTH" || c.name == "+FRH") && op == ExtendedOp::Test)
        return answer(Class1HdlcRates);
    return Step::Fail;
}

} // namespace ostrella
