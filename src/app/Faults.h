// SPDX-License-Identifier: MIT
// The fault boxes by their command-line names, and the console's fault panel with the commands
// that switch it while the simulator runs.
#pragma once

#include "engine/FaultPlan.h"
#include "ports/Ports.h"
#include "sim/Simulator.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ostrella {

// busy, no-answer, no-carrier, no-dialtone, nak, rej, no-response (in that order).
const std::vector<std::pair<std::string_view, Box>>& faultNames();
std::optional<Box> faultFromName(std::string_view name);
std::string_view nameOfFault(Box box);

// Fault boxes held in memory: the console's test panel.
class ConsolePanel : public TestPanel {
public:
    bool ticked(Box box) const override { return boxes_.count(box) != 0; }
    void set(Box box, bool on);

private:
    std::set<Box> boxes_;
};

// One line typed on the console, carried out on `panel` (and `plan` and `sim`, when given); the
// answer to print (one or more lines, each ending in a newline). Commands: "fault NAME on|off",
// "faults", "disconnect on|off", "plan", "plan clear", "plan dial LIST", "plan block LIST",
// "plan number NUMBER OUTCOME", "plan pager ID REPLY", "terminal", "terminal classic|tap18",
// "modem", "modem classic|hayes" (the profiles for the next call), "quit" or "exit" (answered
// here; ConsoleQuits tells the caller to shut down), "help". Command words and names are taken in
// any case. Anything else gets a one-line error, and so does bad plan text (the plan is then left
// as it was).
std::string ConsoleCommand(ConsolePanel& panel, std::string_view line, FaultPlan* plan = nullptr,
                           Simulator* sim = nullptr);

// True for "quit" and "exit": the line ends the program, as SIGTERM does.
bool ConsoleQuits(std::string_view line);

} // namespace ostrella
