// SPDX-License-Identifier: MIT
// The two sides a line plays for a call: the modem the client dials, then the terminal behind it.
// Each profile (classic or hayes modem, classic or tap18 terminal) is one class behind one of
// these, working on the line only through its LineContext. The engine picks one of each for every
// call and runs them on its ticks; the modem also hears the client's bytes as they arrive.
#pragma once

#include "engine/LineState.h"

#include <string_view>

namespace ostrella {

class ModemSide {
public:
    virtual ~ModemSide() = default;
    // A new connection: nothing of the last call is kept.
    virtual void newCall() { }
    // Bytes from the client as they arrive (seven-bit stripped where the line is).
    virtual void dataArrived(std::string_view /*bytes*/) { }
    // The modem's part of one engine tick, for the state at its start. True when the modem did
    // the tick's work; false: the terminal's turn.
    virtual bool tick(LineState state) = 0;
    // The terminal has hung up on the call: NO CARRIER as the modem frames it.
    virtual void carrierLost() = 0;

    // For a line with modem-control lines. Whether a call put through still holds the carrier
    // (a modem may have ended it itself); AT&C: 1 when DCD follows the carrier, 0 when it is
    // always on; AT&D: what a drop of DTR does (0 nothing, 1 command mode, 2 and 3 hang up).
    virtual bool holdsCarrier() const { return true; }
    virtual unsigned dcdMode() const { return 1; }
    virtual unsigned dtrMode() const { return 2; }
    // DTR dropped under AT&D1: command mode, the call held.
    virtual void dtrCommandMode() { }
};

class TerminalSide {
public:
    virtual ~TerminalSide() = default;
    // A new connection: nothing of the last call is kept.
    virtual void newCall() { }
    // The modem has sent the dial's result and handed the line over (state WAIT CR); `carrier`
    // when it was a CONNECT.
    virtual void putThrough(bool /*carrier*/) { }
    // The terminal's part of one engine tick, for the state at its start. True when the
    // terminal did the tick's work.
    virtual bool tick(LineState state) = 0;
    // The client has hung up. A terminal keeps its state (it misses the loss of carrier), but a
    // hang-up its script has it wait for is called off: the client hung up first.
    virtual void clientGone() { }
    // The call ends under the terminal (the caller hung up, another caller took the line, the
    // program ends), before its record is made: what the terminal holds of a page is recorded.
    virtual void callCut() { }
};

// What a modem tells the engine of the call as it goes.
class ModemEvents {
public:
    virtual ~ModemEvents() = default;
    // The dial's result has gone out and the line is the terminal's (WAIT CR).
    virtual void putThrough(bool carrier) = 0;
};

// What a terminal tells the engine of the call.
class TerminalEvents {
public:
    virtual ~TerminalEvents() = default;
    // The terminal has hung up: the modem reports the lost carrier as its profile frames it.
    virtual void hungUp() = 0;
};

} // namespace ostrella
