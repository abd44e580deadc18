// SPDX-License-Identifier: MIT
// The classic modem profile: the Hayes-style modem the client dials by default. Like a real modem
// it answers "OK" to the few commands a paging client sends; unlike one, it matches each command
// anywhere in everything received since the last tick, and the first rule that matches decides.
// A dial is answered when its delay has passed, and the line goes to the terminal (WAIT CR)
// whatever the outcome.
#pragma once

#include "engine/LineContext.h"
#include "engine/LineSides.h"

#include <string>

namespace ostrella {

class ClassicModem : public ModemSide {
public:
    ClassicModem(LineContext& line, ModemEvents& events);

    // MODEM: everything received since the last tick is one input, consumed whole. WAIT: the
    // "+++" reply once due, then MODEM. WAITCONNECT: the dial result (empty for no answer) once
    // due, then WAIT CR.
    bool tick(LineState state) override;
    void carrierLost() override;

private:
    void takeInput();
    void dial(const std::string& rx);

    LineContext& line_;
    ModemEvents& events_;
};

} // namespace ostrella
