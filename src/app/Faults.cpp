// SPDX-License-Identifier: MIT
#include "app/Faults.h"

#include <algorithm>
#include <sstream>

namespace ostrella {

const std::vector<std::pair<std::string_view, Box>>& faultNames()
{
    static const std::vector<std::pair<std::string_view, Box>> names {
        { "busy", Box::chkBusy },
        { "no-answer", Box::chkNoAnswer },
        { "no-carrier", Box::chkNoCarrier },
        { "no-dialtone", Box::chkNoDialtone },
        { "nak", Box::chkNAK },
        { "rej", Box::chkREJ },
        { "no-response", Box::chkNOResponse },
    };
    return names;
}

std::optional<Box> faultFromName(std::string_view name)
{
    for (const auto& [n, box] : faultNames()) {
        if (n == name)
            return box;
    }
    return std::nullopt;
}

std::string_view nameOfFault(Box box)
{
    for (const auto& [n, b] : faultNames()) {
        if (b == box)
            return n;
    }
    return box == Box::chkDisconnect ? "disconnect" : "";
}

void ConsolePanel::set(Box box, bool on)
{
    if (on)
        boxes_.insert(box);
    else
        boxes_.erase(box);
}

namespace {

std::vector<std::string> words(std::string_view line)
{
    std::istringstream in { std::string(line) };
    std::vector<std::string> out;
    for (std::string w; in >> w;)
        out.push_back(w);
    return out;
}

// Command words and the names after them are taken in any case ("FAULT NAK ON", "Terminal
// TAP18"); numbers and pager IDs are kept as typed.
std::string lower(std::string word)
{
    std::transform(word.begin(), word.end(), word.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return word;
}

std::optional<bool> onOff(const std::string& word)
{
    if (word == "on")
        return true;
    if (word == "off")
        return false;
    return std::nullopt;
}

std::string faultList(const ConsolePanel& panel)
{
    std::string out = "faults:";
    for (const auto& [name, box] : faultNames())
        out += " " + std::string(name) + (panel.ticked(box) ? "=on" : "=off");
    out += std::string(" disconnect") + (panel.ticked(Box::chkDisconnect) ? "=on" : "=off");
    return out + "\n";
}

} // namespace

namespace {

std::string planCommand(FaultPlan& plan, std::vector<std::string> w)
{
    if (w.size() >= 2)
        w[1] = lower(w[1]);
    if (w.size() >= 3 && (w[1] == "dial" || w[1] == "block")) {
        for (std::size_t i = 2; i < w.size(); ++i)
            w[i] = lower(w[i]);
    } else if (w.size() == 4) {
        w[3] = lower(w[3]); // the outcome or reply; not the number nor the pager ID
    }
    if (w.size() == 1)
        return "plan: " + plan.describe() + "\n";
    if (w.size() == 2 && w[1] == "clear") {
        plan.clear();
        return "ok: plan clear\n";
    }
    std::string error;
    std::string rest;
    for (std::size_t i = 2; i < w.size(); ++i)
        rest += (i > 2 ? " " : "") + w[i];
    if (w.size() >= 3 && w[1] == "dial")
        error = plan.setDialPlan(rest);
    else if (w.size() >= 3 && w[1] == "block")
        error = plan.setBlockPlan(rest);
    else if (w.size() == 4 && w[1] == "number")
        error = plan.setNumber(w[2] + "=" + w[3]);
    else if (w.size() == 4 && w[1] == "pager")
        error = plan.setPager(w[2] + "=" + w[3]);
    else
        return "error: plan dial LIST, plan block LIST, plan number NUMBER OUTCOME, plan pager ID "
               "REPLY, plan or plan clear\n";
    if (!error.empty())
        return "error: " + error + "\n";
    return "ok: plan " + plan.describe() + "\n";
}

std::string terminalCommand(Simulator& sim, const std::vector<std::string>& w)
{
    if (w.size() == 1)
        return "terminal: " + std::string(terminalName(sim.terminal())) + "\n";
    const auto profile = w.size() == 2 ? terminalFromName(lower(w[1])) : std::nullopt;
    if (!profile)
        return "error: say 'terminal classic' or 'terminal tap18'\n";
    sim.setTerminal(*profile);
    return "ok: terminal " + std::string(terminalName(*profile)) + " (from the next call)\n";
}

std::string modemCommand(Simulator& sim, const std::vector<std::string>& w)
{
    if (w.size() == 1)
        return "modem: " + std::string(modemProfileName(sim.modemProfile())) + "\n";
    const auto profile = w.size() == 2 ? modemProfileFromName(lower(w[1])) : std::nullopt;
    if (!profile)
        return "error: say 'modem classic' or 'modem hayes'\n";
    sim.setModemProfile(*profile);
    return "ok: modem " + std::string(modemProfileName(*profile)) + " (from the next call)\n";
}

} // namespace

bool ConsoleQuits(std::string_view line)
{
    const std::vector<std::string> w = words(line);
    return w.size() == 1 && (lower(w[0]) == "quit" || lower(w[0]) == "exit");
}

std::string ConsoleCommand(ConsolePanel& panel, std::string_view line, FaultPlan* plan,
                           Simulator* sim)
{
    std::vector<std::string> w = words(line);
    if (w.empty())
        return std::string();
    w[0] = lower(w[0]);
    if (plan != nullptr && w[0] == "plan")
        return planCommand(*plan, w);
    if (sim != nullptr && w[0] == "terminal")
        return terminalCommand(*sim, w);
    if (sim != nullptr && w[0] == "modem")
        return modemCommand(*sim, w);
    if (w.size() == 1 && w[0] == "faults")
        return faultList(panel);
    if (w.size() == 1 && (w[0] == "quit" || w[0] == "exit"))
        return "ok: " + w[0] + ", shutting down\n";
    if (w.size() == 1 && w[0] == "help") {
        return "commands: fault NAME on|off, faults, disconnect on|off, plan, plan clear, plan "
               "dial LIST, plan block LIST, plan number NUMBER OUTCOME, plan pager ID REPLY, "
               "terminal, terminal classic|tap18, modem, modem classic|hayes, quit (or exit), "
               "help\n"
               "fault names: busy no-answer no-carrier no-dialtone nak rej no-response\n"
               "plan words: connect busy no-answer no-carrier no-dialtone; ack nak rej none garble "
               "corrupt drop\n"
               "terminals: classic tap18; modems: classic hayes (a change holds from the next "
               "call)\n"
               "commands and names are taken in any case\n";
    }
    if (w.size() == 3 && w[0] == "fault") {
        const auto box = faultFromName(lower(w[1]));
        const auto on = onOff(lower(w[2]));
        if (!box)
            return "error: unknown fault '" + w[1] + "' (try: faults)\n";
        if (!on)
            return "error: say 'on' or 'off' after the fault name\n";
        panel.set(*box, *on);
        return "ok: fault " + std::string(nameOfFault(*box)) + (*on ? " on" : " off") + "\n";
    }
    if (w.size() == 2 && w[0] == "disconnect") {
        const auto on = onOff(lower(w[1]));
        if (!on)
            return "error: say 'disconnect on' or 'disconnect off'\n";
        panel.set(Box::chkDisconnect, *on);
        return std::string("ok: disconnect") + (*on ? " on" : " off") + "\n";
    }
    std::string shown(line.substr(0, std::min<std::size_t>(line.size(), 80)));
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; },
        '?');
    return "error: unknown command '" + shown + "' (try: help)\n";
}

} // namespace ostrella
